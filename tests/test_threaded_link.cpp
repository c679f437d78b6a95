// The node's calls on a thread of their own, each bounded: a slow node, a hung one, late
// answers, the order of the calls, and the way out with a call that never returns.

#include "SlowLink.h"
#include "WorkingFolder.h"
#include "link/ThreadedLink.h"

#include <QElapsedTimer>
#include <QtTest>

#include <memory>

using namespace anunciel;
using namespace anunciel::test;
using namespace std::chrono_literals;

namespace {

using Op = ThreadedLink::Operation;
using Strings = std::vector<std::string>;

// The bounds of these tests: short, so that a run stays quick.
ThreadedLink::Bounds testBounds()
{
    ThreadedLink::Bounds b;
    b.read = 150ms;
    b.transmit = 600ms;
    b.creation = 2000ms;
    b.release = 1000ms;
    return b;
}

struct Node
{
    WorkingFolder folder;
    std::shared_ptr<SlowLink::Shared> inner = std::make_shared<SlowLink::Shared>();
    std::unique_ptr<LinkObject> link;
    QStringList notes;

    explicit Node(ThreadedLink::Bounds bounds = testBounds())
    {
        LinkCreation made = ThreadedLink::create(
            [inner = inner](const ThreadedLink::Note &) {
                return LinkCreation{std::make_unique<SlowLink>(inner), LinkStatus::success()};
            },
            [this](const QString &line) { notes << line; }, bounds);
        link = std::move(made.link);
        if (!link)
            qFatal("no threaded link: %s", made.status.description.c_str());
    }
    ~Node()
    {
        // Whatever a test left hanging returns, so that its thread ends.
        inner->release();
    }
    ThreadedLink &threaded() { return static_cast<ThreadedLink &>(*link); }

    LinkStatus call(Op op, std::int16_t &value)
    {
        switch (op) {
        case Op::RfBusy:
            return link->RfBusy(value);
        case Op::IpBusy:
            return link->IpBusy(value);
        case Op::SetTransmit:
            return link->SetTransmit(true);
        case Op::PlayFile:
            return link->PlayFile("/estação/aviso.wav", true);
        }
        return {};
    }
};

qint64 timed(const std::function<void()> &what)
{
    QElapsedTimer t;
    t.start();
    what();
    return t.elapsed();
}

} // namespace

class TestThreadedLink : public QObject
{
    Q_OBJECT

private slots:
    void boundedCall_data();
    void boundedCall();
    void lateAnswersDroppedAndToldOnce();
    void stuckNode_data();
    void stuckNode();
    void keyBehindASlowReading_data();
    void keyBehindASlowReading();
    void orderAndArguments();
    void submitAnswersOnceOnThisThread_data();
    void submitAnswersOnceOnThisThread();
    void destruction_data();
    void destruction();
    void creationThatNeverAnswers();
};

// Each operation, answered within its bound or not: the status, how long the caller waited,
// and the one line told when the late answer comes.
void TestThreadedLink::boundedCall_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<int>("readDelay");
    QTest::addColumn<int>("transmitDelay");
    QTest::addColumn<bool>("inTime");
    QTest::addColumn<int>("boundMs");

    QTest::newRow("reading within bound") << Op::RfBusy << 20 << 0 << true << 150;
    QTest::newRow("reading past bound") << Op::RfBusy << 500 << 0 << false << 150;
    QTest::newRow("internet reading past bound") << Op::IpBusy << 500 << 0 << false << 150;
    QTest::newRow("keying within bound") << Op::SetTransmit << 0 << 300 << true << 600;
    QTest::newRow("keying past bound") << Op::SetTransmit << 0 << 1000 << false << 600;
    QTest::newRow("playing past bound") << Op::PlayFile << 0 << 1000 << false << 600;
}

