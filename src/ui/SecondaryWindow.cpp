#include "SecondaryWindow.h"

#include "Accessibility.h"
#include "GraphicalButton.h"
#include "WindowDesign.h"

#include <QIcon>
#include <QKeyEvent>

namespace anunciel {

SecondaryWindow::SecondaryWindow(QWidget *parent) : QDialog(parent)
{
    installAccessibleInterfaces();
}

QPushButton *SecondaryWindow::addReturnButton(const char *name, int left, int top, int width,
                                              int height, const QFont &font,
                                              const QString &windowName)
{
    auto *button = place<GraphicalButton>(this, name, left, top, width, height);
    button->setText(QStringLiteral("Retornar"));
    button->setFont(font);
    button->setBackColor(QColor(255, 192, 192));
    button->setIcon(designIcon({QStringLiteral(":/images/retornar.png")}));
    setSpokenText(button, QStringLiteral("Retornar"), QStringLiteral("Fecha ") + windowName);
    connect(button, &QPushButton::clicked, this, &QDialog::close);
    return button;
}

void SecondaryWindow::keyPressEvent(QKeyEvent *event)
{
    // Escape is "Retornar": the window closes, and nothing in it is kept.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace anunciel
