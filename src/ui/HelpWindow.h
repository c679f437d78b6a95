#pragma once

#include "SecondaryWindow.h"

namespace anunciel {

// The help window `Ajuda`: a few lines on what the program does and how to record the
// announcements, in an editable box (`Text1`); "Retornar" is `Command1`. Built from its
// design each time it is created, so whatever was typed into the box is gone the next time.
class HelpWindow : public SecondaryWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HelpWindow)

public:
    explicit HelpWindow(QWidget *parent = nullptr);
};

} // namespace anunciel
