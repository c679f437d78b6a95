#pragma once

// What the three windows' layouts share: twips, the design fonts and colours, and the
// builders that place a control as the design tables give it.

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QString>

#include <initializer_list>
#include <utility>
#include <vector>

class QLabel;
class QWidget;

namespace anunciel {

// Design sizes are in twips; 15 twips make one device-independent pixel.
constexpr int twips(int t)
{
    return (t + 7) / 15;
}

enum class FontWeight
{
    Regular,
    Bold
};

// The design's font faces; where they are missing, the nearest faces stand in for them.
inline const QString kSansFace = QStringLiteral("MS Sans Serif");
inline const QString kSerifFace = QStringLiteral("Times New Roman");

// A design font: face, size in points, weight.
QFont designFont(const QString &face, qreal points, FontWeight weight);
// The font of a control that has none of its own: "MS Sans Serif" 8.25 pt regular.
QFont defaultDesignFont();

// Sets the colour of `role` on `widget` (palette roles, so the style still draws it).
void setColour(QWidget *widget, int role, const QColor &colour);

// Creates a `W` named `name` inside `parent` at the design position and size (twips).
template <typename W>
W *place(QWidget *parent, const char *name, int left, int top, int width, int height)
{
    auto *w = new W(parent);
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(twips(left), twips(top), twips(width), twips(height));
    return w;
}

// A label as the design draws one: no border, opaque background in the colour of its
// container, caption wrapped at word boundaries, top-left unless told otherwise.
QLabel *designLabel(QWidget *parent, const char *name, const QString &caption, int left, int top,
                    int width, int height, const QFont &font);

// A horizontal one-pixel line in the window-text colour, from (left, top) to (right, top).
QWidget *designLine(QWidget *parent, const char *name, int left, int top, int right);

// Chains the keyboard focus through the controls in tab-index order, skipping those that
// never take the focus. `controls` holds (tab index, control) pairs in any order.
void setTabOrderByIndex(std::vector<std::pair<int, QWidget *>> controls);

// Puts a top-level window's client area in the middle of its screen's work area.
void centreOnScreen(QWidget *window);

// Pictures come in two resolutions: `name.png` and `name@2x.png`, drawn for screens at 100 %
// and at 200 % scaling.
//
// An icon holding each of `files` and its double-resolution drawing, whatever the scaling
// of the screen the program starts on (Qt itself adds that drawing only when it starts on a
// scaled screen).
QIcon designIcon(std::initializer_list<QString> files);
// The drawing of `file` to show on a screen scaled by `devicePixelRatio`: the
// double-resolution one wherever the screen is scaled at all, so that it is shrunk, never
// stretched. The file, and the picture with its pixel ratio set.
QString designPictureFile(const QString &file, qreal devicePixelRatio);
QPixmap designPicture(const QString &file, qreal devicePixelRatio);
// `icon` at `size` (device-independent pixels) for a screen scaled by `devicePixelRatio`,
// drawn sharp: at fractional scalings such as 150 % Qt would hand over the 100 % drawing and
// stretch it, so the 200 % one is taken and shrunk instead.
QPixmap sharpPixmap(const QIcon &icon, const QSize &size, qreal devicePixelRatio,
                    QIcon::Mode mode = QIcon::Normal);

} // namespace anunciel
