// The station's settings file: read at start beside the schedule files, defaults for what
// it lacks, ANUNCIEL_RIGCTLD over it, and a setting that cannot be understood stopping the
// program with a box that says which, its value and what is expected.

#include "link/StationErrors.h"
#include "settings/StationSettings.h"
#include "support/Harness.h"
#include "support/TestFiles.h"
#include "support/WorkingFolder.h"

#include <QtTest>

using namespace anunciel;
using namespace anunciel::test;

namespace {

// Sets or clears ANUNCIEL_RIGCTLD for one test, and puts back what was there.
class RigctldVariable
{
public:
    explicit RigctldVariable(const std::optional<QString> &value)
        : m_saved(qEnvironmentVariableIsSet("ANUNCIEL_RIGCTLD")
                      ? std::optional<QByteArray>(qgetenv("ANUNCIEL_RIGCTLD"))
                      : std::nullopt)
    {
        set(value ? std::optional<QByteArray>(value->toUtf8()) : std::nullopt);
    }
    ~RigctldVariable() { set(m_saved); }
    RigctldVariable(const RigctldVariable &) = delete;
    RigctldVariable &operator=(const RigctldVariable &) = delete;

private:
    static void set(const std::optional<QByteArray> &value)
    {
        if (value)
            qputenv("ANUNCIEL_RIGCTLD", *value);
        else
            qunsetenv("ANUNCIEL_RIGCTLD");
    }
    std::optional<QByteArray> m_saved;
};

} // namespace

using OptionalText = std::optional<QString>;
Q_DECLARE_METATYPE(OptionalText)

class TestStationSettings : public QObject
{
    Q_OBJECT

private slots:
    void readsWithDefaults_data();
    void readsWithDefaults();
    void radioSideSource_data();
    void radioSideSource();
    void badSettingRefused_data();
    void badSettingRefused();
#ifndef Q_OS_WIN // the station link's start-up
    void badSettingStopsStartWithItsBox_data();
    void badSettingStopsStartWithItsBox();
    void settingsFileNeverWritten();
#endif
    void sendingSettingsOnBothSystems_data();
    void sendingSettingsOnBothSystems();
    void valueReadAsWritten_data();
    void valueReadAsWritten();
};

void TestStationSettings::readsWithDefaults_data()
{
    QTest::addColumn<QByteArray>("file"); // "-" for no file at all
    QTest::addColumn<OptionalText>("variable");
    QTest::addColumn<QString>("rigctld");
    QTest::addColumn<int>("delay");
    QTest::addColumn<QString>("output");

    const OptionalText unset;
    QTest::newRow("no file") << QByteArray("-") << unset << "" << 300 << "";
    QTest::newRow("empty file") << QByteArray("") << unset << "" << 300 << "";
    QTest::newRow("only the delay")
        << QByteArray("atraso_ptt_ms=150\n") << unset << "" << 150 << "";
    QTest::newRow("delay zero") << QByteArray("atraso_ptt_ms = 0\n") << unset << "" << 0 << "";
    QTest::newRow("all three") << QByteArray(
                                      "; a estação\nrigctld=127.0.0.1:4532\natraso_ptt_ms=250\n"
                                      "saida_audio=USB Audio Device Analog Mono\n")
                               << unset << "127.0.0.1:4532" << 250
                               << "USB Audio Device Analog Mono";
    QTest::newRow("Windows line ends and a General section")
        << QByteArray("[General]\r\nrigctld=localhost:4532\r\nsaida_audio=alsa_output.usb\r\n")
        << unset << "localhost:4532" << 300 << "alsa_output.usb";
    QTest::newRow("output name in UTF-8 with a comma")
        << QByteArray("saida_audio=Áudio interno, estéreo analógico\n") << unset << "" << 300
        << "Áudio interno, estéreo analógico";
    QTest::newRow("output name quoted")
        << QByteArray("saida_audio=\"Placa, USB\"\n") << unset << "" << 300 << "Placa, USB";
    QTest::newRow("variable over the file")
        << QByteArray("rigctld=127.0.0.1:4532\natraso_ptt_ms=200\n")
        << OptionalText(QStringLiteral("10.0.0.5:4533")) << "10.0.0.5:4533" << 200 << "";
    QTest::newRow("variable without a file")
        << QByteArray("-") << OptionalText(QStringLiteral("[::1]:4532")) << "[::1]:4532" << 300
        << "";
    QTest::newRow("empty variable leaves the file's")
        << QByteArray("rigctld=127.0.0.1:4532\n") << OptionalText(QString()) << "127.0.0.1:4532"
        << 300 << "";
    QTest::newRow("empty rigctld: VOX") << QByteArray("rigctld=\n") << unset << "" << 300 << "";
    QTest::newRow("commented out")
        << QByteArray("; rigctld=127.0.0.1:4532\n;atraso_ptt_ms=9\natraso_ptt_ms=40 ; PY2XYZ\n")
        << unset << "" << 40 << "";
}

