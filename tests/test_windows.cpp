// The windows as a person meets them: keyboard order, field limits, fixed size, the about
// and help windows (beep, modality, focus, Enter and Escape, fresh contents), the animations,
// and the scheduler going on while a secondary window is open.

#include "app/Application.h"
#include "support/Harness.h"
#include "support/ModalWindow.h"
#include "support/TestFiles.h"
#include "support/WorkingFolder.h"
#include "ui/AniGif.h"
#include "ui/GifTiming.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMovie>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <functional>
#include <memory>

using namespace anunciel;
using namespace anunciel::test;

namespace {

// The help text as designed: four lines ended by CR LF, the last a single blank.
const QString kDesignHelpText = QString::fromUtf8(
    "Anunciel foi criado para que \r\n"
    "proporcione em hor\xc3\xa1rios pr\xc3\xa9 - determinado, enviar mensagens de \xc3\xa1udio "
    "para os colegas que est\xc3\xa3o \r\n"
    "lincados tanto em RF como IP, para tanto os arquivos dever\xc3\xa3o ser criados em "
    "\"8 BITS - MONO - 8000 hz\".\r\n"
    " \r\n");

// What a test saw while a secondary window was open.
struct Seen
{
    QString name;
    bool modal = false;
    QString focus;
    int beeps = -1;
    bool closedByKey = false;
};

} // namespace

class TestWindows : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void everyControlExists_data();
    void everyControlExists();
    void captionsKeepTheirBlanks_data();
    void captionsKeepTheirBlanks();
    void designFontsResolve_data();
    void designFontsResolve();
    void focusStartsOnEncerrarAndTabFollowsTheIndexes();
    void keyOnEncerrarAsksTheClosingQuestion_data();
    void keyOnEncerrarAsksTheClosingQuestion();
    void timeFieldLimits_data();
    void timeFieldLimits();
    void mainWindowCannotBeResizedOrMaximised();
    void secondaryWindowsSizes();
    void openingBeepsOnceAndShowsModallyWithFocusOnRetornar_data();
    void openingBeepsOnceAndShowsModallyWithFocusOnRetornar();
    void mainWindowIsInertWhileOpen();
    void escapeClosesAsRetornarDoes_data();
    void escapeClosesAsRetornarDoes();
    void typedHelpTextIsGoneOnReopening();
    void helpControlsStayWhenResized();
    void webButtonOpensThePageAndStaysOpen();
    void slotIsSentWhileAboutWindowIsOpen();
    void animationsAsStoredInTheirPictures_data();
    void animationsAsStoredInTheirPictures();
    void animationsStartWhenShown();
    void animationStopsWhenRepetitionsAreSpent_data();
    void animationStopsWhenRepetitionsAreSpent();
    void animationsRestWhileNobodySeesThem_data();
    void animationsRestWhileNobodySeesThem();
    void gifFrameTimesSurviveDamage();
    void xcbChosenUnderWaylandWithX11_data();
    void xcbChosenUnderWaylandWithX11();

private:
    MainWindow &window();
    template <typename W> W *control(QWidget *in, const char *name);
    // Runs `inside` on the modal window that `open` shows, then makes sure it is closed.
    void whileOpen(const std::function<void()> &open, const std::function<void(QDialog *)> &inside);

    std::unique_ptr<WorkingFolder> m_folder;
    std::unique_ptr<Harness> m_h;
    FakePlatform *m_fake = nullptr;
};

void TestWindows::init()
{
    freshWindowInFolder(m_folder, m_h);
    m_fake = &m_h->fake;
}

void TestWindows::cleanup()
{
    m_h.reset();
    m_folder.reset();
}

MainWindow &TestWindows::window()
{
    return m_h->w();
}

template <typename W> W *TestWindows::control(QWidget *in, const char *name)
{
    W *w = in->findChild<W *>(QString::fromLatin1(name));
    if (!w)
        qWarning("no control %s in %s", name, qPrintable(in->objectName()));
    return w;
}

