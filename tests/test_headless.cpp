// The station with no display at all: `anunciel --sem-janela` sending at a slot's second,
// following the schedule files as they are edited on disk, answering the shell's commands,
// ending on a signal with the radio unkeyed; and what it refuses to do.

#include "support/HeadlessStation.h"
#include "support/PulseServer.h"
#include "support/ScriptedRig.h"
#include "support/TestMain.h"
#include "support/UnreadableFile.h"
#include "support/Wav.h"

#include "core/ControlServer.h"
#include "settings/StationSettings.h"

#include <QLocalSocket>
#include <QStandardPaths>
#include <QtTest>

#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace anunciel::test;

namespace {

// A slot's time `seconds` from now, to the second.
QString timeIn(int seconds)
{
    return QTime::currentTime().addSecs(seconds).toString(QStringLiteral("HH:mm:ss"));
}

// When the radio was first keyed, in milliseconds after `since`; -1 when never.
qint64 keyedAfter(const ScriptedRig &rig, std::chrono::steady_clock::time_point since)
{
    for (const ScriptedRig::PttChange &change : rig.pttLog())
        if (change.on)
            return std::chrono::duration_cast<std::chrono::milliseconds>(change.at - since)
                .count();
    return -1;
}

} // namespace

class TestHeadless : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void scheduledSend_data();
    void scheduledSend();
    void sendNow_data();
    void sendNow();
    void badRequestChangesNothing_data();
    void badRequestChangesNothing();
    void statusTellsSlotsSidesAndSettings();
    void signalDuringSendUnkeys();
    void refusesToRun_data();
    void refusesToRun();
    void oneProgramPerFolder();
    void socketRefusesAnotherUser();
    void settingsTemplate_data();
    void settingsTemplate();

private:
    PulseServer m_sound;
    bool m_hasSound = false;
};

void TestHeadless::initTestCase()
{
    // The sound goes to a null sink of a server of the test's own.
    m_hasSound = PulseServer::isInstalled() && m_sound.start();
}

void TestHeadless::scheduledSend_data()
{
    QTest::addColumn<QString>("edit"); // what happens to hora_msg.txt while the program runs
    QTest::newRow("time read at start") << QString();
    QTest::newRow("time edited while running") << QStringLiteral("new time");
    QTest::newRow("file made unreadable while running") << QStringLiteral("unreadable");
}

