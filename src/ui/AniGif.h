#pragma once

#include <QLabel>
#include <QPixmap>
#include <QTimer>

#include <vector>

class QMovie;

namespace anunciel {

// An animated picture: loops a GIF with the frame times and repetition count stored in it,
// from the moment it is first shown, and stops on its last frame when the repetitions are
// spent. Nothing else starts, stops or changes it.
//
// QMovie decodes the frames, but the timing is kept here: Qt's reader plays stored frame
// times of 10 ms as 100 ms. On a scaled screen the frames come from the picture's
// double-resolution drawing (`name@2x.gif`), so that they are not stretched.
class AniGif : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AniGif)

public:
    explicit AniGif(QWidget *parent = nullptr);

    void setFileName(const QString &fileName);
    QString fileName() const;

    // Stored repetitions after the first play; -1 for endless.
    int loopCount() const;
    int frameCount() const;
    // The stored time of a frame, in milliseconds.
    int frameDelay(int frame) const;
    int currentFrame() const;
    bool isRunning() const { return m_timer.isActive(); }

    // Playing speed in percent of the stored times (100: as stored).
    void setSpeed(int percent) { m_speed = qMax(1, percent); }

signals:
    void frameChanged(int frame);
    // The repetitions are spent.
    void finished();

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void loadFrames();
    void start();
    void advance();
    void scheduleNext();

    QString m_fileName;
    qreal m_framesRatio = 1.0; // device pixels per pixel of the frames held
    QMovie *m_movie = nullptr;
    // Every frame decoded once: a frame change then costs one small repaint, no decoding and
    // no relayout, which matters at a hundred frames a second.
    std::vector<QPixmap> m_frames;
    int m_current = 0;
    QTimer m_timer;
    std::vector<int> m_delays;
    int m_plays = 0;
    int m_speed = 100;
    bool m_started = false;
};

} // namespace anunciel