void TestWindows::whileOpen(const std::function<void()> &open,
                            const std::function<void(QDialog *)> &inside)
{
    QVERIFY(whileModalOpen(open, inside));
}

void TestWindows::everyControlExists_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name :
         {"Picture1", "Image1",   "Label1",   "Label2",   "AniGIF1",  "AniGIF2",  "Frame1",
          "Label3",   "Check1",   "Check2",   "Check3",   "Check4",   "hora1",    "hora2",
          "hora3",    "hora4",    "msg1",     "msg2",     "msg3",     "msg4",     "envia1",
          "envia2",   "envia3",   "envia4",   "Command1", "Command2", "Command3", "Command4",
          "Command5", "Command6", "Command7", "Shape1",   "Shape2",   "Label4",   "Label5",
          "Label8",   "Text1"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestWindows::everyControlExists()
{
    QFETCH(QString, name);
    QWidget *w = window().findChild<QWidget *>(name);
    QVERIFY2(w, qPrintable(name));
    // Every control starts inside the window's client area (the note Label4 runs past its
    // bottom edge by design).
    QVERIFY2(window().rect().contains(w->mapTo(&window(), QPoint(0, 0))), qPrintable(name));
}

void TestWindows::captionsKeepTheirBlanks_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::newRow("Label3") << "Label3"
                            << QString::fromUtf8(" Hor\xc3\xa1rio           Nome do arquivo e "
                                                 "extens\xc3\xa3o");
    QTest::newRow("Label4") << "Label4"
                            << QString::fromUtf8("OBS: Para que a sele\xc3\xa7\xc3\xa3o fique "
                                                 "ativa, minimize ou deixe aberto esta janela.");
    QTest::newRow("Command4") << "Command4"
                              << QString::fromUtf8("Ler diretiva dos hor\xc3\xa1rios");
    QTest::newRow("Label5") << "Label5"
                            << "sinal RF";
    QTest::newRow("Label8") << "Label8"
                            << "sinal IP";
    // The names a screen reader hears are set beside the captions, never instead of them.
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        QTest::addRow("Check%d", slot)
            << QStringLiteral("Check%1").arg(slot) << QStringLiteral("Check%1").arg(slot);
        QTest::addRow("envia%d", slot) << QStringLiteral("envia%1").arg(slot) << "Enviar agora";
    }
    QTest::newRow("Command3") << "Command3"
                              << QString::fromUtf8("Gravar diretivas dos hor\xc3\xa1rios");
    QTest::newRow("Command6") << "Command6"
                              << "Ler diretivas dos arquivos";
    QTest::newRow("Command1") << "Command1"
                              << "Encerrar";
}

void TestWindows::captionsKeepTheirBlanks()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QWidget *w = window().findChild<QWidget *>(name);
    QVERIFY(w);
    if (auto *label = qobject_cast<QLabel *>(w))
        QCOMPARE(label->text(), caption);
    else
        QCOMPARE(qobject_cast<QAbstractButton *>(w)->text(), caption);
}

void TestWindows::designFontsResolve_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("families"); // the face itself, or its stand-in
    QTest::addColumn<qreal>("points");
    QTest::addColumn<bool>("bold");
    const QStringList sans = {"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans"};
    const QStringList serif = {"Times New Roman", "Liberation Serif"};
    QTest::newRow("Label3, default") << "Label3" << sans << 8.25 << false;
    QTest::newRow("Check1, default") << "Check1" << sans << 8.25 << false;
    QTest::newRow("Label2") << "Label2" << serif << 18.0 << true;
    QTest::newRow("Text1") << "Text1" << serif << 18.0 << false;
    QTest::newRow("hora1") << "hora1" << sans << 12.0 << true;
    QTest::newRow("Command1") << "Command1" << sans << 12.0 << true;
    QTest::newRow("Label4") << "Label4" << sans << 9.75 << true;
}