// At its second, keyed through rigctld; a time written into the file while the program runs
// is the one it keeps, and a file it cannot read leaves the schedule in force.
void TestHeadless::scheduledSend()
{
    QFETCH(QString, edit);
    if (!m_hasSound) {
        skipAll();
        QSKIP("pulseaudio is missing: nothing can be played");
    }
    ScriptedRig rig;
    HeadlessStation station(QString::fromStdString(rig.address()));
    QVERIFY(writeBytes(station.filePath(QStringLiteral("aviso.wav")), announcementWav(300)));
    QVERIFY(writeBytes(station.filePath(QStringLiteral("estacao.ini")), "atraso_ptt_ms=0\n"));
    QVERIFY(station.writeSchedule(QStringLiteral("mensagem_msg.txt"), {QStringLiteral("aviso.wav")}));
    const QString firstTime = edit == QStringLiteral("new time") ? timeIn(3 * 3600) : timeIn(8);
    QVERIFY(station.writeSchedule(QStringLiteral("hora_msg.txt"), {firstTime}));
    QVERIFY(station.start());
    QVERIFY(station.waitUntilAnswering());

    QString due = firstTime;
    const QString times = station.filePath(QStringLiteral("hora_msg.txt"));
    std::optional<UnreadableFile> unreadable;
    if (edit == QStringLiteral("new time")) {
        due = timeIn(5);
        // Written as an editor may: emptied first, then filled.
        QVERIFY(writeBytes(times, QByteArray()));
        QVERIFY(station.writeSchedule(QStringLiteral("hora_msg.txt"), {due}));
        QTRY_VERIFY_WITH_TIMEOUT(station.log().contains(QStringLiteral("lido de novo")), 5000);
        QVERIFY2(station.log().count(QStringLiteral("lido de novo")) == 1, qPrintable(station.log()));
        QVERIFY(station.log().contains(due));
    } else if (edit == QStringLiteral("unreadable")) {
        QVERIFY(QFile::remove(times));
        unreadable.emplace(times);
        QVERIFY(unreadable->isSet());
        QTRY_VERIFY_WITH_TIMEOUT(station.log().contains(QStringLiteral("não pôde ser lido")), 5000);
        QVERIFY(station.log().contains(QStringLiteral("As mensagens em vigor continuam")));
    }
    const QTime dueAt = QTime::fromString(due, QStringLiteral("HH:mm:ss"));
    const auto now = std::chrono::steady_clock::now();
    const qint64 toDue = QTime::currentTime().msecsTo(dueAt);
    const auto dueSteady = now + std::chrono::milliseconds(toDue);
    QTRY_VERIFY_WITH_TIMEOUT(rig.everKeyed(), int(toDue) + 5000);
    const qint64 late = keyedAfter(rig, dueSteady);
    QVERIFY2(late >= 0 && late < 1500, qPrintable(QStringLiteral("keyed %1 ms after its second").arg(late)));
    QTRY_VERIFY_WITH_TIMEOUT(!rig.ptt(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(station.log().contains(QStringLiteral("(horário %1) ").arg(due)), 5000);
}

void TestHeadless::sendNow_data()
{
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said");
    QTest::newRow("sent") << true << false << 0 << QStringLiteral("enviada");
    QTest::newRow("channel busy") << true << true << 1
                                  << QStringLiteral("não enviada: rádio (RF) ocupado");
    QTest::newRow("no program running") << false << false << 2
                                        << QStringLiteral("Nenhum Anunciel está rodando");
}

void TestHeadless::sendNow()
{
    QFETCH(bool, running);
    QFETCH(bool, busy);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    if (running && !m_hasSound) {
        skipAll();
        QSKIP("pulseaudio is missing: nothing can be played");
    }
    ScriptedRig rig;
    if (busy)
        rig.scriptSquelch(std::vector<std::string>(100000, "1"));
    HeadlessStation station(QString::fromStdString(rig.address()));
    QVERIFY(writeBytes(station.filePath(QStringLiteral("aviso.wav")), announcementWav(300)));
    QVERIFY(writeBytes(station.filePath(QStringLiteral("estacao.ini")), "atraso_ptt_ms=0\n"));
    QVERIFY(station.writeSchedule(QStringLiteral("mensagem_msg.txt"),
                                  {QString(), QStringLiteral("aviso.wav")}));
    QVERIFY(station.writeSchedule(QStringLiteral("hora_msg.txt"), {QString(), timeIn(3 * 3600)}));
    if (running) {
        QVERIFY(station.start());
        QVERIFY(station.waitUntilAnswering());
    }
    const CommandRun command = station.run({QStringLiteral("--enviar-agora"), QStringLiteral("2")});
    QCOMPARE(command.exitCode, exitCode);
    QVERIFY2((command.output + command.errors).contains(said),
             qPrintable(command.output + command.errors));
    QCOMPARE(rig.everKeyed(), exitCode == 0);
    if (!running) {
        // A command never starts the station.
        QVERIFY(!QFile::exists(station.filePath(QStringLiteral("registro.txt"))));
        return;
    }
    // The line printed is the log's own.
    const QString line = (exitCode == 0 ? command.output : command.errors).trimmed();
    QVERIFY2(line.startsWith(QStringLiteral("mensagem 2 (enviar agora)")), qPrintable(line));
    QVERIFY2(station.log().contains(line), qPrintable(station.log()));
}

void TestHeadless::badRequestChangesNothing_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::newRow("unknown") << QByteArray("apagar tudo\n");
    QTest::newRow("slot out of range") << QByteArray("enviar-agora 5\n");
    QTest::newRow("slot not a number") << QByteArray("enviar-agora um\n");
    QTest::newRow("status with an argument") << QByteArray("situacao agora\n");
    QTest::newRow("endless line") << QByteArray(4096, 'x');
}

// Straight onto the socket, as a script written wrongly would.
void TestHeadless::badRequestChangesNothing()
{
    QFETCH(QByteArray, request);
    ScriptedRig rig;
    HeadlessStation station(QString::fromStdString(rig.address()));
    QVERIFY(writeBytes(station.filePath(QStringLiteral("aviso.wav")), announcementWav(300)));
    QVERIFY(station.writeSchedule(QStringLiteral("mensagem_msg.txt"), {QStringLiteral("aviso.wav")}));
    QVERIFY(station.writeSchedule(QStringLiteral("hora_msg.txt"), {timeIn(3 * 3600)}));
    QVERIFY(station.start());
    QVERIFY(station.waitUntilAnswering());
    const QString logBefore = station.log();

    qputenv("XDG_RUNTIME_DIR", station.runtimePath().toUtf8());
    QLocalSocket socket;
    socket.connectToServer(anunciel::controlSocketName(station.path()));
    QVERIFY(socket.waitForConnected(5000));
    socket.write(request);
    QVERIFY(socket.waitForDisconnected(5000) || socket.state() == QLocalSocket::UnconnectedState);
    const QString answer = QString::fromUtf8(socket.readAll());
    QVERIFY2(answer.startsWith(QStringLiteral("! ")), qPrintable(answer));
    QVERIFY2(answer.endsWith(QStringLiteral("\n= 3\n")), qPrintable(answer));
    QVERIFY(answer.contains(QStringLiteral("nada foi feito")));
    QTest::qWait(1200);
    QVERIFY(!rig.everKeyed());
    QCOMPARE(station.log(), logBefore);
}

void TestHeadless::statusTellsSlotsSidesAndSettings()
{
    ScriptedRig rig;
    rig.scriptSquelch(std::vector<std::string>(100000, "1"));
    HeadlessStation station(QString::fromStdString(rig.address()));
    QVERIFY(writeBytes(station.filePath(QStringLiteral("aviso.wav")), announcementWav(300)));
    QVERIFY(writeBytes(station.filePath(QStringLiteral("estacao.ini")), "janela_envio_min=7\n"));
    QVERIFY(station.writeSchedule(QStringLiteral("mensagem_msg.txt"),
                                  {QStringLiteral("aviso.wav"), QString(), QStringLiteral("b.wav")}));
    QVERIFY(station.writeSchedule(QStringLiteral("hora_msg.txt"), {QStringLiteral("23:59:59"),
                                                                   QString(), QStringLiteral("00:00:01")}));
    QVERIFY(station.start());
    QVERIFY(station.waitUntilAnswering());
    // Both sides read at least once.
    QTest::qWait(1500);
    const CommandRun status = station.run({QStringLiteral("--situacao")});
    QCOMPARE(status.exitCode, 0);
    const QStringList lines = status.output.split(u'\n', Qt::SkipEmptyParts);
    QVERIFY2(lines.size() >= 8, qPrintable(status.output));
    QVERIFY(lines[0].startsWith(QStringLiteral("Situação: ")));
    QVERIFY2(lines[1].contains(QStringLiteral("Mensagem 1: marcada, horário 23:59:59, arquivo \"aviso.wav\"")),
             qPrintable(lines[1]));
    QVERIFY(lines[1].contains(QStringLiteral("às 23:59:59")));
    QVERIFY2(lines[2].contains(QStringLiteral("Mensagem 2: desmarcada")), qPrintable(lines[2]));
    // Its file is missing: unticked at the first second, with nobody to ask.
    QVERIFY2(lines[3].contains(QStringLiteral("Mensagem 3: desmarcada")), qPrintable(lines[3]));
    QVERIFY(station.log().contains(QStringLiteral("b.wav\": o arquivo não existe")));
    QVERIFY2(lines[5].contains(QStringLiteral("Rádio (RF): RF ocupado")), qPrintable(lines[5]));
    QVERIFY2(lines[6].contains(QStringLiteral("Internet (IP): IP livre")), qPrintable(lines[6]));
    QVERIFY(status.output.contains(QStringLiteral("janela_envio_min = 7")));
    QVERIFY(status.output.contains(QStringLiteral("rigctld = %1 (ANUNCIEL_RIGCTLD)")
                                       .arg(QString::fromStdString(rig.address()))));
}

// Ended by a signal while a long file plays: cut off, unkeyed, and said so in the log and to
// the command that asked for it.
void TestHeadless::signalDuringSendUnkeys()
{
    if (!m_hasSound) {
        skipAll();
        QSKIP("pulseaudio is missing: nothing can be played");
    }
    ScriptedRig rig;
    HeadlessStation station(QString::fromStdString(rig.address()));
    QVERIFY(writeBytes(station.filePath(QStringLiteral("longo.wav")), announcementWav(8000)));
    QVERIFY(writeBytes(station.filePath(QStringLiteral("estacao.ini")), "atraso_ptt_ms=0\n"));
    QVERIFY(station.writeSchedule(QStringLiteral("mensagem_msg.txt"), {QStringLiteral("longo.wav")}));
    QVERIFY(station.writeSchedule(QStringLiteral("hora_msg.txt"), {timeIn(3 * 3600)}));
    QVERIFY(station.start());
    QVERIFY(station.waitUntilAnswering());

    QProcess command;
    command.setProcessEnvironment(station.environment());
    command.setWorkingDirectory(station.path());
    command.start(station.program(), {QStringLiteral("--enviar-agora"), QStringLiteral("1")});
    QTRY_VERIFY_WITH_TIMEOUT(rig.ptt(), 10000);
    QTest::qWait(500);
    station.process().terminate(); // SIGTERM
    QVERIFY(station.process().waitForFinished(5000));
    QCOMPARE(station.process().exitCode(), 0);
    QVERIFY(!rig.ptt());
    QVERIFY(command.waitForFinished(5000));
    QCOMPARE(command.exitCode(), 1);
    QVERIFY(QString::fromUtf8(command.readAllStandardError()).contains(QStringLiteral("interrompida")));
    const QString log = station.log();
    QVERIFY2(log.contains(QStringLiteral("mensagem 1 (enviar agora)")) &&
                 log.contains(QStringLiteral("interrompida após")) &&
                 log.contains(QStringLiteral(": o programa foi encerrado")),
             qPrintable(log));
    QVERIFY(log.trimmed().endsWith(QStringLiteral("Anunciel encerrado.")));
}

void TestHeadless::refusesToRun_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("platform"); // QT_QPA_PLATFORM; empty: unset
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QString>("said");
    QTest::newRow("window, no display") << QStringList() << QString() << QByteArray()
                                        << QStringLiteral("use \"anunciel --sem-janela\"");
    QTest::newRow("window on X11, no display") << QStringList() << QStringLiteral("xcb") << QByteArray()
                                               << QStringLiteral("--sem-janela");
    QTest::newRow("a setting not understood")
        << QStringList{QStringLiteral("--sem-janela")} << QString()
        << QByteArray("atraso_ptt_ms=muito\n") << QStringLiteral("atraso_ptt_ms");
}

