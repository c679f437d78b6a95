#include "HelpWindow.h"

#include "GraphicalButton.h"
#include "WindowDesign.h"

#include <QKeyEvent>
#include <QLabel>
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

HelpWindow::HelpWindow(QWidget *parent) : QDialog(parent)
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

    m_text = place<QTextEdit>(this, "Text1", 240, 960, 4215, 1935);
    m_text->setFont(designFont(kSansFace, 9.75, FontWeight::Bold));
    m_text->setAcceptRichText(false);
    m_text->setTabChangesFocus(true);
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_text->setLineWrapMode(QTextEdit::WidgetWidth);
    m_text->setWordWrapMode(QTextOption::WordWrap);
    // The box keeps paragraphs; the design's CR LF ends each one.
    m_text->setPlainText(QString(kHelpText).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    // Every line centred, those typed later too.
    QTextOption option = m_text->document()->defaultTextOption();
    option.setAlignment(Qt::AlignHCenter);
    m_text->document()->setDefaultTextOption(option);

    auto *ret = place<GraphicalButton>(this, "Command1", 3120, 3000, 1335, 975);
    ret->setText(QStringLiteral("Retornar"));
    ret->setFont(designFont(kSansFace, 9.75, FontWeight::Bold));
    ret->setBackColor(QColor(255, 192, 192));
    ret->setIcon(QIcon(QStringLiteral(":/images/retornar.png")));
    connect(ret, &QPushButton::clicked, this, &HelpWindow::Command1_Click);

    setTabOrderByIndex({{0, ret}, {1, m_text}, {2, label1}});
    ret->setFocus(Qt::OtherFocusReason);
    centreOnScreen(this);
}

void HelpWindow::Command1_Click()
{
    close();
}

void HelpWindow::keyPressEvent(QKeyEvent *event)
{
    // Escape is no way out here: the window closes by "Retornar" or its close box.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace anunciel
