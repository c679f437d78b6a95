#pragma once

// What a screen reader hears of the windows: Orca through AT-SPI on Linux, NVDA and JAWS
// through UI Automation on Windows, both fed by Qt's accessibility layer. Every control is
// named in Portuguese by what it is and which slot it belongs to; decorations that only
// repeat what a caption says, or only move, are kept out; and what changes by itself is told
// only when it really changed.

#include "core/SideState.h"

#include <QString>

class QLabel;
class QLineEdit;
class QWidget;

namespace anunciel {

// The two sides of the node as a screen reader names their indicators.
inline const QString kRadioSide = QStringLiteral("Rádio (RF)");
inline const QString kInternetSide = QStringLiteral("Internet (IP)");

// Makes the program's own controls known to Qt's accessibility layer: the lamps, the
// animations and the separator lines are decorations a screen reader skips. Call before the
// first of those controls is made; calling it again does nothing.
void installAccessibleInterfaces();

// Sets what a screen reader says of `control`: its name and, where there is more to tell,
// a description. The visible caption stays as it is.
void setSpokenText(QWidget *control, const QString &name, const QString &description = {});

// Gives an indicator's caption its spoken name, "<side>: livre", "<side>: ocupado"
// ("ocupada" for the internet) or "<side>: sem leitura, estado desconhecido". The window
// repaints the indicators every second; only a change of state changes the name, so only a
// change reaches the screen reader.
void showSpokenSideState(QLabel *caption, const QString &side, SideState state);

// The status line under the window: its spoken name is "Situação: " and what it shows, set
// (and so told to a screen reader) only when the text changed.
void showSpokenStatus(QLabel *line, const QString &text);
inline const QString kStatusName = QStringLiteral("Situação");

// Sets the text of a field that changes by itself every second (the clock) without telling
// the screen reader, unless the field has the keyboard focus: a reader told of every tick
// would talk over everything else. What the field shows, and what a reader finds when it
// reads the field, is the same either way.
void setTextQuietly(QLineEdit *field, const QString &text);

} // namespace anunciel
