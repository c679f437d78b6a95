// The program itself, ended by a signal while the radio is keyed: the link it releases on
// the way out unkeys the radio (rigctld would keep it transmitting).

#include "support/ScriptedRig.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/prctl.h>

using anunciel::test::ScriptedRig;

class TestStationRelease : public QObject
{
    Q_OBJECT

private slots:
    void signalUnkeys_data();
    void signalUnkeys();
};

void TestStationRelease::signalUnkeys_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestStationRelease::signalUnkeys()
{
    QFETCH(int, signal);
    QTemporaryDir dir;
    ScriptedRig rig;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ANUNCIEL_RIGCTLD"), QString::fromStdString(rig.address()));
    env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent/anunciel"));
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(dir.path());
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    program.start(QStringLiteral(ANUNCIEL_EXECUTABLE), {});
    QVERIFY(program.waitForStarted(5000));

    // Running: the status monitor reads the squelch once a second.
    const auto readSquelch = [&rig] {
        for (const std::string &c : rig.commands())
            if (c == "\\get_dcd")
                return true;
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(readSquelch(), 10000);

    rig.forcePtt(true);
    rig.clearCommands();
    ::kill(pid_t(program.processId()), signal);
    QVERIFY(program.waitForFinished(5000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(!rig.ptt());
    QVERIFY(!rig.commands().empty());
    QCOMPARE(rig.commands().back(), std::string("T 0"));
}

QTEST_GUILESS_MAIN(TestStationRelease)
#include "test_station_release.moc"
