#include "link/audio/AudioSquelch.h"

#include "link/StationErrors.h"
#include "link/audio/LevelSquelch.h"

#include "link/audio/PulseLoop.h"

#include <QThread>
#include <QTimer>

#include <atomic>
#include <mutex>
#include <optional>
#include <vector>

namespace anunciel {

namespace {

using Clock = std::chrono::steady_clock;

// Speech and hiss are told apart well below telephone bandwidth: the lowest rate keeps the
// sound server's and this program's work small.
constexpr int kRate = 8000;
// Level blocks: short enough to see a station within a few tens of milliseconds, long
// enough to hold a cycle of a voice's lowest tones.
constexpr int kBlockFrames = kRate * 20 / 1000;
// How much the sound server gathers before handing it over: each hand-over wakes this
// process and the server's client thread, so fewer of them keep the idle cost low (about a
// fifth of what 40 ms cost), while a station is still seen well within 150 ms.
constexpr int kBufferBytes = kRate * 2 * 100 / 1000;
// How often a lost input is looked for, and a working one checked.
constexpr int kCheckMs = 1000;
// Silence of the stream itself (not of the channel) for this long means the input is gone.
// A new stream may take a couple of seconds to deliver its first samples.
constexpr std::chrono::milliseconds kStalled{5000};

QString inputLabel(const QString &input)
{
    return input.isEmpty() ? QStringLiteral("entrada de áudio padrão do sistema")
                           : QStringLiteral("entrada de áudio \"%1\"").arg(input);
}

// What the listening thread and the window's reads share.
struct Shared
{
    explicit Shared(const AudioSquelchSettings &settings)
        : rule(settings.thresholdDb, settings.hang)
    {
    }
    std::mutex mutex;
    LevelSquelch rule;
    std::optional<QString> lost; // why the channel cannot be heard; none while it can
};

// Records the input on the sound server's own connection, which is made again when the
// server comes back after being away (Qt's gives up on it for good).
class ListenWorker final : public QObject
{
public:
    ListenWorker(QString input, std::shared_ptr<Shared> shared)
        : m_input(std::move(input)), m_shared(std::move(shared))
    {
        m_check->setInterval(kCheckMs);
        m_check->callOnTimeout(this, &ListenWorker::check);
        m_block.reserve(kBlockFrames);
    }

    void begin()
    {
        m_check->start();
        open();
    }

    void end()
    {
        m_check->stop();
        close();
    }

private:
    void open()
    {
        PulseLoop::Lock lock(m_loop);
        QString why;
        if (!m_loop.connect(std::chrono::milliseconds(kCheckMs), &why)) {
            lose(QStringLiteral("O servidor de som não responde (%1).").arg(why));
            return;
        }
        const std::optional<PulseDevice> device =
            m_loop.findDevice(PulseDirection::Input, m_input, std::chrono::milliseconds(kCheckMs));
        if (!device) {
            // The server may have gone while it was asked.
            lose(m_loop.isConnected()
                     ? QStringLiteral("A %1 não está disponível.").arg(inputLabel(m_input))
                     : QStringLiteral("O servidor de som parou."));
            return;
        }
        const pa_sample_spec layout{PA_SAMPLE_S16LE, kRate, 1};
        m_stream = pa_stream_new(m_loop.context(), "Receptor", &layout, nullptr);
        if (!m_stream) {
            lose(QStringLiteral("A %1 não pôde ser aberta.").arg(inputLabel(m_input)));
            return;
        }
        pa_stream_set_read_callback(m_stream, &ListenWorker::onRead, this);
        pa_buffer_attr attributes;
        attributes.maxlength = std::uint32_t(-1);
        attributes.fragsize = kBufferBytes;
        attributes.tlength = attributes.prebuf = attributes.minreq = std::uint32_t(-1);
        const QByteArray source = device->name.toUtf8();
        // Never carried over to another input: the receiver's, or none.
        const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
        if (pa_stream_connect_record(m_stream, source.constData(), &attributes, flags) < 0) {
            lose(QStringLiteral("A %1 não pôde ser aberta.").arg(inputLabel(m_input)));
            return;
        }
        m_deviceIndex = device->index;
        m_lastData = Clock::now();
        m_block.clear();
        m_pending.clear();
        std::lock_guard guard(m_shared->mutex);
        m_shared->lost.reset();
    }