void TestWindows::designFontsResolve()
{
    QFETCH(QString, name);
    QFETCH(QStringList, families);
    QFETCH(qreal, points);
    QFETCH(bool, bold);
    QWidget *w = window().findChild<QWidget *>(name);
    QVERIFY(w);
    const QFontInfo info(w->font());
    QVERIFY2(families.contains(info.family()), qPrintable(info.family()));
    QCOMPARE(w->font().pointSizeF(), points);
    QCOMPARE(info.bold(), bold);
}

void TestWindows::focusStartsOnEncerrarAndTabFollowsTheIndexes()
{
    MainWindow &w = window();
    QVERIFY(m_h->showActive());
    QCOMPARE(QApplication::focusWidget(), control<QWidget>(&w, "Command1"));

    // Tab indexes 0, 2, 3, 5, 8 ... 33 over the controls that take the focus, then round.
    const QStringList expected = {
        "Command2", "Text1",  "envia1", "hora1", "msg1", "Command3", "Command4", "Command5",
        "Command6", "Check1", "Check2", "hora2", "msg2", "envia2",   "Check3",   "hora3",
        "msg3",     "envia3", "Check4", "hora4", "msg4", "envia4",   "Command7", "Command1"};
    QStringList seen;
    for (int i = 0; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        seen << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(seen, expected);

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Command7"));
}

void TestWindows::keyOnEncerrarAsksTheClosingQuestion_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter") << int(Qt::Key_Enter);
    QTest::newRow("Space") << int(Qt::Key_Space);
}

void TestWindows::keyOnEncerrarAsksTheClosingQuestion()
{
    QFETCH(int, key);
    MainWindow &w = window();
    QVERIFY(m_h->showActive());
    // Right after the window opens, the key goes to "Encerrar"; the answer is No.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
    QCOMPARE(m_fake->boxes.texts(), QStringList{QStringLiteral("Tem certeza que quer sair?")});
    QVERIFY(w.isVisible());
}

void TestWindows::timeFieldLimits_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("expected");
    // Typing gets the colon after two characters; the sixth character is refused.
    for (const char *f : {"hora1", "hora2", "hora3"}) {
        QTest::addRow("%s typed", f) << f << "typed"
                                     << "12:34";
        QTest::addRow("%s pasted", f) << f << "pasted"
                                      << "12345";
        QTest::addRow("%s set", f) << f << "set"
                                   << "12345";
    }
    QTest::addRow("hora4 typed") << "hora4"
                                 << "typed"
                                 << "12:3456";
    QTest::addRow("hora4 pasted") << "hora4"
                                  << "pasted"
                                  << "123456";
    QTest::addRow("hora4 set") << "hora4"
                               << "set"
                               << "123456789";
}

void TestWindows::timeFieldLimits()
{
    QFETCH(QString, field);
    QFETCH(QString, how);
    QFETCH(QString, expected);
    MainWindow &w = window();
    QVERIFY(m_h->showActive());
    auto *edit = w.findChild<QLineEdit *>(field);
    QVERIFY(edit);
    edit->setFocus();
    if (how == QLatin1String("typed")) {
        QTest::keyClicks(edit, QStringLiteral("123456"));
    } else if (how == QLatin1String("pasted")) {
        QApplication::clipboard()->setText(QStringLiteral("123456"));
        QTest::keySequence(edit, QKeySequence::Paste);
    } else {
        edit->setText(QStringLiteral("123456789"));
    }
    QCOMPARE(edit->text(), expected);
    if (how != QLatin1String("set")) {
        // A further character after the limit is refused too.
        const QString before = edit->text();
        QTest::keyClick(edit, Qt::Key_9);
        QCOMPARE(edit->text().size(), field == QLatin1String("hora4") ? before.size() + 1 : 5);
    }
}

