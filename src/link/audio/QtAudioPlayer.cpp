#include "link/audio/AudioOutputs.h"
#include "link/audio/AudioPlayer.h"
#include "link/StationErrors.h"
#include "link/audio/WavFile.h"
#include "link/audio/WavSampleDevice.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <limits>

// The station's sound goes out through Qt's audio sink on a thread of its own: the
// user-interface thread is held for a whole second by every transmission, and the sink
// must keep being fed meanwhile. The keying delay is waited out there too, for the same
// reason. Only the end of playback comes back to the event loop.

namespace anunciel {

namespace {

// Time left after the last sample has been handed to the sound server, for the samples
// still in its buffer to reach the transmitter.
constexpr int kTailMs = 300;

QAudioFormat audioFormat(const WavInfo &info)
{
    QAudioFormat format;
    format.setSampleRate(info.sampleRate);
    format.setChannelCount(info.channels);
    switch (info.bytesPerSample) {
    case 1:
        format.setSampleFormat(QAudioFormat::UInt8);
        break;
    case 2:
        format.setSampleFormat(QAudioFormat::Int16);
        break;
    default: // 24-bit samples are widened to 32 bits on the way
        format.setSampleFormat(QAudioFormat::Int32);
        break;
    }
    return format;
}

class PlaybackWorker final : public QObject
{
    Q_OBJECT

public:
    PlaybackWorker()
    {
        m_begin->setSingleShot(true);
        m_begin->setTimerType(Qt::PreciseTimer); // never starts the sound early
        connect(m_begin, &QTimer::timeout, this, &PlaybackWorker::begin);
        m_tail->setSingleShot(true);
        m_tail->setTimerType(Qt::PreciseTimer); // never ends the sound early
        connect(m_tail, &QTimer::timeout, this, [this] { finish(false); });
    }

    void start(quint64 id, const QString &path, const WavInfo &info, const QAudioDevice &device,
               AudioPlayer::TimePoint startAt)
    {
        stop();
        m_id = id;
        m_path = path;
        m_info = info;
        m_device = device;
        m_startAt = startAt;
        begin();
    }

    void stop()
    {
        m_begin->stop();
        m_tail->stop();
        std::unique_ptr<WavSampleDevice> samples = std::move(m_samples);
        if (QAudioSink *sink = m_sink.release()) {
            sink->disconnect(this);
            sink->stop();
            // Not deleted here: Qt's PulseAudio sink runs the event loop in its destructor,
            // which could start the next playback inside this one's teardown. Its samples
            // go with it, once it can no longer read them.
            if (WavSampleDevice *device = samples.release())
                device->setParent(sink);
            sink->deleteLater();
        }
    }

signals:
    void ended(quint64 id, bool failed);

private:
    void begin()
    {
        // Rounded up, and checked again when the timer fires: the first sample must not
        // leave before the radio is ready for it.
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(
            m_startAt - std::chrono::steady_clock::now());
        if (wait.count() > 0) {
            m_begin->start(int(std::min<qint64>(wait.count(), std::numeric_limits<int>::max())));
            return;
        }
        m_lengthMs = m_info.length.count();
        m_samples = std::make_unique<WavSampleDevice>(m_path, m_info);
        if (!m_samples->open()) {
            finish(true);
            return;
        }
        m_format = audioFormat(m_info);
        m_sink = std::make_unique<QAudioSink>(m_device, m_format);
        connect(m_sink.get(), &QAudioSink::stateChanged, this, &PlaybackWorker::stateChanged);
        m_clock.start();
        m_sink->start(m_samples.get());
        if (m_sink && m_sink->error() != QAudio::NoError)
            finish(true);
    }

    void stateChanged(QAudio::State state)
    {
        if (!m_sink)
            return;
        if (state == QAudio::StoppedState && m_sink->error() != QAudio::NoError) {
            finish(true);
        } else if (state == QAudio::IdleState && m_samples->atEnd() && !m_tail->isActive()) {
            // Everything is with the sound server: wait for its buffer to play out, and
            // never end before the file's own length has passed.
            const qint64 buffered = std::max<qint64>(0, m_sink->bufferSize() - m_sink->bytesFree());
            const qint64 bufferedMs = m_format.durationForBytes(int(buffered)) / 1000;
            const qint64 lengthLeft = std::max<qint64>(0, m_lengthMs - m_clock.elapsed());
            const qint64 wait = std::max(bufferedMs, lengthLeft) + kTailMs;
            m_tail->start(int(std::min<qint64>(wait, std::numeric_limits<int>::max())));
        }
    }

    void finish(bool failed)
    {
        const quint64 id = m_id;
        stop();
        emit ended(id, failed);
    }

