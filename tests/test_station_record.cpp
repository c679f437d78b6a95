// What the station keeps and shows of what went out: the dated log file, the status line,
// the indicators when a side cannot be read, and the end of a file the link plays itself.

#include "app/Application.h"
#include "core/StationLog.h"
#include "support/Harness.h"
#include "support/TestFiles.h"
#include "ui/Accessibility.h"
#include "ui/Lamp.h"

#ifndef Q_OS_WIN
#include "link/station/StationLink.h"
#include "settings/StationSettings.h"
#include "support/FakePlayer.h"
#include "support/FileSizeLimit.h"
#endif

#include <QtTest>

using namespace anunciel;
using namespace anunciel::test;

namespace {

void writeWav(const QString &path)
{
    QVERIFY(writeBytes(path, "RIFF"));
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList fileLines(const QString &path)
{
    QByteArray bytes = fileBytes(path);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QStringList lines = QString::fromUtf8(bytes).split(QStringLiteral("\n"), Qt::SkipEmptyParts);
    for (QString &l : lines)
        if (l.endsWith(u'\r'))
            l.chop(1);
    return lines;
}

} // namespace

class TestStationRecord : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        freshWindowInFolder(m_folder, m_h);
        QVERIFY(m_h->start());
    }
    void cleanup()
    {
        m_h.reset();
        m_folder.reset();
    }

    void logFile_data();
    void logFile();
    void unwritableLogCostsNothing_data();
    void unwritableLogCostsNothing();
    void statusLineTellsEachOutcome_data();
    void statusLineTellsEachOutcome();
    void unreadableSideIsUnknown_data();
    void unreadableSideIsUnknown();
#ifndef Q_OS_WIN // the station link plays the sound itself on Linux only
    void fileEndToldByTheLink_data();
    void fileEndToldByTheLink();
#endif

private:
    Harness &h()
    {
        return *m_h;
    }
    FakeLink &link()
    {
        return *m_h->link;
    }
    QString caminho() const
    {
        return m_folder->nativePath() + QDir::separator();
    }

    std::unique_ptr<WorkingFolder> m_folder;
    std::unique_ptr<Harness> m_h;
};

void TestStationRecord::logFile_data()
{
    QTest::addColumn<int>("runs"); // logs opened one after another on the same folder
    QTest::addColumn<int>("linesPerRun");
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<int>("keptLines"); // lines in the current file at the end
    QTest::addColumn<bool>("older");    // an older copy exists
    // Each line is 47 bytes with its end ("2026-12-08 14:29:59 çãolinha NN de corrida N"):
    // six fit in 300 with the mark.
    QTest::newRow("appended across two runs") << 2 << 3 << StationLog::kDefaultLimit << 6 << false;
    QTest::newRow("full file becomes the older copy") << 1 << 10 << qint64(300) << 4 << true;
    QTest::newRow("older copy replaced, one kept") << 3 << 10 << qint64(300) << 6 << true;
}

void TestStationRecord::logFile()
{
    QFETCH(int, runs);
    QFETCH(int, linesPerRun);
    QFETCH(qint64, limit);
    QFETCH(int, keptLines);
    QFETCH(bool, older);
    FakeClock clock;
    QStringList written;
    for (int run = 1; run <= runs; ++run) {
        StationLog log(clock, m_folder->path(), nullptr, limit);
        for (int i = 0; i < linesPerRun; ++i) {
            const QString text = QStringLiteral("çãolinha %1 de corrida %2")
                                     .arg(i, 2, 10, QLatin1Char('0'))
                                     .arg(run);
            log.line(text);
            written << QStringLiteral("2026-12-08 14:29:59 ") + text;
        }
        QCOMPARE(log.waiting(), 0);
    }
    const QString current = m_folder->filePath(kLogFile);
    const QString previous = m_folder->filePath(kOlderLogFile);
    const QByteArray bytes = fileBytes(current);
    // Notepad reads the accents right: UTF-8 marked as such, once, at the very start.
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(bytes.count("\xEF\xBB\xBF"), 1);
#ifdef Q_OS_WIN
    QCOMPARE(bytes.count("\r\n"), bytes.count('\n'));
#else
    QVERIFY(!bytes.contains('\r'));
#endif
    QVERIFY(bytes.size() <= limit);
    // The newest lines, whole and in order, in the current file; the ones before them in
    // the older copy, when there is one.
    const QStringList lines = fileLines(current);
    QCOMPARE(lines, written.mid(written.size() - keptLines));
    QCOMPARE(QFile::exists(previous), older);
    if (older) {
        const QStringList before = fileLines(previous);
        QCOMPARE(before, written.mid(written.size() - keptLines - before.size(), before.size()));
    }
}