// With a log line, a line on standard error, and a status a service manager shows.
void TestHeadless::refusesToRun()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, platform);
    QFETCH(QByteArray, settings);
    QFETCH(QString, said);
    HeadlessStation station;
    if (!platform.isEmpty())
        station.environment().insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    if (!settings.isEmpty())
        QVERIFY(writeBytes(station.filePath(QStringLiteral("estacao.ini")), settings));
    const CommandRun run = station.run(arguments, 15000);
    QVERIFY(run.exitCode != 0 && run.exitCode != -1);
    QVERIFY2(run.errors.contains(said), qPrintable(run.errors));
    QVERIFY2(station.log().contains(said), qPrintable(station.log()));
    // In Portuguese, not Qt's own words.
    QVERIFY2(!run.errors.contains(QStringLiteral("could not connect to display")), qPrintable(run.errors));
}

// A window and a service cannot both run in one folder: the second ends at once.
void TestHeadless::oneProgramPerFolder()
{
    HeadlessStation station;
    QVERIFY(station.start());
    QVERIFY(station.waitUntilAnswering());
    const CommandRun second = station.run({QStringLiteral("--sem-janela")}, 10000);
    QCOMPARE(second.exitCode, 1);
    QVERIFY2(second.errors.contains(QStringLiteral("já está rodando")), qPrintable(second.errors));
    QCOMPARE(station.process().state(), QProcess::Running);
}

