#include "StationLink.h"

#include "RigctldClient.h"
#include "StationErrors.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QRegularExpression>

#include <algorithm>
#include <limits>

namespace anunciel {

namespace {

QDeadlineTimer exchangeDeadline()
{
    return QDeadlineTimer(StationLink::kExchangeBound.count());
}

} // namespace

StationLink::StationLink(std::unique_ptr<RigctldClient> rig, std::unique_ptr<AudioPlayer> player,
                         PttState radio)
    : m_rig(std::move(rig)), m_player(std::move(player))
{
    if (radio != PttState::Unknown)
        m_pttOnRadio = radio == PttState::On;
    m_playbackBound.setSingleShot(true);
    // A coarse timer may fire 5 % early: on a long file that would unkey before its end.
    m_playbackBound.setTimerType(Qt::PreciseTimer);
    m_playbackBound.callOnTimeout([this] {
        // The player did not tell the end in time: the file's length is the authority.
        m_player->stop();
        playbackEnded();
    });
    m_player->setEndHandler([this](PlaybackEnd) { playbackEnded(); });
}

StationLink::~StationLink()
{
    m_player->setEndHandler({});
    m_playbackBound.stop();
    m_queue.clear();
    m_transmit = m_playing = false;
    // Unkey first and whatever the link believes: a radio left transmitting is the worst
    // this program could do. Silencing the sound comes second.
    if (m_rig)
        m_rig->setPtt(false, exchangeDeadline());
    m_player->stop();
}

LinkStatus StationLink::applyPtt(const QDeadlineTimer &deadline)
{
    const bool want = wantsKeyed();
    if (!m_rig || m_pttOnRadio == want)
        return LinkStatus::success();
    const LinkStatus status = m_rig->setPtt(want, deadline);
    m_pttOnRadio = status.ok() ? std::optional<bool>(want) : std::nullopt;
    return status;
}

LinkStatus StationLink::RfBusy(std::int16_t &value)
{
    value = 0;
    if (!m_rig)
        return LinkStatus::success();
    const QDeadlineTimer deadline = exchangeDeadline();
    // A PTT change that did not reach the radio (rigctld was away) is tried again first.
    if (m_pttOnRadio != wantsKeyed())
        applyPtt(deadline);
    bool open = false;
    const LinkStatus status = m_rig->squelchOpen(open, deadline);
    if (status.ok() && open)
        value = -1;
    return status;
}

LinkStatus StationLink::IpBusy(std::int16_t &value)
{
    value = 0; // no internet side on this link
    return LinkStatus::success();
}

LinkStatus StationLink::SetTransmit(bool on)
{
    m_transmit = on;
    // Unkeying while a file still plays waits for its end.
    return applyPtt(exchangeDeadline());
}

LinkStatus StationLink::PlayFile(const std::string &path, bool)
{
    const QDeadlineTimer deadline = exchangeDeadline();
    // As a node program does, a file sent while another is on the air waits for its
    // turn instead of cutting the other short.
    if (m_playing) {
        if (m_queue.size() >= kMaxQueued)
            return LinkStatus::failure(stationerror::AudioFailed,
                                       "Há arquivos demais esperando para tocar.");
        m_queue.push_back(path);
        return applyPtt(deadline);
    }
    const LinkStatus started = startPlayback(path);
    const LinkStatus keyed = applyPtt(deadline);
    return started.ok() ? keyed : started;
}

LinkStatus StationLink::startPlayback(const std::string &path)
{
    const AudioPlayer::Start start = m_player->play(path);
    m_playing = start.status.ok();
    if (m_playing) {
        // A timer counts in int milliseconds: a file of days at 1 Hz must not overflow it.
        const auto bound = std::min<std::chrono::milliseconds::rep>(
            (start.length + kPlaybackMargin).count(), std::numeric_limits<int>::max());
        m_playbackBound.start(std::chrono::milliseconds(bound));
    }
    return start.status;
}

void StationLink::playbackEnded()
{
    m_playbackBound.stop();
    if (!m_playing)
        return;
    m_playing = false;
    // The next waiting file keeps the transmitter keyed; one that cannot play is passed.
    while (!m_playing && !m_queue.empty()) {
        const std::string next = std::move(m_queue.front());
        m_queue.pop_front();
        startPlayback(next);
    }
    applyPtt(exchangeDeadline());
}

// ---- Creation ----------------------------------------------------------------------------

namespace {

LinkCreation creationFailure(std::int32_t code, const QString &text)
{
    return {nullptr, LinkStatus::failure(code, text.toStdString())};
}

} // namespace

LinkCreation createStationLink(const QString &rigctldSetting, std::unique_ptr<AudioPlayer> player)
{
    const QString setting = rigctldSetting.trimmed();
    if (setting.isEmpty())
        return {std::make_unique<StationLink>(nullptr, std::move(player),
                                              StationLink::PttState::Unknown),
                LinkStatus::success()};

    // host:port, or [IPv6 address]:port
    static const QRegularExpression form(
        QStringLiteral(R"(^(?:\[([^\]]+)\]|([^:\[\]]+)):(\d{1,5})$)"));
    const QRegularExpressionMatch match = form.match(setting);
    const uint port = match.hasMatch() ? match.captured(3).toUInt() : 0;
    if (port == 0 || port > 65535)
        return creationFailure(
            stationerror::RigSetting,
            QStringLiteral("A variável ANUNCIEL_RIGCTLD deve indicar o rigctld na forma "
                           "host:porta (por exemplo 127.0.0.1:4532), mas vale \"%1\".")
                .arg(setting));
    const QString host = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);

    // The name is looked up once, here: later exchanges must not wait on a name server.
    QList<QHostAddress> addresses{QHostAddress(host)};
    if (addresses.first().isNull())
        addresses = QHostInfo::fromName(host).addresses();
    if (addresses.isEmpty())
        return creationFailure(
            stationerror::RigUnreachable,
            QStringLiteral("Não foi possível conectar ao rigctld em %1 (ANUNCIEL_RIGCTLD): "
                           "o endereço \"%2\" não foi encontrado.")
                .arg(setting, host));

    // The program starts with the transmitter off; saying so also proves rigctld answers,
    // and clears a PTT that an earlier run may have left up. A name may stand for several
    // addresses (localhost: ::1 and 127.0.0.1) of which rigctld listens on some only.
    LinkStatus answered;
    for (const QHostAddress &address : std::as_const(addresses)) {
        auto rig = std::make_unique<RigctldClient>(address, quint16(port), setting);
        answered = rig->setPtt(false, exchangeDeadline());
        if (answered.ok())
            return {std::make_unique<StationLink>(std::move(rig), std::move(player),
                                                  StationLink::PttState::Off),
                    LinkStatus::success()};
    }
    return creationFailure(
        answered.code, QString::fromStdString(answered.description) +
                           QStringLiteral("\nVerifique a variável ANUNCIEL_RIGCTLD e o rigctld."));
}

LinkCreation createLink()
{
    return createStationLink(qEnvironmentVariable("ANUNCIEL_RIGCTLD"), createSystemAudioPlayer());
}

} // namespace anunciel
