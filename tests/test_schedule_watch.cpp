// The schedule files followed on disk: one change told once its writer is done, whichever
// way an editor saves, and nothing told when nothing changed.

#include "core/ScheduleWatch.h"

#include "support/TestFiles.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using anunciel::ScheduleWatch;
using namespace anunciel::test;

class TestScheduleWatch : public QObject
{
    Q_OBJECT

private slots:
    void changes_data();
    void changes();
};

namespace {

constexpr int kSettleMs = 300;

enum class Save
{
    InPlace,      // emptied, then written in pieces
    RenameOver,   // written aside, then renamed over the old one
    SameContents, // written again with what it held
    Removed,
    Created,
    OtherFile,    // a file of the folder that is not watched
};

} // namespace

Q_DECLARE_METATYPE(Save)

void TestScheduleWatch::changes_data()
{
    QTest::addColumn<Save>("save");
    QTest::addColumn<QStringList>("told");
    const QStringList times{QStringLiteral("hora_msg.txt")};
    QTest::newRow("written in place, in pieces") << Save::InPlace << times;
    QTest::newRow("renamed over") << Save::RenameOver << times;
    QTest::newRow("saved unchanged") << Save::SameContents << QStringList();
    QTest::newRow("removed") << Save::Removed << times;
    QTest::newRow("made") << Save::Created << QStringList{QStringLiteral("mensagem_msg.txt")};
    QTest::newRow("another file") << Save::OtherFile << QStringList();
}

void TestScheduleWatch::changes()
{
    QFETCH(Save, save);
    QFETCH(QStringList, told);
    QTemporaryDir dir;
    const QString times = dir.filePath(QStringLiteral("hora_msg.txt"));
    const QString names = dir.filePath(QStringLiteral("mensagem_msg.txt"));
    QVERIFY(writeBytes(times, "10:00\r\n\r\n\r\n\r\n"));
    ScheduleWatch watch(dir.path(), {QStringLiteral("hora_msg.txt"), QStringLiteral("mensagem_msg.txt")},
                        kSettleMs);
    QSignalSpy spy(&watch, &ScheduleWatch::changed);

    switch (save) {
    case Save::InPlace: {
        QFile file(times);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.flush();
        QTest::qWait(100); // an editor writing slowly: still one change
        file.write("11:");
        file.flush();
        QTest::qWait(100);
        file.write("30\r\n\r\n\r\n\r\n");
        break;
    }
    case Save::RenameOver:
        QVERIFY(writeBytes(dir.filePath(QStringLiteral(".hora_msg.txt.swp")), "11:30\r\n"));
        QVERIFY(QDir(dir.path()).rename(QStringLiteral(".hora_msg.txt.swp"),
                                        QStringLiteral("hora_msg.txt")) ||
                (QFile::remove(times) &&
                 QFile::rename(dir.filePath(QStringLiteral(".hora_msg.txt.swp")), times)));
        break;
    case Save::SameContents:
        QVERIFY(writeBytes(times, "10:00\r\n\r\n\r\n\r\n"));
        break;
    case Save::Removed:
        QVERIFY(QFile::remove(times));
        break;
    case Save::Created:
        QVERIFY(writeBytes(names, "a.wav\r\n"));
        break;
    case Save::OtherFile:
        QVERIFY(writeBytes(dir.filePath(QStringLiteral("registro.txt")), "linha\n"));
        break;
    }
    QTest::qWait(kSettleMs * 4);
    QStringList got;
    for (const QList<QVariant> &args : spy)
        got << args.at(0).toString();
    QCOMPARE(got, told);
    // Whatever came before (a rename, a removal), a later edit is told once more.
    QVERIFY(writeBytes(times, "23:00\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), told.size() + 1, kSettleMs * 6);
    QTest::qWait(kSettleMs * 2);
    QCOMPARE(spy.count(), told.size() + 1);
    QCOMPARE(spy.last().at(0).toString(), QStringLiteral("hora_msg.txt"));
}

QTEST_GUILESS_MAIN(TestScheduleWatch)
#include "test_schedule_watch.moc"