    std::unique_ptr<WavSampleDevice> m_samples;
    std::unique_ptr<QAudioSink> m_sink;
    QAudioFormat m_format;
    // Children, so that they move to the playback thread.
    QTimer *m_begin = new QTimer(this);
    QTimer *m_tail = new QTimer(this);
    QString m_path;
    WavInfo m_info;
    QAudioDevice m_device;
    AudioPlayer::TimePoint m_startAt;
    QElapsedTimer m_clock;
    quint64 m_id = 0;
    qint64 m_lengthMs = 0;
};

class QtAudioPlayer final : public QObject, public AudioPlayer
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QtAudioPlayer)

public:
    explicit QtAudioPlayer(const QString &outputName)
        : m_outputName(outputName), m_thread(new QThread), m_worker(new PlaybackWorker)
    {
        m_thread->setObjectName(QStringLiteral("anunciel-audio"));
        m_worker->moveToThread(m_thread);
        connect(m_worker, &PlaybackWorker::ended, this, &QtAudioPlayer::workerEnded,
                Qt::QueuedConnection);
        m_thread->start();
    }

    ~QtAudioPlayer() override
    {
        m_current = 0;
        QMetaObject::invokeMethod(
            m_worker,
            [worker = m_worker] {
                worker->stop();
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

    Start check(const std::string &path) override
    {
        Checked checked = checkFile(QString::fromStdString(path));
        return {checked.status, checked.info.length};
    }

    Start play(const std::string &path, TimePoint startAt) override
    {
        stop();
        const QString file = QString::fromStdString(path);
        Checked checked = checkFile(file);
        if (!checked.status.ok())
            return {checked.status, {}};

        const quint64 id = ++m_lastId;
        m_current = id;
        QMetaObject::invokeMethod(
            m_worker,
            [worker = m_worker, id, file, info = checked.info, device = checked.device, startAt] {
                worker->start(id, file, info, device, startAt);
            },
            Qt::QueuedConnection);
        return {LinkStatus::success(), checked.info.length};
    }

    void stop() override
    {
        if (m_current == 0)
            return;
        m_current = 0;
        QMetaObject::invokeMethod(
            m_worker, [worker = m_worker] { worker->stop(); }, Qt::QueuedConnection);
    }

private:
    struct Checked
    {
        LinkStatus status;
        WavInfo info;
        QAudioDevice device;
    };

    // Everything that can be known before the sound starts: the file is PCM WAV, the
    // output is there and takes its format.
    Checked checkFile(const QString &file) const
    {
        Checked checked;
        checked.info = readWavFile(file);
        if (!checked.info.ok) {
            checked.status = LinkStatus::failure(stationerror::BadAudioFile,
                                                 QStringLiteral("Não é possível tocar \"%1\": %2.")
                                                     .arg(file, checked.info.error)
                                                     .toStdString());
            return checked;
        }
        checked.device = findAudioOutput(m_outputName);
        if (checked.device.isNull()) {
            checked.status = LinkStatus::failure(
                stationerror::NoAudioOutput,
                m_outputName.isEmpty()
                    ? std::string("Nenhuma saída de áudio disponível.")
                    : QStringLiteral("A saída de áudio \"%1\" não está disponível.")
                          .arg(m_outputName)
                          .toStdString());
            return checked;
        }
        const QAudioFormat format = audioFormat(checked.info);
        if (!checked.device.isFormatSupported(format))
            checked.status = LinkStatus::failure(
                stationerror::AudioFailed,
                QStringLiteral("A saída de áudio \"%1\" não aceita o formato de \"%2\" "
                               "(%3 Hz, %4 canais, %5 bits).")
                    .arg(checked.device.description(), file)
                    .arg(checked.info.sampleRate)
                    .arg(checked.info.channels)
                    .arg(checked.info.bytesPerSample * 8)
                    .toStdString());
        return checked;
    }

    void workerEnded(quint64 id, bool failed)
    {
        // Ends of playbacks stopped or replaced since are stale.
        if (id == 0 || id != m_current)
            return;
        m_current = 0;
        reportEnd(failed ? PlaybackEnd::Failed : PlaybackEnd::Finished);
    }

    QString m_outputName;
    QThread *m_thread;
    PlaybackWorker *m_worker;
    quint64 m_lastId = 0;
    quint64 m_current = 0; // the playback whose end is awaited; 0 when none
};

} // namespace

std::unique_ptr<AudioPlayer> createSystemAudioPlayer(const std::string &outputName)
{
    return std::make_unique<QtAudioPlayer>(QString::fromStdString(outputName));
}

} // namespace anunciel

#include "QtAudioPlayer.moc"
