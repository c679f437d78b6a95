#pragma once

// The link on a station without the node software: the program keys the radio and plays the
// announcement itself. PTT and squelch go through rigctld when ANUNCIEL_RIGCTLD names it;
// without it the station is keyed by its own VOX and the radio side never reads busy.

#include "AudioPlayer.h"
#include "LinkObject.h"

#include <QDeadlineTimer>
#include <QString>
#include <QTimer>

#include <chrono>
#include <deque>
#include <memory>
#include <optional>

namespace anunciel {

class RigctldClient;

class StationLink final : public LinkObject
{
    Q_DISABLE_COPY_MOVE(StationLink)

public:
    // The longest any call may wait on rigctld.
    static constexpr std::chrono::milliseconds kExchangeBound{500};
    // How long past the file's own length the transmitter stays keyed at most, whatever
    // the player says. The sound server may hold up to two seconds of sound on its way to
    // the card (PulseAudio's default latency), which must not be cut off.
    static constexpr std::chrono::milliseconds kPlaybackMargin{3000};
    // Files that may wait while another plays.
    static constexpr std::size_t kMaxQueued = 4;

    enum class PttState
    {
        Unknown,
        Off,
        On
    };

    // `rig` may be null: a VOX-keyed station. `radio` is its PTT as last confirmed.
    StationLink(std::unique_ptr<RigctldClient> rig, std::unique_ptr<AudioPlayer> player,
                PttState radio);
    // Unkeys the transmitter: rigctld keeps PTT up after its client has gone.
    ~StationLink() override;

    LinkStatus RfBusy(std::int16_t &value) override;
    LinkStatus IpBusy(std::int16_t &value) override;
    LinkStatus SetTransmit(bool on) override;
    LinkStatus PlayFile(const std::string &path, bool flag) override;

    // Whether the transmitter should be keyed now (asked for, or a file playing).
    bool wantsKeyed() const { return m_transmit || m_playing; }
    bool isPlaying() const { return m_playing; }

private:
    // Brings the radio's PTT to what is wanted, unless it is known to be there already.
    LinkStatus applyPtt(const QDeadlineTimer &deadline);
    LinkStatus startPlayback(const std::string &path);
    void playbackEnded();

    std::unique_ptr<RigctldClient> m_rig;
    std::unique_ptr<AudioPlayer> m_player;
    QTimer m_playbackBound;
    std::deque<std::string> m_queue;
    bool m_transmit = false;
    bool m_playing = false;
    std::optional<bool> m_pttOnRadio; // last state rigctld confirmed; none when unsure
};

// The station link as ANUNCIEL_RIGCTLD describes it: empty for VOX keying, otherwise
// "host:port" of a rigctld that must answer now (the radio is unkeyed to check it).
LinkCreation createStationLink(const QString &rigctldSetting, std::unique_ptr<AudioPlayer> player);

} // namespace anunciel
