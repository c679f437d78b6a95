#include "settings/StationSettings.h"

#include "link/StationErrors.h"
#include "schedule/ScheduleFile.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStringList>

namespace anunciel {

namespace {

StationSettingsRead failed(const QString &text)
{
    return {{}, LinkStatus::failure(stationerror::BadSetting, text.toStdString())};
}

QString fileOrigin(const QString &key)
{
    return QStringLiteral("%1 em %2").arg(key, kStationSettingsFile);
}

// The file as the README describes it: one chave=valor a line, blanks around both trimmed; a
// `;` outside double quotes starts a comment; double quotes only keep a `;`. Nothing else is
// special (a comma, a backslash, a percent sign are characters). A `[General]` line is
// allowed; keys after any other section are named "section/key", which no key is.
class SettingsFile
{
public:
    // False for a line that is neither a setting, a comment nor a section.
    bool parse(const QString &text)
    {
        QString section;
        QString rest = text;
        rest.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
        for (const QString &raw : rest.split(u'\n')) {
            const QString line = withoutComment(raw).trimmed();
            if (line.isEmpty())
                continue;
            if (line.startsWith(u'[') && line.endsWith(u']')) {
                section = line.mid(1, line.size() - 2).trimmed();
                if (section == QLatin1String("General"))
                    section.clear();
                continue;
            }
            const qsizetype equals = line.indexOf(u'=');
            if (equals <= 0)
                return false;
            QString key = line.left(equals).trimmed();
            if (!section.isEmpty())
                key = section + u'/' + key;
            QString value = line.mid(equals + 1).trimmed();
            value.remove(u'"');
            if (!m_values.contains(key))
                m_keys << key;
            m_values.insert(key, value.trimmed()); // the last one counts
        }
        return true;
    }

    bool contains(const QString &key) const { return m_values.contains(key); }
    QString value(const QString &key) const { return m_values.value(key); }
    const QStringList &allKeys() const { return m_keys; }

private:
    static QString withoutComment(const QString &line)
    {
        bool quoted = false;
        for (qsizetype i = 0; i < line.size(); ++i) {
            if (line[i] == u'"')
                quoted = !quoted;
            else if (line[i] == u';' && !quoted)
                return line.left(i);
        }
        return line;
    }

