#pragma once

// The controls of the main window that the program works with once the window is built.
// Every control's objectName is its name in the window's design, which is how tests and the
// layout tables find it; which is which, where the name does not say:
//   rows[i] (slot i + 1): enabled `Check<n>`, time `hora<n>`, fileName `msg<n>`,
//                         sendNow `envia<n>` ("Enviar agora")
//   quitButton `Command1`, aboutButton `Command2`, saveTimesButton `Command3`,
//   loadTimesButton `Command4`, saveFileNamesButton `Command5`,
//   loadFileNamesButton `Command6`, helpButton `Command7`
//   rfLamp `Shape1`, rfCaption `Label5`, ipLamp `Shape2`, ipCaption `Label8`, clock `Text1`
// Below the design, one line of the program's own: statusLine, the last outcome and what
// comes next.

#include "schedule/ScheduleFile.h"

#include <QString>

#include <array>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace anunciel {

class Lamp;

// One schedule slot's controls.
struct SlotRow
{
    QCheckBox *enabled = nullptr;
    QLineEdit *time = nullptr;
    QLineEdit *fileName = nullptr;
    QPushButton *sendNow = nullptr;
};

struct MainWindowUi
{
    std::array<SlotRow, kSlotCount> rows{};

    QPushButton *quitButton = nullptr;
    QPushButton *aboutButton = nullptr;
    QPushButton *saveTimesButton = nullptr;
    QPushButton *loadTimesButton = nullptr;
    QPushButton *saveFileNamesButton = nullptr;
    QPushButton *loadFileNamesButton = nullptr;
    QPushButton *helpButton = nullptr;

    Lamp *rfLamp = nullptr;
    QLabel *rfCaption = nullptr;
    Lamp *ipLamp = nullptr;
    QLabel *ipCaption = nullptr;
    QLineEdit *clock = nullptr;
    QLabel *statusLine = nullptr;

    // Builds every control on `window` and sets its design properties: fonts, colours,
    // pictures, tab order, fixed size and title-bar buttons, centred on the screen, the
    // keyboard focus waiting on "Encerrar".
    void setupUi(QWidget *window);

    // Shows `text` on the status line, shortened with an ellipsis where it is wider than the
    // line (the whole text stays in its tooltip and in what a screen reader hears).
    void showStatus(const QString &text);

private:
    QString m_statusText; // what the status line was last asked to show
};

// Largest length a QLineEdit accepts: "no limit" for the fields that have none.
inline constexpr int kNoLengthLimit = 2147483647;
// The status line's height in twips (one line of the design's small font with a little
// air): the window is that much taller than its design.
inline constexpr int kStatusLineHeight = 300;
// The first three time fields take five characters at most; the fourth has no limit.
inline constexpr int kTimeFieldLimit = 5;

} // namespace anunciel