void TestStationRecord::unwritableLogCostsNothing_data()
{
    QTest::addColumn<bool>("diskFull"); // else a folder stands where the file would be
    QTest::addColumn<QString>("why");   // the system's reason, in Portuguese
#ifdef Q_OS_WIN
    QTest::newRow("file cannot be opened") << false << ""; // the reason as Wine gives it
#else
    QTest::newRow("file cannot be opened") << false << "é uma pasta";
    // A size limit for the process makes a write fall short.
    QTest::newRow("disk full mid-line") << true << "arquivo maior que o permitido";
#endif
}

void TestStationRecord::unwritableLogCostsNothing()
{
    QFETCH(bool, diskFull);
    QFETCH(QString, why);
    const QString path = m_folder->filePath(kLogFile);
    StationLog log(h().fake.clock, m_folder->path(), nullptr);
    log.line(QStringLiteral("antes"));
    const QByteArray before = fileBytes(path);
    QVERIFY(!before.isEmpty());

    // The window writes to this log from now on, as the program's does.
    Harness station(log);
    station.fake.desktop.folder = m_folder->path();
    QVERIFY(station.start());
    showLogTroubleIn(station.s(), log);
    writeWav(m_folder->filePath("um.wav"));
    writeWav(m_folder->filePath("dois.wav"));
    station.setSlot(0, "14:30", "um.wav");
    station.setSlot(1, "14:31", "dois.wav");
    const QLabel *status = station.label(QStringLiteral("statusLine"));

#ifndef Q_OS_WIN
    std::unique_ptr<FileSizeLimit> limit;
    if (diskFull) {
        limit = std::make_unique<FileSizeLimit>(rlim_t(before.size() + 10));
        QVERIFY(limit->isSet());
    }
#endif
    if (!diskFull) {
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir(m_folder->path()).mkdir(kLogFile));
    }
    // Two sends and a minute of ticks while the file takes nothing.
    station.tickAt(14, 30, 0);
    // Said on the status line with the send that found it out, beside that send's outcome.
    QVERIFY2(
        status->accessibleName().contains(QStringLiteral("Registro não gravado em")) &&
            (why.isEmpty() ||
             status->accessibleName().contains(QStringLiteral(": %1.").arg(why))) &&
            status->accessibleName().contains(QStringLiteral("mensagem 1 às 14:30:00, enviada")),
        qPrintable(status->accessibleName()));
    for (int s = 1; s <= 60; ++s)
        station.tickAt(14, 30, s);
    QCOMPARE(station.link->count("PlayFile"), 2);
    QCOMPARE(station.fake.pause.pauses.size(), size_t(2));
    QCOMPARE(station.clock()->text(), QStringLiteral("14:31:00"));
    QVERIFY(station.fake.boxes.shown.empty());
    QCOMPARE(log.waiting(), 2);
    // Once: the next send's outcome has the line to itself.
    QVERIFY(!status->accessibleName().contains(QStringLiteral("Registro")));
    if (diskFull) // what was there is untouched, no half line added
        QCOMPARE(fileBytes(path), before);

#ifndef Q_OS_WIN
    limit.reset();
#endif
    if (!diskFull)
        QVERIFY(QDir(m_folder->path()).rmdir(kLogFile));
    station.sendNow(0);
    // The waiting lines go in first, in order, then the new one; the window hears it is back.
    const QStringList lines = fileLines(path);
    QCOMPARE(lines.size(), (diskFull ? 1 : 0) + 3);
    QVERIFY(lines[lines.size() - 3].contains(QStringLiteral("mensagem 1 (horário 14:30)")));
    QVERIFY(lines[lines.size() - 2].contains(QStringLiteral("mensagem 2 (horário 14:31)")));
    QVERIFY(lines.last().contains(QStringLiteral("(enviar agora)")));
    QCOMPARE(log.waiting(), 0);
    QVERIFY2(status->accessibleName().contains(QStringLiteral("voltou a ser gravado")),
             qPrintable(status->accessibleName()));

    // The program's end is written after the window is gone: failing then tells no one.
    station.window.reset();
    QVERIFY(QFile::remove(path));
    QVERIFY(QDir(m_folder->path()).mkdir(kLogFile));
    log.line(QStringLiteral("Anunciel encerrado."));
    QCOMPARE(log.waiting(), 1);
}