    // Locked.
    void closeLocked()
    {
        if (!m_stream)
            return;
        pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream)))
            pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }

    void close()
    {
        PulseLoop::Lock lock(m_loop);
        closeLocked();
    }

    // Locked.
    void lose(const QString &why)
    {
        closeLocked();
        std::lock_guard guard(m_shared->mutex);
        m_shared->lost = why;
        m_shared->rule.clear();
    }

    void check()
    {
        bool stale = false;
        {
            PulseLoop::Lock lock(m_loop);
            if (m_stream) {
                const pa_stream_state_t state = pa_stream_get_state(m_stream);
                if (!m_loop.isConnected()) {
                    lose(QStringLiteral("O servidor de som parou."));
                } else if (!PA_STREAM_IS_GOOD(state)) {
                    // A stream that may not move is ended when its input goes.
                    lose(QStringLiteral("A %1 foi desconectada.").arg(inputLabel(m_input)));
                } else if (state == PA_STREAM_READY &&
                           pa_stream_get_device_index(m_stream) != m_deviceIndex) {
                    lose(QStringLiteral("A %1 foi desconectada.").arg(inputLabel(m_input)));
                } else if (Clock::now() - m_lastData.load() > kStalled) {
                    lose(QStringLiteral("A %1 não envia mais som.").arg(inputLabel(m_input)));
                }
                return;
            }
            stale = true;
        }
        if (stale)
            open();
    }

    static void onRead(pa_stream *stream, std::size_t, void *self)
    {
        static_cast<ListenWorker *>(self)->read(stream);
    }

    // On the connection's thread, locked.
    void read(pa_stream *stream)
    {
        const void *data = nullptr;
        std::size_t bytes = 0;
        while (pa_stream_readable_size(stream) > 0) {
            if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0)
                return;
            if (data) // a hole is no sound from the receiver
                m_pending.append(static_cast<const char *>(data), qsizetype(bytes));
            pa_stream_drop(stream);
        }
        if (m_pending.size() < 2)
            return;
        const Clock::time_point now = Clock::now();
        m_lastData = now;
        const qsizetype whole = m_pending.size() / 2 * 2;
        const auto *samples = reinterpret_cast<const uchar *>(m_pending.constData());
        std::lock_guard guard(m_shared->mutex);
        for (qsizetype i = 0; i < whole; i += 2) {
            m_block.push_back(std::int16_t(quint16(samples[i] | (samples[i + 1] << 8))));
            if (int(m_block.size()) == kBlockFrames) {
                m_shared->rule.feed(m_block, now);
                m_block.clear();
            }
        }
        m_pending.remove(0, whole);
    }

    QString m_input;
    std::shared_ptr<Shared> m_shared;
    QTimer *m_check = new QTimer(this); // a child, so that it moves to the thread
    PulseLoop m_loop;
    pa_stream *m_stream = nullptr;
    std::uint32_t m_deviceIndex = PA_INVALID_INDEX;
    QByteArray m_pending;
    std::vector<std::int16_t> m_block;
    std::atomic<Clock::time_point> m_lastData{};
};

class AudioSquelch final : public ChannelListener
{
    Q_DISABLE_COPY_MOVE(AudioSquelch)

public:
    explicit AudioSquelch(const AudioSquelchSettings &settings)
        : m_shared(std::make_shared<Shared>(settings)), m_thread(new QThread),
          m_worker(new ListenWorker(settings.input, m_shared))
    {
        m_thread->setObjectName(QStringLiteral("anunciel-squelch"));
        m_worker->moveToThread(m_thread);
        m_thread->start();
        QMetaObject::invokeMethod(m_worker, &ListenWorker::begin, Qt::QueuedConnection);
    }

    ~AudioSquelch() override
    {
        QMetaObject::invokeMethod(
            m_worker,
            [worker = m_worker] {
                worker->end();
                QThread::currentThread()->quit();
            },
            Qt::QueuedConnection);
        // A sound server that hangs keeps its thread: leaving it is better than a program
        // that cannot end.
        if (m_thread->wait(QDeadlineTimer(2000))) {
            delete m_worker;
            delete m_thread;
        }
    }

    LinkStatus busy(bool &busy) override
    {
        std::lock_guard lock(m_shared->mutex);
        busy = false;
        if (m_shared->lost)
            return LinkStatus::failure(stationerror::NoAudioInput, m_shared->lost->toStdString());
        busy = m_shared->rule.isBusy(Clock::now());
        return LinkStatus::success();
    }

    void setTransmitting(bool on) override
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->rule.setTransmitting(on, Clock::now());
    }

private:
    std::shared_ptr<Shared> m_shared;
    QThread *m_thread;
    ListenWorker *m_worker;
};

} // namespace

std::unique_ptr<ChannelListener> createAudioSquelch(const AudioSquelchSettings &settings)
{
    return std::make_unique<AudioSquelch>(settings);
}

} // namespace anunciel
