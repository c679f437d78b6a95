#include "Accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
#include <QAccessibleAnnouncementEvent>
#endif

namespace anunciel {

namespace {

// A picture that only repeats what a caption beside it says (a lamp), only moves (the
// animations) or only divides (a line): present for the layout, skipped by a reader.
class DecorationInterface final : public QAccessibleWidget
{
public:
    explicit DecorationInterface(QWidget *widget) : QAccessibleWidget(widget, QAccessible::Graphic)
    {
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.invisible = true;
        return s;
    }
};

QAccessibleInterface *interfaceFactory(const QString &className, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    if (!widget)
        return nullptr;
    // A window built on a plain QWidget would read as a bare pane: a reader announces a
    // window by its title when it opens, and only one that says it is a window.
    if (widget->isWindow() && className == QLatin1String(widget->metaObject()->className()) &&
        widget->metaObject()->superClass() == &QWidget::staticMetaObject)
        return new QAccessibleWidget(widget, QAccessible::Window);
    if (className == QLatin1String("anunciel::Lamp") ||
        className == QLatin1String("anunciel::AniGif"))
        return new DecorationInterface(widget);
    // The only plain frames in the windows are the about window's lines.
    if (className == QLatin1String("QFrame")) {
        const auto *frame = static_cast<QFrame *>(widget);
        if (frame->frameShape() == QFrame::HLine || frame->frameShape() == QFrame::VLine)
            return new DecorationInterface(widget);
    }
    return nullptr;
}

void withhold(QAccessibleEvent *) {}

} // namespace

void installAccessibleInterfaces()
{
    // Qt ignores a factory it already has.
    QAccessible::installFactory(&interfaceFactory);
}

void setSpokenText(QWidget *control, const QString &name, const QString &description)
{
    control->setAccessibleName(name);
    control->setAccessibleDescription(description);
}

namespace {

// Names `control` and, where the Qt in use has them, announces the new name: a name change of
// a control without the focus is not spoken by Orca or NVDA; an announcement is, once the
// reader has finished what it is saying. Setting a name tells the reader even when it is the
// same name, so an unchanged one is left alone.
void renameAndAnnounce(QWidget *control, const QString &name)
{
    if (control->accessibleName() == name)
        return;
    control->setAccessibleName(name);
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QAccessibleAnnouncementEvent announcement(control, name);
    QAccessible::updateAccessibility(&announcement);
#endif
}

} // namespace

void showSpokenSideState(QLabel *caption, const QString &side, SideState state)
{
    QString word;
    switch (state) {
    case SideState::Free:
        word = QStringLiteral("livre");
        break;
    case SideState::Busy:
        // "a internet" is feminine, "o rádio" masculine.
        word = side == kInternetSide ? QStringLiteral("ocupada") : QStringLiteral("ocupado");
        break;
    case SideState::Unknown:
        word = QStringLiteral("sem leitura, estado desconhecido");
        break;
    case SideState::Undetected:
        word = QStringLiteral("sem detecção, nada informa se está ocupado");
        break;
    }
    renameAndAnnounce(caption, side + QStringLiteral(": ") + word);
}

void showSpokenStatus(QLabel *line, const QString &text)
{
    renameAndAnnounce(line, kStatusName + QStringLiteral(": ") + text);
}

void setTextQuietly(QLineEdit *field, const QString &text)
{
    if (field->hasFocus()) {
        field->setText(text);
        return;
    }
    // QLineEdit::setText tells the accessibility layer of every change (text updated, caret
    // moved). For this one call those notices go nowhere; the previous receiver, Qt's own
    // bridge to the platform unless a test listens, is put back at once.
    const QAccessible::UpdateHandler previous = QAccessible::installUpdateHandler(&withhold);
    field->setText(text);
    QAccessible::installUpdateHandler(previous);
}

} // namespace anunciel
