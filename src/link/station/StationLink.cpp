#include "link/station/StationLink.h"

#include "link/StationErrors.h"
#include "link/audio/AudioOutputs.h"
#include "link/audio/AudioSquelch.h"
#include "link/rig/RigctldClient.h"
#include "platform/Platform.h"
#include "settings/StationSettings.h"

#include <QHostAddress>
#include <QHostInfo>

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
                         std::chrono::milliseconds keyingDelay, Log *log, RfDetection detection,
                         std::unique_ptr<ChannelListener> listener)
    : m_rig(std::move(rig)), m_player(std::move(player)), m_keyingDelay(keyingDelay), m_log(log),
      m_detection(detection), m_listener(std::move(listener))
{
    if (m_detection == RfDetection::Default)
        m_detection = m_rig ? RfDetection::Rigctld : RfDetection::Never;
    if ((m_detection == RfDetection::Rigctld && !m_rig) ||
        (m_detection == RfDetection::Audio && !m_listener))
        m_detection = RfDetection::Never;
    m_playbackBound.setSingleShot(true);
    // A coarse timer may fire 5 % early: on a long file that would unkey before its end.
    m_playbackBound.setTimerType(Qt::PreciseTimer);
    m_playbackBound.callOnTimeout([this] {
        // The sound server did not say the last sample was played in time: the radio is not
        // kept keyed for it any longer, and the send is not told whole.
        m_player->stop();
        m_overran = true;
        playbackEnded(PlaybackEnd::Failed);
        m_overran = false;
    });
    m_player->setEndHandler([this](PlaybackEnd how) { playbackEnded(how); });
    m_player->setServerHandler(
        [this](bool reachable, const std::string &why) { noteSoundServer(reachable, why); });
}

StationLink::~StationLink()
{
    m_player->setEndHandler({});
    m_player->setServerHandler({});
    m_playbackBound.stop();
    m_queue.clear();
    m_onAir = false;
    // Unkey first and whatever the link believes: a radio left transmitting is the worst
    // this program could do. Silencing the sound comes second.
    if (m_rig)
        m_rig->setPtt(false, exchangeDeadline());
    m_player->stop();
}

void StationLink::noteContact(const LinkStatus &status)
{
    const bool lost =
        status.code == stationerror::RigUnreachable || status.code == stationerror::RigNoAnswer;
    if (lost && m_contact != Contact::Lost) {
        m_contact = Contact::Lost;
        if (m_log)
            // What the link does meanwhile, and no more: whether a send is tried is the
            // station's to say, and each one refused is told with its send.
            m_log->line(QStringLiteral("Sem contato com o rigctld em %1: %2 Enquanto ele não "
                                       "responder, o rádio não é chaveado e nenhum arquivo é "
                                       "tocado.")
                            .arg(m_rig->name(), QString::fromStdString(status.description)));
    } else if (!lost && m_contact != Contact::Answering) {
        if (m_contact == Contact::Lost && m_log)
            m_log->line(QStringLiteral("O rigctld em %1 voltou a responder.").arg(m_rig->name()));
        m_contact = Contact::Answering;
    }
}

void StationLink::notSent(const std::string &path, const LinkStatus &why)
{
    if (m_onOutcome)
        m_onOutcome({path, why, false, {}});
    else if (m_log)
        m_log->line(
            QStringLiteral("Arquivo \"%1\" não transmitido. %2")
                .arg(QString::fromStdString(path), QString::fromStdString(why.description)));
}

LinkStatus StationLink::applyPtt(const QDeadlineTimer &deadline)
{
    const bool want = isOnAir();
    if (!m_rig || m_pttOnRadio == want)
        return LinkStatus::success();
    const LinkStatus status = m_rig->setPtt(want, deadline);
    noteContact(status);
    const auto now = std::chrono::steady_clock::now();
    if (!status.ok() && want)
        m_lateKeyingUntil = now + kLateCommand;
    // rigctld serves each connection on its own thread: a key given up on may still reach
    // the radio after an unkey sent since on a new connection.
    const bool sure = status.ok() && (want || now >= m_lateKeyingUntil);
    m_pttOnRadio = sure ? std::optional<bool>(want) : std::nullopt;
    return status;
}

