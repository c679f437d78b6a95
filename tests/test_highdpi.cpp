// The three windows on a scaled screen: CTest runs this at 100 %, at 150 % and 200 % through
// QT_SCALE_FACTOR, and on screens that report 144 and 192 dots per inch, from which Qt
// derives the same scalings. ANUNCIEL_EXPECTED_SCALE says which scaling the run must get.
// At every scaling the windows keep their design size in device-independent pixels; what
// could go wrong is text drawn at the new size no longer fitting its box, and pictures
// stretched from their small drawing.

#include "support/Harness.h"
#include "support/ModalWindow.h"
#include "support/WorkingFolder.h"
#include "ui/AniGif.h"
#include "ui/GraphicalButton.h"
#include "ui/WindowDesign.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

#include <cmath>
#include <functional>
#include <memory>

using namespace anunciel;
using namespace anunciel::test;

namespace {

const QString kMainWindow = QStringLiteral("msg");
const QString kAboutWindow = QStringLiteral("sobre_adicional");
const QString kHelpWindow = QStringLiteral("Ajuda");

qreal expectedScale()
{
    bool ok = false;
    const qreal scale = qEnvironmentVariable("ANUNCIEL_EXPECTED_SCALE").toDouble(&ok);
    return ok ? scale : 1.0;
}

QString where(const QWidget *w)
{
    return w->objectName() + QStringLiteral(" (") + QLatin1String(w->metaObject()->className()) +
           QLatin1Char(')');
}

// The part of `w` that lies inside its window: a control may run past the window's edge by
// design (the note at the bottom of the main window).
QRect visibleRect(const QWidget *w)
{
    const QWidget *window = w->window();
    const QRect inWindow(w->mapTo(window, QPoint(0, 0)), w->size());
    return inWindow.intersected(window->rect()).translated(-inWindow.topLeft());
}

// Every way a control's text can be cut: too tall for its box once wrapped, or a word too wide.
QStringList textProblems(QWidget *w)
{
    QStringList problems;
    const QFontMetrics fm = w->fontMetrics();
    const auto tooBig = [&](const QString &what, const QSize &need, const QSize &room) {
        if (need.width() > room.width() || need.height() > room.height())
            problems << QStringLiteral("%1: %2 needs %3x%4, has %5x%6")
                            .arg(where(w), what)
                            .arg(need.width())
                            .arg(need.height())
                            .arg(room.width())
                            .arg(room.height());
    };
    if (auto *button = qobject_cast<GraphicalButton *>(w)) {
        const QRect area = button->contentArea();
        const QRect text = fm.boundingRect(QRect(0, 0, area.width(), 10000),
                                           Qt::AlignHCenter | Qt::TextWordWrap, button->text());
        tooBig(QStringLiteral("picture and caption"), QSize(text.width(), button->contentHeight()),
               area.size());
    } else if (auto *button = qobject_cast<QPushButton *>(w)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QRect contents =
            button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        tooBig(QStringLiteral("caption"), QSize(fm.horizontalAdvance(button->text()), fm.height()),
               contents.size());
    } else if (auto *label = qobject_cast<QLabel *>(w)) {
        if (label->text().isEmpty() || !label->pixmap().isNull())
            return problems;
        const QRect room = label->contentsRect().intersected(visibleRect(label));
        const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
        const QRect text = fm.boundingRect(QRect(0, 0, room.width(), 10000), flags, label->text());
        tooBig(QStringLiteral("caption"), text.size(), room.size());
    } else if (auto *edit = qobject_cast<QLineEdit *>(w)) {
        // The longest text each field normally holds: a time, the clock, a file name.
        const QString sample = edit->objectName() == QLatin1String("Text1")
                                   ? QStringLiteral("88:88:88")
                               : edit->objectName().startsWith(QLatin1String("hora"))
                                   ? QStringLiteral("88:88")
                                   : QStringLiteral("identificacao.wav");
        const int frame = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit);
        tooBig(QStringLiteral("\"%1\"").arg(sample),
               QSize(fm.horizontalAdvance(sample), fm.height()),
               edit->rect().adjusted(frame, frame, -frame, -frame).size());
    } else if (auto *group = qobject_cast<QGroupBox *>(w)) {
        tooBig(QStringLiteral("title"), QSize(fm.horizontalAdvance(group->title()), fm.height()),
               group->size());
    } else if (auto *text = qobject_cast<QTextEdit *>(w)) {
        // No scroll bars by design: the help text must fit, down to its last word (its last
        // line is a single blank).
        QTextDocument *document = text->document();
        qreal bottom = 0;
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
            if (!block.text().trimmed().isEmpty())
                bottom = document->documentLayout()->blockBoundingRect(block).bottom();
        tooBig(QStringLiteral("help text"),
               QSize(int(document->idealWidth()), int(std::ceil(bottom))),
               text->viewport()->size());
    }
    return problems;
}

