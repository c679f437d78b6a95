#include "link/StationErrors.h"
#include "link/audio/AudioPlayer.h"
#include "link/audio/PulseLoop.h"
#include "link/audio/SoundConversion.h"
#include "link/audio/WavFile.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <vector>

// The station's sound goes straight to the desktop's sound server, fed from the server
// connection's own thread: the user-interface thread is held for a whole second by every
// transmission, and the stream must keep being fed meanwhile. The file is converted to the
// output's own format first, so that the server only mixes it.
//
// The output is opened, and fed silence, before the transmitter is keyed, and the file's
// samples follow once the keying delay has passed: a radio is keyed only for an output that
// is already taking samples. While it plays the output is checked twice a second: gone, or
// the stream carried over to another one, stops the play at once. The end is told once the
// server says the last sample has been played, never by this program's own reckoning.

namespace anunciel {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Time left after the server has played the last sample, for the sound card's own buffer to
// reach the transmitter.
constexpr int kTailMs = 300;
// What the stream asks the server to hold: enough that a loaded machine does not make gaps,
// little enough that the first sample leaves soon after the keying delay.
constexpr pa_usec_t kBufferUs = 80 * 1000;
// How often the output is checked while a file plays.
constexpr pa_usec_t kWatchUs = 500 * 1000;
// The longest the window waits on the sound server to connect, list its outputs, or open one.
constexpr std::chrono::milliseconds kServerBound{1000};
constexpr std::chrono::milliseconds kOpenBound{2000};
// How often a lost sound server is looked for again.
constexpr int kServerRetryMs = 1000;

OutputFormat outputFormatOf(const PulseDevice &device)
{
    OutputFormat format;
    format.rate = int(device.layout.rate);
    format.channels = std::clamp<int>(device.layout.channels, 1, PA_CHANNELS_MAX);
    switch (device.layout.format) {
    case PA_SAMPLE_S16LE:
        format.sample = OutputSampleFormat::Int16;
        break;
    case PA_SAMPLE_S32LE:
        format.sample = OutputSampleFormat::Int32;
        break;
    default: // any other is taken as floats, which every server mixes in
        format.sample = OutputSampleFormat::Float32;
        break;
    }
    return format;
}

pa_sample_spec sampleSpecOf(const OutputFormat &format)
{
    pa_sample_spec layout;
    layout.rate = std::uint32_t(format.rate);
    layout.channels = std::uint8_t(format.channels);
    layout.format = format.sample == OutputSampleFormat::Int16   ? PA_SAMPLE_S16LE
                  : format.sample == OutputSampleFormat::Int32 ? PA_SAMPLE_S32LE
                                                               : PA_SAMPLE_FLOAT32LE;
    return layout;
}

class PulseAudioPlayer;

// One file on one output, from its opening to its end. Lives on the server connection's
// thread: every member is touched with the loop locked.
struct Stream
{
    enum class Ended
    {
        No,
        Drained, // every sample played; the stream stays open through the tail
        Broken
    };

    QPointer<QObject> owner;
    std::function<void(quint64, PlaybackEnd)> tell; // called on the owner's thread
    PulseLoop *loop = nullptr;
    quint64 id = 0;
    pa_stream *stream = nullptr;
    std::uint32_t sinkIndex = PA_INVALID_INDEX;
    QByteArray samples;
    qsizetype written = 0;
    int frameBytes = 1;
    int rate = 8000;
    bool started = false; // play() was given; the samples follow the silence from startAt
    Clock::time_point startAt;
    bool accepting = false; // the server has taken samples
    bool sounded = false;   // the file's first sample went out
    Ended ended = Ended::No;
    pa_operation *drain = nullptr;
    pa_operation *check = nullptr;
    bool checkSawSink = false;
    pa_time_event *watch = nullptr;
    std::vector<char> zeros;

    void post(PlaybackEnd how)
    {
        if (!owner)
            return;
        QMetaObject::invokeMethod(
            owner.data(), [tell = tell, id = id, how] { tell(id, how); }, Qt::QueuedConnection);
    }