void TestWindows::mainWindowCannotBeResizedOrMaximised()
{
    MainWindow &w = window();
    QCOMPARE(w.size(), QSize(593, 449 + 20)); // the design, and the status line under it
    QCOMPARE(w.minimumSize(), w.maximumSize());
    const Qt::WindowFlags flags = w.windowFlags();
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(flags & Qt::CustomizeWindowHint); // otherwise the platform adds a maximize button
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.resize(800, 600);
    QCOMPARE(w.size(), QSize(593, 449 + 20)); // the design, and the status line under it
    QVERIFY(!w.windowIcon().isNull());
    QCOMPARE(w.windowTitle(), QStringLiteral("Anunciel por Orvand"));
}

void TestWindows::secondaryWindowsSizes()
{
    Seen about, help;
    QSize aboutMin, aboutMax, helpMin, helpMax, aboutSize, helpSize;
    Qt::WindowFlags aboutFlags, helpFlags;
    whileOpen([&] { m_h->press("Command2"); },
              [&](QDialog *d) {
                  aboutSize = d->size();
                  aboutMin = d->minimumSize();
                  aboutMax = d->maximumSize();
                  aboutFlags = d->windowFlags();
              });
    whileOpen([&] { m_h->press("Command7"); },
              [&](QDialog *d) {
                  helpSize = d->size();
                  helpMin = d->minimumSize();
                  helpMax = d->maximumSize();
                  helpFlags = d->windowFlags();
              });
    QCOMPARE(aboutSize, QSize(315, 384));
    QCOMPARE(aboutMin, aboutMax);
    QVERIFY(aboutFlags & Qt::WindowCloseButtonHint);
    QVERIFY(!(aboutFlags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(helpSize, QSize(319, 274));
    QVERIFY(helpMin != helpMax);
    QVERIFY((helpFlags & Qt::WindowMinMaxButtonsHint) == Qt::WindowMinMaxButtonsHint);
}

void TestWindows::openingBeepsOnceAndShowsModallyWithFocusOnRetornar_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<QString>("retornar");
    QTest::addColumn<int>("key");
    for (auto [k, keyName] :
         {std::pair{Qt::Key_Return, "Return"}, std::pair{Qt::Key_Enter, "Enter"},
          std::pair{Qt::Key_Space, "Space"}}) {
        QTest::addRow("Sobre, %s", keyName) << "Command2"
                                            << "sobre_adicional"
                                            << "ret" << int(k);
        QTest::addRow("Ajuda, %s", keyName) << "Command7"
                                            << "Ajuda"
                                            << "Command1" << int(k);
    }
}

void TestWindows::openingBeepsOnceAndShowsModallyWithFocusOnRetornar()
{
    QFETCH(QString, button);
    QFETCH(QString, dialog);
    QFETCH(QString, retornar);
    QFETCH(int, key);
    MainWindow &w = window();
    QVERIFY(m_h->showActive());

    Seen seen;
    bool ran = false;
    QTimer::singleShot(0, this, [&] {
        ran = true;
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        seen.name = modal->objectName();
        seen.modal = modal->isModal() && modal->windowModality() == Qt::ApplicationModal;
        seen.beeps = m_fake->desktop.beeps;
        if (!becomesActive(modal)) {
            modal->close();
            return;
        }
        QWidget *focus = QApplication::focusWidget();
        if (focus)
            seen.focus = focus->objectName();
        // The key goes to the focused control, right after the window opened.
        if (focus && focus->window() == modal)
            QTest::keyClick(focus, Qt::Key(key));
        seen.closedByKey = !modal->isVisible();
        if (modal->isVisible())
            modal->close();
    });
    QTest::mouseClick(w.findChild<QPushButton *>(button), Qt::LeftButton);
    QVERIFY(ran);
    QCOMPARE(seen.name, dialog);
    QVERIFY(seen.modal);
    QCOMPARE(seen.beeps, 1); // sounded before the window was shown
    QCOMPARE(seen.focus, retornar);
    QVERIFY(seen.closedByKey);
    QCOMPARE(m_fake->desktop.beeps, 1);
    // Unloaded: nothing of it is left.
    QVERIFY(w.findChildren<QDialog *>().isEmpty());
}

void TestWindows::mainWindowIsInertWhileOpen()
{
    MainWindow &w = window();
    QVERIFY(m_h->showActive());
    int beepsWhileOpen = -1;
    QString modalAfterClick;
    whileOpen([&] { m_h->press("Command2"); },
              [&](QDialog *about) {
                  // A click on "Ajuda" meanwhile, through the window system as a person's
                  // click comes, does nothing: no beep, no second window.
                  QTimer::singleShot(300, this, [&, about] {
                      QWidget *modal = QApplication::activeModalWidget();
                      modalAfterClick = modal ? modal->objectName() : QString();
                      if (modal && modal != about)
                          modal->close();
                  });
                  auto *ajuda = w.findChild<QPushButton *>("Command7");
                  QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {},
                                    ajuda->mapTo(&w, ajuda->rect().center()));
                  QTest::qWait(400);
                  beepsWhileOpen = m_fake->desktop.beeps;
              });
    QCOMPARE(modalAfterClick, QStringLiteral("sobre_adicional"));
    QCOMPARE(beepsWhileOpen, 1);
}

