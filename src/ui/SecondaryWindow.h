#pragma once

#include <QDialog>

class QFont;
class QPushButton;

namespace anunciel {

// What the about and help windows share: a "Retornar" button that closes the window, as its
// close box does, and Escape, which closes it the same way, as Escape closes a dialog on
// Windows.
class SecondaryWindow : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SecondaryWindow)

public:
    explicit SecondaryWindow(QWidget *parent = nullptr);

protected:
    // The light red "Retornar" button with its arrows, at a design position (twips); what a
    // screen reader says of it names this window (`windowName`, "a janela Sobre").
    QPushButton *addReturnButton(const char *name, int left, int top, int width, int height,
                                 const QFont &font, const QString &windowName);
    void keyPressEvent(QKeyEvent *event) override;
};

} // namespace anunciel