    QStringList m_keys;
    QHash<QString, QString> m_values;
};

// ---- Where the radio side's busy state comes from ----------------------------------------

const QStringList &rfDetectionKeys()
{
    static const QStringList keys{kRfDetectionKey, kAudioInputKey, kAudioThresholdKey,
                                  kAudioHangKey};
    return keys;
}

// Reads the keys of the radio side's source; a failure names the key and what it takes.
LinkStatus readRfDetection(const SettingsFile &file, RfDetectionSettings &rf)
{
    const auto bad = [](const QString &key, const QString &text, const QString &expected) {
        return LinkStatus::failure(stationerror::BadSetting,
                                   QStringLiteral("O valor de %1 é \"%2\", mas %3")
                                       .arg(fileOrigin(key), text, expected)
                                       .toStdString());
    };
    if (file.contains(kRfDetectionKey)) {
        const QString text = file.value(kRfDetectionKey);
        if (text == QLatin1String("rigctld"))
            rf.detection = RfDetection::Rigctld;
        else if (text == QLatin1String("audio"))
            rf.detection = RfDetection::Audio;
        else if (text == QLatin1String("nenhuma"))
            rf.detection = RfDetection::Never;
        else
            return bad(kRfDetectionKey, text,
                       QStringLiteral("deve ser rigctld (o squelch lido pelo rigctld), audio (o "
                                      "nível do áudio do receptor) ou nenhuma."));
    }
    if (file.contains(kAudioInputKey))
        rf.audioInput = file.value(kAudioInputKey);
    if (file.contains(kAudioThresholdKey)) {
        const QString text = file.value(kAudioThresholdKey);
        bool isNumber = false;
        const double db = text.toDouble(&isNumber);
        if (!isNumber || !(db >= kMinAudioThresholdDb && db <= 0))
            return bad(kAudioThresholdKey, text,
                       QStringLiteral("deve ser um nível em dBFS de %1 a 0, com ponto decimal "
                                      "se houver (por exemplo %2).")
                           .arg(kMinAudioThresholdDb)
                           .arg(kDefaultAudioThresholdDb));
        rf.audioThresholdDb = db;
    }
    if (file.contains(kAudioHangKey)) {
        const QString text = file.value(kAudioHangKey);
        bool isNumber = false;
        const int ms = text.toInt(&isNumber, 10);
        if (!isNumber || ms < 0 || ms > kMaxAudioHang.count())
            return bad(kAudioHangKey, text,
                       QStringLiteral("deve ser um número inteiro de milissegundos de 0 a %1 "
                                      "(por exemplo %2).")
                           .arg(kMaxAudioHang.count())
                           .arg(kDefaultAudioHang.count()));
        rf.audioHang = std::chrono::milliseconds(ms);
    }
    return LinkStatus::success();
}

// ---- end of the radio side's source --------------------------------------------------------
// ---- Sending window and periodic identification ------------------------------------------

// A whole number of `unit` from `min` to `max`; the text that says what is wrong otherwise.
std::optional<QString> readWholeNumber(const SettingsFile &file, const QString &key, int min,
                                       int max, int example, const QString &unit, int &value)
{
    if (!file.contains(key))
        return std::nullopt;
    const QString text = file.value(key);
    bool isNumber = false;
    const int number = text.toInt(&isNumber, 10);
    if (!isNumber || number < min || number > max)
        return QStringLiteral("O valor de %1 é \"%2\", mas deve ser um número inteiro de %3 de "
                              "%4 a %5 (por exemplo %6).")
            .arg(fileOrigin(key), text, unit)
            .arg(min)
            .arg(max)
            .arg(example);
    value = number;
    return std::nullopt;
}

std::optional<QString> readYesNo(const SettingsFile &file, const QString &key, bool &value)
{
    if (!file.contains(key))
        return std::nullopt;
    const QString text = file.value(key);
    const QString folded = text.toLower();
    if (folded == QStringLiteral("sim"))
        value = true;
    else if (folded == QStringLiteral("nao") || folded == QStringLiteral("não"))
        value = false;
    else
        return QStringLiteral("O valor de %1 é \"%2\", mas deve ser sim ou nao.")
            .arg(fileOrigin(key), text);
    return std::nullopt;
}

const QStringList &sendingKeys()
{
    static const QStringList keys{kSendWindowKey, kFreeChannelKey, kIdFileKey,
                                  kIdIntervalKey, kIdOverQsoKey,   kIdOnlyWithActivityKey};
    return keys;
}

std::optional<QString> readSendingSettings(const SettingsFile &file, SendingSettings &sending)
{
    if (auto wrong = readWholeNumber(file, kSendWindowKey, 0, kMaxSendWindowMinutes, 10,
                                     QStringLiteral("minutos"), sending.windowMinutes))
        return wrong;
    if (auto wrong = readWholeNumber(file, kFreeChannelKey, 0, kMaxFreeChannelSeconds, 3,
                                     QStringLiteral("segundos"), sending.freeChannelSeconds))
        return wrong;
    if (file.contains(kIdFileKey))
        sending.idFile = file.value(kIdFileKey);
    if (auto wrong =
            readWholeNumber(file, kIdIntervalKey, kMinIdIntervalMinutes, kMaxIdIntervalMinutes, 10,
                            QStringLiteral("minutos"), sending.idIntervalMinutes))
        return wrong;
    if (auto wrong = readYesNo(file, kIdOverQsoKey, sending.idOverQso))
        return wrong;
    return readYesNo(file, kIdOnlyWithActivityKey, sending.idOnlyWithActivity);
}

// ---- end of sending window and identification -------------------------------------------

} // namespace

std::optional<RigctldAddress> parseRigctldAddress(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral(R"(^(?:\[([^\]]+)\]|([^:\[\]\s]+)):(\d{1,5})$)"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const uint port = match.captured(3).toUInt();
    if (port == 0 || port > 65535)
        return std::nullopt;
    return RigctldAddress{match.captured(1).isEmpty() ? match.captured(2) : match.captured(1),
                          quint16(port)};
}

StationSettingsRead readStationSettings(const QString &path,
                                        const std::optional<QString> &rigctldVariable,
                                        SettingsSystem system)
{
    const bool keysRadio = system == SettingsSystem::StationLink;
    StationSettings settings;
    if (QFileInfo::exists(path)) {
        // Either encoding, as the schedule files: Notepad saves in the code page by default.
        QFile source(path);
        SettingsFile file;
        const bool read = QFileInfo(path).isFile() && source.open(QIODevice::ReadOnly) &&
                          file.parse(decodeText(source.readAll())) &&
                          source.error() == QFileDevice::NoError;
        if (!read)
            return failed(QStringLiteral("O arquivo de configuração %1 existe mas não pôde ser "
                                         "lido. Ele deve ser um arquivo de texto com linhas "
                                         "chave=valor (veja o README).")
                              .arg(kStationSettingsFile));
        // A key mistyped would be passed over and the station run on a default it was
        // not meant to have.
        const QStringList known = QStringList{kRigctldKey, kKeyingDelayKey, kAudioOutputKey} +
                                  rfDetectionKeys() + sendingKeys();
        for (const QString &key : file.allKeys())
            if (!known.contains(key))
                return failed(
                    QStringLiteral("O arquivo de configuração %1 tem a chave \"%2\", "
                                   "que o programa não conhece. As chaves são: %3 "
                                   "(sem seção).")
                        .arg(kStationSettingsFile, key, known.join(QStringLiteral(", "))));

        if (const auto wrong = readSendingSettings(file, settings.sending))
            return failed(*wrong);

        if (keysRadio && file.contains(kRigctldKey)) {
            settings.rigctld = file.value(kRigctldKey);
            settings.rigctldOrigin = fileOrigin(kRigctldKey);
        }
        if (keysRadio && file.contains(kKeyingDelayKey)) {
            const QString text = file.value(kKeyingDelayKey);
            bool isNumber = false;
            const int ms = text.toInt(&isNumber, 10);
            if (!isNumber || ms < 0 || ms > kMaxKeyingDelay.count())
                return failed(QStringLiteral("O valor de %1 é \"%2\", mas deve ser um número "
                                             "inteiro de milissegundos de 0 a %3 (por exemplo "
                                             "%4).")
                                  .arg(fileOrigin(kKeyingDelayKey), text)
                                  .arg(kMaxKeyingDelay.count())
                                  .arg(kDefaultKeyingDelay.count()));
            settings.keyingDelay = std::chrono::milliseconds(ms);
        }
        if (keysRadio && file.contains(kAudioOutputKey))
            settings.audioOutput = file.value(kAudioOutputKey);
        // The radio side's source is the station link's: accepted and ignored elsewhere.
        if (keysRadio) {
            if (const LinkStatus rf = readRfDetection(file, settings.rf); !rf.ok())
                return {{}, rf};
        }
    }

    if (!keysRadio)
        return {settings, LinkStatus::success()};
    if (rigctldVariable && !rigctldVariable->trimmed().isEmpty()) {
        settings.rigctld = rigctldVariable->trimmed();
        settings.rigctldOrigin = kRigctldVariable;
    }
    if (!settings.rigctld.isEmpty() && !parseRigctldAddress(settings.rigctld))
        return failed(QStringLiteral("O valor de %1 é \"%2\", mas deve indicar o rigctld na "
                                     "forma host:porta, com a porta de 1 a 65535 (por exemplo "
                                     "127.0.0.1:4532).")
                          .arg(settings.rigctldOrigin, settings.rigctld));
    if (settings.rf.detection == RfDetection::Rigctld && settings.rigctld.isEmpty())
        return failed(
            QStringLiteral("O valor de %1 é \"rigctld\", mas nenhum rigctld foi "
                           "indicado (chave %2 ou variável %3). Indique o rigctld, ou "
                           "use %4=audio ou %4=nenhuma.")
                .arg(fileOrigin(kRfDetectionKey), kRigctldKey, kRigctldVariable, kRfDetectionKey));
    return {settings, LinkStatus::success()};
}

StationSettingsRead readStationSettings(SettingsSystem system)
{
    std::optional<QString> variable;
    if (qEnvironmentVariableIsSet(qPrintable(kRigctldVariable)))
        variable = qEnvironmentVariable(qPrintable(kRigctldVariable));
    return readStationSettings(kStationSettingsFile, variable, system);
}

} // namespace anunciel
