// One program per station folder: a second start in a folder where the program runs is
// refused with a box and ends without touching anything, the first goes on, and a lock left
// behind by a run that crashed does not keep the station from starting again.

#include "core/StationFolderLock.h"
#include "support/FakePlatform.h"
#include "support/TestFiles.h"
#include "support/WorkingFolder.h"

#include <QDir>
#include <QLockFile>
#include <QProcess>
#include <QtTest>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

using namespace anunciel;
using namespace anunciel::test;

namespace {

const QByteArray kTimes("08:00\r\n12:30\r\n\r\n18:45\r\n");
const QByteArray kNames("a.wav\r\nb.wav\r\n\r\n\r\n");

// The real program, started in `folder` with nothing of this machine's sound or radio.
void startProgram(QProcess &program, const QString &folder)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("ANUNCIEL_RIGCTLD"));
    env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent/anunciel"));
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(folder);
#ifdef Q_OS_LINUX
    program.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
#endif
    // Beside this test where the build gives only the program's file name (Windows).
    program.start(
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(ANUNCIEL_EXECUTABLE)),
        {});
}

// A process id that no process has now: one that this test program, started again only to
// list its test functions, had.
qint64 deadProcessId()
{
    QProcess gone;
    gone.start(QCoreApplication::applicationFilePath(), {QStringLiteral("-functions")});
    const qint64 pid = gone.waitForStarted(5000) ? gone.processId() : 0;
    gone.waitForFinished(5000);
    return pid > 0 ? pid : 999999;
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void secondClaimInTheSameFolderIsRefused()
    {
        const WorkingFolder folder;
        QVERIFY(writeBytes(kTimesFile(), kTimes));
        FakePlatform first, second;
        StationFolderLock running(folder.path());
        QVERIFY(claimStationFolder(running, first.platform()));
        QVERIFY(first.boxes.shown.empty());
        {
            StationFolderLock again(folder.path());
            QVERIFY(!claimStationFolder(again, second.platform()));
        }
        QCOMPARE(second.boxes.shown.size(), size_t(1));
        const FakeBoxes::Shown &box = second.boxes.shown.front();
        QVERIFY2(box.text.startsWith(QStringLiteral("O Anunciel já está aberto nesta pasta")),
                 qPrintable(box.text));
        QVERIFY(box.text.contains(QDir::toNativeSeparators(folder.path())));
        QCOMPARE(box.icon, MessageBoxes::Icon::Warning);
        QCOMPARE(box.caption, QStringLiteral("Anunciel"));
        QCOMPARE(second.log.lines.size(), 1);
        // Refused, the second copy has changed nothing, and the first still holds the lock.
        QCOMPARE(readBytes(kTimesFile()), kTimes);
        StationFolderLock third(folder.path());
        QCOMPARE(third.acquire(), StationFolderLock::Result::HeldByAnother);
    }

    void anotherFolderIsAnotherStation()
    {
        const WorkingFolder one;
        QTemporaryDir two;
        FakePlatform fake;
        StationFolderLock a(one.path()), b(two.path());
        QVERIFY(claimStationFolder(a, fake.platform()));
        QVERIFY(claimStationFolder(b, fake.platform()));
        QVERIFY(fake.boxes.shown.empty());
    }

    void lockOfACrashedRunIsTakenOver()
    {
        const WorkingFolder folder;
        // What a run that was killed leaves behind: the lock file as Qt writes it (its host
        // name is Windows' computer name there, not the network host name), naming a process
        // now gone.
        const QString lockFile = folder.filePath(StationFolderLock::fileName());
        QByteArray left;
        {
            QLockFile made(lockFile);
            QVERIFY(made.tryLock(0));
            left = readBytes(lockFile);
        }
        const qsizetype pidEnd = left.indexOf('\n');
        QVERIFY(pidEnd > 0);
        QVERIFY(writeBytes(lockFile, QByteArray::number(deadProcessId()) + left.mid(pidEnd)));
        FakePlatform fake;
        StationFolderLock lock(folder.path());
        QVERIFY(claimStationFolder(lock, fake.platform()));
        QVERIFY(fake.boxes.shown.empty());
    }

    void folderWithoutLockStillRuns()
    {
        // A folder where no lock can be made must not keep the schedule from running.
        FakePlatform fake;
        StationFolderLock lock(QStringLiteral("/nonexistent/anunciel/station"));
        QVERIFY(claimStationFolder(lock, fake.platform()));
        QVERIFY(fake.boxes.shown.empty());
        QCOMPARE(fake.log.lines.size(), 1);
    }

    void secondProgramEndsWhileTheFirstRuns()
    {
        const WorkingFolder folder;
        QVERIFY(writeBytes(kTimesFile(), kTimes));
        QVERIFY(writeBytes(kNamesFile(), kNames));
        const QString lockFile = folder.filePath(StationFolderLock::fileName());

        QProcess first;
        startProgram(first, folder.path());
        QVERIFY(first.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lockFile), 10000);

        // The second says why on standard error and shows its box (which nobody closes here).
        QProcess second;
        startProgram(second, folder.path());
        QVERIFY(second.waitForStarted(5000));
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += second.readAllStandardError()).contains("já está aberto"),
                                 10000);
        second.kill();
        second.waitForFinished(5000);
        QCOMPARE(first.state(), QProcess::Running);
        QCOMPARE(readBytes(kTimesFile()), kTimes);
        QCOMPARE(readBytes(kNamesFile()), kNames);

        // The first crashes: its lock stays behind, and the next start runs all the same.
        first.kill();
        QVERIFY(first.waitForFinished(5000));
        QVERIFY(QFile::exists(lockFile));
        QProcess third;
        startProgram(third, folder.path());
        QVERIFY(third.waitForStarted(5000));
        QTest::qWait(2000);
        QCOMPARE(third.state(), QProcess::Running);
        QVERIFY(!third.readAllStandardError().contains("já está aberto"));
        // Ends as at log-out, without the closing question. Asked again while it is still
        // starting: on Windows the request goes to its windows, which may not be there yet.
        bool ended = false;
        for (int tries = 0; tries < 10 && !ended; ++tries) {
            third.terminate();
            ended = third.waitForFinished(1000);
        }
        QVERIFY(ended);
        QVERIFY(!QFile::exists(lockFile)); // a clean end leaves nothing behind
        QCOMPARE(readBytes(kTimesFile()), kTimes);
    }

private:
    static QString kTimesFile() { return QStringLiteral("hora_msg.txt"); }
    static QString kNamesFile() { return QStringLiteral("mensagem_msg.txt"); }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_single_instance.moc"