// Whether the pictures of `w` are drawn from drawings with at least as many pixels as they
// cover on this screen, so that none is stretched and blurred.
QStringList pictureProblems(QWidget *w, qreal scale)
{
    QStringList problems;
    const auto check = [&](const QString &what, const QSize &device, const QSize &covered) {
        const QSize need = (QSizeF(covered) * scale).toSize();
        if (device.width() < need.width() || device.height() < need.height())
            problems << QStringLiteral("%1: %2 has %3x%4 pixels for %5x%6")
                            .arg(where(w), what)
                            .arg(device.width())
                            .arg(device.height())
                            .arg(need.width())
                            .arg(need.height());
    };
    if (auto *button = qobject_cast<GraphicalButton *>(w)) {
        const QPixmap picture = button->picture();
        check(QStringLiteral("icon"), picture.size(), button->iconSize());
        // Shrunk from a drawing of at least that many pixels, not stretched from the small one.
        const QPixmap drawing = button->icon().pixmap(button->iconSize(), std::ceil(scale));
        check(QStringLiteral("icon drawing"), drawing.size(), button->iconSize());
    } else if (auto *gif = qobject_cast<AniGif *>(w)) {
        check(QStringLiteral("frames"), gif->pixmap().size(),
              gif->pixmap().deviceIndependentSize().toSize());
    } else if (auto *label = qobject_cast<QLabel *>(w)) {
        if (!label->pixmap().isNull())
            check(QStringLiteral("picture"), label->pixmap().size(),
                  label->hasScaledContents() ? label->size()
                                             : label->pixmap().deviceIndependentSize().toSize());
    }
    if (w->isWindow() && !w->windowIcon().isNull()) {
        const QSize icon(32, 32);
        check(QStringLiteral("window icon"), w->windowIcon().pixmap(icon, std::ceil(scale)).size(),
              icon);
    }
    return problems;
}

} // namespace

class TestHighDpi : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void screenIsScaledAsAsked();
    void windowsKeepTheirDesignSize_data();
    void windowsKeepTheirDesignSize();
    void noTextIsCut_data();
    void noTextIsCut();
    void picturesAreSharp_data();
    void picturesAreSharp();

private:
    // Runs `check` on the window named `name`, shown as the operator sees it.
    void onWindow(const QString &name, const std::function<void(QWidget *)> &check);
    void windowNames();

    std::unique_ptr<WorkingFolder> m_folder;
    std::unique_ptr<Harness> m_h;
};

void TestHighDpi::init()
{
    freshWindowInFolder(m_folder, m_h);
}

void TestHighDpi::cleanup()
{
    m_h.reset();
    m_folder.reset();
}

void TestHighDpi::onWindow(const QString &name, const std::function<void(QWidget *)> &check)
{
    MainWindow &w = m_h->w();
    QVERIFY(m_h->start());
    // Link state and clock as after the first second: the captions at their running texts.
    m_h->s().readSides();
    m_h->s().onSecond();
    QVERIFY(m_h->showActive());
    if (name == kMainWindow) {
        check(&w);
        return;
    }
    QVERIFY(whileModalOpen([&] { m_h->press(name == kAboutWindow ? "Command2" : "Command7"); },
                           [&](QDialog *d) { check(d); }));
}

void TestHighDpi::windowNames()
{
    QTest::addColumn<QString>("window");
    QTest::newRow("main") << kMainWindow;
    QTest::newRow("about") << kAboutWindow;
    QTest::newRow("help") << kHelpWindow;
}

void TestHighDpi::screenIsScaledAsAsked()
{
    // Otherwise every other test here would pass on an unscaled screen and prove nothing.
    MainWindow &w = m_h->w();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.devicePixelRatio(), expectedScale());
    // The fonts keep their design size: the scaling is Qt's, not a larger font in a design
    // of the same size.
    QCOMPARE(w.logicalDpiY(), 96);
}

void TestHighDpi::windowsKeepTheirDesignSize_data()
{
    windowNames();
}

void TestHighDpi::windowsKeepTheirDesignSize()
{
    QFETCH(QString, window);
    // Device-independent pixels, as at 100 %: the proportions of the design.
    const QSize design = window == kMainWindow ? QSize(twips(8895), twips(6735 + kStatusLineHeight))
                         : window == kAboutWindow ? QSize(twips(4725), twips(5760))
                                                  : QSize(twips(4785), twips(4110));
    QSize seen;
    qreal ratio = 0;
    onWindow(window, [&](QWidget *w) {
        seen = w->size();
        ratio = w->devicePixelRatio();
    });
    QCOMPARE(seen, design);
    QCOMPARE(ratio, expectedScale());
}

void TestHighDpi::noTextIsCut_data()
{
    windowNames();
}

void TestHighDpi::noTextIsCut()
{
    QFETCH(QString, window);
    QStringList problems;
    int looked = 0;
    onWindow(window, [&](QWidget *w) {
        for (QWidget *child : w->findChildren<QWidget *>()) {
            if (!child->isVisible())
                continue;
            ++looked;
            problems << textProblems(child);
        }
    });
    QVERIFY(looked > 3);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

void TestHighDpi::picturesAreSharp_data()
{
    windowNames();
}

void TestHighDpi::picturesAreSharp()
{
    QFETCH(QString, window);
    QStringList problems;
    int pictures = 0;
    onWindow(window, [&](QWidget *w) {
        problems << pictureProblems(w, expectedScale());
        for (QWidget *child : w->findChildren<QWidget *>()) {
            auto *label = qobject_cast<QLabel *>(child);
            auto *button = qobject_cast<QPushButton *>(child);
            if ((label && !label->pixmap().isNull()) || (button && !button->icon().isNull()))
                ++pictures;
            problems << pictureProblems(child, expectedScale());
        }
    });
    QVERIFY(pictures > 0);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TestHighDpi)
#include "test_highdpi.moc"