void TestStationSettings::readsWithDefaults()
{
    QFETCH(QByteArray, file);
    QFETCH(OptionalText, variable);
    QFETCH(QString, rigctld);
    QFETCH(int, delay);
    QFETCH(QString, output);
    const WorkingFolder folder;
    if (file != "-")
        QVERIFY(writeBytes(folder.filePath(kStationSettingsFile), file));
    const RigctldVariable env(variable);

    // As the Linux program reads them at start: the file in the working folder, the
    // environment.
    const StationSettingsRead read = readStationSettings(SettingsSystem::StationLink);
    QVERIFY2(read.status.ok(), read.status.description.c_str());
    QCOMPARE(read.settings.rigctld, rigctld);
    QCOMPARE(int(read.settings.keyingDelay.count()), delay);
    QCOMPARE(read.settings.audioOutput, output);
}

void TestStationSettings::radioSideSource_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<OptionalText>("variable");
    QTest::addColumn<int>("detection"); // RfDetection
    QTest::addColumn<QString>("input");
    QTest::addColumn<double>("threshold");
    QTest::addColumn<int>("hang");

    const OptionalText unset;
    const int byDefault = int(RfDetection::Default);
    QTest::newRow("no keys: as before")
        << QByteArray("rigctld=127.0.0.1:4532\n") << unset << byDefault << "" << -40.0 << 1000;
    QTest::newRow("audio with all its keys")
        << QByteArray("deteccao_rf=audio\nentrada_audio=USB Audio Device, mono\n"
                      "limiar_audio_db=-35.5\nsegura_audio_ms=1500\n")
        << unset << int(RfDetection::Audio) << "USB Audio Device, mono" << -35.5 << 1500;
    QTest::newRow("audio beside rigctld keying")
        << QByteArray("rigctld=127.0.0.1:4532\ndeteccao_rf=audio\nsegura_audio_ms=0\n") << unset
        << int(RfDetection::Audio) << "" << -40.0 << 0;
    QTest::newRow("rigctld named by the variable")
        << QByteArray("deteccao_rf=rigctld\n") << OptionalText(QStringLiteral("127.0.0.1:4532"))
        << int(RfDetection::Rigctld) << "" << -40.0 << 1000;
    QTest::newRow("never busy") << QByteArray("deteccao_rf = nenhuma ; PY2XYZ\n") << unset
                                << int(RfDetection::Never) << "" << -40.0 << 1000;
}

