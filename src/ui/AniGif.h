#pragma once

#include <QLabel>

class QMovie;

namespace anunciel {

// An animated picture: loops a GIF with the frame times and repetition count stored in it,
// from the moment it is first shown, and stops when the repetitions are spent. Nothing else
// starts, stops or changes it.
class AniGif : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AniGif)

public:
    explicit AniGif(QWidget *parent = nullptr);

    void setFileName(const QString &fileName);
    QMovie *movie() const { return m_movie; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    QMovie *m_movie = nullptr;
    bool m_started = false;
};

} // namespace anunciel
