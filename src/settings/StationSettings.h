#pragma once

// The station's own settings: a small INI file in the folder the program is started from,
// beside the schedule files, read at start and never written, on both systems. A missing
// file, or a key it lacks, means the default; ANUNCIEL_RIGCTLD, when set, names rigctld over
// the file. A key that only one system uses is accepted and ignored by the other, so that one
// file serves both.

#include "link/LinkObject.h"

#include <QString>

#include <chrono>
#include <optional>

namespace anunciel {

inline const QString kStationSettingsFile = QStringLiteral("estacao.ini");
inline const QString kRigctldKey = QStringLiteral("rigctld");
inline const QString kKeyingDelayKey = QStringLiteral("atraso_ptt_ms");
inline const QString kAudioOutputKey = QStringLiteral("saida_audio");
inline const QString kRigctldVariable = QStringLiteral("ANUNCIEL_RIGCTLD");

inline constexpr std::chrono::milliseconds kDefaultKeyingDelay{300};
inline constexpr std::chrono::milliseconds kMaxKeyingDelay{5000};

// ---- Where the radio side's busy state comes from ----------------------------------------
inline const QString kRfDetectionKey = QStringLiteral("deteccao_rf");
inline const QString kAudioInputKey = QStringLiteral("entrada_audio");
inline const QString kAudioThresholdKey = QStringLiteral("limiar_audio_db");
inline const QString kAudioHangKey = QStringLiteral("segura_audio_ms");

enum class RfDetection
{
    Default, // the key left out: rigctld's squelch when rigctld is set, never busy otherwise
    Rigctld, // "rigctld": rigctld's squelch (\get_dcd)
    Audio,   // "audio": the receiver's audio level
    Never,   // "nenhuma"
};

// Receiver hiss with the squelch closed sits well below this, speech well above.
inline constexpr double kDefaultAudioThresholdDb = -40;
inline constexpr double kMinAudioThresholdDb = -90;
// Longer than the pauses between the words of an over.
inline constexpr std::chrono::milliseconds kDefaultAudioHang{1000};
inline constexpr std::chrono::milliseconds kMaxAudioHang{10000};

struct RfDetectionSettings
{
    RfDetection detection = RfDetection::Default;
    // The input's name as Qt lists it; empty for the system's default input.
    QString audioInput;
    double audioThresholdDb = kDefaultAudioThresholdDb;
    std::chrono::milliseconds audioHang = kDefaultAudioHang;
};
// ---- end of the radio side's source --------------------------------------------------------
// ---- Sending window and periodic identification (both systems) -------------------------
inline const QString kSendWindowKey = QStringLiteral("janela_envio_min");
inline const QString kFreeChannelKey = QStringLiteral("canal_livre_s");
inline const QString kIdFileKey = QStringLiteral("identificacao_arquivo");
inline const QString kIdIntervalKey = QStringLiteral("identificacao_intervalo_min");
inline const QString kIdOverQsoKey = QStringLiteral("identificacao_sobre_qso");
inline const QString kIdOnlyWithActivityKey = QStringLiteral("identificacao_so_com_atividade");

inline constexpr int kMaxSendWindowMinutes = 60;
inline constexpr int kMaxFreeChannelSeconds = 60;
inline constexpr int kMinIdIntervalMinutes = 1;
inline constexpr int kMaxIdIntervalMinutes = 120;

struct SendingSettings
{
    // Minutes after a slot's time in which a busy channel only delays it; 0: its own second
    // only, no retry.
    int windowMinutes = 0;
    // How long both sides must have been free, without a break, before a delayed send.
    int freeChannelSeconds = 3;
    // The identification's WAV file in the station folder; empty: no identification.
    QString idFile;
    // Once in every interval of this many minutes, aligned to the clock from midnight.
    int idIntervalMinutes = 10;
    // At the end of an interval that never had a free channel: sent anyway (true) or skipped.
    bool idOverQso = false;
    // No identification for an interval in which nothing was sent and nobody was heard.
    bool idOnlyWithActivity = false;

    bool operator==(const SendingSettings &) const = default;
};
// ---- end of sending window and identification -------------------------------------------

// Which program the file is read for: the Linux one keys the radio itself; the Windows one
// leaves that to the node software and ignores the station link's keys.
enum class SettingsSystem
{
    StationLink,
    NodeSoftware
};
#ifdef Q_OS_WIN
inline constexpr SettingsSystem kThisSystem = SettingsSystem::NodeSoftware;
#else
inline constexpr SettingsSystem kThisSystem = SettingsSystem::StationLink;
#endif

struct StationSettings
{
    // "host:port" of the rigctld that keys the radio; empty when the radio keys itself (VOX).
    QString rigctld;
    // Where `rigctld` came from, as messages name it ("rigctld em estacao.ini").
    QString rigctldOrigin;
    // Time from PTT confirmed to the first sample, for the transmitter to settle.
    std::chrono::milliseconds keyingDelay = kDefaultKeyingDelay;
    // The output's name as Qt lists it; empty for the system's default output.
    QString audioOutput;
    // Where the radio side's busy state comes from.
    RfDetectionSettings rf;
    SendingSettings sending;
};

struct StationSettingsRead
{
    StationSettings settings;
    // A failure names the setting, its value and what is expected.
    LinkStatus status;
};

// Reads `path` (missing: the defaults), then lets `rigctldVariable`, when set and not empty,
// name rigctld instead. For the node software's system the station link's keys, and the
// variable, are accepted but neither read nor checked.
StationSettingsRead readStationSettings(const QString &path,
                                        const std::optional<QString> &rigctldVariable,
                                        SettingsSystem system = kThisSystem);

// The settings this program is started with: the file in the working folder and the
// environment, as `system` reads them.
StationSettingsRead readStationSettings(SettingsSystem system = kThisSystem);

struct RigctldAddress
{
    QString host; // a name or an address, IPv6 without its brackets
    quint16 port = 0;
};

// "host:port" or "[IPv6 address]:port"; nothing when it is not of that form.
std::optional<RigctldAddress> parseRigctldAddress(const QString &text);

} // namespace anunciel