void TestStationRecord::statusLineTellsEachOutcome_data()
{
    QTest::addColumn<QString>("action"); // "tick" at 14:30:00, "now" on slot 1, "start"
    QTest::addColumn<int>("rf");         // the link's answers
    QTest::addColumn<int>("ip");
    QTest::addColumn<bool>("playFails");
    QTest::addColumn<QString>("file"); // slot 1's file
    QTest::addColumn<QString>("shown");
    const QString next = QStringLiteral("Próxima: mensagem 2 às 15:00");
    QTest::newRow("nothing yet") << "start" << 0 << 0 << false << "um.wav"
                                 << "Próxima: mensagem 1 às 14:30";
    QTest::newRow("sent") << "tick" << 0 << 0 << false << "um.wav"
                          << "Último envio: mensagem 1 às 14:30:00, enviada. " + next;
    QTest::newRow("radio busy") << "tick" << 1 << 0 << false << "um.wav"
                                << "Último envio: mensagem 1 às 14:30:00, não enviada: rádio (RF) "
                                   "ocupado. " +
                                       next;
    QTest::newRow("internet busy") << "tick" << 0 << 1 << false << "um.wav"
                                   << "Último envio: mensagem 1 às 14:30:00, não enviada: "
                                      "internet (IP) ocupada. " +
                                          next;
    QTest::newRow("send now on a busy channel")
        << "now" << 1 << 0 << false << "um.wav"
        << "Último envio: mensagem 1 às 14:29:59 (enviar agora), não enviada: rádio (RF) "
           "ocupado. Próxima: mensagem 1 às 14:30";
    QTest::newRow("the node did not play it")
        << "tick" << 0 << 0 << true << "um.wav"
        << "Último envio: mensagem 1 às 14:30:00, não enviada: o arquivo não foi tocado (RPC "
           "server unavailable). " +
               next;
    QTest::newRow("missing file unticks") << "tick" << 0 << 0 << false << "sumiu.wav"
                                          << "Mensagem 1: o arquivo \"sumiu.wav\" não existe; a "
                                             "mensagem foi desmarcada. " +
                                                 next;
}

void TestStationRecord::statusLineTellsEachOutcome()
{
    QFETCH(QString, action);
    QFETCH(int, rf);
    QFETCH(int, ip);
    QFETCH(bool, playFails);
    QFETCH(QString, file);
    QFETCH(QString, shown);
    writeWav(m_folder->filePath("um.wav"));
    writeWav(m_folder->filePath("dois.wav"));
    h().setSlot(0, "14:30", file);
    h().setSlot(1, "15:00", "dois.wav");
    link().rfValue = std::int16_t(rf);
    link().ipValue = std::int16_t(ip);
    link().failPlay = playFails;
    if (action == QStringLiteral("tick"))
        h().tickAt(14, 30, 0);
    else if (action == QStringLiteral("now"))
        h().sendNow(0);
    else
        h().tickAt(14, 29, 59);
    const QLabel *status = h().label(QStringLiteral("statusLine"));
    // Whole in what a screen reader hears and in the tooltip; shortened only to fit the eye.
    QCOMPARE(status->accessibleName(), QStringLiteral("Situação: ") + shown);
    QVERIFY(status->toolTip().isEmpty() || status->toolTip() == shown);
    QCOMPARE(status->toolTip().isEmpty() ? status->text() : status->toolTip(), shown);
    QVERIFY(status->fontMetrics().horizontalAdvance(status->text()) <= status->width());
}

void TestStationRecord::unreadableSideIsUnknown_data()
{
    QTest::addColumn<QString>("rfReads"); // each second's read: "f" free, "b" busy, "x" fails
    QTest::addColumn<QString>("ipReads");
    QTest::addColumn<QString>("rfCaption"); // after the last second
    QTest::addColumn<QString>("ipCaption");
    QTest::addColumn<int>("logLines");
    QTest::newRow("radio read fails for a while") << "fxxxf"
                                                  << "fffff"
                                                  << "RF livre"
                                                  << "IP livre" << 2;
    QTest::newRow("node closed: both fail") << "fxxxx"
                                            << "fxxxx"
                                            << "RF sem leitura"
                                            << "IP sem leitura" << 2;
    QTest::newRow("internet fails twice, back busy") << "fffff"
                                                     << "xxbxb"
                                                     << "RF livre"
                                                     << "IP ocupado " << 4;
}

