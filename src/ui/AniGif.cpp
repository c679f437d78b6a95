#include "AniGif.h"

#include <QMovie>

namespace anunciel {

AniGif::AniGif(QWidget *parent) : QLabel(parent), m_movie(new QMovie(this))
{
    // Frames are decoded once and then replayed from memory, not decoded on every loop.
    m_movie->setCacheMode(QMovie::CacheAll);
    setAlignment(Qt::AlignCenter);
    setMovie(m_movie);
}

void AniGif::setFileName(const QString &fileName)
{
    m_movie->setFileName(fileName);
    // Shows the first frame until the window is shown.
    m_movie->jumpToFrame(0);
}

void AniGif::showEvent(QShowEvent *event)
{
    QLabel::showEvent(event);
    if (m_started)
        return;
    m_started = true;
    m_movie->start();
}

} // namespace anunciel
