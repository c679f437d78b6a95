#pragma once

#include "SecondaryWindow.h"

namespace anunciel {

class Desktop;

// The about window `sobre_adicional`: who made the program, and a button ("Visitar Servidor
// Orvand", `Command1`) that opens the author's web page. Built from its design each time it
// is created; "Retornar" is `ret`.
class AboutWindow : public SecondaryWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AboutWindow)

public:
    AboutWindow(Desktop &desktop, QWidget *parent = nullptr);

    // The author's web page.
    static QString pageAddress();

private:
    // Opens the author's page in the browser; the window stays open.
    void openAuthorPage();

    Desktop &m_desktop;
};

} // namespace anunciel