// Another user reaches the socket (its folder open to all) and is refused by the socket itself.
void TestHeadless::socketRefusesAnotherUser()
{
    const QString runuser = QStandardPaths::findExecutable(QStringLiteral("runuser"));
    const QString useradd = QStandardPaths::findExecutable(QStringLiteral("useradd"));
    if (::geteuid() != 0 || runuser.isEmpty() || useradd.isEmpty())
        QSKIP("needs root, useradd and runuser to act as a second user");
    const QString other = QStringLiteral("anunciel-outro");
    if (!::getpwnam("anunciel-outro"))
        QProcess::execute(useradd, {QStringLiteral("--no-create-home"), QStringLiteral("--shell"),
                                    QStringLiteral("/usr/sbin/nologin"), other});
    if (!::getpwnam("anunciel-outro"))
        QSKIP("a second user could not be made here");

    ScriptedRig rig;
    HeadlessStation station(QString::fromStdString(rig.address()));
    QVERIFY(writeBytes(station.filePath(QStringLiteral("aviso.wav")), announcementWav(300)));
    QVERIFY(station.writeSchedule(QStringLiteral("mensagem_msg.txt"), {QStringLiteral("aviso.wav")}));
    QVERIFY(station.writeSchedule(QStringLiteral("hora_msg.txt"), {timeIn(3 * 3600)}));
    const auto openToAll = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                           QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup;
    QVERIFY(QFile::setPermissions(station.path(), openToAll));
    QVERIFY(QFile::setPermissions(station.runtimePath(), openToAll));
    // Even where every file is made open to all, the socket is not.
    station.process().setChildProcessModifier([] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::umask(0);
    });
    QVERIFY(station.start());
    QVERIFY(station.waitUntilAnswering());

    QProcess command;
    command.setProcessEnvironment(station.environment());
    command.setWorkingDirectory(station.path());
    command.start(runuser, {QStringLiteral("-u"), other, QStringLiteral("--"), station.program(),
                            QStringLiteral("--enviar-agora"), QStringLiteral("1")});
    QVERIFY(command.waitForFinished(15000));
    const QString errors = QString::fromUtf8(command.readAllStandardError());
    QCOMPARE(command.exitCode(), 2);
    QVERIFY2(errors.contains(QStringLiteral("não aceita comandos deste usuário")), qPrintable(errors));
    QTest::qWait(1200);
    QVERIFY(!rig.everKeyed());
}

