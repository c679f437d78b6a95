// Start-up, the schedule buttons, the time fields' reaction and closing.

#include "Harness.h"
#include "app/SecondTimer.h"
#include "schedule/ScheduleFile.h"

#include "TestFiles.h"
#include <QCheckBox>
#include <QClipboard>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>

using namespace anunciel;
using namespace anunciel::test;

namespace {

QStringList texts(const Fields &fields)
{
    QStringList list;
    for (QLineEdit *f : fields)
        list << f->text();
    return list;
}

QString checks(MainWindow &w)
{
    QString s;
    for (int n = 1; n <= 4; ++n)
        s += QString::number(w.checkValue(n));
    return s;
}

const QByteArray kNoFile("<no file>");

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = freshWorkingFolder(); // for every test and every row
    }

    void startUp_data()
    {
        QTest::addColumn<QByteArray>("times");
        QTest::addColumn<QByteArray>("names");
        QTest::addColumn<QStringList>("hora");
        QTest::addColumn<QStringList>("msg");
        QTest::addColumn<QString>("ticked");
        const QStringList midnight{"00:00", "00:00", "00:00", "00:00"};
        QTest::newRow("neither file")
            << kNoFile << kNoFile << midnight << QStringList{"", "", "", ""} << "0000";
        QTest::newRow("names on lines 1 and 3")
            << kNoFile << QByteArray("a.wav\r\n\r\nc.wav\r\n") << midnight
            << QStringList{"a.wav", "", "c.wav", ""} << "1010";
        QTest::newRow("times only") << QByteArray("08:00\r\n09:00\r\n10:00\r\n11:00\r\n") << kNoFile
                                    << QStringList{"08:00", "09:00", "10:00", "11:00"}
                                    << QStringList{"", "", "", ""} << "0000";
        QTest::newRow("both; empty, long and two-character times")
            << QByteArray("08:00\r\n\r\n123456789\r\n12\r\n") << QByteArray("a\r\nb\r\nc\r\nd\r\n")
            << QStringList{"08:00", "", "12345", "12:"} << QStringList{"a", "b", "c", "d"}
            << "1111";
        // The long time text is 14:29:59 at start-up; only an exact equal keeps a box clear.
        QTest::newRow("time equal to the clock text")
            << QByteArray("14:29\r\n\r\n\r\n14:29:59\r\n") << QByteArray("a\r\nb\r\nc\r\nd\r\n")
            << QStringList{"14:29", "", "", "14:29:59"} << QStringList{"a", "b", "c", "d"}
            << "1110";
        QTest::newRow("no time limit on the fourth")
            << QByteArray("\r\n\r\n\r\n") + QByteArray(300, '9') + "\r\n"
            << kNoFile << QStringList{"", "", "", QString(300, '9')} << QStringList{"", "", "", ""}
            << "0000";
    }
    void startUp()
    {
        QFETCH(QByteArray, times);
        QFETCH(QByteArray, names);
        QFETCH(QStringList, hora);
        QFETCH(QStringList, msg);
        QFETCH(QString, ticked);
        if (times != kNoFile)
            writeBytes(kTimesFile, times);
        if (names != kNoFile)
            writeBytes(kNamesFile, names);
        Harness h;
        h.fake.clock.set(14, 29, 59, 600);
        QVERIFY(h.w().Form_Load());
        QCOMPARE(texts(h.w().ui().hora), hora);
        QCOMPARE(texts(h.w().ui().msg), msg);
        QCOMPARE(checks(h.w()), ticked);
        QVERIFY(h.fake.boxes.shown.empty()); // start-up is silent
        QCOMPARE(h.w().timer1()->interval(), 1000);
        QVERIFY(h.w().timer1()->isActive());
        QCOMPARE(h.w().timer2()->interval(), 1000);
        QVERIFY(h.w().timer2()->isActive());
        QVERIFY(h.w().caminho().isEmpty()); // set by the first tick or send, not start-up
    }

    void startUpReadsTheClockPerSlot()
    {
        // The long time text is taken anew for each slot: a slot whose time equals the
        // clock text at the moment it is looked at stays clear.
        writeBytes(kTimesFile, "10:00\r\n10:01\r\n10:01\r\n\r\n");
        writeBytes(kNamesFile, "a\r\nb\r\nc\r\nd\r\n");
        Harness h;
        int reads = 0;
        class SteppingClock final : public Clock
        {
        public:
            int *reads;
            QTime now() const override { return QTime(10, 0, 0); }
            QString longTimeText() const override
            {
                return QTime(10, (*reads)++ == 0 ? 0 : 1).toString("HH:mm");
            }
        } clock;
        clock.reads = &reads;
        Platform p = h.fake.platform();
        p.clock = &clock;
        MainWindow w(p, [] {
            return LinkCreation{std::make_unique<FakeLink>(), LinkStatus::success()};
        });
        QVERIFY(w.Form_Load());
        QCOMPARE(reads, 4);
        QCOMPARE(checks(w), QStringLiteral("0001")); // read once, it would be 0111
    }

    void startUpFailsWithoutTheLink()
    {
        Harness h(Harness::Link::CannotBeCreated);
        QVERIFY(!h.w().Form_Load());
        QCOMPARE(h.fake.boxes.shown.size(), size_t(1));
        const FakeBoxes::Shown &box = h.fake.boxes.shown[0];
        QCOMPARE(box.kind, FakeBoxes::Shown::Kind::Fatal);
        QCOMPARE(box.number, qint64(std::int32_t(0x80040154u)));
        QCOMPARE(box.text, QStringLiteral("Classe não registrada"));
        QVERIFY(!h.w().timer1()->isActive());
        QVERIFY(!h.w().timer2()->isActive());
        QVERIFY(!h.w().isVisible());
        const QString report = fatalReportText(box.number, box.text);
        QVERIFY2(report.contains("-2147221164 (80040154)"), qPrintable(report));
        QVERIFY(report.contains("Classe não registrada"));
    }

    void loadButtons_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("file");
        QTest::newRow("Command4 times") << 4 << kTimesFile;
        QTest::newRow("Command6 names") << 6 << kNamesFile;
    }
    void loadButtons()
    {
        QFETCH(int, button);
        QFETCH(QString, file);
        Harness h;
        QVERIFY(h.w().Form_Load());
        const Fields fields = button == 4 ? h.w().ui().hora : h.w().ui().msg;
        for (int i = 0; i < 4; ++i)
            fields[i]->setText(QStringLiteral("k%1").arg(i));
        const QStringList before = texts(fields);
        auto click = [&] { button == 4 ? h.w().Command4_Click() : h.w().Command6_Click(); };

        // Missing: the message, nothing changed.
        click();
        QCOMPARE(h.fake.boxes.shown.size(), size_t(1));
        QCOMPARE(h.fake.boxes.shown[0].text, QStringLiteral("Grave as mensagens primeiro!"));
        QCOMPARE(h.fake.boxes.shown[0].caption, QStringLiteral("Anunciel"));
        QCOMPARE(h.fake.boxes.shown[0].icon, MessageBoxes::Icon::NoIcon);
        QCOMPARE(texts(fields), before);

        // Present but unreadable: a message naming the file, nothing changed.
        QVERIFY(QFile::link("/proc/self/mem", file));
        click();
        QCOMPARE(h.fake.boxes.shown.size(), size_t(2));
        QVERIFY(h.fake.boxes.shown[1].text.contains(file));
        QCOMPARE(h.fake.boxes.shown[1].icon, MessageBoxes::Icon::Warning);
        QCOMPARE(texts(fields), before);

        // Readable: line N into field N; a short file empties the rest.
        QVERIFY(QFile::remove(file));
        writeBytes(file, "08\r\n9:15");
        click();
        QCOMPARE(h.fake.boxes.shown.size(), size_t(2));
        QCOMPARE(texts(fields), (QStringList{button == 4 ? "08:" : "08", "9:15", "", ""}));
        QCOMPARE(checks(h.w()), QStringLiteral("0000")); // loading never ticks a box
    }

    void startUpIsSilentOnAnUnreadableFile()
    {
        QVERIFY(QFile::link("/proc/self/mem", kNamesFile));
        Harness h;
        QVERIFY(h.w().Form_Load());
        QVERIFY(h.fake.boxes.shown.empty());
        QCOMPARE(texts(h.w().ui().msg), (QStringList{"", "", "", ""}));
    }

    void saveButtons()
    {
        Harness h;
        QVERIFY(h.w().Form_Load());
        h.hora(1)->setText("08:30");
        h.hora(2)->clear();
        h.msg(1)->setText(QString::fromUtf8("manhã.wav"));
        h.msg(4)->setText("fim.wav");
        h.w().Command3_Click();
        QCOMPARE(readBytes(kTimesFile), QByteArray("08:30\r\n\r\n00:00\r\n00:00\r\n"));
        QVERIFY(!QFile::exists(kNamesFile)); // each button writes its own file only
        h.w().Command5_Click();
        QCOMPARE(readBytes(kNamesFile), QByteArray("manh\xe3.wav\r\n\r\n\r\nfim.wav\r\n"));
        QVERIFY(h.fake.boxes.shown.empty());

        // And back: the loaders give the same texts.
        const QStringList hora = texts(h.w().ui().hora), msg = texts(h.w().ui().msg);
        for (QLineEdit *f : h.w().ui().hora)
            f->setText("x");
        for (QLineEdit *f : h.w().ui().msg)
            f->setText("x");
        h.w().Command4_Click();
        h.w().Command6_Click();
        QCOMPARE(texts(h.w().ui().hora), hora);
        QCOMPARE(texts(h.w().ui().msg), msg);
    }

    void failedSaveKeepsOldFileAndRuns()
    {
        const QByteArray old("07:00\r\n07:00\r\n07:00\r\n07:00\r\n");
        writeBytes(kTimesFile, old);
        Harness h;
        QVERIFY(h.w().Form_Load());
        h.hora(1)->setText("09:45");
        struct rlimit saved;
        getrlimit(RLIMIT_FSIZE, &saved);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit tight = saved;
        tight.rlim_cur = 4;
        setrlimit(RLIMIT_FSIZE, &tight);
        h.w().Command3_Click();
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(readBytes(kTimesFile), old);
        QCOMPARE(h.fake.boxes.shown.size(), size_t(1));
        QVERIFY(h.fake.boxes.shown[0].text.contains(kTimesFile));
        QCOMPARE(h.fake.boxes.shown[0].icon, MessageBoxes::Icon::Critical);
        QCOMPARE(h.hora(1)->text(), QStringLiteral("09:45")); // the edit is still there
        QVERIFY(h.w().timer1()->isActive());
        // Saving again once the cause is gone works.
        h.w().Command3_Click();
        QCOMPARE(readBytes(kTimesFile), QByteArray("09:45\r\n07:00\r\n07:00\r\n07:00\r\n"));
    }

    void timeFieldTyping_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("result");
        QTest::newRow("one digit") << "1"
                                   << "1";
        QTest::newRow("two digits get a colon") << "12"
                                                << "12:";
        QTest::newRow("a time") << "1230"
                                << "12:30";
        QTest::newRow("digit and colon") << "1:"
                                         << "1::";
        QTest::newRow("letters too") << "ab"
                                     << "ab:";
    }
    void timeFieldTyping()
    {
        QFETCH(QString, keys);
        QFETCH(QString, result);
        Harness h;
        QLineEdit *f = h.hora(2);
        QTest::keyClicks(f, keys);
        QCOMPARE(f->text(), result);
        QCOMPARE(f->cursorPosition(), int(result.size()));
        QVERIFY(!f->hasSelectedText());
    }

    void timeFieldEditing()
    {
        Harness h;
        QLineEdit *f = h.hora(1);
        QTest::keyClicks(f, "12");
        QTest::keyClick(f, Qt::Key_Backspace); // the colon comes straight back
        QCOMPARE(f->text(), QStringLiteral("12:"));
        f->setCursorPosition(1);
        QTest::keyClick(f, Qt::Key_Backspace); // deleting the 1 of "12:"
        QCOMPARE(f->text(), QStringLiteral("2::"));
        f->selectAll();
        QTest::keyClick(f, Qt::Key_Delete);
        QCOMPARE(f->text(), QString());
        QGuiApplication::clipboard()->setText("08");
        f->paste();
        QCOMPARE(f->text(), QStringLiteral("08:"));
        f->clear();
        QGuiApplication::clipboard()->setText("0830");
        f->paste();
        QCOMPARE(f->text(), QStringLiteral("0830"));
        h.hora(4)->setText("07");
        QCOMPARE(h.hora(4)->text(), QStringLiteral("07:"));
        QCOMPARE(h.hora(3)->text(), QString()); // each field reacts on its own only
    }

    void closing_data()
    {
        QTest::addColumn<bool>("answer");
        QTest::addColumn<bool>("viaButton");
        QTest::newRow("close box, No") << false << false;
        QTest::newRow("close box, Yes") << true << false;
        QTest::newRow("Encerrar, No") << false << true;
        QTest::newRow("Encerrar, Yes") << true << true;
    }
    void closing()
    {
        QFETCH(bool, answer);
        QFETCH(bool, viaButton);
        Harness h;
        h.fake.desktop.exeName = "anunciel";
        QVERIFY(h.w().Form_Load());
        h.w().show();
        h.fake.boxes.answers.push_back(answer);
        if (viaButton)
            h.w().Command1_Click();
        else
            h.w().close();
        QCOMPARE(h.fake.boxes.shown.size(), size_t(1));
        const FakeBoxes::Shown &box = h.fake.boxes.shown[0];
        QCOMPARE(box.kind, FakeBoxes::Shown::Kind::Question);
        QCOMPARE(box.text, QStringLiteral("Tem certeza que quer sair?"));
        QCOMPARE(box.caption, QStringLiteral("anunciel"));
        QCOMPARE(h.w().isVisible(), !answer);
        QCOMPARE(h.w().timer1()->isActive(), !answer);
        QCOMPARE(h.w().timer2()->isActive(), !answer);
        QVERIFY(QDir().entryList(QDir::Files).isEmpty()); // nothing is saved at exit
        if (!answer) { // and the program goes on: the tick still works
            h.w().Timer1_Timer();
            QCOMPARE(h.w().ui().Text1->text(), h.fake.clock.timeText());
        }
    }

    void endingWithoutQuestion()
    {
        Harness h;
        QVERIFY(h.w().Form_Load());
        h.w().show();
        bool asked = false;
        QTimer::singleShot(0, [&] { h.w().endWithoutQuestion(); });
        h.fake.boxes.whileOpen = [&](const FakeBoxes::Shown &) { asked = true; };
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(!asked);
        QVERIFY(!h.w().timer1()->isActive());
        // A tick that still arrives does nothing.
        h.w().Timer1_Timer();
        QVERIFY(h.w().ui().Text1->text().isEmpty());
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