void TestStationSettings::radioSideSource()
{
    QFETCH(QByteArray, file);
    QFETCH(OptionalText, variable);
    QFETCH(int, detection);
    QFETCH(QString, input);
    QFETCH(double, threshold);
    QFETCH(int, hang);
    const WorkingFolder folder;
    QVERIFY(writeBytes(folder.filePath(kStationSettingsFile), file));
    const RigctldVariable env(variable);

    const StationSettingsRead read = readStationSettings(SettingsSystem::StationLink);
    QVERIFY2(read.status.ok(), read.status.description.c_str());
    QCOMPARE(int(read.settings.rf.detection), detection);
    QCOMPARE(read.settings.rf.audioInput, input);
    QCOMPARE(read.settings.rf.audioThresholdDb, threshold);
    QCOMPARE(int(read.settings.rf.audioHang.count()), hang);
}

void TestStationSettings::badSettingRefused_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<OptionalText>("variable");
    QTest::addColumn<QStringList>("told"); // what the report must name

    const OptionalText unset;
    const QString delayExpected = QStringLiteral("de 0 a 5000");
    const QString addressExpected = QStringLiteral("host:porta");
    QTest::newRow("delay not a number")
        << QByteArray("atraso_ptt_ms=trezentos\n") << unset
        << QStringList{"atraso_ptt_ms em estacao.ini", "\"trezentos\"", delayExpected};
    QTest::newRow("delay with a unit") << QByteArray("atraso_ptt_ms=300ms\n") << unset
                                       << QStringList{"atraso_ptt_ms", "\"300ms\"", delayExpected};
    QTest::newRow("delay negative") << QByteArray("atraso_ptt_ms=-5\n") << unset
                                    << QStringList{"atraso_ptt_ms", "\"-5\"", delayExpected};
    QTest::newRow("delay too long") << QByteArray("atraso_ptt_ms=9000\n") << unset
                                    << QStringList{"atraso_ptt_ms", "\"9000\"", delayExpected};
    QTest::newRow("delay empty") << QByteArray("atraso_ptt_ms=\n") << unset
                                 << QStringList{"atraso_ptt_ms", "\"\"", delayExpected};
    QTest::newRow("rigctld without port")
        << QByteArray("rigctld=127.0.0.1\n") << unset
        << QStringList{"rigctld em estacao.ini", "\"127.0.0.1\"", addressExpected};
    QTest::newRow("rigctld port out of range")
        << QByteArray("rigctld=127.0.0.1:70000\n") << unset
        << QStringList{"rigctld em estacao.ini", "\"127.0.0.1:70000\"", addressExpected};
    QTest::newRow("variable not an address")
        << QByteArray("rigctld=127.0.0.1:4532\n") << OptionalText(QStringLiteral("rig"))
        << QStringList{"ANUNCIEL_RIGCTLD", "\"rig\"", addressExpected};
    QTest::newRow("mistyped key") << QByteArray("atraso_ppt_ms=300\n") << unset
                                  << QStringList{"\"atraso_ppt_ms\"",
                                                 "rigctld, atraso_ptt_ms, saida_audio"};
    QTest::newRow("unknown radio-side source")
        << QByteArray("deteccao_rf=vox\n") << unset
        << QStringList{"deteccao_rf em estacao.ini", "\"vox\"", "rigctld", "audio", "nenhuma"};
    QTest::newRow("rigctld source without rigctld")
        << QByteArray("deteccao_rf=rigctld\n") << unset
        << QStringList{"deteccao_rf em estacao.ini", "nenhum rigctld", "ANUNCIEL_RIGCTLD"};
    QTest::newRow("threshold above full scale")
        << QByteArray("limiar_audio_db=6\n") << unset
        << QStringList{"limiar_audio_db em estacao.ini", "\"6\"", "de -90 a 0"};
    QTest::newRow("threshold with a decimal comma")
        << QByteArray("limiar_audio_db=\"-40,5\"\n") << unset
        << QStringList{"limiar_audio_db", "\"-40,5\"", "ponto decimal"};
    QTest::newRow("hang too long") << QByteArray("segura_audio_ms=60000\n") << unset
                                   << QStringList{"segura_audio_ms", "\"60000\"", "de 0 a 10000"};
    const QString minutes = QStringLiteral("número inteiro de minutos de 0 a 60");
    QTest::newRow("window not a number")
        << QByteArray("janela_envio_min=dez\n") << unset
        << QStringList{"janela_envio_min em estacao.ini", "\"dez\"", minutes};
    QTest::newRow("window too long") << QByteArray("janela_envio_min=61\n") << unset
                                     << QStringList{"janela_envio_min", "\"61\"", minutes};
    QTest::newRow("free time negative")
        << QByteArray("canal_livre_s=-1\n") << unset
        << QStringList{"canal_livre_s", "\"-1\"", "número inteiro de segundos de 0 a 60"};
    QTest::newRow("identification interval zero")
        << QByteArray("identificacao_intervalo_min=0\n") << unset
        << QStringList{"identificacao_intervalo_min", "\"0\"", "de 1 a 120"};
    QTest::newRow("identification interval too long")
        << QByteArray("identificacao_intervalo_min=121\n") << unset
        << QStringList{"identificacao_intervalo_min", "\"121\"", "de 1 a 120"};
    QTest::newRow("over the QSO neither sim nor nao")
        << QByteArray("identificacao_sobre_qso=talvez\n") << unset
        << QStringList{"identificacao_sobre_qso em estacao.ini", "\"talvez\"", "sim ou nao"};
    QTest::newRow("only with activity as a number")
        << QByteArray("identificacao_so_com_atividade=1\n") << unset
        << QStringList{"identificacao_so_com_atividade", "\"1\"", "sim ou nao"};
    QTest::newRow("keys in a section") << QByteArray("[estacao]\nrigctld=127.0.0.1:4532\n") << unset
                                       << QStringList{"\"estacao/rigctld\"", "sem seção"};
}