void TestHeadless::settingsTemplate_data()
{
    QTest::addColumn<bool>("uncommented");
    QTest::newRow("as installed") << false;
    QTest::newRow("every key uncommented") << true;
}

// The estacao.ini the install puts in a new station folder: every key there, commented out
// at its default, so that the file changes nothing until the operator edits it.
void TestHeadless::settingsTemplate()
{
    QFETCH(bool, uncommented);
    QByteArray text = readBytes(QStringLiteral(ANUNCIEL_SOURCE_DIR "/scripts/estacao-modelo.ini"));
    QVERIFY(text.contains(";rigctld="));
    if (uncommented) {
        // Only the keys: the explanations stay comments.
        static const QRegularExpression key(QStringLiteral("^;[a-z_]+="));
        QByteArrayList lines = text.split('\n');
        for (QByteArray &line : lines)
            if (key.match(QString::fromUtf8(line)).hasMatch())
                line.remove(0, 1);
        text = lines.join('\n');
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("estacao.ini"));
    QVERIFY(writeBytes(path, text));
    const anunciel::StationSettingsRead read = anunciel::readStationSettings(path, std::nullopt);
    QVERIFY2(read.status.ok(), read.status.description.c_str());
    QStringList got = anunciel::settingsLines(read.settings);
    QStringList defaults = anunciel::settingsLines(anunciel::StationSettings{});
    QCOMPARE(got.size(), defaults.size());
    for (int i = 0; i < defaults.size(); ++i) {
        const QString key = defaults[i].section(u' ', 0, 0);
        QVERIFY2(text.contains((uncommented ? "\n" : "\n;") + key.toUtf8() + '='), qPrintable(key));
        // Without rigctld, the radio side's default is "nenhuma", as the template writes it.
        if (uncommented && key == anunciel::kRfDetectionKey)
            QCOMPARE(read.settings.rf.detection, anunciel::RfDetection::Never);
        else
            QCOMPARE(got[i], defaults[i]);
    }
}

ANUNCIEL_SKIPPABLE_TEST_MAIN(TestHeadless)
#include "test_headless.moc"