    void writeSilence(std::size_t frames)
    {
        std::size_t bytes = frames * std::size_t(frameBytes);
        // The server's first request may be smaller than what it waits for before it starts
        // to play, and more is asked for only once it plays: the first silence fills that.
        if (!accepting)
            if (const pa_buffer_attr *attributes = pa_stream_get_buffer_attr(stream))
                bytes = std::max<std::size_t>(bytes, attributes->prebuf / std::size_t(frameBytes) *
                                                         std::size_t(frameBytes));
        if (zeros.size() < bytes)
            zeros.assign(bytes, 0);
        if (pa_stream_write(stream, zeros.data(), bytes, nullptr, 0, PA_SEEK_RELATIVE) == 0)
            accepting = true;
    }

    void write(std::size_t bytes)
    {
        if (ended != Ended::No || drain)
            return;
        std::size_t frames = bytes / std::size_t(frameBytes);
        while (frames > 0) {
            // Silence until the start time: what is written now plays after everything
            // already queued, so the file's first sample never leaves early.
            std::size_t silence = frames;
            if (started) {
                const auto early = startAt - Clock::now();
                silence =
                    early <= Clock::duration::zero()
                        ? 0
                        : std::min<std::size_t>(
                              frames, std::size_t(std::ceil(
                                          std::chrono::duration<double>(early).count() * rate)));
            }
            if (silence > 0) {
                writeSilence(silence);
                frames -= silence;
                continue;
            }
            const std::size_t left =
                std::size_t(samples.size() - written) / std::size_t(frameBytes);
            const std::size_t n = std::min(frames, left);
            if (n > 0) {
                if (pa_stream_write(stream, samples.constData() + written,
                                    n * std::size_t(frameBytes), nullptr, 0, PA_SEEK_RELATIVE) != 0)
                    return; // the stream is failing: its state says so next
                written += qsizetype(n * std::size_t(frameBytes));
                sounded = accepting = true;
                frames -= n;
            }
            if (written >= samples.size()) {
                drain = pa_stream_drain(stream, &Stream::onDrained, this);
                return;
            }
        }
    }

    void end(PlaybackEnd how)
    {
        if (ended != Ended::No)
            return;
        ended = how == PlaybackEnd::Finished ? Ended::Drained : Ended::Broken;
        if (ended == Ended::Broken && stream) // at once: nothing more may sound
            pa_stream_disconnect(stream);
        post(how);
    }

    void broken(bool outputGone)
    {
        if (!sounded)
            end(PlaybackEnd::NothingPlayed);
        else
            end(outputGone ? PlaybackEnd::OutputGone : PlaybackEnd::Failed);
    }

    // Locked, on any thread; the stream may not be touched after.
    void release()
    {
        for (pa_operation **operation : {&drain, &check})
            if (*operation) {
                pa_operation_cancel(*operation);
                pa_operation_unref(*operation);
                *operation = nullptr;
            }
        if (watch) {
            loop->api()->time_free(watch);
            watch = nullptr;
        }
        if (stream) {
            pa_stream_set_state_callback(stream, nullptr, nullptr);
            pa_stream_set_write_callback(stream, nullptr, nullptr);
            pa_stream_set_moved_callback(stream, nullptr, nullptr);
            if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
                pa_stream_disconnect(stream);
            pa_stream_unref(stream);
            stream = nullptr;
        }
    }

    void armWatch()
    {
        timeval when;
        pa_timeval_add(pa_gettimeofday(&when), kWatchUs);
        if (watch)
            loop->api()->time_restart(watch, &when);
        else
            watch = loop->api()->time_new(loop->api(), &when, &Stream::onWatch, this);
    }

    static void onWrite(pa_stream *, std::size_t bytes, void *self)
    {
        static_cast<Stream *>(self)->write(bytes);
    }

