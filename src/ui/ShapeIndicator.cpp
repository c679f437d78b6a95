#include "ShapeIndicator.h"

#include <QPainter>

namespace anunciel {

ShapeIndicator::ShapeIndicator(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground, false);
}

void ShapeIndicator::setBackColor(int bgr)
{
    if (bgr == m_backColor)
        return;
    m_backColor = bgr;
    update();
}

QColor ShapeIndicator::toQColor(int bgr)
{
    return QColor(bgr & 0xff, (bgr >> 8) & 0xff, (bgr >> 16) & 0xff);
}

void ShapeIndicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(toQColor(m_backColor));
    // A circle as wide as the shorter side, centred, as a circle shape draws in its box.
    const int d = qMin(width(), height()) - 1;
    painter.drawEllipse(QRectF((width() - d) / 2.0, (height() - d) / 2.0, d, d));
}

} // namespace anunciel
