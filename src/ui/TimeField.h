#pragma once

class QLineEdit;

namespace anunciel {

// The time fields' own reaction: a text that becomes exactly two characters long gets a
// colon appended, caret at the end. It runs on every change, typed or set by the program.
void hora_Change(QLineEdit *field);

// Connects the reaction to every change of `field`.
void attachTimeFieldReaction(QLineEdit *field);

} // namespace anunciel