    static void onState(pa_stream *stream, void *self)
    {
        auto &s = *static_cast<Stream *>(self);
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (state == PA_STREAM_READY) {
            s.sinkIndex = pa_stream_get_device_index(stream);
            s.armWatch();
        } else if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
            // The server gone ends the connection too; otherwise the output went (a stream
            // that may not move is killed when its output is removed).
            if (s.ended == Stream::Ended::No)
                s.broken(s.loop->isConnected());
        }
        pa_threaded_mainloop_signal(s.loop->mainloop(), 0);
    }

    static void onMoved(pa_stream *, void *self)
    {
        // Carried over to another output: the radio would be keyed over the speaker's sound.
        auto &s = *static_cast<Stream *>(self);
        if (s.ended == Stream::Ended::No)
            s.broken(true);
    }

    static void onDrained(pa_stream *, int success, void *self)
    {
        auto &s = *static_cast<Stream *>(self);
        pa_operation_unref(s.drain);
        s.drain = nullptr;
        if (success && s.ended == Stream::Ended::No)
            s.end(PlaybackEnd::Finished);
    }

    static void onWatch(pa_mainloop_api *, pa_time_event *, const timeval *, void *self)
    {
        auto &s = *static_cast<Stream *>(self);
        if (s.ended != Stream::Ended::No)
            return;
        if (!s.check && s.loop->isConnected()) {
            s.checkSawSink = false;
            s.check = pa_context_get_sink_info_by_index(s.loop->context(), s.sinkIndex,
                                                        &Stream::onSinkInfo, &s);
        }
        s.armWatch();
    }

    static void onSinkInfo(pa_context *, const pa_sink_info *info, int eol, void *self)
    {
        auto &s = *static_cast<Stream *>(self);
        if (!eol && info) {
            s.checkSawSink = true;
            return;
        }
        pa_operation_unref(s.check);
        s.check = nullptr;
        if (s.ended != Stream::Ended::No)
            return;
        const bool moved = s.stream && pa_stream_get_device_index(s.stream) != s.sinkIndex;
        if (!s.checkSawSink || moved)
            s.broken(true);
    }
};

class PulseAudioPlayer final : public QObject, public AudioPlayer
{
    Q_DISABLE_COPY_MOVE(PulseAudioPlayer)

public:
    explicit PulseAudioPlayer(const QString &outputName) : m_outputName(outputName)
    {
        m_tail.setSingleShot(true);
        m_tail.setTimerType(Qt::PreciseTimer); // never ends the sound early
        m_tail.callOnTimeout(this, [this] {
            m_current = 0;
            releaseStream();
            reportEnd(PlaybackEnd::Finished);
        });
        m_retry.setInterval(kServerRetryMs);
        m_retry.callOnTimeout(this, [this] { lookForServer(); });
        PulseLoop::Lock lock(m_loop);
        m_loop.setLostHandler([this] {
            QMetaObject::invokeMethod(
                this,
                [this] { noteServer(false, QStringLiteral("o servidor de som fechou a conexão")); },
                Qt::QueuedConnection);
        });
    }

    ~PulseAudioPlayer() override
    {
        PulseLoop::Lock lock(m_loop);
        m_loop.setLostHandler({});
        if (m_stream)
            m_stream->release();
        m_stream.reset();
    }

    Start check(const std::string &path) override
    {
        const WavInfo info = readWavFile(QString::fromStdString(path));
        if (!info.ok)
            return {badFile(path, info), {}};
        PulseLoop::Lock lock(m_loop);
        std::optional<PulseDevice> device;
        const LinkStatus status = findOutput(device);
        return {status, status.ok() ? info.length : std::chrono::milliseconds{}};
    }

