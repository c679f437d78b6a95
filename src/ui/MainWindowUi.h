#pragma once

// The controls of the main window `msg`, named as the window's design names them.

#include "WindowDesign.h"

#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace anunciel {

class AniGif;
class ShapeIndicator;

struct MainWindowUi
{
    // Slot N (1..4) is index N - 1.
    std::array<QCheckBox *, 4> Check{};
    std::array<QLineEdit *, 4> hora{};
    std::array<QLineEdit *, 4> msg{};
    std::array<QPushButton *, 4> envia{};

    QWidget *Picture1 = nullptr;
    QLabel *Image1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    AniGif *AniGIF1 = nullptr;
    AniGif *AniGIF2 = nullptr;

    QGroupBox *Frame1 = nullptr;
    QLabel *Label3 = nullptr;

    QPushButton *Command1 = nullptr; // "Encerrar"
    QPushButton *Command2 = nullptr; // "Sobre"
    QPushButton *Command3 = nullptr;
    QPushButton *Command4 = nullptr;
    QPushButton *Command5 = nullptr;
    QPushButton *Command6 = nullptr;
    QPushButton *Command7 = nullptr; // "Ajuda"

    ShapeIndicator *Shape1 = nullptr;
    ShapeIndicator *Shape2 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label8 = nullptr;
    QLineEdit *Text1 = nullptr; // the clock

    // Builds every control on `window` and sets its design properties: fonts, colours,
    // pictures, tab order, fixed size and title-bar buttons, centred on the screen, the
    // keyboard focus waiting on "Encerrar".
    void setupUi(QWidget *window);
};

// Largest length a QLineEdit accepts: "no limit" for the fields that have none.
inline constexpr int kNoLengthLimit = 2147483647;
inline constexpr int kTimeFieldLimit = 5;

} // namespace anunciel