void TestThreadedLink::boundedCall()
{
    QFETCH(Op, op);
    QFETCH(int, readDelay);
    QFETCH(int, transmitDelay);
    QFETCH(bool, inTime);
    QFETCH(int, boundMs);

    Node node;
    node.inner->readDelayMs = readDelay;
    node.inner->transmitDelayMs = transmitDelay;
    node.inner->rfValue = -1;
    std::int16_t value = 7;
    LinkStatus status;
    const qint64 waited = timed([&] { status = node.call(op, value); });

    QCOMPARE(status.ok(), inTime);
    QVERIFY2(waited < boundMs + 100, qPrintable(QString::number(waited)));
    if (inTime) {
        if (op == Op::RfBusy)
            QCOMPARE(value, std::int16_t(-1));
        QTest::qWait(50);
        QVERIFY(node.notes.isEmpty());
        return;
    }
    QCOMPARE(status.code, ThreadedLink::kNoAnswerInTime);
    QVERIFY(waited >= boundMs - 5);
    QVERIFY(QString::fromStdString(status.description)
                .contains(QStringLiteral("não respondeu a tempo")));
    QCOMPARE(value, std::int16_t(7)); // a failed reading leaves the value alone
    QVERIFY(node.notes.isEmpty());    // told when the answer comes, not before
    QTRY_COMPARE_WITH_TIMEOUT(node.notes.size(), 1, 3000);
    QVERIFY2(node.notes[0].contains(QStringLiteral("resposta foi descartada")),
             qPrintable(node.notes[0]));
    QTest::qWait(100);
    QCOMPARE(node.notes.size(), 1);
}

// A run of late answers is one line; the values they carried are never handed out; the next
// answer in time is the node's own, and it closes the run with a count.
void TestThreadedLink::lateAnswersDroppedAndToldOnce()
{
    Node node;
    node.inner->readDelayMs = 300;
    node.inner->rfValue = -1;
    for (int i = 0; i < 3; ++i) {
        std::int16_t value = 5;
        QCOMPARE(node.link->RfBusy(value).code, ThreadedLink::kNoAnswerInTime);
        QCOMPARE(value, std::int16_t(5));
        QTRY_COMPARE_WITH_TIMEOUT(node.inner->answeredSoFar().size(), size_t(i + 1), 2000);
    }
    QTRY_COMPARE(node.notes.size(), 1);
    {
        const std::lock_guard lock(node.inner->mutex);
        node.inner->readDelayMs = 0;
        node.inner->rfValue = 0;
    }
    std::int16_t value = 5;
    QVERIFY(node.link->RfBusy(value).ok());
    QCOMPARE(value, std::int16_t(0));
    QTRY_COMPARE(node.notes.size(), 2);
    QVERIFY2(node.notes[1].contains(QStringLiteral("3 respostas atrasadas")),
             qPrintable(node.notes[1]));
}

// While a call is unanswered: a reading never waits behind it, and once the node counts as
// hung nothing does. The refusals come at once and say why; an unkey is still owed to the
// node and reaches it, once, when it frees.
void TestThreadedLink::stuckNode_data()
{
    QTest::addColumn<bool>("hungOnKeying");
    QTest::addColumn<Strings>("afterRelease");

    QTest::newRow("reading hangs") << false << Strings{"RfBusy", "SetTransmit 0"};
    QTest::newRow("keying hangs") << true << Strings{"SetTransmit 1", "SetTransmit 0"};
}

