#include "WindowPlatform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace anunciel {

namespace {

QMessageBox::Icon qtIcon(MessageBoxes::Icon icon)
{
    switch (icon) {
    case MessageBoxes::Icon::Information:
        return QMessageBox::Information;
    case MessageBoxes::Icon::Warning:
        return QMessageBox::Warning;
    case MessageBoxes::Icon::Critical:
        return QMessageBox::Critical;
    case MessageBoxes::Icon::Question:
        return QMessageBox::Question;
    case MessageBoxes::Icon::NoIcon:
        break;
    }
    return QMessageBox::NoIcon;
}

class SystemMessageBoxes final : public MessageBoxes
{
public:
    void ok(QWidget *parent, const QString &text, const QString &caption, Icon icon) override
    {
        QMessageBox box(qtIcon(icon), caption, text, QMessageBox::NoButton, parent);
        box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.exec();
    }

    bool question(QWidget *parent, const QString &text, const QString &caption) override
    {
        QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::NoButton, parent);
        QAbstractButton *yes = box.addButton(QStringLiteral("Sim"), QMessageBox::YesRole);
        QPushButton *no = box.addButton(QStringLiteral("Não"), QMessageBox::NoRole);
        box.setDefaultButton(no);
        box.setEscapeButton(no);
        box.exec();
        return box.clickedButton() == yes;
    }

    void fatal(QWidget *parent, qint64 number, const QString &description) override
    {
        ok(parent, fatalReportText(number, description), programTitle(), Icon::Critical);
    }
};

class WindowDesktop final : public ScreenlessDesktop
{
public:
    void beep() override { QApplication::beep(); }
    void openUrl(const QUrl &url) override { QDesktopServices::openUrl(url); }
};

} // namespace

Platform windowPlatform()
{
    static SystemMessageBoxes boxes;
    static WindowDesktop desktop;
    Platform platform = systemPlatform();
    platform.boxes = &boxes;
    platform.desktop = &desktop;
    return platform;
}

} // namespace anunciel
