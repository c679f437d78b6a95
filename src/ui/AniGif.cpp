#include "AniGif.h"

#include "GifTiming.h"
#include "ScreenFrames.h"
#include "WindowDesign.h"

#include <QFile>
#include <QMovie>
#include <QPainter>
#include <QShowEvent>
#include <QWindow>

#include <cmath>

namespace anunciel {

// The frame's own rectangle. Opaque frames make it opaque: a frame change then repaints
// that rectangle alone, not the panel and the banner beneath it.
class AniGif::FrameView final : public QWidget
{
public:
    explicit FrameView(AniGif *owner) : QWidget(owner), m_owner(owner)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        const QPixmap frame = m_owner->shownFrame();
        if (frame.isNull())
            return;
        QPainter painter(this);
        painter.drawPixmap(QPoint(0, 0), frame);
    }

private:
    AniGif *m_owner;
};

AniGif::AniGif(QWidget *parent)
    : QLabel(parent), m_movie(new QMovie(this)), m_view(new FrameView(this))
{
    // Frames are decoded once and then replayed from memory, not decoded on every loop.
    m_movie->setCacheMode(QMovie::CacheAll);
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &AniGif::advance);
    setAlignment(Qt::AlignCenter);
}

AniGif::~AniGif() = default;

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
    m_decoded.clear();
    m_opaque = true;
    for (int i = 0; i < m_movie->frameCount() && m_movie->jumpToFrame(i); ++i) {
        QPixmap frame = m_movie->currentPixmap();
        frame.setDevicePixelRatio(m_framesRatio);
        m_opaque = m_opaque && !frame.hasAlphaChannel();
        m_decoded.push_back(frame);
    }
    m_frames.clear();
    m_framesReadyFor = 0.0;
    m_screenFrames.reset();
    m_screenFramesWindow = 0;
    if (std::size_t(m_current) >= m_decoded.size())
        m_current = 0;
    // A frame with see-through pixels needs what lies beneath it painted first.
    m_view->setAttribute(Qt::WA_OpaquePaintEvent, m_opaque && !m_decoded.empty());
    m_view->setGeometry(frameRect());
    // The label holds the first frame (its size); the frames are painted by the view.
    setPixmap(m_decoded.empty() ? QPixmap() : m_decoded.front());
    m_view->update();
}

void AniGif::readyFrames()
{
    const qreal ratio = m_view->devicePixelRatio();
    if (m_framesReadyFor == ratio && m_frames.size() == m_decoded.size())
        return;
    m_frames.clear();
    // Scaled once here, never while painting. At 100 % and 200 % nothing is scaled at all.
    const QSize device = (QSizeF(frameRect().size()) * ratio).toSize();
    for (const QPixmap &decoded : m_decoded) {
        QPixmap frame = decoded.size() == device ? decoded
                                                 : decoded.scaled(device, Qt::IgnoreAspectRatio,
                                                                  Qt::SmoothTransformation);
        frame.setDevicePixelRatio(ratio);
        m_frames.push_back(frame);
    }
    m_framesReadyFor = ratio;
}

QPixmap AniGif::shownFrame() const
{
    const_cast<AniGif *>(this)->readyFrames();
    if (std::size_t(m_current) >= m_frames.size())
        return QPixmap();
    return m_frames[std::size_t(m_current)];
}

QRect AniGif::frameRect() const
{
    if (m_decoded.empty())
        return QRect();
    const QSize size = m_decoded.front().deviceIndependentSize().toSize();
    return QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
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
    return int(m_decoded.size());
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
    // With frames, the view paints them; around them what lies beneath shows.
    if (m_decoded.empty())
        QLabel::paintEvent(event);
}

void AniGif::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    m_view->setGeometry(frameRect());
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
    else
        wake();
}

void AniGif::hideEvent(QHideEvent *event)
{
    QLabel::hideEvent(event);
    rest();
}

void AniGif::start()
{
    m_started = true;
    if (frameCount() < 2)
        return;
    m_plays = 1;
    m_clock.start();
    m_due = playedDelay(m_current);
    m_timer.start(int(m_due));
}

int AniGif::playedDelay(int frame) const
{
    return int(qint64(frameDelay(frame)) * 100 / m_speed);
}

// Moves to the next frame; false, staying on the last one, once the repetitions are spent.
bool AniGif::step()
{
    int next = currentFrame() + 1;
    if (next >= frameCount()) {
        const int loops = loopCount();
        if (loops >= 0 && m_plays > loops)
            return false;
        ++m_plays;
        next = 0;
    }
    m_current = next;
    return true;
}

// Moves to the next frame and past every frame whose time is over by `now` (a busy machine, a
// window nobody saw): each frame is due when the times before it add up, so a late frame
// never delays the rest. A frame stored without a time is shown all the same.
bool AniGif::moveOn(qint64 now)
{
    do {
        if (!step())
            return false;
        m_due += playedDelay(m_current);
    } while (m_due <= now && playedDelay(m_current) > 0);
    return true;
}

void AniGif::advance()
{
    const qint64 now = m_clock.elapsed();
    const int before = m_current;
    const bool goesOn = moveOn(now);
    if (m_current != before) {
        showCurrentFrame();
        emit frameChanged(m_current);
    }
    if (!goesOn) {
        emit finished();
        return;
    }
    m_timer.start(int(qMax<qint64>(0, m_due - now)));
}

void AniGif::showCurrentFrame()
{
    if (!putOnScreen())
        m_view->update();
}

// The frame copied on the screen by the window system, where it keeps the frames. Only for
// opaque frames at whole scalings: there a frame's device pixels are exactly those a repaint
// would give.
bool AniGif::putOnScreen()
{
    QWidget *top = window();
    const qreal ratio = m_view->devicePixelRatio();
    if (!m_opaque || ratio != std::floor(ratio) || !m_view->isVisible() || !top->windowHandle() ||
        !top->windowHandle()->isExposed())
        return false;
    readyFrames();
    if (m_screenFramesWindow != top->winId() || m_screenFramesRatio != ratio) {
        // Tried once per window and scale: where it fails, repainting is the way.
        m_screenFramesWindow = top->winId();
        m_screenFramesRatio = ratio;
        m_screenFrames = makeScreenFrames(top, m_frames);
    }
    if (!m_screenFrames)
        return false;
    const QPoint at = m_view->mapTo(top, QPoint(0, 0)) * int(ratio);
    return m_screenFrames->show(std::size_t(m_current), at);
}

void AniGif::rest()
{
    if (!m_timer.isActive())
        return; // not started, or finished
    m_timer.stop();
    m_resting = true;
}

void AniGif::wake()
{
    if (!m_resting)
        return;
    m_resting = false;
    const qint64 now = m_clock.elapsed();
    if (m_due > now) {
        m_timer.start(int(m_due - now));
        return;
    }
    advance();
}

} // namespace anunciel