void TestThreadedLink::stuckNode()
{
    QFETCH(bool, hungOnKeying);
    QFETCH(Strings, afterRelease);

    Node node;
    node.inner->readDelayMs = SlowLink::kNever;
    node.inner->transmitDelayMs = SlowLink::kNever;
    std::int16_t value = 0;
    if (hungOnKeying)
        QCOMPARE(node.link->SetTransmit(true).code, ThreadedLink::kNoAnswerInTime);
    else
        QCOMPARE(node.link->RfBusy(value).code, ThreadedLink::kNoAnswerInTime);
    // Past the hung mark (the keying bound) for everything.
    QTest::qWait(hungOnKeying ? 100 : 700);
    QVERIFY(!node.link->unansweredCall().empty());

    LinkStatus rf, ip, play, unkey;
    const qint64 waited = timed([&] {
        rf = node.link->RfBusy(value);
        ip = node.link->IpBusy(value);
        play = node.link->PlayFile("/a.wav", true);
        unkey = node.link->SetTransmit(false);
    });
    QVERIFY2(waited < 50, qPrintable(QString::number(waited)));
    for (const LinkStatus &s : {rf, ip, play, unkey}) {
        QCOMPARE(s.code, ThreadedLink::kNodeStillBusy);
        QVERIFY2(QString::fromStdString(s.description)
                     .contains(QStringLiteral("ainda não respondeu à chamada anterior")),
                 s.description.c_str());
    }
    // A second unkey owed is not owed twice.
    node.link->SetTransmit(false);
    QCOMPARE(node.inner->callsSoFar().size(), size_t(1));

    node.inner->release();
    QTRY_COMPARE(node.inner->answeredSoFar(), afterRelease);
    QTest::qWait(100);
    QCOMPARE(node.inner->callsSoFar(), afterRelease);
    QVERIFY(node.link->unansweredCall().empty());
    QVERIFY(node.link->RfBusy(value).ok());
}

// A key behind a slow reading (2.5 s in the field, scaled here): the reading gives up at its
// bound; the key goes out as soon as the node takes it within its own bound, and one the
// node could not take in time is dropped, never carried out later.
void TestThreadedLink::keyBehindASlowReading_data()
{
    QTest::addColumn<int>("readMs");
    QTest::addColumn<bool>("keyed");
    QTest::addColumn<Strings>("calls");
    QTest::newRow("taken in time") << 400 << true << Strings{"RfBusy", "SetTransmit 1"};
    QTest::newRow("given up on") << 1000 << false << Strings{"RfBusy"};
}

void TestThreadedLink::keyBehindASlowReading()
{
    QFETCH(int, readMs);
    QFETCH(bool, keyed);
    QFETCH(Strings, calls);
    Node node;
    node.inner->readDelayMs = readMs;
    std::int16_t value = 0;
    QCOMPARE(node.link->RfBusy(value).code, ThreadedLink::kNoAnswerInTime);
    LinkStatus key;
    const qint64 waited = timed([&] { key = node.link->SetTransmit(true); });
    QCOMPARE(key.ok(), keyed);
    if (keyed)
        QVERIFY2(waited >= 200 && waited < 500, qPrintable(QString::number(waited)));
    else
        QCOMPARE(key.code, ThreadedLink::kNoAnswerInTime);
    QTRY_COMPARE(node.inner->answeredSoFar().size(), calls.size());
    QTest::qWait(200);
    QCOMPARE(node.inner->callsSoFar(), calls);
    // The node takes calls again.
    QVERIFY(node.link->PlayFile("/um.wav", true).ok());
}

void TestThreadedLink::orderAndArguments()
{
    Node node;
    std::int16_t value = 0;
    node.inner->rfValue = 1;
    QVERIFY(node.link->RfBusy(value).ok());
    QCOMPARE(value, std::int16_t(1));
    QVERIFY(node.link->IpBusy(value).ok());
    QVERIFY(node.link->SetTransmit(true).ok());
    QVERIFY(node.link->PlayFile("C:\\Anunciel\\Anúncio 1.wav", true).ok());
    QVERIFY(node.link->PlayFile("/b.wav", false).ok());
    QVERIFY(node.link->SetTransmit(false).ok());
    QCOMPARE(node.inner->callsSoFar(),
             (Strings{"RfBusy", "IpBusy", "SetTransmit 1", "PlayFile C:\\Anunciel\\Anúncio 1.wav 1",
                      "PlayFile /b.wav 0", "SetTransmit 0"}));
}