void TestWindows::escapeClosesAsRetornarDoes_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("focus"); // the control Escape is pressed on
    QTest::newRow("Sobre, on Retornar") << "Command2"
                                        << "ret";
    QTest::newRow("Sobre, on Visitar") << "Command2"
                                       << "Command1";
    QTest::newRow("Ajuda, on Retornar") << "Command7"
                                        << "Command1";
    QTest::newRow("Ajuda, in the text") << "Command7"
                                        << "Text1";
}

void TestWindows::escapeClosesAsRetornarDoes()
{
    QFETCH(QString, button);
    QFETCH(QString, focus);
    MainWindow &w = window();
    QVERIFY(m_h->showActive());
    bool focused = false;
    bool closedByEscape = false;
    // As on Windows, Escape closes a dialog: here exactly as "Retornar" and the close box do.
    whileOpen([&] { m_h->press(button); },
              [&](QDialog *d) {
                  auto *control = d->findChild<QWidget *>(focus);
                  if (!control)
                      return;
                  control->setFocus();
                  focused = QApplication::focusWidget() == control;
                  QTest::keyClick(control, Qt::Key_Escape);
                  closedByEscape = !d->isVisible();
              });
    QVERIFY(focused);
    QVERIFY(closedByEscape);
    // Unloaded, and nothing opened.
    QVERIFY(w.findChildren<QDialog *>().isEmpty());
    QVERIFY(m_fake->desktop.opened.empty());
}

void TestWindows::typedHelpTextIsGoneOnReopening()
{
    MainWindow &w = window();
    w.show();
    QString first, typed, second;
    whileOpen([&] { m_h->press("Command7"); },
              [&](QDialog *d) {
                  auto *text = d->findChild<QTextEdit *>("Text1");
                  if (!text)
                      return;
                  first = text->toPlainText().replace('\n', QStringLiteral("\r\n"));
                  text->setFocus();
                  QTest::keyClicks(text, QStringLiteral("xyz"));
                  typed = text->toPlainText();
                  // "Retornar" unloads it.
                  QTest::mouseClick(d->findChild<QPushButton *>("Command1"), Qt::LeftButton);
              });
    whileOpen([&] { m_h->press("Command7"); },
              [&](QDialog *d) {
                  if (auto *text = d->findChild<QTextEdit *>("Text1"))
                      second = text->toPlainText().replace('\n', QStringLiteral("\r\n"));
              });
    QCOMPARE(first, kDesignHelpText);
    QVERIFY(typed.contains(QStringLiteral("xyz")));
    QCOMPARE(second, kDesignHelpText);
    QCOMPARE(m_fake->desktop.beeps, 2);
}

