#include "HelpWindow.h"

#include "Accessibility.h"
#include "WindowDesign.h"

#include <QLabel>
#include <QPushButton>
#include <QTextEdit>
#include <QTextOption>

namespace anunciel {

namespace {

// Four lines, each ended by CR LF; the last is a single blank.
const QString kHelpText =
    QStringLiteral("Anunciel foi criado para que \r\n"
                   "proporcione em horários pré - determinado, enviar mensagens de áudio para os "
                   "colegas que estão \r\n"
                   "lincados tanto em RF como IP, para tanto os arquivos deverão ser criados em "
                   "\"8 BITS - MONO - 8000 hz\".\r\n"
                   " \r\n");

} // namespace

HelpWindow::HelpWindow(QWidget *parent) : SecondaryWindow(parent)
{
    setObjectName(QStringLiteral("Ajuda"));
    setWindowTitle(QStringLiteral("Ajuda"));
    // Sizable, with minimize and maximize buttons; a plain window type, as window managers
    // refuse to maximise dialogs.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    resize(twips(4785), twips(4110));
    setFont(defaultDesignFont());
    // Controls keep their places when the window is resized: no layout.

    auto *label1 = designLabel(this, "Label1", QStringLiteral("Anunciel"), 840, 120, 3015, 735,
                               designFont(kSerifFace, 27.75, FontWeight::Bold));
    setColour(label1, QPalette::WindowText, QColor(0, 0, 255));

    auto *text = place<QTextEdit>(this, "Text1", 240, 960, 4215, 1935);
    text->setFont(designFont(kSansFace, 9.75, FontWeight::Bold));
    text->setAcceptRichText(false);
    text->setTabChangesFocus(true);
    text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text->setLineWrapMode(QTextEdit::WidgetWidth);
    text->setWordWrapMode(QTextOption::WordWrap);
    // The box keeps paragraphs; the design's CR LF ends each one.
    text->setPlainText(QString(kHelpText).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    // Every line centred, those typed later too.
    QTextOption option = text->document()->defaultTextOption();
    option.setAlignment(Qt::AlignHCenter);
    text->document()->setDefaultTextOption(option);
    setSpokenText(text, QStringLiteral("Texto da ajuda"));

    QPushButton *ret = addReturnButton("Command1", 3120, 3000, 1335, 975,
                                       designFont(kSansFace, 9.75, FontWeight::Bold),
                                       QStringLiteral("a janela de ajuda"));

    setTabOrderByIndex({{0, ret}, {1, text}, {2, label1}});
    ret->setFocus(Qt::OtherFocusReason);
    centreOnScreen(this);
}

} // namespace anunciel
