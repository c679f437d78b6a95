#include "Lamp.h"

#include <QPainter>

namespace anunciel {

Lamp::Lamp(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground, false);
}

void Lamp::setColour(const QColor &colour)
{
    if (colour == m_colour)
        return;
    m_colour = colour;
    update();
}

void Lamp::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(m_colour);
    // A circle as wide as the shorter side, centred, as a circle shape draws in its box.
    const int d = qMin(width(), height()) - 1;
    painter.drawEllipse(QRectF((width() - d) / 2.0, (height() - d) / 2.0, d, d));
}

} // namespace anunciel
