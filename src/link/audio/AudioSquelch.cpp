#include "link/audio/AudioSquelch.h"

#include "link/audio/AudioOutputs.h"
#include "link/audio/LevelSquelch.h"
#include "link/StationErrors.h"

#include <QAudioFormat>
#include <QAudioSource>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>

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
        const QAudioDevice device = findAudioInput(m_input);
        if (device.isNull()) {
            lose(QStringLiteral("A %1 não está disponível.").arg(inputLabel(m_input)));
            return;
        }
        QAudioFormat format;
        format.setSampleRate(kRate);
        format.setChannelCount(1);
        format.setSampleFormat(QAudioFormat::Int16);
        m_source = std::make_unique<QAudioSource>(device, format);
        m_source->setBufferSize(kBufferBytes);
        m_deviceId = device.id();
        m_io = m_source->start();
        if (!m_io || m_source->error() != QAudio::NoError) {
            close();
            lose(QStringLiteral("A %1 não pôde ser aberta.").arg(inputLabel(m_input)));
            return;
        }
        connect(m_io, &QIODevice::readyRead, this, &ListenWorker::read);
        m_lastData = Clock::now();
        m_block.clear();
        m_pending.clear();
        std::lock_guard lock(m_shared->mutex);
        m_shared->lost.reset();
    }

    void close()
    {
        m_io = nullptr;
        if (QAudioSource *source = m_source.release()) {
            source->disconnect(this);
            source->stop();
            // The sound server's client may run the event loop in its teardown.
            source->deleteLater();
        }
    }

    void lose(const QString &why)
    {
        close();
        std::lock_guard lock(m_shared->mutex);
        m_shared->lost = why;
        m_shared->rule.clear();
    }

    void check()
    {
        if (!m_source) {
            open();
            return;
        }
        if (m_source->error() != QAudio::NoError || m_source->state() == QAudio::StoppedState) {
            lose(QStringLiteral("A %1 parou de gravar.").arg(inputLabel(m_input)));
            return;
        }
        // The sound server would carry the recording over to another input; the one named
        // must still be there.
        bool listed = false;
        for (const QAudioDevice &device : QMediaDevices::audioInputs())
            listed = listed || device.id() == m_deviceId;
        if (!listed)
            lose(QStringLiteral("A %1 foi desconectada.").arg(inputLabel(m_input)));
        else if (Clock::now() - m_lastData > kStalled)
            lose(QStringLiteral("A %1 não envia mais som.").arg(inputLabel(m_input)));
    }

    void read()
    {
        if (!m_io)
            return;
        m_pending += m_io->readAll();
        if (m_pending.size() < 2)
            return;
        const Clock::time_point now = Clock::now();
        m_lastData = now;
        const qsizetype whole = m_pending.size() / 2 * 2;
        const auto *bytes = reinterpret_cast<const uchar *>(m_pending.constData());
        std::lock_guard lock(m_shared->mutex);
        for (qsizetype i = 0; i < whole; i += 2) {
            m_block.push_back(std::int16_t(quint16(bytes[i] | (bytes[i + 1] << 8))));
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
    std::unique_ptr<QAudioSource> m_source;
    QIODevice *m_io = nullptr;
    QByteArray m_deviceId;
    QByteArray m_pending;
    std::vector<std::int16_t> m_block;
    Clock::time_point m_lastData;
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