// The calls without waiting: each answer once, from this thread's event loop, in time or
// with its failure once the bound has run out.
void TestThreadedLink::submitAnswersOnceOnThisThread_data()
{
    QTest::addColumn<int>("transmitDelay");
    QTest::addColumn<bool>("inTime");
    QTest::newRow("in time") << 100 << true;
    QTest::newRow("too late") << 1000 << false;
}

void TestThreadedLink::submitAnswersOnceOnThisThread()
{
    QFETCH(int, transmitDelay);
    QFETCH(bool, inTime);
    Node node;
    node.inner->transmitDelayMs = transmitDelay;
    std::vector<LinkStatus> answers;
    QThread *answeredOn = nullptr;
    const qint64 returned = timed([&] {
        node.threaded().submit({Op::SetTransmit, true, {}, true},
                               [&](const ThreadedLink::Answer &a) {
                                   answers.push_back(a.status);
                                   answeredOn = QThread::currentThread();
                               });
    });
    QVERIFY(returned < 20);
    QVERIFY(answers.empty());
    QTRY_COMPARE_WITH_TIMEOUT(answers.size(), size_t(1), 2000);
    QCOMPARE(answeredOn, QThread::currentThread());
    QCOMPARE(answers[0].ok(), inTime);
    QTest::qWait(transmitDelay + 100);
    QCOMPARE(answers.size(), size_t(1));
}

// The way out: a call that is only slow is waited for (within the release bound), and the
// node's object released on its thread before the link is gone; a hung one is not: the link
// goes at once, its thread stays in the node's call, and nothing is released under it.
void TestThreadedLink::destruction_data()
{
    QTest::addColumn<int>("readDelay");
    QTest::addColumn<int>("waitBefore");
    QTest::addColumn<bool>("waits");
    QTest::newRow("idle") << 0 << 0 << true;
    QTest::newRow("slow reading under way") << 400 << 0 << true;
    QTest::newRow("hung reading") << SlowLink::kNever << 700 << false;
}

void TestThreadedLink::destruction()
{
    QFETCH(int, readDelay);
    QFETCH(int, waitBefore);
    QFETCH(bool, waits);
    auto node = std::make_unique<Node>();
    node->inner->readDelayMs = readDelay;
    std::int16_t value = 0;
    node->link->RfBusy(value);
    QTest::qWait(waitBefore);
    QCOMPARE(node->link->unansweredCall().empty(), waits);
    const auto inner = node->inner;
    const qint64 waited = timed([&] { node->link.reset(); });
    const auto destroyed = [&] {
        const std::lock_guard lock(inner->mutex);
        return inner->destroyed;
    };
    if (waits) {
        QVERIFY2(waited < 1000, qPrintable(QString::number(waited)));
        QVERIFY(destroyed());
        return;
    }
    QVERIFY2(waited < 100, qPrintable(QString::number(waited)));
    QVERIFY(!destroyed());
    // Should the node ever answer, the thread releases the link and ends by itself.
    inner->release();
    QTRY_VERIFY(destroyed());
}

void TestThreadedLink::creationThatNeverAnswers()
{
    WorkingFolder folder;
    auto gate = std::make_shared<SlowLink::Shared>();
    ThreadedLink::Bounds bounds = testBounds();
    bounds.creation = 200ms;
    LinkCreation made;
    const qint64 waited = timed([&] {
        made = ThreadedLink::create(
            [gate](const ThreadedLink::Note &) {
                std::unique_lock lock(gate->mutex);
                gate->released.wait(lock, [&] { return gate->open; });
                return LinkCreation{std::make_unique<SlowLink>(gate), LinkStatus::success()};
            },
            nullptr, bounds);
    });
    QVERIFY(!made.link);
    QCOMPARE(made.status.code, ThreadedLink::kNoAnswerInTime);
    QVERIFY2(waited >= 195 && waited < 400, qPrintable(QString::number(waited)));
    gate->release();
}

QTEST_GUILESS_MAIN(TestThreadedLink)
#include "test_threaded_link.moc"