    Start prepare(const std::string &path) override
    {
        stop();
        const QString file = QString::fromStdString(path);
        const WavInfo info = readWavFile(file);
        if (!info.ok)
            return {badFile(path, info), {}};
        std::optional<PulseDevice> device;
        {
            PulseLoop::Lock lock(m_loop);
            const LinkStatus found = findOutput(device);
            if (!found.ok())
                return {found, {}};
        }
        const OutputFormat format = outputFormatOf(*device);
        ConvertedSound sound = convertFileForOutput(file, info, format);
        if (!sound.ok)
            return {LinkStatus::failure(stationerror::BadAudioFile,
                                        QStringLiteral("Não é possível tocar \"%1\": %2.")
                                            .arg(file, sound.error)
                                            .toStdString()),
                    {}};

        PulseLoop::Lock lock(m_loop);
        auto stream = std::make_unique<Stream>();
        stream->owner = this;
        stream->tell = [this](quint64 id, PlaybackEnd how) { streamEnded(id, how); };
        stream->loop = &m_loop;
        stream->id = ++m_lastId;
        stream->samples = std::move(sound.bytes);
        stream->frameBytes = format.bytesPerFrame();
        stream->rate = format.rate;
        const pa_sample_spec layout = sampleSpecOf(format);
        pa_channel_map map = device->map;
        if (map.channels != layout.channels)
            pa_channel_map_init_extend(&map, layout.channels, PA_CHANNEL_MAP_DEFAULT);
        pa_proplist *properties = pa_proplist_new();
        pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "announcement");
        stream->stream =
            pa_stream_new_with_proplist(m_loop.context(), "Anúncio", &layout, &map, properties);
        pa_proplist_free(properties);
        QString why;
        if (stream->stream) {
            pa_stream_set_state_callback(stream->stream, &Stream::onState, stream.get());
            pa_stream_set_write_callback(stream->stream, &Stream::onWrite, stream.get());
            pa_stream_set_moved_callback(stream->stream, &Stream::onMoved, stream.get());
            pa_buffer_attr attributes;
            attributes.maxlength = std::uint32_t(-1);
            attributes.tlength = std::uint32_t(pa_usec_to_bytes(kBufferUs, &layout));
            attributes.prebuf = std::uint32_t(-1);
            attributes.minreq = std::uint32_t(-1);
            attributes.fragsize = std::uint32_t(-1);
            const QByteArray sink = device->name.toUtf8();
            // Never carried over to another output: on the radio's or not at all.
            const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
            if (pa_stream_connect_playback(stream->stream, sink.constData(), &attributes, flags,
                                           nullptr, nullptr) == 0) {
                Stream *s = stream.get();
                m_loop.waitFor(
                    [s] {
                        return s->ended != Stream::Ended::No ||
                               !PA_STREAM_IS_GOOD(pa_stream_get_state(s->stream)) ||
                               (pa_stream_get_state(s->stream) == PA_STREAM_READY && s->accepting);
                    },
                    kOpenBound);
            }
            if (!stream->accepting || stream->ended != Stream::Ended::No)
                why = m_loop.isConnected() ? pulseError(m_loop.context())
                                           : QStringLiteral("o servidor de som parou");
        } else {
            why = pulseError(m_loop.context());
        }
        if (!why.isEmpty()) {
            stream->release();
            return {LinkStatus::failure(stationerror::AudioFailed,
                                        QStringLiteral("A saída de áudio \"%1\" não abriu: %2.")
                                            .arg(device->description, why)
                                            .toStdString()),
                    {}};
        }
        m_stream = std::move(stream);
        m_current = m_stream->id;
        m_preparedPath = path;
        return {LinkStatus::success(), info.length};
    }

    Start play(const std::string &path, TimePoint startAt) override
    {
        bool prepared = false;
        {
            PulseLoop::Lock lock(m_loop);
            prepared = m_stream && m_current == m_stream->id && path == m_preparedPath &&
                       !m_stream->started;
        }
        std::chrono::milliseconds length{0};
        if (!prepared) {
            const Start opened = prepare(path);
            if (!opened.status.ok())
                return opened;
            length = opened.length;
        } else {
            length = readWavFile(QString::fromStdString(path)).length;
        }
        PulseLoop::Lock lock(m_loop);
        if (m_stream->ended == Stream::Ended::Broken) {
            // Closed since it was opened: its end, already on its way, is not to be told.
            m_current = 0;
            m_stream->release();
            m_stream.reset();
            return {LinkStatus::failure(stationerror::AudioFailed,
                                        "A saída de áudio fechou antes do início do som."),
                    {}};
        }
        m_stream->started = true;
        m_stream->startAt = startAt;
        if (m_stream->samples.isEmpty() && !m_stream->drain) // nothing to wait for
            m_stream->drain = pa_stream_drain(m_stream->stream, &Stream::onDrained, m_stream.get());
        return {LinkStatus::success(), length};
    }

    void stop() override
    {
        m_current = 0;
        m_tail.stop();
        releaseStream();
    }

