#pragma once

// A window as a screen reader reads it: every object Qt's accessibility layer offers, from the
// window down, with what a reader gets of it (name, description, role, state). Orca reads the
// same objects through AT-SPI, NVDA and JAWS through UI Automation.

#include <QAccessible>
#include <QList>
#include <QString>
#include <QWidget>

#include <functional>

namespace anunciel::test {

struct Spoken
{
    QString objectName; // the control's design name, to say which one it is
    QString name;
    QString description;
    QAccessible::Role role = QAccessible::NoRole;
    QAccessible::State state;
    int children = 0;
    bool shown = false; // on the screen (a reader may still skip it: state.invisible)
};

inline Spoken spokenOf(QAccessibleInterface *iface)
{
    Spoken s;
    if (QObject *object = iface->object()) {
        s.objectName = object->objectName();
        if (auto *widget = qobject_cast<QWidget *>(object))
            s.shown = widget->isVisible();
    }
    s.name = iface->text(QAccessible::Name);
    s.description = iface->text(QAccessible::Description);
    s.role = iface->role();
    s.state = iface->state();
    s.children = iface->childCount();
    return s;
}

inline Spoken spokenOf(QWidget *widget)
{
    return spokenOf(QAccessible::queryAccessibleInterface(widget));
}

// Every object under `window`'s interface (the window itself first), depth first.
inline QList<Spoken> readAccessibleTree(QWidget *window)
{
    QList<Spoken> all;
    const std::function<void(QAccessibleInterface *)> walk = [&](QAccessibleInterface *iface) {
        all << spokenOf(iface);
        for (int i = 0; i < iface->childCount(); ++i)
            if (QAccessibleInterface *child = iface->child(i))
                walk(child);
    };
    walk(QAccessible::queryAccessibleInterface(window));
    return all;
}

} // namespace anunciel::test
