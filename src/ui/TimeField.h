#pragma once

class QLineEdit;
class QString;

namespace anunciel {

// The time fields' own reaction: a text that becomes exactly two characters long gets a
// colon appended, caret at the end, so that typing 1430 gives 14:30. It runs on every
// change, typed or set by the program, and looks at nothing else.
void appendColonAfterHours(QLineEdit *field);

// Connects that reaction to every change of `field`.
void attachTimeFieldReaction(QLineEdit *field);

// Marks a time field whose text the scheduler cannot read (its slot would never be sent):
// red text, and a tooltip and spoken description that say how to type a time. Nothing else
// about the field changes.
void markTimeReadable(QLineEdit *field, bool readable);
// The same mark for any reason the slot will not go out: `problem` is the tooltip and the
// spoken description; empty for a field with nothing wrong.
void markTimeField(QLineEdit *field, const QString &problem);

// The tooltip and description of a marked field, and the description of one that is not.
QString unreadableTimeHint();
QString timeFieldDescription();

} // namespace anunciel
