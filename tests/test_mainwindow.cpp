// Start-up, the schedule buttons, the time fields' reaction and closing.

#include "Harness.h"
#include "SaveFailure.h"
#include "TestFiles.h"
#include "UnreadableFile.h"
#include "WorkingFolder.h"
#include "schedule/ScheduleFile.h"
#include "ui/TimeField.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QtTest>

#include <optional>

#include <memory>

using namespace anunciel;
using namespace anunciel::test;

namespace {

enum class Column
{
    Times,
    FileNames
};

QLineEdit *field(Harness &h, Column column, int slot)
{
    return column == Column::Times ? h.time(slot) : h.fileName(slot);
}

QStringList texts(Harness &h, Column column)
{
    QStringList list;
    for (int slot = 0; slot < kSlotCount; ++slot)
        list << field(h, column, slot)->text();
    return list;
}

const QByteArray kNoFile("<no file>");
// A file that exists but cannot be read, whoever runs the test (root too).
const QByteArray kUnreadable("<unreadable>");
const QByteArray kDanglingLink("<dangling link>");

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_folder = std::make_unique<WorkingFolder>(); // for every test and every row
    }
    void cleanup() { m_folder.reset(); }

    void startUp_data()
    {
        QTest::addColumn<QByteArray>("times");
        QTest::addColumn<QByteArray>("names");
        QTest::addColumn<QStringList>("hora");
        QTest::addColumn<QStringList>("msg");
        QTest::addColumn<QString>("ticked");
        const QStringList midnight{"00:00", "00:00", "00:00", "00:00"};
        QTest::newRow("neither file")
            << kNoFile << kNoFile << midnight << QStringList{"", "", "", ""} << "....";
        QTest::newRow("names on lines 1 and 3")
            << kNoFile << QByteArray("a.wav\r\n\r\nc.wav\r\n") << midnight
            << QStringList{"a.wav", "", "c.wav", ""} << "X.X.";
        QTest::newRow("times only") << QByteArray("08:00\r\n09:00\r\n10:00\r\n11:00\r\n") << kNoFile
                                    << QStringList{"08:00", "09:00", "10:00", "11:00"}
                                    << QStringList{"", "", "", ""} << "....";
        QTest::newRow("both; empty, long and two-character times")
            << QByteArray("08:00\r\n\r\n123456789\r\n12\r\n") << QByteArray("a\r\nb\r\nc\r\nd\r\n")
            << QStringList{"08:00", "", "12345", "12:"} << QStringList{"a", "b", "c", "d"}
            << "XXXX";
        // The long time text is 14:29:59 at start-up; only an exact equal keeps a box clear.
        QTest::newRow("time equal to the clock text")
            << QByteArray("14:29\r\n\r\n\r\n14:29:59\r\n") << QByteArray("a\r\nb\r\nc\r\nd\r\n")
            << QStringList{"14:29", "", "", "14:29:59"} << QStringList{"a", "b", "c", "d"}
            << "XXX.";
        QTest::newRow("no time limit on the fourth")
            << QByteArray("\r\n\r\n\r\n") + QByteArray(300, '9') + "\r\n"
            << kNoFile << QStringList{"", "", "", QString(300, '9')} << QStringList{"", "", "", ""}
            << "....";
        // Midnight kept in the times would put every named slot on the air at 00:00:00.
        QTest::newRow("times file unreadable")
            << kUnreadable << QByteArray("a\r\nb\r\nc\r\nd\r\n") << QStringList{"", "", "", ""}
            << QStringList{"a", "b", "c", "d"} << "XXXX";
#ifndef Q_OS_WIN
        // A link to a share that is not mounted is there, unreadable: not missing.
        QTest::newRow("times file a dangling link")
            << kDanglingLink << QByteArray("a\r\nb\r\nc\r\nd\r\n") << QStringList{"", "", "", ""}
            << QStringList{"a", "b", "c", "d"} << "XXXX";
#endif
    }
    void startUp()
    {
        QFETCH(QByteArray, times);
        QFETCH(QByteArray, names);
        QFETCH(QStringList, hora);
        QFETCH(QStringList, msg);
        QFETCH(QString, ticked);
        std::optional<UnreadableFile> unreadable;
        if (times == kUnreadable) {
            unreadable.emplace(kTimesFile);
            QVERIFY(unreadable->isSet());
        } else if (times == kDanglingLink) {
            QVERIFY(QFile::link(QStringLiteral("/mnt/anunciel-ausente/hora_msg.txt"), kTimesFile));
        } else if (times != kNoFile)
            QVERIFY(writeBytes(kTimesFile, times));
        const bool unreadableTimes = times == kUnreadable || times == kDanglingLink;
        if (names != kNoFile)
            QVERIFY(writeBytes(kNamesFile, names));
        Harness h;
        h.fake.clock.set(14, 29, 59, 600);
        QVERIFY(h.start());
        QCOMPARE(texts(h, Column::Times), hora);
        QCOMPARE(texts(h, Column::FileNames), msg);
        QCOMPARE(h.enabledStates(), ticked);
        QVERIFY(h.fake.boxes.shown.empty()); // start-up is silent
        QCOMPARE(h.secondTimer()->interval(), 1000);
        QVERIFY(h.secondTimer()->isActive());
        QCOMPARE(h.linkStateTimer()->interval(), 1000);
        QVERIFY(h.linkStateTimer()->isActive());
        QVERIFY(h.s().programFolderPath().isEmpty()); // set by the first tick or send, not start-up
        // The log says which file could not be read, and only then.
        QCOMPARE(h.fake.log.lines.size(), unreadableTimes ? 1 : 0);
        if (unreadableTimes) {
            QVERIFY2(h.fake.log.lines.front().contains(kTimesFile),
                     qPrintable(h.fake.log.lines.front()));
            for (const char *name : {"a", "b", "c", "d"})
                QVERIFY(writeBytes(QString::fromLatin1(name), "RIFF"));
            h.fake.desktop.folder = m_folder->path();
            h.tickAt(0, 0, 0);
            QCOMPARE(h.link->count("PlayFile"), 0);
        }
    }

    void startUpReadsTheClockPerSlot()
    {
        // The long time text is taken anew for each slot: a slot whose time equals the
        // clock text at the moment it is looked at stays clear.
        QVERIFY(writeBytes(kTimesFile, "10:00\r\n10:01\r\n10:01\r\n\r\n"));
        QVERIFY(writeBytes(kNamesFile, "a\r\nb\r\nc\r\nd\r\n"));
        FakePlatform fake;
        int reads = 0;
        class SteppingClock final : public Clock
        {
        public:
            int *reads;
            QTime now() const override { return QTime(10, 0, 0); }
            QDate today() const override { return QDate(2026, 12, 8); }
            QString longTimeText() const override
            {
                return QTime(10, (*reads)++ == 0 ? 0 : 1).toString("HH:mm");
            }
        } clock;
        clock.reads = &reads;
        Platform p = fake.platform();
        p.clock = &clock;
        Station station(p, [] {
            return LinkCreation{std::make_unique<FakeLink>(), LinkStatus::success()};
        });
        MainWindow w(station, p);
        QVERIFY(station.start(readStationSettings()));
        QCOMPARE(reads, 4);
        QString ticked;
        for (int slot = 0; slot < kSlotCount; ++slot)
            ticked += w.findChild<QCheckBox *>(Harness::slotName("Check", slot))->isChecked()
                          ? u'X'
                          : u'.';
        QCOMPARE(ticked, QStringLiteral("...X")); // read once, it would be .XXX
    }

    void startUpFailsWithoutTheLink()
    {
        Harness h(Harness::unregisteredClass());
        QVERIFY(!h.start());
        QCOMPARE(h.fake.boxes.shown.size(), size_t(1));
        const FakeBoxes::Shown &box = h.fake.boxes.shown[0];
        QCOMPARE(box.kind, FakeBoxes::Shown::Kind::Fatal);
        QCOMPARE(box.number, qint64(std::int32_t(0x80040154u)));
        QCOMPARE(box.text, QStringLiteral("Classe não registrada"));
        QVERIFY(!h.secondTimer()->isActive());
        QVERIFY(!h.linkStateTimer()->isActive());
        QVERIFY(!h.w().isVisible());
        const QString report = fatalReportText(box.number, box.text);
        QVERIFY2(report.contains("-2147221164 (80040154)"), qPrintable(report));
        QVERIFY(report.contains("Classe não registrada"));
    }

    void loadButtons_data()
    {
        QTest::addColumn<Column>("column");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("file");
        QTest::newRow("times") << Column::Times << "Command4" << kTimesFile;
        QTest::newRow("file names") << Column::FileNames << "Command6" << kNamesFile;
    }
    void loadButtons()
    {
        QFETCH(Column, column);
        QFETCH(QString, button);
        QFETCH(QString, file);
        Harness h;
        QVERIFY(h.start());
        for (int slot = 0; slot < kSlotCount; ++slot)
            field(h, column, slot)->setText(QStringLiteral("k%1").arg(slot));
        const QStringList before = texts(h, column);
        auto click = [&] { h.press(button); };

        // Missing: the message, nothing changed.
        click();
        QCOMPARE(h.fake.boxes.shown.size(), size_t(1));
        QCOMPARE(h.fake.boxes.shown[0].text, QStringLiteral("Grave as mensagens primeiro!"));
        QCOMPARE(h.fake.boxes.shown[0].caption, QStringLiteral("Anunciel"));
        QCOMPARE(h.fake.boxes.shown[0].icon, MessageBoxes::Icon::NoIcon);
        QCOMPARE(texts(h, column), before);

        // Present but unreadable: a message naming the file, nothing changed.
        {
            const UnreadableFile unreadable(file);
            QVERIFY(unreadable.isSet());
            click();
            QCOMPARE(h.fake.boxes.shown.size(), size_t(2));
            QVERIFY(h.fake.boxes.shown[1].text.contains(file));
            QCOMPARE(h.fake.boxes.shown[1].icon, MessageBoxes::Icon::Warning);
            QCOMPARE(texts(h, column), before);
        }

        // Readable: line N into field N; a short file empties the rest.
        QVERIFY(QFile::remove(file));
        QVERIFY(writeBytes(file, "08\r\n9:15"));
        click();
        QCOMPARE(h.fake.boxes.shown.size(), size_t(2));
        QCOMPARE(texts(h, column),
                 (QStringList{column == Column::Times ? "08:" : "08", "9:15", "", ""}));
        QCOMPARE(h.enabledStates(), QStringLiteral("....")); // loading never ticks a box
    }

    void startUpIsSilentOnAnUnreadableFile()
    {
        const UnreadableFile unreadable(kNamesFile);
        QVERIFY(unreadable.isSet());
        Harness h;
        QVERIFY(h.start());
        QVERIFY(h.fake.boxes.shown.empty());
        QCOMPARE(texts(h, Column::FileNames), (QStringList{"", "", "", ""}));
    }

    void saveButtons()
    {
        Harness h;
        QVERIFY(h.start());
        h.time(0)->setText("08:30");
        h.time(1)->clear();
        h.fileName(0)->setText(QString::fromUtf8("manhã.wav"));
        h.fileName(3)->setText("fim.wav");
        h.press("Command3");
        QCOMPARE(readBytes(kTimesFile), QByteArray("08:30\r\n\r\n00:00\r\n00:00\r\n"));
        QVERIFY(!QFile::exists(kNamesFile)); // each button writes its own file only
        h.press("Command5");
        QCOMPARE(readBytes(kNamesFile), QByteArray("manh\xe3.wav\r\n\r\n\r\nfim.wav\r\n"));
        QVERIFY(h.fake.boxes.shown.empty());

        // And back: the loaders give the same texts.
        const QStringList times = texts(h, Column::Times), names = texts(h, Column::FileNames);
        for (int slot = 0; slot < kSlotCount; ++slot) {
            h.time(slot)->setText("x");
            h.fileName(slot)->setText("x");
        }
        h.press("Command4");
        h.press("Command6");
        QCOMPARE(texts(h, Column::Times), times);
        QCOMPARE(texts(h, Column::FileNames), names);
    }

    void failedSaveKeepsOldFileAndRuns()
    {
        const QByteArray old("07:00\r\n07:00\r\n07:00\r\n07:00\r\n");
        QVERIFY(writeBytes(kTimesFile, old));
        Harness h;
        QVERIFY(h.start());
        h.time(0)->setText("09:45");
        {
            const SaveFailure limit(kTimesFile, 4);
            QVERIFY(limit.isSet());
            h.press("Command3");
        }
        QCOMPARE(readBytes(kTimesFile), old);
        QCOMPARE(h.fake.boxes.shown.size(), size_t(1));
        QVERIFY(h.fake.boxes.shown[0].text.contains(kTimesFile));
        QCOMPARE(h.fake.boxes.shown[0].icon, MessageBoxes::Icon::Critical);
        QCOMPARE(h.time(0)->text(), QStringLiteral("09:45")); // the edit is still there
        QVERIFY(h.secondTimer()->isActive());
        // Saving again once the cause is gone works.
        h.press("Command3");
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
        QLineEdit *f = h.time(1);
        QTest::keyClicks(f, keys);
        QCOMPARE(f->text(), result);
        QCOMPARE(f->cursorPosition(), int(result.size()));
        QVERIFY(!f->hasSelectedText());
    }

    void timeFieldEditing()
    {
        Harness h;
        QLineEdit *f = h.time(0);
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
        h.time(3)->setText("07");
        QCOMPARE(h.time(3)->text(), QStringLiteral("07:"));
        QCOMPARE(h.time(2)->text(), QString()); // each field reacts on its own only
    }

    void unreadableTimeStandsOut_data()
    {
        QTest::addColumn<int>("slot");
        QTest::addColumn<QString>(
            "typed"); // typed key by key; set as a whole when it starts with =
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("marked");
        QTest::newRow("14:30 typed with its colon") << 0 << "14:30"
                                                    << "14::3" << true;
        QTest::newRow("25:99") << 1 << "=25:99"
                               << "25:99" << true;
        QTest::newRow("letters") << 2 << "ab"
                                 << "ab:" << true;
        QTest::newRow("empty") << 3 << "="
                               << "" << true;
        QTest::newRow("14:30 typed as digits") << 0 << "1430"
                                               << "14:30" << false;
        QTest::newRow("7:05") << 1 << "=7:05"
                              << "7:05" << false;
        QTest::newRow("12:30:45") << 3 << "=12:30:45"
                                  << "12:30:45" << false;
    }
    void unreadableTimeStandsOut()
    {
        QFETCH(int, slot);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(bool, marked);
        Harness h;
        QVERIFY(h.start());
        QLineEdit *field = h.time(slot);
        const QColor normal = field->palette().color(QPalette::Text);
        QVERIFY(normal != QColor(Qt::red)); // 00:00 is a time
        QVERIFY(field->toolTip().isEmpty());
        if (typed.startsWith(u'=')) {
            field->setText(typed.mid(1));
        } else {
            field->clear();
            QTest::keyClicks(field, typed);
        }
        QCOMPARE(field->text(), shown); // the field itself reacts as it always has
        QCOMPARE(field->palette().color(QPalette::Text) == QColor(Qt::red), marked);
        QCOMPARE(field->toolTip(), marked ? unreadableTimeHint() : QString());
        QVERIFY(!unreadableTimeHint().isEmpty());
        // A screen reader hears it too.
        QCOMPARE(field->accessibleDescription(),
                 marked ? unreadableTimeHint() : timeFieldDescription());

        // Typed again as the hint says, the mark goes.
        field->selectAll();
        QTest::keyClicks(field, QStringLiteral("0915"));
        QCOMPARE(field->text(), QStringLiteral("09:15"));
        QCOMPARE(field->palette().color(QPalette::Text), normal);
        QVERIFY(field->toolTip().isEmpty());
        QCOMPARE(field->accessibleDescription(), timeFieldDescription());
    }

    void utf8NamesFileLoadsWithAccentsAndSavesAsCodePage()
    {
        // Written by a Linux editor: UTF-8, lone LF.
        const QString name = QString::fromUtf8("identificação.wav");
        QVERIFY(writeBytes(kNamesFile, name.toUtf8() + "\nbom_dia.wav\n"));
        QVERIFY(writeBytes(name, "RIFF"));
        QVERIFY(writeBytes("bom_dia.wav", "RIFF"));
        Harness h;
        h.fake.desktop.folder = m_folder->nativePath();
        QVERIFY(h.start());
        QCOMPARE(h.fileName(0)->text(), name);
        QVERIFY(h.enabled(0)->isChecked());
        h.s().onSecond(); // the file is found: no box, the slot stays on
        QVERIFY(h.fake.boxes.shown.empty());
        QVERIFY(h.enabled(0)->isChecked());

        // Saved, it becomes what the Windows program reads.
        h.press("Command5");
        QCOMPARE(readBytes(kNamesFile),
                 QByteArray("identifica\xe7\xe3o.wav\r\nbom_dia.wav\r\n\r\n\r\n"));
        h.fileName(0)->clear();
        h.press("Command6");
        QCOMPARE(h.fileName(0)->text(), name);
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
        QVERIFY(h.start());
        h.w().show();
        h.fake.boxes.answers.push_back(answer);
        if (viaButton)
            h.press("Command1"); // "Encerrar"
        else
            h.w().close(); // the close box asks the window to close, as this does
        QCOMPARE(h.fake.boxes.shown.size(), size_t(1));
        const FakeBoxes::Shown &box = h.fake.boxes.shown[0];
        QCOMPARE(box.kind, FakeBoxes::Shown::Kind::Question);
        QCOMPARE(box.text, QStringLiteral("Tem certeza que quer sair?"));
        QCOMPARE(box.caption, QStringLiteral("anunciel"));
        QCOMPARE(h.w().isVisible(), !answer);
        QCOMPARE(h.secondTimer()->isActive(), !answer);
        QCOMPARE(h.linkStateTimer()->isActive(), !answer);
        QVERIFY(QDir().entryList(QDir::Files).isEmpty()); // nothing is saved at exit
        if (!answer) { // and the program goes on: the tick still works
            h.s().onSecond();
            QCOMPARE(h.clock()->text(), h.fake.clock.timeText());
        }
    }

    void endingWithoutQuestion()
    {
        Harness h;
        QVERIFY(h.start());
        h.w().show();
        bool asked = false;
        QTimer::singleShot(0, [&] { h.w().endWithoutQuestion(); });
        h.fake.boxes.whileOpen = [&](const FakeBoxes::Shown &) { asked = true; };
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(!asked);
        QVERIFY(!h.secondTimer()->isActive());
        // A tick that still arrives does nothing.
        h.s().onSecond();
        QVERIFY(h.clock()->text().isEmpty());
    }

private:
    std::unique_ptr<WorkingFolder> m_folder;
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