void TestWindows::helpControlsStayWhenResized()
{
    QList<QRect> before, after;
    whileOpen([&] { m_h->press("Command7"); },
              [&](QDialog *d) {
                  const QList<QWidget *> controls = {d->findChild<QWidget *>("Label1"),
                                                     d->findChild<QWidget *>("Text1"),
                                                     d->findChild<QWidget *>("Command1")};
                  for (QWidget *c : controls)
                      before << (c ? c->geometry() : QRect());
                  d->resize(600, 500);
                  QTest::qWait(20);
                  for (QWidget *c : controls)
                      after << (c ? c->geometry() : QRect());
              });
    QCOMPARE(before.size(), 3);
    QVERIFY(!before.contains(QRect()));
    QCOMPARE(after, before);
}

void TestWindows::webButtonOpensThePageAndStaysOpen()
{
    bool stillOpen = false;
    bool closedByReturn = false;
    whileOpen([&] { m_h->press("Command2"); },
              [&](QDialog *d) {
                  QTest::mouseClick(d->findChild<QPushButton *>("Command1"), Qt::LeftButton);
                  stillOpen = d->isVisible();
                  // "Retornar" closes it.
                  QTest::mouseClick(d->findChild<QPushButton *>("ret"), Qt::LeftButton);
                  closedByReturn = !d->isVisible();
              });
    QVERIFY(stillOpen);
    QVERIFY(closedByReturn);
    QCOMPARE(m_fake->desktop.opened.size(), std::size_t(1));
    const QUrl url = m_fake->desktop.opened.front();
    QCOMPARE(url.scheme(), QStringLiteral("http"));
    QCOMPARE(url.port(), 2000);
    QCOMPARE(url.path(), QStringLiteral("/"));
    QVERIFY(url.host().endsWith(QStringLiteral(".example")));
}

void TestWindows::slotIsSentWhileAboutWindowIsOpen()
{
    MainWindow &w = window();
    QVERIFY(m_h->start());
    FakeLink *link = m_h->link;
    QVERIFY(link);
    QVERIFY(writeBytes(m_folder->filePath(QStringLiteral("aviso.wav")), "RIFF"));
    m_h->setSlot(0, QStringLiteral("14:30"), QStringLiteral("aviso.wav"));
    m_fake->clock.set(14, 29, 59, 600);
    w.show();

    int playsBeforeMinute = -1;
    int playsInMinute = -1;
    whileOpen([&] { m_h->press("Command2"); },
              [&](QDialog *) {
                  playsBeforeMinute = link->count("PlayFile");
                  // The minute comes while the window is open; the one-second timer, not
                  // the test, runs the tick.
                  m_fake->clock.set(14, 30, 0, 2);
                  (void)QTest::qWaitFor([&] { return link->count("PlayFile") > 0; }, 3000);
                  playsInMinute = link->count("PlayFile");
              });
    QCOMPARE(playsBeforeMinute, 0);
    QCOMPARE(playsInMinute, 1);
    const auto played = std::find_if(link->calls.begin(), link->calls.end(),
                                     [](const FakeLink::Call &c) { return c.op == "PlayFile"; });
    QCOMPARE(QString::fromStdString(played->arg),
             QDir::toNativeSeparators(m_folder->filePath(QStringLiteral("aviso.wav"))));
}

void TestWindows::animationsAsStoredInTheirPictures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("frameDelay");
    QTest::addColumn<int>("loopCount");
    QTest::addColumn<int>("frames"); // 0: any number
    QTest::newRow("antenna tower") << "AniGIF2" << QSize(35, 45) << 100 << 9999 << 10;
    QTest::newRow("level meter") << "AniGIF1" << QSize(56, 63) << 10 << 1000 << 0;
}