void StationLink::noteTransmitting()
{
    if (m_listener)
        m_listener->setTransmitting(m_transmitAsked || m_onAir);
}

void StationLink::noteHearing(const LinkStatus &status)
{
    if (status.ok() == m_hearing)
        return;
    m_hearing = status.ok();
    if (!m_log)
        return;
    if (!m_hearing)
        m_log->line(QStringLiteral("Sem áudio do receptor: %1 O estado do rádio (RF) fica "
                                   "desconhecido até que a entrada volte.")
                        .arg(QString::fromStdString(status.description)));
    else
        m_log->line(QStringLiteral("A entrada de áudio do receptor voltou; o estado do rádio "
                                   "(RF) volta a ser lido do áudio."));
}

void StationLink::noteSoundServer(bool reachable, const std::string &why)
{
    if (!m_log)
        return;
    if (!reachable)
        m_log->line(QStringLiteral("O servidor de som não responde (%1). Nada será transmitido "
                                   "até que ele volte.")
                        .arg(QString::fromStdString(why)));
    else
        m_log->line(QStringLiteral("O servidor de som voltou; os envios tocam de novo."));
}

bool StationLink::radioSideBusy()
{
    bool busy = false;
    if (m_detection == RfDetection::Audio) {
        const LinkStatus status = m_listener->busy(busy);
        noteHearing(status);
        return status.ok() && busy;
    }
    if (m_detection != RfDetection::Rigctld)
        return false;
    const LinkStatus status = m_rig->squelchOpen(busy, exchangeDeadline());
    noteContact(status);
    return status.ok() && busy;
}

bool StationLink::mayTakeTurn(const std::string &path)
{
    m_takingTurn = true;
    const bool may = m_turnCheck ? m_turnCheck(path) : !radioSideBusy();
    m_takingTurn = false;
    return may;
}

LinkStatus StationLink::RfBusy(std::int16_t &value)
{
    value = 0;
    const QDeadlineTimer deadline = exchangeDeadline();
    // A PTT change that did not reach the radio (rigctld was away, or late) is tried again
    // first: a radio keyed by a command that was given up on must end unkeyed.
    if (m_rig && m_pttOnRadio != isOnAir())
        applyPtt(deadline);
    if (m_detection == RfDetection::Audio) {
        bool busy = false;
        const LinkStatus status = m_listener->busy(busy);
        noteHearing(status);
        value = status.ok() && busy ? -1 : 0;
        return status;
    }
    if (m_detection != RfDetection::Rigctld)
        return LinkStatus::success();
    bool open = false;
    const LinkStatus status = m_rig->squelchOpen(open, deadline);
    noteContact(status);
    if (status.ok() && open)
        value = -1;
    return status;
}

LinkStatus StationLink::IpBusy(std::int16_t &value)
{
    value = 0; // no internet side on this link
    return LinkStatus::success();
}

// Keying here, before the file is known to play, would put a carrier on the air with nothing
// to say: PlayFile keys once it is. Either way the radio is brought to what the files on the
// air need, which unkeys one left keyed by a command given up on.
LinkStatus StationLink::SetTransmit(bool on)
{
    // The listener is told first: the state read while keyed is the one from before.
    m_transmitAsked = on;
    if (on)
        noteTransmitting();
    const LinkStatus status = applyPtt(exchangeDeadline());
    noteTransmitting();
    return status;
}

LinkStatus StationLink::PlayFile(const std::string &path, bool)
{
    LinkStatus status;
    if (m_onAir) {
        // As a node program does, a file sent while another is on the air waits for its
        // turn instead of cutting the other short.
        status = m_player->check(path).status;
        if (status.ok() && m_queue.size() >= kMaxQueued)
            status = LinkStatus::failure(stationerror::AudioFailed,
                                         "Há arquivos demais esperando para tocar.");
        if (status.ok())
            m_queue.push_back(path);
    } else {
        status = keyAndPlay(path);
        noteTransmitting();
    }
    // The caller is told, and the window's log says so for this send; only a waiting file's
    // later failure is the link's own to tell.
    return status;
}

