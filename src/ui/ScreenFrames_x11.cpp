// X11: each frame is a pixmap of the X server, copied into the window when it is shown.

#include "ScreenFrames.h"

#include <QGuiApplication>
#include <QImage>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>

namespace anunciel {

namespace {

class X11Frames final : public ScreenFrames
{
public:
    X11Frames(xcb_connection_t *connection, xcb_window_t window)
        : m_connection(connection), m_window(window)
    {
    }
    ~X11Frames() override
    {
        if (!qGuiApp)
            return; // the connection went with the application
        for (xcb_pixmap_t pixmap : m_pixmaps)
            xcb_free_pixmap(m_connection, pixmap);
        if (m_gc)
            xcb_free_gc(m_connection, m_gc);
        xcb_flush(m_connection);
    }

    bool load(const std::vector<QPixmap> &frames)
    {
        const xcb_setup_t *setup = xcb_get_setup(m_connection);
        xcb_get_geometry_reply_t *geometry =
            xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, m_window), nullptr);
        if (!geometry)
            return false;
        const std::uint8_t depth = geometry->depth;
        std::free(geometry);
        // Frames go up as 32-bit pixels in the machine's byte order: the window must take
        // them as they are, or the copy would change the picture.
        if ((depth != 24 && depth != 32) || setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST ||
            !hasPixelFormat(setup, depth))
            return false;
        // Never visible effects: no exposure events come back for the copies.
        const std::uint32_t noExposures = 0;
        m_gc = xcb_generate_id(m_connection);
        xcb_create_gc(m_connection, m_gc, m_window, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
        std::vector<xcb_void_cookie_t> made;
        const std::uint64_t maxBytes =
            std::uint64_t(xcb_get_maximum_request_length(m_connection)) * 4;
        for (const QPixmap &frame : frames) {
            const QImage image = frame.toImage().convertToFormat(
                depth == 32 ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
            m_size = image.size();
            if (std::uint64_t(image.sizeInBytes()) + 64 > maxBytes)
                return false;
            const xcb_pixmap_t pixmap = xcb_generate_id(m_connection);
            made.push_back(xcb_create_pixmap_checked(m_connection, depth, pixmap, m_window,
                                                     std::uint16_t(image.width()),
                                                     std::uint16_t(image.height())));
            m_pixmaps.push_back(pixmap);
            made.push_back(xcb_put_image_checked(
                m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, m_gc, std::uint16_t(image.width()),
                std::uint16_t(image.height()), 0, 0, 0, depth, std::uint32_t(image.sizeInBytes()),
                image.constBits()));
        }
        // Made and filled before the first is shown, or the whole set is given up.
        bool allMade = true;
        for (const xcb_void_cookie_t cookie : made) {
            if (xcb_generic_error_t *error = xcb_request_check(m_connection, cookie)) {
                std::free(error);
                allMade = false;
            }
        }
        return allMade && !m_pixmaps.empty();
    }

    bool show(std::size_t frame, QPoint at) override
    {
        if (frame >= m_pixmaps.size())
            return false;
        xcb_copy_area(m_connection, m_pixmaps[frame], m_window, m_gc, 0, 0, std::int16_t(at.x()),
                      std::int16_t(at.y()), std::uint16_t(m_size.width()),
                      std::uint16_t(m_size.height()));
        xcb_flush(m_connection);
        return true;
    }

private:
    static bool hasPixelFormat(const xcb_setup_t *setup, std::uint8_t depth)
    {
        for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it))
            if (it.data->depth == depth)
                return it.data->bits_per_pixel == 32 && it.data->scanline_pad == 32;
        return false;
    }

    xcb_connection_t *m_connection;
    xcb_window_t m_window;
    xcb_gcontext_t m_gc = 0;
    std::vector<xcb_pixmap_t> m_pixmaps;
    QSize m_size;
};

} // namespace

std::unique_ptr<ScreenFrames> makeScreenFrames(QWidget *window, const std::vector<QPixmap> &frames)
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection() || frames.empty() || !window->windowHandle())
        return nullptr;
    auto made = std::make_unique<X11Frames>(x11->connection(), xcb_window_t(window->winId()));
    if (!made->load(frames))
        return nullptr;
    return made;
}

} // namespace anunciel