void TestWindows::animationsAsStoredInTheirPictures()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);
    QFETCH(int, frameDelay);
    QFETCH(int, loopCount);
    QFETCH(int, frames);
    auto *gif = window().findChild<AniGif *>(name);
    QVERIFY(gif);
    QCOMPARE(gif->pixmap().deviceIndependentSize().toSize(), size);
    QCOMPARE(gif->loopCount(), loopCount);
    if (frames)
        QCOMPARE(gif->frameCount(), frames);
    QVERIFY(gif->frameCount() > 1);
    for (int i = 0; i < gif->frameCount(); ++i)
        QCOMPARE(gif->frameDelay(i), frameDelay);
}

void TestWindows::animationsStartWhenShown()
{
    MainWindow &w = window();
    auto *tower = w.findChild<AniGif *>("AniGIF2");
    auto *meter = w.findChild<AniGif *>("AniGIF1");
    QVERIFY(tower && meter);
    QVERIFY(!tower->isRunning());
    QVERIFY(!meter->isRunning());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(tower->isRunning());
    QVERIFY(meter->isRunning());
    // The meter's frames come every 10 ms: many within a fifth of a second.
    QSignalSpy frames(meter, &AniGif::frameChanged);
    QTest::qWait(200);
    QVERIFY2(frames.size() >= 5, qPrintable(QString::number(frames.size())));
}

void TestWindows::animationStopsWhenRepetitionsAreSpent_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("antenna tower") << "AniGIF2";
    QTest::newRow("level meter") << "AniGIF1";
}

void TestWindows::animationStopsWhenRepetitionsAreSpent()
{
    QFETCH(QString, name);
    auto *inWindow = window().findChild<AniGif *>(name);
    QVERIFY(inWindow);
    // The same picture, played with its frame times cut to nothing.
    AniGif gif;
    gif.setFileName(inWindow->fileName());
    gif.setSpeed(1000000);
    int shown = 0;
    connect(&gif, &AniGif::frameChanged, this, [&] { ++shown; });
    QSignalSpy finished(&gif, &AniGif::finished);
    gif.show();
    QVERIFY(finished.wait(60000));
    QVERIFY(!gif.isRunning());
    // The first play and then as many repetitions as stored; it rests on the last frame.
    QCOMPARE(shown + 1, gif.frameCount() * (gif.loopCount() + 1));
    QCOMPARE(gif.currentFrame(), gif.frameCount() - 1);
    QTest::qWait(20);
    QCOMPARE(finished.size(), 1);
}

void TestWindows::animationsRestWhileNobodySeesThem_data()
{
    QTest::addColumn<bool>("minimise");
    QTest::newRow("window hidden") << false;
    QTest::newRow("window minimised") << true;
}

void TestWindows::animationsRestWhileNobodySeesThem()
{
    QFETCH(bool, minimise);
    MainWindow &w = window();
    auto *tower = w.findChild<AniGif *>("AniGIF2"); // 100 ms a frame
    auto *meter = w.findChild<AniGif *>("AniGIF1");
    QVERIFY(tower && meter);
    QVERIFY(m_h->start());
    QVERIFY(m_h->showActive());
    QVERIFY(tower->isRunning() && !tower->isResting());
    QSignalSpy frames(tower, &AniGif::frameChanged);
    QElapsedTimer away;
    if (minimise)
        w.showMinimized();
    else
        w.hide();
    away.start();
    const int atRest = tower->currentFrame();
    frames.clear();
    QVERIFY(tower->isResting() && meter->isResting());
    QVERIFY(tower->isRunning());
    QTest::qWait(350);
    QCOMPARE(frames.size(), 0);
    QCOMPARE(tower->currentFrame(), atRest);
    // The schedule goes on meanwhile.
    QVERIFY(m_h->secondTimer()->isActive());
    QVERIFY(m_h->linkStateTimer()->isActive());
    const qint64 least = away.elapsed();
    if (minimise)
        w.showNormal();
    else
        w.show();
    const qint64 most = away.elapsed();
    QVERIFY(!tower->isResting() && !meter->isResting());
    // Shown again at the frame its times give for the moment: it was under way in a frame
    // when it went to rest, and 100 ms pass for each further frame.
    const int moved = (tower->currentFrame() - atRest + tower->frameCount()) % tower->frameCount();
    QVERIFY2(
        moved >= least / 100 && moved <= most / 100 + 1,
        qPrintable(QStringLiteral("%1 frames in %2 to %3 ms").arg(moved).arg(least).arg(most)));
    QVERIFY(frames.size() <= 1);
    QVERIFY(tower->isRunning());
}