void TestStationRecord::unreadableSideIsUnknown()
{
    QFETCH(QString, rfReads);
    QFETCH(QString, ipReads);
    QFETCH(QString, rfCaption);
    QFETCH(QString, ipCaption);
    QFETCH(int, logLines);
    const auto lampColour = [this](const char *name) {
        return h().w().findChild<Lamp *>(QLatin1String(name))->colour();
    };
    for (int s = 0; s < rfReads.size(); ++s) {
        link().failRf = rfReads[s] == u'x';
        link().rfValue = std::int16_t(rfReads[s] == u'b');
        link().failIp = ipReads[s] == u'x';
        link().ipValue = std::int16_t(ipReads[s] == u'b');
        h().s().readSides();
        // Neither free nor busy, to the eye and to the ear, while a side cannot be read.
        for (const auto &[reads, caption, lamp, spoken] :
             {std::tuple{rfReads, "Label5", "Shape1", kRadioSide},
              std::tuple{ipReads, "Label8", "Shape2", kInternetSide}}) {
            const bool unknown = reads[s] == u'x';
            const QLabel *label = h().label(QLatin1String(caption));
            QCOMPARE(label->text().endsWith(QStringLiteral("sem leitura")), unknown);
            const QColor colour = lampColour(lamp);
            QCOMPARE(colour != QColor(0, 255, 0) && colour != QColor(255, 0, 0), unknown);
            QCOMPARE(label->accessibleName() == spoken + ": sem leitura, estado desconhecido",
                     unknown);
        }
    }
    QCOMPARE(h().label("Label5")->text(), rfCaption);
    QCOMPARE(h().label("Label8")->text(), ipCaption);
    // One line when a side stops being read and one when it is read again, not one a second.
    QCOMPARE(h().fake.log.lines.size(), logLines);
    for (const QString &line : h().fake.log.lines)
        QVERIFY2(line.startsWith(QStringLiteral("Sem leitura ")) ||
                     line.startsWith(QStringLiteral("Leitura ")),
                 qPrintable(line));
}

#ifndef Q_OS_WIN
void TestStationRecord::fileEndToldByTheLink_data()
{
    QTest::addColumn<bool>("cutOff");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("played whole") << false << "enviada";
    QTest::newRow("sound server gone mid-file") << true << "interrompida após ";
}

void TestStationRecord::fileEndToldByTheLink()
{
    QFETCH(bool, cutOff);
    QFETCH(QString, outcome);
    FakePlayer *player = nullptr;
    Harness station([&player] {
        auto made = std::make_unique<FakePlayer>();
        player = made.get();
        return createStationLink(StationSettings{}, std::move(made), nullptr);
    });
    station.fake.desktop.folder = m_folder->path();
    QVERIFY(station.start());
    writeWav(m_folder->filePath("um.wav"));
    station.setSlot(0, "14:30", "um.wav");
    station.tickAt(14, 30, 0);
    QCOMPARE(player->played.size(), size_t(1));
    // Playing: nothing is logged yet, the status line says it is going out.
    QVERIFY(station.fake.log.lines.isEmpty());
    QVERIFY(station.label("statusLine")->accessibleName().contains("Enviando: mensagem 1"));
    station.tickAt(14, 30, 5);
    player->end(cutOff ? PlaybackEnd::Failed : PlaybackEnd::Finished);
    QCOMPARE(station.fake.log.lines.size(), 1);
    // Stamped with the moment the send began, and saying how it ended.
    const QString line = station.fake.log.lines.front();
    QVERIFY2(line.startsWith(QStringLiteral("14:30:00 mensagem 1 (horário 14:30) \"%1um.wav\": %2")
                                 .arg(caminho(), outcome)),
             qPrintable(line));
    QVERIFY(station.label("statusLine")
                ->accessibleName()
                .contains(QStringLiteral("mensagem 1 às 14:30:00, ") + outcome));
}

#endif

QTEST_MAIN(TestStationRecord)
#include "test_station_record.moc"