LinkStatus StationLink::keyAndPlay(const std::string &path)
{
    // The output is opened, and held open, before anything is keyed: a radio is keyed only
    // for sound that can go out.
    const AudioPlayer::Start prepared = m_player->prepare(path);
    if (!prepared.status.ok())
        return prepared.status;

    AudioPlayer::TimePoint startAt = std::chrono::steady_clock::now();
    if (m_rig) {
        // A file that follows another goes on under the same carrier, with no delay.
        const bool keyedAlready = m_pttOnRadio == true;
        m_onAir = true;
        const LinkStatus keyed = applyPtt(exchangeDeadline());
        if (!keyed.ok()) {
            // No sound without a confirmed PTT. The command may still reach the radio late:
            // the next call that gets through unkeys it.
            m_onAir = false;
            m_player->stop();
            return keyed;
        }
        if (!keyedAlready)
            startAt = std::chrono::steady_clock::now() + m_keyingDelay;
    }

    const AudioPlayer::Start started = m_player->play(path, startAt);
    m_onAir = started.status.ok();
    if (!m_onAir) {
        applyPtt(exchangeDeadline()); // at once: nothing will sound
        return started.status;
    }
    // A timer counts in int milliseconds: a file of days at 1 Hz must not overflow it.
    const auto untilStart = std::chrono::ceil<std::chrono::milliseconds>(
        std::max(startAt - std::chrono::steady_clock::now(), AudioPlayer::TimePoint::duration{}));
    const auto bound = std::min<std::chrono::milliseconds::rep>(
        (untilStart + started.length + kPlaybackMargin).count(), std::numeric_limits<int>::max());
    m_playbackBound.start(std::chrono::milliseconds(bound));
    m_playingPath = path;
    m_playingSince = startAt;
    return LinkStatus::success();
}

namespace {

LinkStatus endStatus(PlaybackEnd how)
{
    switch (how) {
    case PlaybackEnd::Finished:
        return LinkStatus::success();
    case PlaybackEnd::OutputGone:
        return LinkStatus::failure(stationerror::AudioFailed, "a saída de áudio sumiu");
    case PlaybackEnd::NothingPlayed:
        return LinkStatus::failure(stationerror::AudioFailed,
                                   "nenhuma amostra chegou à saída de áudio (o servidor de som "
                                   "ou a saída pararam antes do início do som)");
    case PlaybackEnd::Failed:
        break;
    }
    // The sound server gone: what went out was only a part.
    return LinkStatus::failure(stationerror::AudioFailed,
                               "A saída de áudio parou no meio do arquivo.");
}

} // namespace

void StationLink::playbackEnded(PlaybackEnd how)
{
    m_playbackBound.stop();
    if (!m_onAir)
        return;
    m_onAir = false;
    if (how != PlaybackEnd::Finished) {
        // Unkeyed at once: the waiting files come after, each keying again if it can.
        applyPtt(exchangeDeadline());
        noteTransmitting();
    }
    if (m_onOutcome) {
        const bool started = how != PlaybackEnd::NothingPlayed;
        const auto played = started
                                ? std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::max(std::chrono::steady_clock::now() - m_playingSince,
                                               AudioPlayer::TimePoint::duration{}))
                                : std::chrono::milliseconds{0};
        const LinkStatus status =
            m_overran ? LinkStatus::failure(stationerror::AudioFailed,
                                            "a saída de áudio não terminou o arquivo a tempo")
                      : endStatus(how);
        m_onOutcome({m_playingPath, status, started, played});
    }
    // The next waiting file keeps the transmitter keyed; one that cannot play is passed, and
    // so is one whose turn comes on a busy channel.
    while (!m_onAir && !m_queue.empty()) {
        const std::string next = std::move(m_queue.front());
        m_queue.pop_front();
        if (!mayTakeTurn(next)) {
            notSent(next, LinkStatus::failure(stationerror::ChannelBusy,
                                              "canal ocupado quando chegou a sua vez"));
            continue;
        }
        const LinkStatus started = keyAndPlay(next);
        if (started.ok())
            break;
        notSent(next, started);
        // Without a confirmed PTT none of the others could go either, and each would hold
        // the window for another exchange.
        if (m_rig && m_pttOnRadio != true) {
            for (const std::string &waiting : m_queue)
                notSent(waiting, started);
            m_queue.clear();
        }
    }
    applyPtt(exchangeDeadline());
    noteTransmitting();
}

