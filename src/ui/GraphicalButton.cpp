#include "GraphicalButton.h"

#include "WindowDesign.h"

#include <QPainter>
#include <qdrawutil.h>

namespace anunciel {

namespace {
// The raised edge is two pixels; inside it one pixel of air, which the focused button gives
// to its dark outline instead, so that the room for picture and caption stays the same: with
// less, the second line of "Ler diretivas dos arquivos" lost its descenders when focused.
constexpr int kEdge = 3;
constexpr int kIconGap = 1; // between the picture and the caption
constexpr int kTextFlags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;
} // namespace

GraphicalButton::GraphicalButton(QWidget *parent)
    : QPushButton(parent), m_backColor(palette().color(QPalette::Button))
{
    setIconSize(QSize(32, 32));
    // As on Windows, Enter on a focused button presses it.
    setAutoDefault(true);
}

void GraphicalButton::setBackColor(const QColor &colour)
{
    m_backColor = colour;
    update();
}

QRect GraphicalButton::contentArea() const
{
    return rect().adjusted(kEdge, kEdge, -kEdge, -kEdge);
}

QPixmap GraphicalButton::picture() const
{
    if (icon().isNull())
        return QPixmap();
    return sharpPixmap(icon(), iconSize(), devicePixelRatio(),
                       isEnabled() ? QIcon::Normal : QIcon::Disabled);
}

int GraphicalButton::contentHeight() const
{
    const QRect inner = contentArea();
    const int textHeight =
        fontMetrics().boundingRect(QRect(0, 0, inner.width(), 10000), kTextFlags, text()).height();
    const bool hasPicture = !icon().isNull();
    const int gap = !hasPicture || text().isEmpty() ? 0 : kIconGap;
    return (hasPicture ? iconSize().height() : 0) + gap + textHeight;
}

void GraphicalButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QRect face = rect();
    // The focused button wears the dark outer line Windows gives the button Enter presses.
    if (hasFocus()) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawRect(face.adjusted(0, 0, -1, -1));
        face.adjust(1, 1, -1, -1);
    }
    const bool down = isDown() || isChecked();
    const QBrush fill(m_backColor);
    qDrawWinButton(&painter, face, palette(), down, &fill);

    QRect inner = contentArea();
    if (down)
        inner.translate(1, 1);

    // Picture and caption form one block, centred in the button; a caption too long for
    // the room left under the picture is cut at the bottom edge.
    const QPixmap picture = this->picture();
    const QSize pictureSize = picture.isNull() ? QSize() : iconSize();
    const QRect textBounds =
        fontMetrics().boundingRect(QRect(0, 0, inner.width(), 10000), kTextFlags, text());
    const int gap = picture.isNull() || text().isEmpty() ? 0 : kIconGap;
    const int blockHeight = pictureSize.height() + gap + textBounds.height();
    const int top = inner.top() + qMax(0, (inner.height() - blockHeight) / 2);

    painter.setClipRect(inner);
    if (!picture.isNull())
        painter.drawPixmap(
            QRect(QPoint(inner.left() + (inner.width() - pictureSize.width()) / 2, top),
                  pictureSize),
            picture);
    const QRect textRect(inner.left(), top + pictureSize.height() + gap, inner.width(),
                         inner.bottom() - (top + pictureSize.height() + gap) + 1);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(textRect, kTextFlags, text());

    if (hasFocus()) {
        painter.setClipping(false);
        // The dotted focus rectangle of Windows buttons, whatever the style.
        QPen dots(palette().color(QPalette::WindowText), 1, Qt::DotLine);
        painter.setPen(dots);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(contentArea().adjusted(1, 1, -2, -2));
    }
}

} // namespace anunciel
