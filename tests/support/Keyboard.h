#pragma once

// The keyboard as the operator uses it, with no mouse: Tab to a control, then a key.

#include <QApplication>
#include <QTest>
#include <QWidget>

namespace anunciel::test {

// Presses Tab, as often as it takes and at most once round the window, until the control
// named `name` has the keyboard focus. False when Tab never reaches it.
inline bool tabTo(const QString &name, int atMost = 40)
{
    for (int i = 0; i < atMost; ++i) {
        QWidget *focus = QApplication::focusWidget();
        if (!focus)
            return false;
        if (focus->objectName() == name)
            return true;
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    QWidget *focus = QApplication::focusWidget();
    return focus && focus->objectName() == name;
}

// A key pressed on whatever has the keyboard focus.
inline void pressOnFocus(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    if (QWidget *focus = QApplication::focusWidget())
        QTest::keyClick(focus, key, modifiers);
}

} // namespace anunciel::test
