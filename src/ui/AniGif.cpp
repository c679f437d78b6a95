#include "AniGif.h"

#include "GifTiming.h"

#include <QFile>
#include <QMovie>

namespace anunciel {

AniGif::AniGif(QWidget *parent) : QLabel(parent), m_movie(new QMovie(this))
{
    // Frames are decoded once and then replayed from memory, not decoded on every loop.
    m_movie->setCacheMode(QMovie::CacheAll);
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &AniGif::advance);
    setAlignment(Qt::AlignCenter);
}

void AniGif::setFileName(const QString &fileName)
{
    m_movie->setFileName(fileName);
    QFile file(fileName);
    m_delays = file.open(QIODevice::ReadOnly) ? gifFrameDelays(file.readAll()) : std::vector<int>();
    // Shows the first frame until the window is shown.
    m_movie->jumpToFrame(0);
    setPixmap(m_movie->currentPixmap());
}

QString AniGif::fileName() const
{
    return m_movie->fileName();
}

int AniGif::loopCount() const
{
    return m_movie->loopCount();
}

int AniGif::frameCount() const
{
    return m_movie->frameCount();
}

int AniGif::frameDelay(int frame) const
{
    if (frame >= 0 && std::size_t(frame) < m_delays.size())
        return m_delays[std::size_t(frame)];
    return m_movie->nextFrameDelay();
}

int AniGif::currentFrame() const
{
    return m_movie->currentFrameNumber();
}

void AniGif::showEvent(QShowEvent *event)
{
    QLabel::showEvent(event);
    if (!m_started)
        start();
}

void AniGif::start()
{
    m_started = true;
    if (m_movie->frameCount() < 2)
        return;
    m_plays = 1;
    scheduleNext();
}

void AniGif::scheduleNext()
{
    m_timer.start(int(qint64(frameDelay(currentFrame())) * 100 / m_speed));
}

void AniGif::advance()
{
    int next = currentFrame() + 1;
    if (next >= frameCount()) {
        const int loops = loopCount();
        if (loops >= 0 && m_plays > loops) {
            emit finished();
            return;
        }
        ++m_plays;
        next = 0;
    }
    m_movie->jumpToFrame(next);
    setPixmap(m_movie->currentPixmap());
    emit frameChanged(next);
    scheduleNext();
}

} // namespace anunciel
