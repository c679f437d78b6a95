#pragma once

#include <QDialog>

namespace anunciel {

class Desktop;

// The about window `sobre_adicional`: who made the program, and a button that opens the
// author's web page. Built from its design each time it is created.
class AboutWindow : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AboutWindow)

public:
    AboutWindow(Desktop &desktop, QWidget *parent = nullptr);

    // "Retornar": closes the window, as its close box does.
    void ret_Click();
    // "Visitar Servidor  Orvand": opens the author's page; the window stays open.
    void Command1_Click();

    // The author's web page.
    static QString pageAddress();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    Desktop &m_desktop;
};

} // namespace anunciel
