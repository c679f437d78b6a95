// What the program tells a screen reader by itself, as Qt's AT-SPI bridge passes it on to
// Orca: an indicator that changes between free and busy is told once, and the clock's ticking
// is not told at all unless the operator is on the clock. Runs on an X display with the
// accessibility bus (tests/run_with_atspi.sh), the only place where Qt sends these events.

#include "support/Harness.h"
#include "support/Keyboard.h"
#include "support/TestFiles.h"
#include "support/WorkingFolder.h"
#include "ui/Accessibility.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <memory>
#include <vector>

using namespace anunciel;
using namespace anunciel::test;

namespace {

// One notice Qt would have handed to the platform's reader.
struct Notice
{
    QAccessible::Event type;
    QString objectName;
    QString name; // the object's name as the reader would read it on this notice
};

std::vector<Notice> &notices()
{
    static std::vector<Notice> all;
    return all;
}

void listen(QAccessibleEvent *event)
{
    Notice n{event->type(), QString(), QString()};
    if (QObject *object = event->object())
        n.objectName = object->objectName();
    if (QAccessibleInterface *iface = event->accessibleInterface())
        n.name = iface->text(QAccessible::Name);
    notices().push_back(n);
}

// The notices about `objectName`, of `type` (of any type when `type` is 0).
std::vector<Notice> about(const QString &objectName, int type = 0)
{
    std::vector<Notice> found;
    for (const Notice &n : notices())
        if (n.objectName == objectName && (type == 0 || int(n.type) == type))
            found.push_back(n);
    return found;
}

// How many notices told of a change of `objectName`'s text.
int textChanges(const QString &objectName)
{
    int n = 0;
    for (const Notice &notice : about(objectName))
        n += notice.type == QAccessible::TextInserted || notice.type == QAccessible::TextRemoved ||
             notice.type == QAccessible::TextUpdated;
    return n;
}

// The notices' types, to say what came when none should have.
QString types(const std::vector<Notice> &list)
{
    QStringList out;
    for (const Notice &n : list)
        out << QStringLiteral("0x%1").arg(int(n.type), 0, 16);
    return out.join(QLatin1Char(' '));
}

QStringList names(const std::vector<Notice> &list)
{
    QStringList out;
    for (const Notice &n : list)
        out << n.name;
    return out;
}

} // namespace

class TestAnnouncements : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void indicatorTellsOnlyRealChanges_data();
    void indicatorTellsOnlyRealChanges();
    void clockTicksQuietly();
    void clockTellsWhenTheOperatorIsOnIt();
    void statusLineTellsEachNewText();

private:
    void showMainWindow();

    std::unique_ptr<WorkingFolder> m_folder;
    std::unique_ptr<Harness> m_h;
    QAccessible::UpdateHandler m_previous = nullptr;
};

void TestAnnouncements::initTestCase()
{
    // Qt's bridge switches on once it has found the accessibility bus.
    QVERIFY2(QTest::qWaitFor([] { return QAccessible::isActive(); }, 10000),
             "Qt's accessibility did not switch on: run through tests/run_with_atspi.sh");
}

void TestAnnouncements::init()
{
    m_folder = std::make_unique<WorkingFolder>();
    m_h = std::make_unique<Harness>();
    m_h->fake.desktop.folder = m_folder->path();
    QVERIFY(m_h->start());
    notices().clear();
    // Stands where the bridge to the reader stands: every notice comes here instead.
    m_previous = QAccessible::installUpdateHandler(&listen);
}

void TestAnnouncements::cleanup()
{
    QAccessible::installUpdateHandler(m_previous);
    m_h.reset();
    m_folder.reset();
}

void TestAnnouncements::showMainWindow()
{
    QVERIFY(m_h->showActive());
}

void TestAnnouncements::indicatorTellsOnlyRealChanges_data()
{
    QTest::addColumn<bool>("radio");          // the side that changes; the other stays free
    QTest::addColumn<QList<int>>("readings"); // one a second: 0 free, 1 busy, -1 the read fails
    QTest::addColumn<QStringList>("told");
    const QString rf = QString::fromUtf8("R\xc3\xa1"
                                         "dio (RF): ");
    const QString ip = QStringLiteral("Internet (IP): ");
    QTest::newRow("RF stays free") << true << QList<int>{0, 0, 0} << QStringList{rf + "livre"};
    QTest::newRow("RF goes busy and free again")
        << true << QList<int>{0, 0, 1, 1, 1, 0, 0}
        << QStringList{rf + "livre", rf + "ocupado", rf + "livre"};
    QTest::newRow("IP goes busy") << false << QList<int>{0, 1, 1, 1}
                                  << QStringList{ip + "livre", ip + "ocupada"};
    QTest::newRow("IP busy from the start")
        << false << QList<int>{1, 1} << QStringList{ip + "ocupada"};
    // A read that fails shows the side unknown: told once, as unknown, not as free.
    QTest::newRow("RF read fails while busy")
        << true << QList<int>{1, -1, -1, 0}
        << QStringList{rf + "ocupado", rf + "sem leitura, estado desconhecido", rf + "livre"};
}

