// The windows as a blind operator meets them: every control read through Qt's accessibility
// layer, as Orca (AT-SPI) and NVDA or JAWS (UI Automation) read it, with a name that says
// what it is and which slot it belongs to; and the whole main window worked with the
// keyboard alone, message boxes and dialogs included.

#include "ui/WindowPlatform.h"
#include "schedule/ScheduleFile.h"
#include "support/AccessibleTree.h"
#include "support/Harness.h"
#include "support/Keyboard.h"
#include "support/ModalWindow.h"
#include "support/TestFiles.h"
#include "support/WorkingFolder.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QTest>

#include <memory>

using namespace anunciel;
using namespace anunciel::test;

namespace {

const QString kMainWindow = QStringLiteral("msg");
const QString kAboutWindow = QStringLiteral("sobre_adicional");
const QString kHelpWindow = QStringLiteral("Ajuda");

// What a row of the tables below says of one control.
QString describe(const Spoken &s)
{
    return QStringLiteral("%1: \"%2\" role 0x%3%4")
        .arg(s.objectName, s.name, QString::number(int(s.role), 16),
             s.state.invisible ? QStringLiteral(" (skipped)") : QString());
}

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void everyControlIsNamedOnceOrSkipped_data();
    void everyControlIsNamedOnceOrSkipped();
    void slotControlsSayTheirSlot_data();
    void slotControlsSayTheirSlot();
    void otherControlsSayWhatTheyAre_data();
    void otherControlsSayWhatTheyAre();
    void indicatorsSayTheirSideAndState_data();
    void indicatorsSayTheirSideAndState();
    void checkBoxesToggleWithSpace_data();
    void checkBoxesToggleWithSpace();
    void keyboardAloneRunsTheWholeWindow();
    void messageBoxesTakeEnterAndEscape_data();
    void messageBoxesTakeEnterAndEscape();

private:
    // The accessible tree of the window named `windowName`, as shown on the screen.
    QList<Spoken> readShownWindow(const QString &windowName);
    void showMainWindow();
    // What a window manager does when a dialog closes, which the headless platform does not:
    // the main window becomes active again, its focus where it was.
    void regainFocus();

    std::unique_ptr<WorkingFolder> m_folder;
    std::unique_ptr<Harness> m_h;
};

void TestAccessibility::init()
{
    freshWindowInFolder(m_folder, m_h);
}

void TestAccessibility::cleanup()
{
    m_h.reset();
    m_folder.reset();
}

void TestAccessibility::showMainWindow()
{
    QVERIFY(m_h->showActive());
}

void TestAccessibility::regainFocus()
{
    MainWindow &w = m_h->w();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
}

QList<Spoken> TestAccessibility::readShownWindow(const QString &windowName)
{
    showMainWindow();
    if (windowName == kMainWindow)
        return readAccessibleTree(&m_h->w());
    QList<Spoken> tree;
    // The about and help windows are read while they are open.
    const bool opened =
        whileModalOpen([&] { m_h->press(windowName == kAboutWindow ? "Command2" : "Command7"); },
                       [&](QDialog *d) { tree = readAccessibleTree(d); });
    if (!opened)
        qWarning("the window %s did not open", qPrintable(windowName));
    return tree;
}

void TestAccessibility::everyControlIsNamedOnceOrSkipped_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("role");
    // The decorations a reader skips: the lamps repeat their captions in colour, the
    // animations only move, the lines only divide.
    QTest::addColumn<QStringList>("skipped");
    QTest::newRow("main") << kMainWindow << "Anunciel por Orvand" << int(QAccessible::Window)
                          << QStringList{"AniGIF1", "AniGIF2", "Shape1", "Shape2"};
    QTest::newRow("about") << kAboutWindow << "Sobre" << int(QAccessible::Dialog)
                           << QStringList{"Line1", "Line2", "Line3"};
    QTest::newRow("help") << kHelpWindow << "Ajuda" << int(QAccessible::Dialog) << QStringList{};
}

