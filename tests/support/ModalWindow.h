#pragma once

// Modal windows (the about and help windows, message boxes) run their own event loop inside
// the call that opens them; a test acts on them from inside that loop.

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>

#include <functional>

namespace anunciel::test {

// Waits until `window` is the application's active window, as a window system makes a newly
// shown window; the keyboard focus then moves into it.
inline bool becomesActive(QWidget *window)
{
    return QTest::qWaitFor([window] { return QApplication::activeWindow() == window; }, 2000);
}

// Runs `inside` on the modal window that `open` shows, once it is active, then makes sure it
// is closed so that `open` returns. False when no modal window came up.
inline bool whileModalOpen(const std::function<void()> &open,
                           const std::function<void(QDialog *)> &inside)
{
    bool ran = false;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (dialog && becomesActive(dialog)) {
            ran = true;
            inside(dialog);
        }
        // Whatever the checks found, the modal wait must end.
        if (auto *still = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            still->close();
    });
    open();
    return ran;
}

} // namespace anunciel::test
