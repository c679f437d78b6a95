#include "SecondaryWindow.h"

#include "GraphicalButton.h"
#include "WindowDesign.h"

#include <QIcon>
#include <QKeyEvent>

namespace anunciel {

SecondaryWindow::SecondaryWindow(QWidget *parent) : QDialog(parent) {}

QPushButton *SecondaryWindow::addReturnButton(const char *name, int left, int top, int width,
                                              int height, const QFont &font)
{
    auto *button = place<GraphicalButton>(this, name, left, top, width, height);
    button->setText(QStringLiteral("Retornar"));
    button->setFont(font);
    button->setBackColor(QColor(255, 192, 192));
    button->setIcon(QIcon(QStringLiteral(":/images/retornar.png")));
    connect(button, &QPushButton::clicked, this, &QDialog::close);
    return button;
}

void SecondaryWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace anunciel
