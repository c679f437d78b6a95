#include "AboutWindow.h"

#include "Accessibility.h"
#include "GraphicalButton.h"
#include "WindowDesign.h"
#include "platform/Platform.h"

#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QUrl>

namespace anunciel {

namespace {

// The author, the business and the server are made up; .example names reach nobody.
const QString kAuthor = QStringLiteral("Fulano de Tal");
const QString kBusiness = QStringLiteral("Orvsoft");
const QString kMail = QStringLiteral("orvand@orvand.example");
const QString kHost = QStringLiteral("orvand.example");

QFont sansBold(qreal points)
{
    return designFont(kSansFace, points, FontWeight::Bold);
}

} // namespace

QString AboutWindow::pageAddress()
{
    return QStringLiteral("http://%1:2000/").arg(kHost);
}

AboutWindow::AboutWindow(Desktop &desktop, QWidget *parent)
    : SecondaryWindow(parent), m_desktop(desktop)
{
    setObjectName(QStringLiteral("sobre_adicional"));
    setWindowTitle(QStringLiteral("Sobre"));
    // Fixed single border, close box only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(twips(4725), twips(5760));
    setWindowIcon(designIcon({QStringLiteral(":/images/anunciel.png")}));
    setFont(defaultDesignFont());

    auto *image = place<QLabel>(this, "Image1", 120, 120, 960, 960);
    image->setPixmap(designPicture(QStringLiteral(":/images/torre.png"), devicePixelRatio()));
    image->setScaledContents(true);
    setSpokenText(image, QStringLiteral("Torre de rádio"));

    auto *label1 = designLabel(this, "Label1", QStringLiteral("ANUNCIEL"), 1200, 120, 3375, 615,
                               designFont(kSerifFace, 26.25, FontWeight::Bold));
    // The nearest the toolkit has to the active title bar's colour.
    setColour(label1, QPalette::WindowText,
              QGuiApplication::palette().color(QPalette::Active, QPalette::Highlight));
    auto *label4 = designLabel(this, "Label4", QStringLiteral("Versão 1  Revisão 1  -  7/2008"),
                               1440, 840, 3015, 375, sansBold(8.25));
    designLine(this, "Line1", 120, 1200, 4560);
    auto *label2 = designLabel(this, "Label2", QStringLiteral("Uma criação de ") + kAuthor, 240,
                               1440, 4095, 495, sansBold(13.5));
    setColour(label2, QPalette::WindowText, QColor(0, 128, 0));
    auto *label5 = designLabel(this, "Label5", QStringLiteral("Orvand"), 1440, 1800, 1455, 615,
                               designFont(kSerifFace, 24, FontWeight::Bold));
    // Windows' standard desktop colour; the toolkit knows no desktop colour.
    setColour(label5, QPalette::WindowText, QColor(0, 128, 128));
    // At 24 pt bold the name is wider than its designed box (in Times New Roman as in its
    // metric twin); widened rightwards, over empty space, so that it is not cut.
    label5->resize(
        qMax(label5->width(), label5->fontMetrics().horizontalAdvance(label5->text()) + 2),
        label5->height());
    auto *label3 = designLabel(this, "Label3",
                               kBusiness + QStringLiteral(" Análise e Desenvolvimento de Sistemas"),
                               120, 2520, 4455, 375, sansBold(8.25));
    designLine(this, "Line2", 120, 2880, 4560);
    auto *label6 = designLabel(
        this, "Label6",
        QStringLiteral("Este programa é gratuito. Se ele lhe for útil, ajude a manter o Servidor "
                       "Orvand no ar com uma doação de qualquer valor. Contato: ") +
            kMail,
        120, 3000, 4455, 975, defaultDesignFont());
    label6->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    designLine(this, "Line3", 120, 4080, 4560);

    auto *visit = place<GraphicalButton>(this, "Command1", 240, 4320, 2295, 975);
    visit->setText(QStringLiteral("Visitar Servidor  Orvand"));
    visit->setFont(sansBold(8.25));
    visit->setBackColor(QColor(192, 255, 255));
    visit->setIcon(designIcon({QStringLiteral(":/images/visitar.png")}));
    // One blank between the words: the caption's two are for the eye.
    setSpokenText(visit, QStringLiteral("Visitar Servidor Orvand"),
                  QStringLiteral("Abre a página do Servidor Orvand no navegador"));
    QPushButton *ret = addReturnButton("ret", 3000, 4320, 1455, 975, sansBold(8.25),
                                       QStringLiteral("a janela Sobre"));
    connect(visit, &QPushButton::clicked, this, &AboutWindow::openAuthorPage);

    setTabOrderByIndex({{0, label3},
                        {1, label2},
                        {2, label1},
                        {3, label5},
                        {4, label4},
                        {5, ret},
                        {6, label6},
                        {7, visit}});
    // The lowest tab index that takes the focus.
    ret->setFocus(Qt::OtherFocusReason);
    centreOnScreen(this);
}

void AboutWindow::openAuthorPage()
{
    // Whether a browser opened is not looked at: the button then simply has no effect.
    m_desktop.openUrl(QUrl(pageAddress()));
}

} // namespace anunciel