void TestAccessibility::everyControlIsNamedOnceOrSkipped()
{
    QFETCH(QString, window);
    QFETCH(QString, title);
    QFETCH(int, role);
    QFETCH(QStringList, skipped);
    const QList<Spoken> tree = readShownWindow(window);
    QVERIFY(!tree.isEmpty());
    QCOMPARE(tree.front().objectName, window);
    QCOMPARE(int(tree.front().role), role);
    QCOMPARE(tree.front().name, title);

    QStringList skippedSeen;
    QSet<QString> seen;
    for (const Spoken &s : tree) {
        // Hidden parts (a text box's unused scroll bars) are not on the screen at all.
        if (!s.shown)
            continue;
        if (s.state.invisible) {
            skippedSeen << s.objectName;
            continue;
        }
        // A bare panel (the title panel, a text box's viewport) is structure, not a control:
        // it has nothing of its own to say, and readers pass over it.
        if (s.role == QAccessible::Client)
            continue;
        QVERIFY2(!s.name.trimmed().isEmpty(), qPrintable(describe(s)));
        // Two controls with the same name and role could not be told apart.
        const QString key = s.name + QLatin1Char('|') + QString::number(int(s.role));
        QVERIFY2(!seen.contains(key), qPrintable(QStringLiteral("named twice: ") + describe(s)));
        seen.insert(key);
    }
    skippedSeen.sort();
    skipped.sort();
    QCOMPARE(skippedSeen, skipped);
}

void TestAccessibility::slotControlsSayTheirSlot_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("role");
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        const QString n = QString::number(slot);
        const QString m = QStringLiteral("Mensagem %1: ").arg(slot);
        QTest::addRow("Check%d", slot) << "Check" + n << m + "ativa" << int(QAccessible::CheckBox);
        QTest::addRow("hora%d", slot) << "hora" + n << m + QString::fromUtf8("hor\xc3\xa1rio")
                                      << int(QAccessible::EditableText);
        QTest::addRow("msg%d", slot)
            << "msg" + n << m + "arquivo" << int(QAccessible::EditableText);
        QTest::addRow("envia%d", slot)
            << "envia" + n << m + "enviar agora" << int(QAccessible::Button);
    }
}

void TestAccessibility::slotControlsSayTheirSlot()
{
    QFETCH(QString, control);
    QFETCH(QString, name);
    QFETCH(int, role);
    showMainWindow();
    auto *widget = m_h->control<QWidget>(control);
    const Spoken s = spokenOf(widget);
    QCOMPARE(s.name, name);
    QCOMPARE(int(s.role), role);
    QVERIFY2(!s.description.isEmpty(), qPrintable(control));
    // Reached with Tab, and shown.
    QVERIFY(s.state.focusable);
    QVERIFY(!s.state.invisible);
    if (role == QAccessible::CheckBox) {
        QVERIFY(s.state.checkable);
        QVERIFY(!s.state.checked);
    }
    if (role == QAccessible::EditableText)
        QVERIFY(!s.state.readOnly);
}

void TestAccessibility::otherControlsSayWhatTheyAre_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("role");
    QTest::addColumn<bool>("described");
    const int button = QAccessible::Button;
    QTest::newRow("Gravar horários")
        << kMainWindow << "Command3" << QString::fromUtf8("Gravar diretivas dos hor\xc3\xa1rios")
        << button << true;
    QTest::newRow("Ler horários") << kMainWindow << "Command4"
                                  << QString::fromUtf8("Ler diretiva dos hor\xc3\xa1rios") << button
                                  << true;
    QTest::newRow("Gravar arquivos") << kMainWindow << "Command5"
                                     << "Gravar diretivas dos arquivos" << button << true;
    QTest::newRow("Ler arquivos") << kMainWindow << "Command6"
                                  << "Ler diretivas dos arquivos" << button << true;
    QTest::newRow("Sobre") << kMainWindow << "Command2"
                           << "Sobre" << button << true;
    QTest::newRow("Ajuda") << kMainWindow << "Command7"
                           << "Ajuda" << button << true;
    QTest::newRow("Encerrar") << kMainWindow << "Command1"
                              << "Encerrar" << button << true;
    QTest::newRow("clock") << kMainWindow << "Text1" << QString::fromUtf8("Rel\xc3\xb3gio")
                           << int(QAccessible::EditableText) << true;
    QTest::newRow("radio indicator") << kMainWindow << "Label5"
                                     << QString::fromUtf8("R\xc3\xa1"
                                                          "dio (RF)")
                                     << int(QAccessible::StaticText) << true;
    QTest::newRow("internet indicator") << kMainWindow << "Label8"
                                        << "Internet (IP)" << int(QAccessible::StaticText) << true;
    QTest::newRow("frame") << kMainWindow << "Frame1"
                           << "Mensagens (arquivos wav)" << int(QAccessible::Grouping) << false;
    QTest::newRow("banner") << kMainWindow << "Image1"
                            << "EchoLink" << int(QAccessible::Graphic) << false;
    QTest::newRow("about: Retornar") << kAboutWindow << "ret"
                                     << "Retornar" << button << true;
    QTest::newRow("about: Visitar") << kAboutWindow << "Command1"
                                    << "Visitar Servidor Orvand" << button << true;
    QTest::newRow("about: picture") << kAboutWindow << "Image1"
                                    << QString::fromUtf8("Torre de r\xc3\xa1"
                                                         "dio")
                                    << int(QAccessible::Graphic) << false;
    QTest::newRow("help: Retornar") << kHelpWindow << "Command1"
                                    << "Retornar" << button << true;
    QTest::newRow("help: text") << kHelpWindow << "Text1"
                                << "Texto da ajuda" << int(QAccessible::EditableText) << false;
}