void TestStationSettings::badSettingRefused()
{
    QFETCH(QByteArray, file);
    QFETCH(OptionalText, variable);
    QFETCH(QStringList, told);
    const WorkingFolder folder;
    QVERIFY(writeBytes(folder.filePath(kStationSettingsFile), file));
    const RigctldVariable env(variable);

    const StationSettingsRead read = readStationSettings(SettingsSystem::StationLink);
    QCOMPARE(read.status.code, stationerror::BadSetting);
    const QString text = QString::fromStdString(read.status.description);
    for (const QString &part : told)
        QVERIFY2(text.contains(part), qPrintable(text + QStringLiteral(" lacks ") + part));
}

#ifndef Q_OS_WIN
void TestStationSettings::badSettingStopsStartWithItsBox_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("told");
    QTest::newRow("delay") << QByteArray("atraso_ptt_ms=abc\n")
                           << "O valor de atraso_ptt_ms em estacao.ini é \"abc\", mas deve ser "
                              "um número inteiro de milissegundos de 0 a 5000 (por exemplo 300).";
    QTest::newRow("address") << QByteArray("rigctld=127.0.0.1 4532\n")
                             << "O valor de rigctld em estacao.ini é \"127.0.0.1 4532\", mas "
                                "deve indicar o rigctld na forma host:porta, com a porta de 1 a "
                                "65535 (por exemplo 127.0.0.1:4532).";
}

// Start-up as the program makes it: the link from the settings, through the window.
void TestStationSettings::badSettingStopsStartWithItsBox()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, told);
    const WorkingFolder folder;
    QVERIFY(writeBytes(folder.filePath(kStationSettingsFile), file));
    const RigctldVariable env(std::nullopt);
    Harness h([] { return createLink(readStationSettings().settings, nullptr); });
    QVERIFY(!h.start());
    QCOMPARE(h.fake.boxes.shown.size(), size_t(1));
    const FakeBoxes::Shown &box = h.fake.boxes.shown.front();
    QCOMPARE(box.kind, FakeBoxes::Shown::Kind::Fatal);
    QCOMPARE(box.number, qint64(stationerror::BadSetting));
    QCOMPARE(box.text, told);
}

