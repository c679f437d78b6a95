// The radio side read from the receiver's audio, as a rule fed generated samples and their
// time, with no sound card: the threshold, the hang after the sound falls below it, and the
// program's own transmission, which is no other station.

#include "link/audio/LevelSquelch.h"
#include "support/Wav.h"

#include <QtTest>

using namespace anunciel;
using namespace anunciel::test;
using namespace std::chrono_literals;

class TestLevelSquelch : public QObject
{
    Q_OBJECT

private slots:
    void levelOfGeneratedSound_data();
    void levelOfGeneratedSound();
    void busyState_data();
    void busyState();
};

void TestLevelSquelch::levelOfGeneratedSound_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<double>("db");
    QTest::newRow("speech at -20 dBFS") << "voice" << -20.0;
    QTest::newRow("speech at -38 dBFS") << "voice" << -38.0;
    QTest::newRow("hiss at -55 dBFS") << "hiss" << -55.0;
    QTest::newRow("digital silence") << "silence" << LevelSquelch::kSilenceDb;
}

void TestLevelSquelch::levelOfGeneratedSound()
{
    QFETCH(QString, kind);
    QFETCH(double, db);
    // One 20 ms block, as the listener measures them.
    const std::vector<qint16> block = kind == "voice"  ? speechSamples(20, db)
                                      : kind == "hiss" ? hissSamples(20, db)
                                                       : std::vector<qint16>(160, 0);
    const double level = LevelSquelch::levelDb(block);
    QVERIFY2(std::abs(level - db) < 1.5, qPrintable(QString::number(level)));
}

// A script of events at milliseconds from the start: "V-20" a 20 ms block of voice at
// -20 dBFS, "N-55" one of hiss at -55 dBFS, "S" one of silence, "K" the program keys, "U" it
// unkeys, "B" and "F" the state read then must be busy or free.
void TestLevelSquelch::busyState_data()
{
    QTest::addColumn<int>("hangMs");
    QTest::addColumn<QString>("script");
    QTest::newRow("silence is free") << 1000 << "0:S 20:S 20:F 5000:F";
    QTest::newRow("hiss below the threshold is free") << 1000 << "0:N-55 20:N-50 40:N-45 40:F";
    QTest::newRow("voice is busy at once") << 1000 << "0:S 20:V-20 20:B";
    QTest::newRow("just above the threshold") << 1000 << "0:V-38 0:B";
    QTest::newRow("just below the threshold") << 1000 << "0:V-42 0:F";
    QTest::newRow("hang after the voice falls") << 1000 << "0:V-20 20:S 500:B 999:B 1000:F";
    QTest::newRow("a pause between words stays busy")
        << 1000 << "0:V-20 20:S 700:S 900:V-20 920:S 1800:B 1920:F";
    QTest::newRow("no hang: busy only while loud") << 0 << "0:V-20 0:B 20:S 20:F";
    QTest::newRow("own sound is not another station")
        << 1000 << "0:S 100:K 120:V-20 140:V-20 500:F 2000:U 2000:F 2500:F";
    QTest::newRow("state before keying held while keyed")
        << 1000 << "0:V-20 100:K 3000:B 3000:U 3999:B 4000:F";
    QTest::newRow("hang starts afresh at unkey, not at the last voice")
        << 1000 << "0:V-20 20:S 900:K 1500:B 1500:U 2000:B 2499:B 2500:F";
    QTest::newRow("voice after unkey counts again") << 1000 << "0:K 500:U 520:V-20 520:B 1519:B";
}

void TestLevelSquelch::busyState()
{
    QFETCH(int, hangMs);
    QFETCH(QString, script);
    LevelSquelch rule(-40, std::chrono::milliseconds(hangMs));
    const LevelSquelch::TimePoint start{};
    for (const QString &event : script.split(u' ')) {
        const QStringList parts = event.split(u':');
        QCOMPARE(parts.size(), 2);
        const auto at = start + std::chrono::milliseconds(parts[0].toInt());
        const QChar what = parts[1].front();
        const double db = parts[1].mid(1).toDouble();
        if (what == u'V')
            rule.feed(speechSamples(20, db), at);
        else if (what == u'N')
            rule.feed(hissSamples(20, db), at);
        else if (what == u'S')
            rule.feed(std::vector<qint16>(160, 0), at);
        else if (what == u'K' || what == u'U')
            rule.setTransmitting(what == u'K', at);
        else
            QVERIFY2(rule.isBusy(at) == (what == u'B'), qPrintable(event));
    }
}

QTEST_GUILESS_MAIN(TestLevelSquelch)
#include "test_level_squelch.moc"