void TestAccessibility::otherControlsSayWhatTheyAre()
{
    QFETCH(QString, window);
    QFETCH(QString, control);
    QFETCH(QString, name);
    QFETCH(int, role);
    QFETCH(bool, described);
    const QList<Spoken> tree = readShownWindow(window);
    const auto found = std::find_if(tree.begin(), tree.end(),
                                    [&](const Spoken &s) { return s.objectName == control; });
    QVERIFY2(found != tree.end(), qPrintable(control));
    QCOMPARE(found->name, name);
    QCOMPARE(int(found->role), role);
    QVERIFY(!found->state.invisible);
    if (described)
        QVERIFY2(!found->description.isEmpty(), qPrintable(control));
}

void TestAccessibility::indicatorsSayTheirSideAndState_data()
{
    QTest::addColumn<int>("rf"); // what the link answers: 0 free, 1 busy, -1 the read fails
    QTest::addColumn<int>("ip");
    QTest::addColumn<QString>("rfCaption");
    QTest::addColumn<QString>("rfName");
    QTest::addColumn<QString>("ipName");
    const QString radio = QString::fromUtf8("R\xc3\xa1"
                                            "dio (RF): ");
    QTest::newRow("both free") << 0 << 0 << "RF livre" << radio + "livre"
                               << "Internet (IP): livre";
    QTest::newRow("radio busy") << 1 << 0 << "RF ocupado " << radio + "ocupado"
                                << "Internet (IP): livre";
    QTest::newRow("internet busy") << 0 << 1 << "RF livre" << radio + "livre"
                                   << "Internet (IP): ocupada";
    QTest::newRow("both busy") << 1 << 1 << "RF ocupado " << radio + "ocupado"
                               << "Internet (IP): ocupada";
    // A read that fails shows the side unknown, and says so.
    QTest::newRow("radio read fails")
        << -1 << 1 << "RF sem leitura" << radio + "sem leitura, estado desconhecido"
        << "Internet (IP): ocupada";
}

void TestAccessibility::indicatorsSayTheirSideAndState()
{
    QFETCH(int, rf);
    QFETCH(int, ip);
    QFETCH(QString, rfCaption);
    QFETCH(QString, rfName);
    QFETCH(QString, ipName);
    QVERIFY(m_h->start());
    FakeLink *link = m_h->link;
    link->rfValue = std::int16_t(rf == 1 ? 1 : 0);
    link->failRf = rf < 0;
    link->ipValue = std::int16_t(ip);
    m_h->s().readSides();
    const Spoken radio = spokenOf(m_h->label(QStringLiteral("Label5")));
    const Spoken internet = spokenOf(m_h->label(QStringLiteral("Label8")));
    QCOMPARE(radio.name, rfName);
    QCOMPARE(internet.name, ipName);
    QCOMPARE(radio.role, QAccessible::StaticText);
    // What the eye reads stays the design's caption.
    QCOMPARE(m_h->label(QStringLiteral("Label5"))->text(), rfCaption);
    // The next second repaints the same state; the names stay.
    m_h->s().readSides();
    QCOMPARE(spokenOf(m_h->label(QStringLiteral("Label5"))).name, rfName);
    QCOMPARE(spokenOf(m_h->label(QStringLiteral("Label8"))).name, ipName);
}