// The operator's file: the program reads it and leaves it exactly as it was.
void TestStationSettings::settingsFileNeverWritten()
{
    const WorkingFolder folder;
    const QByteArray file("; estação PY2XYZ\nrigctld = 127.0.0.1:4532\natraso_ptt_ms=300\n");
    const QString path = folder.filePath(kStationSettingsFile);
    QVERIFY(writeBytes(path, file));
    const QDateTime modified = QFileInfo(path).lastModified();
    const RigctldVariable env(std::nullopt);
    QVERIFY(readStationSettings().status.ok());
    {
        Harness h([] { return createLink(readStationSettings().settings, nullptr); });
        QVERIFY(h.start());
    }
    QCOMPARE(readBytes(path), file);
    QCOMPARE(QFileInfo(path).lastModified(), modified);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{kStationSettingsFile});
}

#endif

void TestStationSettings::sendingSettingsOnBothSystems_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("windows");       // read as the Windows program reads it
    QTest::addColumn<QList<int>>("numbers"); // window, free seconds, interval
    QTest::addColumn<QString>("idFile");
    QTest::addColumn<QList<bool>>("flags"); // over the QSO, only with activity

    const QByteArray all("janela_envio_min=15\ncanal_livre_s=0\nidentificacao_arquivo=id "
                         "PY2XYZ.wav\nidentificacao_intervalo_min=120\n"
                         "identificacao_sobre_qso=sim\nidentificacao_so_com_atividade=Sim\n");
    for (const bool windows : {false, true}) {
        const char *system = windows ? "Windows" : "Linux";
        QTest::addRow("%s, no file", system) << QByteArray("-") << windows << QList<int>{0, 3, 10}
                                             << "" << QList<bool>{false, false};
        QTest::addRow("%s, every key", system) << all << windows << QList<int>{15, 0, 120}
                                               << "id PY2XYZ.wav" << QList<bool>{true, true};
        QTest::addRow("%s, nao and não", system)
            << QByteArray("identificacao_sobre_qso=nao\nidentificacao_so_com_atividade=não\n"
                          "janela_envio_min=60\ncanal_livre_s=60\nidentificacao_intervalo_min=1\n")
            << windows << QList<int>{60, 60, 1} << "" << QList<bool>{false, false};
    }
    // One file for both systems: the station link's keys, even ones the Linux program would
    // refuse, are accepted and ignored on Windows.
    QTest::newRow("Windows, the station link's keys ignored")
        << QByteArray("rigctld=127.0.0.1\natraso_ptt_ms=abc\nsaida_audio=USB\n"
                      "janela_envio_min=5\n")
        << true << QList<int>{5, 3, 10} << "" << QList<bool>{false, false};
}

void TestStationSettings::sendingSettingsOnBothSystems()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, windows);
    QFETCH(QList<int>, numbers);
    QFETCH(QString, idFile);
    QFETCH(QList<bool>, flags);
    const WorkingFolder folder;
    if (file != "-")
        QVERIFY(writeBytes(folder.filePath(kStationSettingsFile), file));
    // The variable names rigctld, which only the Linux program uses: not an address here.
    const StationSettingsRead read = readStationSettings(
        kStationSettingsFile, windows ? OptionalText(QStringLiteral("nada")) : std::nullopt,
        windows ? SettingsSystem::NodeSoftware : SettingsSystem::StationLink);
    QVERIFY2(read.status.ok(), read.status.description.c_str());
    const SendingSettings &sending = read.settings.sending;
    QCOMPARE(
        (QList<int>{sending.windowMinutes, sending.freeChannelSeconds, sending.idIntervalMinutes}),
        numbers);
    QCOMPARE(sending.idFile, idFile);
    QCOMPARE((QList<bool>{sending.idOverQso, sending.idOnlyWithActivity}), flags);
    if (windows) {
        QVERIFY(read.settings.rigctld.isEmpty());
        QCOMPARE(read.settings.keyingDelay, kDefaultKeyingDelay);
        QVERIFY(read.settings.audioOutput.isEmpty());
    }
}

