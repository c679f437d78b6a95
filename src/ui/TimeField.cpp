#include "TimeField.h"

#include <QLineEdit>

namespace anunciel {

void appendColonAfterHours(QLineEdit *field)
{
    const QString text = field->text();
    if (text.size() != 2)
        return;
    // setText fires the reaction again; with three characters it does nothing.
    field->setText(text + QLatin1Char(':'));
    field->deselect();
    field->setCursorPosition(int(field->text().size()));
}

void attachTimeFieldReaction(QLineEdit *field)
{
    QObject::connect(field, &QLineEdit::textChanged, field,
                     [field] { appendColonAfterHours(field); });
}

} // namespace anunciel