void TestAccessibility::checkBoxesToggleWithSpace_data()
{
    QTest::addColumn<int>("slot");
    for (int slot = 0; slot < kSlotCount; ++slot)
        QTest::addRow("Check%d", slot + 1) << slot;
}

void TestAccessibility::checkBoxesToggleWithSpace()
{
    QFETCH(int, slot);
    showMainWindow();
    QVERIFY(tabTo(Harness::slotName("Check", slot)));
    QCheckBox *box = m_h->enabled(slot);
    pressOnFocus(Qt::Key_Space);
    QCOMPARE(box->checkState(), Qt::Checked);
    QVERIFY(spokenOf(box).state.checked);
    pressOnFocus(Qt::Key_Space);
    QCOMPARE(box->checkState(), Qt::Unchecked);
    QVERIFY(!spokenOf(box).state.checked);
    // No other slot moved.
    QCOMPARE(m_h->enabledStates(), QStringLiteral("...."));
}

void TestAccessibility::keyboardAloneRunsTheWholeWindow()
{
    MainWindow &w = m_h->w();
    QVERIFY(m_h->start());
    FakeLink *link = m_h->link;
    QVERIFY(writeBytes(m_folder->filePath(QStringLiteral("aviso.wav")), "RIFF"));
    showMainWindow();
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Command1"));

    // A time typed over the one start-up put there: select it all, type four digits; the
    // colon comes by itself.
    QVERIFY(tabTo(QStringLiteral("hora1")));
    QTest::keySequence(QApplication::focusWidget(), QKeySequence::SelectAll);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("0930"));
    QCOMPARE(m_h->time(0)->text(), QStringLiteral("09:30"));
    // The file name, next in the Tab order.
    pressOnFocus(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), m_h->fileName(0));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("aviso.wav"));
    QCOMPARE(m_h->fileName(0)->text(), QStringLiteral("aviso.wav"));

    // Save the times with Space, the names with Enter.
    QVERIFY(tabTo(QStringLiteral("Command3")));
    pressOnFocus(Qt::Key_Space);
    QVERIFY(readBytes(m_folder->filePath(kTimesFile)).startsWith("09:30\r\n"));
    QVERIFY(tabTo(QStringLiteral("Command5")));
    pressOnFocus(Qt::Key_Return);
    QVERIFY(readBytes(m_folder->filePath(kNamesFile)).startsWith("aviso.wav\r\n"));

    // Load both back after another hand changed them.
    QVERIFY(writeBytes(m_folder->filePath(kTimesFile), "10:15\r\n\r\n\r\n\r\n"));
    QVERIFY(writeBytes(m_folder->filePath(kNamesFile), "aviso.wav\r\noutro.wav\r\n\r\n\r\n"));
    QVERIFY(tabTo(QStringLiteral("Command4")));
    pressOnFocus(Qt::Key_Return);
    QCOMPARE(m_h->time(0)->text(), QStringLiteral("10:15"));
    QVERIFY(tabTo(QStringLiteral("Command6")));
    pressOnFocus(Qt::Key_Space);
    QCOMPARE(m_h->fileName(1)->text(), QStringLiteral("outro.wav"));

    // Tick slot 1.
    QVERIFY(tabTo(QStringLiteral("Check1")));
    pressOnFocus(Qt::Key_Space);
    QCOMPARE(m_h->enabled(0)->checkState(), Qt::Checked);

    // Send it now, round the Tab order.
    QVERIFY(tabTo(QStringLiteral("envia1")));
    pressOnFocus(Qt::Key_Return);
    QCOMPARE(link->count("PlayFile"), 1);
    QCOMPARE(link->count("SetTransmit"), 2);

    // "Sobre" opens with Enter and closes with Escape; "Ajuda" opens with Space and closes
    // with Enter on its "Retornar".
    QString opened, focusInside;
    bool closed = false;
    QVERIFY(tabTo(QStringLiteral("Command2")));
    QVERIFY(whileModalOpen([] { pressOnFocus(Qt::Key_Return); },
                           [&](QDialog *d) {
                               opened = d->objectName();
                               pressOnFocus(Qt::Key_Escape);
                               closed = !d->isVisible();
                           }));
    QCOMPARE(opened, kAboutWindow);
    QVERIFY(closed);
    regainFocus();
    closed = false;
    QVERIFY(tabTo(QStringLiteral("Command7")));
    QVERIFY(whileModalOpen([] { pressOnFocus(Qt::Key_Space); },
                           [&](QDialog *d) {
                               opened = d->objectName();
                               focusInside = QApplication::focusWidget()->objectName();
                               pressOnFocus(Qt::Key_Return);
                               closed = !d->isVisible();
                           }));
    QCOMPARE(opened, kHelpWindow);
    QCOMPARE(focusInside, QStringLiteral("Command1"));
    QVERIFY(closed);
    QCOMPARE(m_h->fake.desktop.beeps, 2);
    regainFocus();

    // Quit: Enter on "Encerrar", and Yes to the question.
    m_h->fake.boxes.answers = {true};
    QVERIFY(tabTo(QStringLiteral("Command1")));
    pressOnFocus(Qt::Key_Return);
    QCOMPARE(m_h->fake.boxes.texts(), QStringList{QStringLiteral("Tem certeza que quer sair?")});
    QVERIFY(!w.isVisible());
}