private:
    LinkStatus badFile(const std::string &path, const WavInfo &info) const
    {
        return LinkStatus::failure(stationerror::BadAudioFile,
                                   QStringLiteral("Não é possível tocar \"%1\": %2.")
                                       .arg(QString::fromStdString(path), info.error)
                                       .toStdString());
    }

    // Locked: the server is there and so is the output, or why not.
    LinkStatus findOutput(std::optional<PulseDevice> &device)
    {
        QString why;
        if (!m_loop.connect(kServerBound, &why)) {
            noteServerLater(false, why);
            return LinkStatus::failure(
                stationerror::NoSoundServer,
                QStringLiteral("O servidor de som não responde (%1).").arg(why).toStdString());
        }
        noteServerLater(true, {});
        device = m_loop.findDevice(PulseDirection::Output, m_outputName, kServerBound);
        if (device)
            return LinkStatus::success();
        return LinkStatus::failure(
            stationerror::NoAudioOutput,
            m_outputName.isEmpty() ? std::string("Nenhuma saída de áudio disponível.")
                                   : QStringLiteral("A saída de áudio \"%1\" não está disponível.")
                                         .arg(m_outputName)
                                         .toStdString());
    }

    void releaseStream()
    {
        PulseLoop::Lock lock(m_loop);
        if (m_stream)
            m_stream->release();
        m_stream.reset();
    }

    void streamEnded(quint64 id, PlaybackEnd how)
    {
        // Ends of playbacks stopped or replaced since are stale.
        if (id == 0 || id != m_current)
            return;
        if (how == PlaybackEnd::Finished) {
            m_tail.start(kTailMs);
            return;
        }
        m_current = 0;
        releaseStream();
        reportEnd(how);
    }

    // Told on the event loop, as the link expects; the lock may be held where this is called.
    void noteServerLater(bool reachable, const QString &why)
    {
        QMetaObject::invokeMethod(
            this, [this, reachable, why] { noteServer(reachable, why); }, Qt::QueuedConnection);
    }

    void noteServer(bool reachable, const QString &why)
    {
        if (m_serverReachable == reachable)
            return;
        const bool known = m_serverReachable.has_value();
        m_serverReachable = reachable;
        if (reachable)
            m_retry.stop();
        else
            m_retry.start();
        // The first contact is not news; its loss, and the return after it, are.
        if (known || !reachable)
            reportServer(reachable, why.toStdString());
    }

    void lookForServer()
    {
        QString why;
        bool reachable = false;
        {
            PulseLoop::Lock lock(m_loop);
            reachable = m_loop.connect(std::chrono::milliseconds(0), &why);
        }
        if (reachable)
            noteServer(true, {});
    }

    PulseLoop m_loop;
    QString m_outputName;
    std::unique_ptr<Stream> m_stream; // the open output, prepared or playing
    std::string m_preparedPath;
    QTimer m_tail;
    QTimer m_retry;
    std::optional<bool> m_serverReachable;
    quint64 m_lastId = 0;
    quint64 m_current = 0; // the stream whose end is awaited; 0 when none
};

} // namespace

std::unique_ptr<AudioPlayer> createSystemAudioPlayer(const std::string &outputName)
{
    return std::make_unique<PulseAudioPlayer>(QString::fromStdString(outputName));
}

} // namespace anunciel
