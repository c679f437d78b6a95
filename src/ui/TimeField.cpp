#include "TimeField.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QPalette>

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

QString unreadableTimeHint()
{
    return QStringLiteral("Este horário não é válido: a mensagem nunca será enviada.\n"
                          "Digite só os números, sem os dois-pontos: 1430 dá 14:30 "
                          "(os dois-pontos entram sozinhos).");
}

QString timeFieldDescription()
{
    return QStringLiteral("Horário do envio, como 14:30");
}

void markTimeReadable(QLineEdit *field, bool readable)
{
    markTimeField(field, readable ? QString() : unreadableTimeHint());
}

void markTimeField(QLineEdit *field, const QString &problem)
{
    const bool readable = problem.isEmpty();
    // A screen reader hears the mark through the field's description; it is changed only when
    // the mark is, so that typing does not make the reader speak at every key.
    const QString description = readable ? timeFieldDescription() : problem;
    if (field->accessibleDescription() == description)
        return;
    QPalette palette = field->palette();
    palette.setColor(QPalette::Text,
                     readable ? QGuiApplication::palette().color(QPalette::Text) : QColor(Qt::red));
    field->setPalette(palette);
    field->setToolTip(problem);
    field->setAccessibleDescription(description);
}

} // namespace anunciel