void TestAccessibility::messageBoxesTakeEnterAndEscape_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<bool>("yes"); // the question's answer
    const QList<int> tabThenEnter{Qt::Key_Tab, Qt::Key_Return};
    // A box with only OK closes with Enter, Space and Escape, as on Windows.
    for (const char *box : {"ok", "fatal"}) {
        QTest::addRow("%s, Return", box) << box << QList<int>{Qt::Key_Return} << false;
        QTest::addRow("%s, Enter", box) << box << QList<int>{Qt::Key_Enter} << false;
        QTest::addRow("%s, Space", box) << box << QList<int>{Qt::Key_Space} << false;
        QTest::addRow("%s, Escape", box) << box << QList<int>{Qt::Key_Escape} << false;
    }
    // The closing question: "Não" is the default and the escape, so a hurried Enter or an
    // Escape never ends the program; "Sim" takes a Tab first.
    QTest::newRow("question, Return") << "question" << QList<int>{Qt::Key_Return} << false;
    QTest::newRow("question, Space") << "question" << QList<int>{Qt::Key_Space} << false;
    QTest::newRow("question, Escape") << "question" << QList<int>{Qt::Key_Escape} << false;
    QTest::newRow("question, Tab, Return") << "question" << tabThenEnter << true;
    QTest::newRow("question, Tab, Space")
        << "question" << QList<int>{Qt::Key_Tab, Qt::Key_Space} << true;
}

void TestAccessibility::messageBoxesTakeEnterAndEscape()
{
    QFETCH(QString, box);
    QFETCH(QList<int>, keys);
    QFETCH(bool, yes);
    showMainWindow();
    // The real boxes, not the tests' fakes.
    MessageBoxes *boxes = windowPlatform().boxes;
    bool answer = false;
    bool closedByKeys = false;
    QString focused;
    const bool opened = whileModalOpen(
        [&] {
            if (box == QLatin1String("ok"))
                boxes->ok(&m_h->w(), QStringLiteral("Grave as mensagens primeiro!"), programTitle(),
                          MessageBoxes::Icon::NoIcon);
            else if (box == QLatin1String("fatal"))
                boxes->fatal(&m_h->w(), 429, QStringLiteral("Erro"));
            else
                answer = boxes->question(&m_h->w(), QStringLiteral("Tem certeza que quer sair?"),
                                         QStringLiteral("anunciel"));
        },
        [&](QDialog *d) {
            focused = QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : "";
            for (int key : keys)
                pressOnFocus(Qt::Key(key));
            closedByKeys = !d->isVisible();
        });
    QVERIFY(opened);
    QVERIFY2(closedByKeys, qPrintable(focused));
    QCOMPARE(answer, yes);
}

QTEST_MAIN(TestAccessibility)
#include "test_accessibility.moc"
