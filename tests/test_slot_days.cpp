// The days a slot is for (dias_msg.txt): the grammar of a line, the file, 401 simulated days
// through the rules and the next send on the wall clock, daylight-saving changes included.

#include "schedule/TimeOfDay.h"
#include "schedule/SlotDays.h"

#include "TestFiles.h"
#include "UnreadableFile.h"
#include "WorkingFolder.h"

#include <QTimeZone>
#include <QtTest>

using namespace anunciel;
using namespace anunciel::test;

namespace {

// The parsed days in words, to compare with a table: "ter sab | 1 u | 01/12/2026-31/12/2026".
QString describe(const SlotDays &days)
{
    QStringList weekdays, ordinals;
    for (int i = 0; i < 7; ++i)
        if (days.weekdays & (1u << i))
            weekdays << QStringLiteral("dom seg ter qua qui sex sab").mid(i * 4, 3);
    for (int i = 0; i <= SlotDays::kLast; ++i)
        if (days.ordinals & (1u << i))
            ordinals << (i == SlotDays::kLast ? QStringLiteral("u") : QString::number(i + 1));
    const QString format = QStringLiteral("dd/MM/yyyy");
    return QStringLiteral("%1 | %2 | %3-%4")
        .arg(weekdays.join(u' '), ordinals.join(u' '),
             days.from ? days.from->toString(format) : QString(),
             days.until ? days.until->toString(format) : QString());
}

// The zone, when this system knows the clock change the rows rely on (a Windows system may
// not know past years' rules); otherwise an invalid zone.
QTimeZone zoneWithChange(const QString &zone)
{
    const QTimeZone tz(zone.toLatin1());
    const QDate day = zone == u"Europe/Lisbon" ? QDate(2028, 3, 26) : QDate(2018, 11, 4);
    const auto offset = [&](QDate on) {
        return tz.offsetFromUtc(QDateTime(on, QTime(12, 0), QTimeZone::utc()));
    };
    return tz.isValid() && offset(day.addDays(-1)) + 3600 == offset(day) ? tz : QTimeZone();
}

// "dd/MM/yyyy HH:mm:ss" on the clock of a zone.
QDateTime inZone(const QString &zone, const QString &text)
{
    return QDateTime(QDate::fromString(text.left(10), QStringLiteral("dd/MM/yyyy")),
                     QTime::fromString(text.mid(11), QStringLiteral("HH:mm:ss")),
                     zone == u"UTC" ? QTimeZone::utc() : zoneWithChange(zone));
}

} // namespace

