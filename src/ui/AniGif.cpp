#include "AniGif.h"

#include "GifTiming.h"
#include "WindowDesign.h"

#include <QFile>
#include <QMovie>
#include <QPainter>

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
    m_fileName = fileName;
    m_current = 0;
    loadFrames();
}

void AniGif::loadFrames()
{
    // The drawing that fits the screen: the double-resolution one on a scaled screen.
    const QString file = designPictureFile(m_fileName, devicePixelRatio());
    m_framesRatio = file == m_fileName ? 1.0 : 2.0;
    m_movie->setFileName(file);
    QFile gif(file);
    m_delays = gif.open(QIODevice::ReadOnly) ? gifFrameDelays(gif.readAll()) : std::vector<int>();
    m_frames.clear();
    for (int i = 0; i < m_movie->frameCount() && m_movie->jumpToFrame(i); ++i) {
        QPixmap frame = m_movie->currentPixmap();
        frame.setDevicePixelRatio(m_framesRatio);
        m_frames.push_back(frame);
    }
    if (std::size_t(m_current) >= m_frames.size())
        m_current = 0;
    // The label holds the first frame (its size); the frames are painted from the cache.
    setPixmap(m_frames.empty() ? QPixmap() : m_frames.front());
    update();
}

QString AniGif::fileName() const
{
    return m_fileName;
}

int AniGif::loopCount() const
{
    return m_movie->loopCount();
}

int AniGif::frameCount() const
{
    return int(m_frames.size());
}

int AniGif::frameDelay(int frame) const
{
    if (frame >= 0 && std::size_t(frame) < m_delays.size())
        return m_delays[std::size_t(frame)];
    return m_movie->nextFrameDelay();
}

int AniGif::currentFrame() const
{
    return m_current;
}

void AniGif::paintEvent(QPaintEvent *event)
{
    if (m_frames.empty()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    // At fractional scalings the double-resolution frames are shrunk a little.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QPixmap &frame = m_frames[std::size_t(m_current)];
    const QSize size = frame.deviceIndependentSize().toSize();
    painter.drawPixmap(
        QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size), frame);
}

void AniGif::showEvent(QShowEvent *event)
{
    QLabel::showEvent(event);
    // Built before its window knew its screen: take the drawing for the screen it is on.
    if (!m_fileName.isEmpty() &&
        designPictureFile(m_fileName, devicePixelRatio()) != m_movie->fileName())
        loadFrames();
    if (!m_started)
        start();
}

void AniGif::start()
{
    m_started = true;
    if (frameCount() < 2)
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
    m_current = next;
    update();
    emit frameChanged(next);
    scheduleNext();
}

} // namespace anunciel
