#pragma once

#include <QColor>
#include <QPushButton>

namespace anunciel {

// A push button drawn as the design's graphical buttons are: its own background colour, a
// raised three-dimensional edge, and its picture centred above its caption. It stays a
// QPushButton for everything else (clicks, Enter and Space, focus, auto-default).
class GraphicalButton : public QPushButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GraphicalButton)
    Q_PROPERTY(QColor backColor READ backColor WRITE setBackColor)

public:
    explicit GraphicalButton(QWidget *parent = nullptr);

    QColor backColor() const { return m_backColor; }
    void setBackColor(const QColor &colour);

    // The picture as painted on the screen the button is on, sharp at any scaling.
    QPixmap picture() const;
    // The room inside the edge for the picture and the caption, and the height they need
    // there with the caption wrapped to that width: the caption is cut at the bottom when it
    // needs more than it has.
    QRect contentArea() const;
    int contentHeight() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_backColor;
};

} // namespace anunciel