class TestSlotDays : public QObject
{
    Q_OBJECT

private slots:
    void grammar_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("expected"); // describe(), or "erro: " and part of the error
        const auto row = [](const char *line, const char *expected) {
            QTest::newRow(line) << QString::fromUtf8(line) << QString::fromUtf8(expected);
        };
        // What the lines mean: simulatedDays; here, how they may be written.
        row("", " |  | -");
        row("   \t ", " |  | -");
        row("sáb 1º até 30/06/2027", "sab | 1 | -30/06/2027");
        row("seg qua sex de 01/12/2026 até 31/12/2026", "seg qua sex |  | 01/12/2026-31/12/2026");
        row("qua até 31/12/2026", "qua |  | -31/12/2026");
        row("de 15/01/2027", " |  | 15/01/2027-");
        row("SÁB, Dom", "dom sab |  | -");
        row("2a ter 4A 1o", "ter | 1 2 4 | -");
        row("ultimo sex ultima 3ª", "sex | 3 u | -");
        row("5º sáb 1° seg", "seg sab | 1 5 | -");
        row("ate 1/2/2027 de 1/1/2027", " |  | 01/01/2027-01/02/2027");
        row("de 29/02/2028 até 29/02/2028", " |  | 29/02/2028-29/02/2028");
        row("Terça", "erro: \"Terça\" não é uma palavra conhecida (use dom seg ter");
        row("ter 6º", "erro: \"6º\": um mês tem no máximo cinco");
        row("0º sáb", "erro: \"0º\": o primeiro é 1º");
        row("1º", "erro: \"1º\" precisa de um dia da semana");
        row("até 31/02/2027", "erro: a data \"31/02/2027\" não existe");
        row("de 29/02/2027", "erro: a data \"29/02/2027\" não existe");
        row("até 31/12/26", "erro: \"31/12/26\" não é uma data no formato DD/MM/AAAA");
        row("até", "erro: \"até\" sem a data");
        row("31/12/2026", "erro: falta \"de\" ou \"até\" antes da data \"31/12/2026\"");
        row("de 01/01/2027 de 02/01/2027", "erro: \"de\" aparece duas vezes");
        row("de 02/01/2027 até 01/01/2027", "erro: o primeiro dia (de 02/01/2027) é depois");
    }
    void grammar()
    {
        QFETCH(QString, line);
        QFETCH(QString, expected);
        const SlotDaysRead read = parseSlotDays(line);
        if (!expected.startsWith(u"erro: ")) {
            QCOMPARE(read.error, QString());
            QCOMPARE(describe(read.days), expected);
            QCOMPARE(read.days.everyDay(), line.trimmed().isEmpty());
            return;
        }
        // The error quotes the line and says what is wrong; the slot is never due.
        QVERIFY2(read.error.startsWith(QStringLiteral("\"%1\": ").arg(line.trimmed())),
                 qPrintable(read.error));
        QVERIFY2(read.error.contains(expected.mid(6)), qPrintable(read.error));
        for (int i = 0; i < 7; ++i)
            QVERIFY(!read.allows(QDate(2027, 1, 1).addDays(i)));
    }

    void longLineQuotedShort()
    {
        const SlotDaysRead read = parseSlotDays(QString(100000, u'x'));
        QVERIFY(!read.ok());
        QVERIFY2(read.error.size() < 300, qPrintable(read.error.left(300)));
    }

    void file()
    {
        const WorkingFolder folder;
        QCOMPARE(readDaysFile().status, DaysFileRead::Status::Missing);
        QVERIFY(readDaysFile().lines[3].ok() && readDaysFile().lines[3].days.everyDay());
        // CR LF in Windows-1252, an LF too, a bad line among good ones.
        QVERIFY(writeBytes(kDaysFile, "1\xba s\xe1"
                                      "b\r\nquinta\n\r\nat\xe9 31/12/2026\r\nseg"));
        DaysFileRead read = readDaysFile();
        QCOMPARE(read.status, DaysFileRead::Status::Ok);
        QCOMPARE(describe(read.lines[0].days), QStringLiteral("sab | 1 | -"));
        QVERIFY(read.lines[1].error.startsWith(QStringLiteral("\"quinta\": ")));
        QCOMPARE(badDaysLogText(1, read.lines[1]),
                 QStringLiteral("mensagem 2: dias em dias_msg.txt não reconhecidos: %1; a mensagem "
                                "não sai até a linha 2 ser corrigida")
                     .arg(read.lines[1].error));
        QVERIFY(badDaysToolTip(read.lines[1]).contains(read.lines[1].error));
        QVERIFY(read.lines[2].ok() && read.lines[2].days.everyDay());
        QCOMPARE(describe(read.lines[3].days), QStringLiteral(" |  | -31/12/2026"));
        QFile::remove(kDaysFile);
        const UnreadableFile unreadable(kDaysFile);
        QVERIFY(unreadable.isSet());
        read = readDaysFile();
        QCOMPARE(read.status, DaysFileRead::Status::Unreadable);
        for (const SlotDaysRead &line : read.lines)
            QVERIFY(!line.allows(QDate(2027, 1, 5)) && line.error.contains(read.reason));
    }

    // 401 days, 01/02/2028 to 07/03/2029: the leap day, months of 28 to 31 days, four with five
    // Saturdays, a year's end, Lisbon's clock going forward (26/03/2028, 01:00 to 02:00) and
    // back (29/10/2028, 02:00 to 01:00). The guide's examples are among the lines.
    void simulatedDays_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("time");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("days");    // all of them, or the first and the last
        QTest::addColumn<QStringList>("skipped"); // its days on which the clock skips the time
        const auto row = [](const char *line, const char *time, int count, const char *days,
                            const char *skipped = "") {
            QTest::newRow(QByteArray(line).append(' ').append(time).constData())
                << QString::fromUtf8(line) << QString::fromLatin1(time) << count
                << QString::fromUtf8(days).split(u' ')
                << QString::fromLatin1(skipped).split(u' ', Qt::SkipEmptyParts);
        };
        row("", "01:30:00", 401, "01/02/2028 … 07/03/2029", "26/03/2028");
        row("ter", "21:00:00", 58, "01/02/2028 08/02/2028 … 06/03/2029");
        row("seg qua sex", "08:00:00", 172, "02/02/2028 04/02/2028 … 07/03/2029");
        row("1º sáb", "10:00:00", 14,
            "05/02/2028 04/03/2028 01/04/2028 06/05/2028 03/06/2028 01/07/2028 05/08/2028 "
            "02/09/2028 07/10/2028 04/11/2028 02/12/2028 06/01/2029 03/02/2029 03/03/2029");
        row("3ª qua", "19:00:00", 13, "16/02/2028 15/03/2028 19/04/2028 … 21/02/2029");
        row("5º sáb", "10:00:00", 4, "29/04/2028 29/07/2028 30/09/2028 30/12/2028");
        row("último dom", "01:30:00", 13,
            "27/02/2028 26/03/2028 30/04/2028 28/05/2028 25/06/2028 30/07/2028 27/08/2028 "
            "24/09/2028 29/10/2028 26/11/2028 31/12/2028 28/01/2029 25/02/2029",
            "26/03/2028");
        row("último qua", "12:00:00", 13,
            "23/02/2028 29/03/2028 26/04/2028 31/05/2028 28/06/2028 26/07/2028 30/08/2028 "
            "27/09/2028 25/10/2028 29/11/2028 27/12/2028 31/01/2029 28/02/2029");
        row("1º 3º qua", "19:00:00", 27, "02/02/2028 16/02/2028 01/03/2028 … 07/03/2029");
        row("sáb 1º até 30/06/2028", "10:00:00", 5,
            "05/02/2028 04/03/2028 01/04/2028 06/05/2028 03/06/2028");
        row("de 26/02/2028 até 01/03/2028", "23:59:59", 5,
            "26/02/2028 27/02/2028 28/02/2028 29/02/2028 01/03/2028");
        row("dom de 20/12/2028 até 10/01/2029", "09:00:00", 3, "24/12/2028 31/12/2028 07/01/2029");
        row("último sex seg de 01/02/2028 até 31/05/2028", "09:00:00", 8,
            "25/02/2028 28/02/2028 27/03/2028 31/03/2028 24/04/2028 28/04/2028 26/05/2028 "
            "29/05/2028");
        row("até 29/02/2028", "09:00:00", 29, "01/02/2028 … 29/02/2028");
        row("de 27/02/2029", "09:00:00", 9, "27/02/2029 28/02/2029 01/03/2029 … 07/03/2029");
    }
    void simulatedDays()
    {
        QFETCH(QString, line);
        QFETCH(QString, time);
        QFETCH(int, count);
        QFETCH(QStringList, days);
        QFETCH(QStringList, skipped);
        const SlotDaysRead read = parseSlotDays(line);
        QVERIFY2(read.ok(), qPrintable(read.error));
        const QDate start(2028, 2, 1), end(2029, 3, 7);

        // The scheduler's question at the slot's second, every day.
        QStringList included;
        for (QDate day = start; day <= end; day = day.addDays(1))
            if (read.allows(day))
                included << day.toString(QStringLiteral("dd/MM/yyyy"));
        QCOMPARE(included.size(), count);
        const qsizetype gap = days.indexOf(QStringLiteral("…"));
        QCOMPARE(included.mid(0, gap), days.mid(0, gap)); // the whole list when no "…"
        QCOMPARE(included.last(), days.last());

        // The next send, asked again after each one, on Lisbon's clock.
        const QTimeZone lisbon = zoneWithChange(QStringLiteral("Europe/Lisbon"));
        if (!lisbon.isValid())
            QSKIP("this system does not know Lisbon's clock change of 26/03/2028");
        const QTime at = QTime::fromString(time, QStringLiteral("HH:mm:ss"));
        QStringList sent;
        std::optional<QDateTime> next = QDateTime(start, QTime(0, 0), lisbon);
        while ((next = anunciel::nextSend(read.days, at.msecsSinceStartOfDay() / 1000, *next)) &&
               next->date() <= end) {
            QVERIFY2(sent.size() <= count, "the same send again"); // no endless loop
            QCOMPARE(next->time(), at);
            QCOMPARE(next->timeZone(), lisbon);
            sent << next->date().toString(QStringLiteral("dd/MM/yyyy"));
        }
        for (const QString &day : skipped)
            QVERIFY(included.removeOne(day));
        QCOMPARE(sent, included);
    }

    void nextSend_data()
    {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QString>("after"); // dd/MM/yyyy HH:mm:ss
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("expected"); // dd/MM/yyyy HH:mm:ss, or "" for none
        QTest::addColumn<QString>("phrase");   // for the status line, seen from `after`
        const auto row = [](const char *name, const char *zone, const char *after, const char *line,
                            const char *time, const char *expected, const char *phrase) {
            QTest::newRow(name) << QString::fromLatin1(zone) << QString::fromLatin1(after)
                                << QString::fromUtf8(line) << QString::fromLatin1(time)
                                << QString::fromLatin1(expected) << QString::fromUtf8(phrase);
        };
        // 08/12/2026 is a Tuesday.
        row("today later", "UTC", "08/12/2026 10:00:00", "ter", "21:00:00", "08/12/2026 21:00:00",
            "às 21:00");
        row("its very second", "UTC", "08/12/2026 21:00:00", "ter", "21:00:00",
            "15/12/2026 21:00:00", "na terça, 15/12, às 21:00");
        row("tomorrow", "UTC", "07/12/2026 22:00:00", "ter", "21:00:00", "08/12/2026 21:00:00",
            "amanhã às 21:00");
        row("next Tuesday", "UTC", "09/12/2026 08:00:00", "ter", "21:00:00", "15/12/2026 21:00:00",
            "na terça, 15/12, às 21:00");
        row("past midnight", "UTC", "08/12/2026 23:59:59", "", "00:00:30", "09/12/2026 00:00:30",
            "amanhã às 00:00:30");
        row("last day, later", "UTC", "09/12/2026 08:00:00", "até 09/12/2026", "21:00:00",
            "09/12/2026 21:00:00", "às 21:00");
        row("last day, passed", "UTC", "09/12/2026 21:00:01", "até 09/12/2026", "21:00:00", "", "");
        row("past end date", "UTC", "01/01/2027 00:00:00", "até 31/12/2026", "21:00:00", "", "");
        row("first day years ahead", "UTC", "09/12/2026 08:00:00", "de 01/06/2030", "09:00:00",
            "01/06/2030 09:00:00", "no sábado, 01/06/2030, às 09:00");
        row("fifth Saturday", "UTC", "09/12/2026 08:00:00", "5º sáb", "10:00:00",
            "30/01/2027 10:00:00", "no sábado, 30/01, às 10:00");
        // São Paulo, 04/11/2018: from 00:00 straight to 01:00.
        row("time skipped", "America/Sao_Paulo", "03/11/2018 12:00:00", "dom", "00:00:30",
            "11/11/2018 00:00:30", "no domingo, 11/11, às 00:00:30");
        row("a skipped time on the way", "Europe/Lisbon", "25/03/2028 01:30:00", "dom", "10:00:00",
            "26/03/2028 10:00:00", "amanhã às 10:00");
        row("after the skip", "America/Sao_Paulo", "03/11/2018 12:00:00", "dom", "01:00:30",
            "04/11/2018 01:00:30", "amanhã às 01:00:30");
    }
    void nextSend()
    {
        QFETCH(QString, zone);
        QFETCH(QString, after);
        QFETCH(QString, line);
        QFETCH(QString, time);
        QFETCH(QString, expected);
        QFETCH(QString, phrase);
        if (zone != u"UTC" && !zoneWithChange(zone).isValid())
            QSKIP("this system does not know the zone's clock change");
        const SlotDaysRead read = parseSlotDays(line);
        const QDateTime from = inZone(zone, after);
        const std::optional<int> second = readTimeOfDay(time);
        QVERIFY(read.ok() && from.isValid() && second);
        const std::optional<QDateTime> next = anunciel::nextSend(read.days, *second, from);
        QCOMPARE(next ? next->toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")) : QString(),
                 expected);
        QCOMPARE(next ? sendPhrase(*next, from.date()) : QString(), phrase);
        if (next)
            QCOMPARE(next->timeZone(), from.timeZone());
    }

    void lastDayTold()
    {
        const SlotDaysRead read = parseSlotDays(QStringLiteral("ter até 31/12/2026"));
        const SlotDaysRead forEver = parseSlotDays(QStringLiteral("ter"));
        LastDayNotes notes;
        QCOMPARE(notes.take(2, read, QDate(2026, 12, 31)), std::nullopt);
        QCOMPARE(notes.take(2, read, QDate(2027, 1, 1)),
                 QStringLiteral("mensagem 3: o último dia, 31/12/2026, já passou"));
        QCOMPARE(notes.take(2, read, QDate(2027, 1, 1)), std::nullopt);
        QVERIFY(notes.take(0, read, QDate(2027, 1, 1)));
        QCOMPARE(notes.take(1, forEver, QDate(2027, 1, 1)), std::nullopt);
        QVERIFY(notes.take(2, read, QDate(2027, 1, 2)));
    }
};

QTEST_GUILESS_MAIN(TestSlotDays)
#include "test_slot_days.moc"