// The file as an operator writes it, in Notepad or a Linux editor: the value is the text
// after "=", a comma and a backslash included, in either encoding.
void TestStationSettings::valueReadAsWritten_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("idFile"); // "!" for a file refused as unreadable

    const QString accented = QString::fromUtf8("identificação, 1.wav");
    QTest::newRow("comma") << QByteArray("identificacao_arquivo=id,1.wav\n") << "id,1.wav";
    QTest::newRow("commas and blanks")
        << QByteArray("identificacao_arquivo = id , 1,2.wav \n") << "id , 1,2.wav";
    QTest::newRow("Windows-1252 accent")
        << QByteArray("identificacao_arquivo=identifica\xe7\xe3o, 1.wav\r\n") << accented;
    QTest::newRow("UTF-8 without a mark")
        << QByteArray("identificacao_arquivo=identifica\xc3\xa7\xc3\xa3o, 1.wav\n") << accented;
    QTest::newRow("UTF-8 with a mark, accent in a comment too")
        << QByteArray("\xef\xbb\xbf; esta\xc3\xa7\xc3\xa3o\nidentificacao_arquivo=identifica"
                      "\xc3\xa7\xc3\xa3o, 1.wav\n")
        << accented;
    QTest::newRow("Windows-1252 accent in a comment, ASCII value")
        << QByteArray("; esta\xe7\xe3o\r\nidentificacao_arquivo=id.wav\r\n") << "id.wav";
    QTest::newRow("quoted value with a semicolon")
        << QByteArray("identificacao_arquivo=\"id;1.wav\" ; PY2XYZ\n") << "id;1.wav";
    QTest::newRow("comment lines and a comment after the value")
        << QByteArray(
               ";identificacao_arquivo=nao.wav\n  ; outro\n\nidentificacao_arquivo=id.wav;x\n")
        << "id.wav";
    QTest::newRow("CR LF, last line without an end")
        << QByteArray("janela_envio_min=5\r\nidentificacao_arquivo=id.wav") << "id.wav";
    QTest::newRow("lone CR line ends")
        << QByteArray("janela_envio_min=5\ridentificacao_arquivo=id.wav\r") << "id.wav";
    QTest::newRow("backslash, percent and escapes are characters")
        << QByteArray("identificacao_arquivo=ids\\id%201\\t.wav\n") << "ids\\id%201\\t.wav";
    QTest::newRow("the last of a repeated key")
        << QByteArray("identificacao_arquivo=a.wav\nidentificacao_arquivo=b.wav\n") << "b.wav";
    QTest::newRow("a line that is no setting")
        << QByteArray("identificacao_arquivo id.wav\n") << "!";
    QTest::newRow("a folder of that name") << QByteArray("/") << "!";
}

void TestStationSettings::valueReadAsWritten()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, idFile);
    const WorkingFolder folder;
    if (file == "/")
        QVERIFY(QDir().mkdir(kStationSettingsFile));
    else
        QVERIFY(writeBytes(folder.filePath(kStationSettingsFile), file));
    for (const SettingsSystem system :
         {SettingsSystem::StationLink, SettingsSystem::NodeSoftware}) {
        const StationSettingsRead read = readStationSettings(kStationSettingsFile, {}, system);
        if (idFile == QLatin1String("!")) {
            QCOMPARE(read.status.code, stationerror::BadSetting);
            QVERIFY(QString::fromStdString(read.status.description)
                        .startsWith(QStringLiteral("O arquivo de configuração estacao.ini existe "
                                                   "mas não pôde ser lido.")));
            continue;
        }
        QVERIFY2(read.status.ok(), read.status.description.c_str());
        QCOMPARE(read.settings.sending.idFile, idFile);
    }
}

QTEST_MAIN(TestStationSettings)
#include "test_station_settings.moc"