void TestWindows::gifFrameTimesSurviveDamage()
{
    // A GIF of two 1 x 1 frames, the first stored with 70 ms, the second with none.
    const QByteArray gif = QByteArray::fromHex("474946383961"   // GIF89a
                                               "01000100800000" // screen, 2-colour table
                                               "000000ffffff"   // the table
                                               "21f90400070000"
                                               "00"                             // control: 7/100 s
                                               "2c00000000010001000002024c0100" // frame
                                               "2c00000000010001000002024c0100" // frame
                                               "3b");
    QCOMPARE(gifFrameDelays(gif), (std::vector<int>{70, 0}));
    // Cut anywhere, it gives what it could read and never reads past the end.
    for (int cut = 0; cut < gif.size(); ++cut) {
        const std::vector<int> delays = gifFrameDelays(gif.left(cut));
        QVERIFY(delays.size() <= 2);
        if (!delays.empty())
            QCOMPARE(delays.front(), 70);
    }
    QVERIFY(gifFrameDelays(QByteArray("PNG not a gif")).empty());
    // A colour table or block length running past the end.
    QVERIFY(gifFrameDelays(QByteArray::fromHex("47494638396101000100870000")).empty());
}

void TestWindows::xcbChosenUnderWaylandWithX11_data()
{
    QTest::addColumn<QByteArray>("platform");
    QTest::addColumn<QByteArray>("wayland");
    QTest::addColumn<QByteArray>("x11");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("Wayland with XWayland")
        << QByteArray() << QByteArray("wayland-0") << QByteArray(":0") << QByteArray("xcb");
    QTest::newRow("pure Wayland") << QByteArray() << QByteArray("wayland-0") << QByteArray()
                                  << QByteArray();
    QTest::newRow("X11 only") << QByteArray() << QByteArray() << QByteArray(":0") << QByteArray();
    QTest::newRow("user's choice kept") << QByteArray("wayland") << QByteArray("wayland-0")
                                        << QByteArray(":0") << QByteArray("wayland");
}

void TestWindows::xcbChosenUnderWaylandWithX11()
{
    QFETCH(QByteArray, platform);
    QFETCH(QByteArray, wayland);
    QFETCH(QByteArray, x11);
    QFETCH(QByteArray, expected);
    const QByteArray saved[] = {qgetenv("QT_QPA_PLATFORM"), qgetenv("WAYLAND_DISPLAY"),
                                qgetenv("DISPLAY")};
    const char *names[] = {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY"};
    const QByteArray values[] = {platform, wayland, x11};
    for (int i = 0; i < 3; ++i) {
        if (values[i].isEmpty())
            qunsetenv(names[i]);
        else
            qputenv(names[i], values[i]);
    }
    prepareApplication();
    const QByteArray chosen = qgetenv("QT_QPA_PLATFORM");
    for (int i = 0; i < 3; ++i) {
        if (saved[i].isEmpty())
            qunsetenv(names[i]);
        else
            qputenv(names[i], saved[i]);
    }
    QCOMPARE(chosen, expected);
}

QTEST_MAIN(TestWindows)
#include "test_windows.moc"
