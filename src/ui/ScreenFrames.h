#pragma once

#include <QPixmap>
#include <QPoint>

#include <memory>
#include <vector>

class QWidget;

namespace anunciel {

// An animation's frames kept by the window system itself, so that a frame change is one
// small copy on the screen, with no repaint, no image sent and no wait for the display: at a
// hundred frames a second that is most of what the program does while it idles.
// Where the window system offers no such thing (Windows, Wayland, no display) there is none,
// and the animation repaints its frame rectangle instead.
class ScreenFrames
{
public:
    virtual ~ScreenFrames() = default;
    // Puts `frame` at `devicePosition` (device pixels, from the window's top left corner);
    // false if it could not.
    virtual bool show(std::size_t frame, QPoint devicePosition) = 0;
};

// Frames for the native window of `window` (a top-level widget), all of one size, at the
// screen's scale; null where the window system cannot keep them.
std::unique_ptr<ScreenFrames> makeScreenFrames(QWidget *window, const std::vector<QPixmap> &frames);

} // namespace anunciel
