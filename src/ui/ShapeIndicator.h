#pragma once

#include <QWidget>

namespace anunciel {

// An opaque circle filled with a colour given as the platform's 24-bit number, whose bytes
// from high to low are blue, green and red (65280 green, 255 red).
class ShapeIndicator : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int backColor READ backColor WRITE setBackColor)

public:
    explicit ShapeIndicator(QWidget *parent = nullptr);

    int backColor() const { return m_backColor; }
    void setBackColor(int bgr);

    static QColor toQColor(int bgr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_backColor = 65280;
};

} // namespace anunciel