// ---- Creation ----------------------------------------------------------------------------

LinkCreation createStationLink(const StationSettings &settings, std::unique_ptr<AudioPlayer> player,
                               Log *log, std::unique_ptr<ChannelListener> listener)
{
    if (settings.rf.detection == RfDetection::Audio && !listener)
        listener = createAudioSquelch(
            {settings.rf.audioInput, settings.rf.audioThresholdDb, settings.rf.audioHang});
    if (settings.rf.detection != RfDetection::Audio)
        listener.reset();
    if (settings.rigctld.isEmpty())
        return {std::make_unique<StationLink>(nullptr, std::move(player), settings.keyingDelay, log,
                                              settings.rf.detection, std::move(listener)),
                LinkStatus::success()};

    const std::optional<RigctldAddress> address = parseRigctldAddress(settings.rigctld);
    if (!address)
        return {nullptr, LinkStatus::failure(
                             stationerror::BadSetting,
                             QStringLiteral("O valor de %1 é \"%2\", mas deve indicar o rigctld "
                                            "na forma host:porta (por exemplo 127.0.0.1:4532).")
                                 .arg(settings.rigctldOrigin, settings.rigctld)
                                 .toStdString())};

    // The name is looked up once, here: later exchanges must not wait on a name server.
    QList<QHostAddress> addresses{QHostAddress(address->host)};
    if (addresses.first().isNull())
        addresses = QHostInfo::fromName(address->host).addresses();
    if (addresses.isEmpty())
        return {nullptr,
                LinkStatus::failure(
                    stationerror::BadSetting,
                    QStringLiteral("O valor de %1 é \"%2\", mas o nome \"%3\" não foi "
                                   "encontrado. Indique o endereço IP ou um nome conhecido "
                                   "deste computador (por exemplo 127.0.0.1:4532).")
                        .arg(settings.rigctldOrigin, settings.rigctld, address->host)
                        .toStdString())};

    auto link = std::make_unique<StationLink>(
        std::make_unique<RigctldClient>(addresses, address->port, settings.rigctld),
        std::move(player), settings.keyingDelay, log, settings.rf.detection, std::move(listener));
    // The program starts with the transmitter off; saying so also clears a PTT that an
    // earlier run may have left up. A rigctld that does not answer yet (it may start after
    // the program) is tried again with every call.
    link->SetTransmit(false);
    return {std::move(link), LinkStatus::success()};
}

LinkCreation createLink(const StationSettings &settings, Log *log)
{
    // Said at once rather than at the first send, which may be hours away; a USB sound
    // interface may still be plugged in before then.
    if (log && !settings.audioOutput.isEmpty() && findAudioOutput(settings.audioOutput).isNull())
        log->line(QStringLiteral("A saída de áudio \"%1\" (%2 em %3) não está disponível agora; "
                                 "as saídas são listadas por anunciel --listar-saidas.")
                      .arg(settings.audioOutput, kAudioOutputKey, kStationSettingsFile));
    if (settings.rf.detection == RfDetection::Audio) {
        // Heard on a wrong or missing input the radio side would read free all along.
        const QString &input = settings.rf.audioInput;
        if (findAudioInput(input).isNull())
            return {nullptr,
                    LinkStatus::failure(
                        stationerror::BadSetting,
                        (input.isEmpty()
                             ? QStringLiteral("O valor de %1 em %2 é \"audio\", mas este "
                                              "computador não tem nenhuma entrada de áudio.")
                                   .arg(kRfDetectionKey, kStationSettingsFile)
                             : QStringLiteral("O valor de %1 em %2 é \"%3\", mas não há "
                                              "entrada de áudio com esse nome ou id; as "
                                              "entradas são listadas por anunciel "
                                              "--listar-entradas.")
                                   .arg(kAudioInputKey, kStationSettingsFile, input))
                            .toStdString())};
    }
    return createStationLink(settings, createSystemAudioPlayer(settings.audioOutput.toStdString()),
                             log);
}

} // namespace anunciel
