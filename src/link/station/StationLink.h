#pragma once

// The link on a station without the node software: the program keys the radio and plays the
// announcement itself. PTT goes through rigctld when the station's settings name it; without
// it the station is keyed by its own VOX. The radio side reads busy from rigctld's squelch,
// from the receiver's audio level, or never, as the settings say.
//
// The transmitter is keyed only for sound: a file is checked first (a PCM WAV file, an
// output that is open and taking samples), then the radio is keyed, and its first sample
// leaves once rigctld has confirmed PTT on and the keying delay has passed. It stays keyed
// until the file has played out, and is unkeyed at once when the output goes. A file sent
// while another plays waits for its turn, and takes it only if the channel is free then.

#include "link/LinkObject.h"
#include "link/audio/AudioPlayer.h"
#include "link/audio/ChannelListener.h"
#include "settings/StationSettings.h"

#include <QDeadlineTimer>
#include <QString>
#include <QTimer>

#include <chrono>
#include <deque>
#include <memory>
#include <optional>

namespace anunciel {

class Log;
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
    // How long a PTT-on command given up on may still be carried out by a slow radio:
    // until then an unkey that got through is said again.
    static constexpr std::chrono::milliseconds kLateCommand{3000};

    // `rig` may be null: a VOX-keyed station. `log` (may be null) gets what the operator
    // should know: rigctld lost and back, a waiting file that put nothing on the air and why. The
    // radio's PTT is taken as unknown until a first exchange sets it. The radio side is read
    // as `detection` says; `listener` is the one heard for RfDetection::Audio.
    StationLink(std::unique_ptr<RigctldClient> rig, std::unique_ptr<AudioPlayer> player,
                std::chrono::milliseconds keyingDelay, Log *log,
                RfDetection detection = RfDetection::Default,
                std::unique_ptr<ChannelListener> listener = nullptr);
    // Unkeys the transmitter: rigctld keeps PTT up after its client has gone.
    ~StationLink() override;

    LinkStatus RfBusy(std::int16_t &value) override;
    bool hearsRadioSide() const override { return m_detection != RfDetection::Never; }
    LinkStatus IpBusy(std::int16_t &value) override;
    LinkStatus SetTransmit(bool on) override;
    LinkStatus PlayFile(const std::string &path, bool flag) override;
    bool tellsPlayOutcome() const override { return true; }
    // Once set, what becomes of each file taken is told there rather than written to the log.
    void setPlayOutcomeHandler(PlayOutcomeHandler handler) override
    {
        m_onOutcome = std::move(handler);
    }

    void setTurnCheck(TurnCheck check) override { m_turnCheck = std::move(check); }
    bool transmitting() const override { return m_onAir || m_takingTurn; }

    // Whether a file is on the air, so that the transmitter should be keyed.
    bool isOnAir() const { return m_onAir; }

private:
    // Brings the radio's PTT to what is wanted, unless it is known to be there already.
    LinkStatus applyPtt(const QDeadlineTimer &deadline);
    // Checks the file, keys the radio, and has the sound start once PTT is confirmed and
    // the keying delay has passed.
    LinkStatus keyAndPlay(const std::string &path);
    void playbackEnded(PlaybackEnd how);
    // Tells the log when rigctld stops or starts answering, once each time.
    void noteContact(const LinkStatus &status);
    void notSent(const std::string &path, const LinkStatus &why);
    // Tells the listener whether this program is on the air, whenever that may have changed.
    void noteTransmitting();
    // Tells the log when the listener stops or starts hearing the channel, once each time.
    void noteHearing(const LinkStatus &status);
    // Tells the log when the sound server goes away or comes back.
    void noteSoundServer(bool reachable, const std::string &why);
    // Whether a waiting file may go now that its turn has come.
    bool mayTakeTurn(const std::string &path);
    // The radio side as the link reads it, without touching PTT: busy, or not known busy.
    bool radioSideBusy();

    enum class Contact
    {
        Unknown,
        Answering,
        Lost
    };

    std::unique_ptr<RigctldClient> m_rig;
    std::unique_ptr<AudioPlayer> m_player;
    std::chrono::milliseconds m_keyingDelay;
    Log *m_log;
    QTimer m_playbackBound;
    std::deque<std::string> m_queue;
    bool m_onAir = false;
    std::optional<bool> m_pttOnRadio; // last state rigctld confirmed; none when unsure
    std::chrono::steady_clock::time_point m_lateKeyingUntil{};
    Contact m_contact = Contact::Unknown;
    PlayOutcomeHandler m_onOutcome;
    // The file on the air and when its first sample was to leave.
    std::string m_playingPath;
    AudioPlayer::TimePoint m_playingSince{};
    RfDetection m_detection;
    std::unique_ptr<ChannelListener> m_listener;
    bool m_transmitAsked = false; // SetTransmit(true) not yet undone
    bool m_hearing = true;        // the listener's last read succeeded
    TurnCheck m_turnCheck;
    bool m_takingTurn = false; // between a file's end and the next one's start
    bool m_overran = false;    // the file's end was not told within its bound
};

// The station link as `settings` describe it. rigctld not answering is no reason not to
// make it (it is tried again with every call); a name that cannot be looked up is. With
// RfDetection::Audio the radio side is heard through `listener`, or, when that is null, on
// the input the settings name.
LinkCreation createStationLink(const StationSettings &settings, std::unique_ptr<AudioPlayer> player,
                               Log *log, std::unique_ptr<ChannelListener> listener = nullptr);

} // namespace anunciel