void TestAnnouncements::indicatorTellsOnlyRealChanges()
{
    QFETCH(bool, radio);
    QFETCH(QList<int>, readings);
    QFETCH(QStringList, told);
    FakeLink *link = m_h->link;
    for (int reading : readings) {
        std::int16_t &value = radio ? link->rfValue : link->ipValue;
        bool &fails = radio ? link->failRf : link->failIp;
        value = std::int16_t(reading == 1 ? 1 : 0);
        fails = reading < 0;
        // What the one-second timer runs.
        m_h->s().readSides();
    }
    const QString caption = radio ? QStringLiteral("Label5") : QStringLiteral("Label8");
    const QString lamp = radio ? QStringLiteral("Shape1") : QStringLiteral("Shape2");
    QCOMPARE(names(about(caption, QAccessible::NameChanged)), told);
    // Nothing else about the indicator: no notice per repaint, none from the lamp.
    QCOMPARE(about(caption).size(), std::size_t(told.size()));
    QVERIFY(about(lamp).empty());
    // The side that did not change was told once, at its first reading.
    const QString other = radio ? QStringLiteral("Label8") : QStringLiteral("Label5");
    QCOMPARE(about(other).size(), std::size_t(1));
}

void TestAnnouncements::statusLineTellsEachNewText()
{
    QVERIFY(writeBytes(m_folder->filePath(QStringLiteral("um.wav")), "RIFF"));
    m_h->setSlot(0, QStringLiteral("14:30"), QStringLiteral("um.wav"));
    // Ten seconds: the line changes when the send goes out and at no other second.
    for (int s = 55; s < 65; ++s)
        m_h->tickAt(14 * 3600 + 29 * 60 + s);
    const QString line = QStringLiteral("statusLine");
    const QString head = kStatusName + QStringLiteral(": ");
    QCOMPARE(names(about(line, QAccessible::NameChanged)),
             (QStringList{head + QStringLiteral("Próxima: mensagem 1 às 14:30"),
                          head + QStringLiteral("Último envio: mensagem 1 às 14:30:00, enviada. "
                                                "Próxima: mensagem 1 amanhã às 14:30")}));
    QCOMPARE(about(line).size(), std::size_t(2));
}

void TestAnnouncements::clockTicksQuietly()
{
    showMainWindow();
    // The focus is on "Encerrar", as when the window opens.
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Command1"));
    notices().clear();
    for (int s = 0; s < 5; ++s)
        m_h->tickAt(14, 30, s);
    // Shown every second...
    QCOMPARE(m_h->clock()->text(), QStringLiteral("14:30:04"));
    // ...told never.
    QVERIFY2(about(QStringLiteral("Text1")).empty(), qPrintable(types(about("Text1"))));

    // Everything else still reaches the reader: a slot ticked with Space is told.
    QVERIFY(tabTo(QStringLiteral("Check1")));
    notices().clear();
    pressOnFocus(Qt::Key_Space);
    QVERIFY(!about(QStringLiteral("Check1"), QAccessible::StateChanged).empty());
}

void TestAnnouncements::clockTellsWhenTheOperatorIsOnIt()
{
    showMainWindow();
    // Tab to the clock, as an operator who wants to hear the time does.
    QVERIFY(tabTo(QStringLiteral("Text1")));
    notices().clear();
    for (int s = 0; s < 3; ++s)
        m_h->tickAt(15, 0, s);
    // Each new time told as a change of the field's text (the first one fills an empty field).
    QCOMPARE(textChanges(QStringLiteral("Text1")), 3);
    // Back on another control, the clock is quiet again.
    pressOnFocus(Qt::Key_Tab);
    QVERIFY(QApplication::focusWidget() != m_h->clock());
    notices().clear();
    m_h->tickAt(15, 0, 3);
    m_h->tickAt(15, 0, 4);
    QVERIFY2(about(QStringLiteral("Text1")).empty(), qPrintable(types(about("Text1"))));
    QCOMPARE(m_h->clock()->text(), QStringLiteral("15:00:04"));
}

QTEST_MAIN(TestAnnouncements)
#include "test_announcements.moc"
