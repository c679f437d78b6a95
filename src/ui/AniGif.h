#pragma once

#include <QElapsedTimer>
#include <QLabel>
#include <QPixmap>
#include <QTimer>

#include <memory>
#include <vector>

class QMovie;

namespace anunciel {

class ScreenFrames;

// An animated picture: loops a GIF with the frame times and repetition count stored in it,
// from the moment it is first shown, and stops on its last frame when the repetitions are
// spent. Nothing else starts, stops or changes it.
//
// QMovie decodes the frames, but the timing is kept here: Qt's reader plays stored frame
// times of 10 ms as 100 ms. On a scaled screen the frames come from the picture's
// double-resolution drawing (`name@2x.gif`), so that they are not stretched.
//
// It rests while hidden or minimised: nobody sees it, and a station runs for weeks. Shown
// again, it goes on at the frame its times give for the moment, as if it had played on.
class AniGif : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AniGif)

public:
    explicit AniGif(QWidget *parent = nullptr);
    ~AniGif() override;

    void setFileName(const QString &fileName);
    QString fileName() const;

    // Stored repetitions after the first play; -1 for endless.
    int loopCount() const;
    int frameCount() const;
    // The stored time of a frame, in milliseconds.
    int frameDelay(int frame) const;
    int currentFrame() const;
    // Playing: started and not yet at the end of its repetitions (also while resting hidden).
    bool isRunning() const { return m_timer.isActive() || m_resting; }
    // Resting because it is hidden or minimised.
    bool isResting() const { return m_resting; }
    // The frame as it is painted: at the screen's scale, with its place in the animation.
    QPixmap shownFrame() const;
    QRect frameRect() const;
    // The window system keeps the frames and copies them on the screen (X11).
    bool framesKeptByScreen() const { return m_screenFrames != nullptr; }

    // Playing speed in percent of the stored times (100: as stored).
    void setSpeed(int percent) { m_speed = qMax(1, percent); }

signals:
    void frameChanged(int frame);
    // The repetitions are spent.
    void finished();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    class FrameView;

    void loadFrames();
    void readyFrames();
    void showCurrentFrame();
    bool putOnScreen();
    void start();
    void advance();
    bool step();
    bool moveOn(qint64 now);
    int playedDelay(int frame) const;
    void rest();
    void wake();

    QString m_fileName;
    qreal m_framesRatio = 1.0; // device pixels per pixel of the frames decoded
    QMovie *m_movie = nullptr;
    // Every frame decoded once, as stored.
    std::vector<QPixmap> m_decoded;
    // The same frames at the screen's scale: a frame change then costs one blit of the
    // frame's own rectangle, no decoding, no scaling and no relayout, which matters at a
    // hundred frames a second.
    std::vector<QPixmap> m_frames;
    qreal m_framesReadyFor = 0.0; // the device pixel ratio m_frames are made for
    bool m_opaque = true;         // no frame has see-through pixels
    FrameView *m_view = nullptr;
    // The same frames kept by the window system, for the window and scale they were made for.
    std::unique_ptr<ScreenFrames> m_screenFrames;
    WId m_screenFramesWindow = 0;
    qreal m_screenFramesRatio = 0.0;
    int m_current = 0;
    QTimer m_timer;
    std::vector<int> m_delays;
    int m_plays = 0;
    int m_speed = 100;
    bool m_started = false;
    bool m_resting = false;
    QElapsedTimer m_clock; // since the first frame was shown
    qint64 m_due = 0;      // when the current frame's time ends, on m_clock
};

} // namespace anunciel
