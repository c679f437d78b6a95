#pragma once

// The station's own settings: a small INI file in the folder the program is started from,
// beside the schedule files, read at start and never written. A missing file, or a key it
// lacks, means the default; ANUNCIEL_RIGCTLD, when set, names rigctld over the file.

#include "LinkObject.h"

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
};

struct StationSettingsRead
{
    StationSettings settings;
    // A failure names the setting, its value and what is expected.
    LinkStatus status;
};

// Reads `path` (missing: the defaults), then lets `rigctldVariable`, when set and not empty,
// name rigctld instead.
StationSettingsRead readStationSettings(const QString &path,
                                        const std::optional<QString> &rigctldVariable);

// The settings this program is started with: the file in the working folder and the
// environment.
StationSettingsRead readStationSettings();

struct RigctldAddress
{
    QString host; // a name or an address, IPv6 without its brackets
    quint16 port = 0;
};

// "host:port" or "[IPv6 address]:port"; nothing when it is not of that form.
std::optional<RigctldAddress> parseRigctldAddress(const QString &text);

} // namespace anunciel
