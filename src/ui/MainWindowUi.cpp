#include "MainWindowUi.h"

#include "AniGif.h"
#include "GraphicalButton.h"
#include "ShapeIndicator.h"
#include "TimeField.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>

#include <utility>
#include <vector>

namespace anunciel {

namespace {

const QColor kDarkBlue(0, 0, 192);
const QColor kBlue(0, 0, 255);
const QColor kDarkRed(128, 0, 0);
const QColor kGreen(0, 255, 0);
const QColor kCyan(0, 255, 255);
const QColor kYellow(255, 255, 0);
const QColor kRed(255, 0, 0);
const QColor kLightRed(255, 192, 192);

QFont sans(qreal points, FontWeight weight = FontWeight::Bold)
{
    return designFont(kSansFace, points, weight);
}

QIcon iconFrom(std::initializer_list<const char *> files)
{
    QIcon icon;
    for (const char *file : files)
        icon.addFile(QString::fromLatin1(file));
    return icon;
}

QPushButton *plainButton(QWidget *parent, const char *name, const QString &caption, int left,
                         int top, int width, int height)
{
    auto *b = place<QPushButton>(parent, name, left, top, width, height);
    b->setText(caption);
    b->setFont(sans(8.25));
    // As on Windows, Enter on a focused button presses it.
    b->setAutoDefault(true);
    return b;
}

GraphicalButton *graphicalButton(QWidget *parent, const char *name, const QString &caption,
                                 int left, int top, int width, int height, const QFont &font,
                                 const QColor &back, const QIcon &icon)
{
    auto *b = place<GraphicalButton>(parent, name, left, top, width, height);
    b->setText(caption);
    b->setFont(font);
    b->setBackColor(back);
    b->setIcon(icon);
    return b;
}

QLineEdit *textBox(QWidget *parent, const char *name, int left, int top, int width, int height,
                   const QFont &font, int maxLength)
{
    auto *t = place<QLineEdit>(parent, name, left, top, width, height);
    t->setFont(font);
    t->setMaxLength(maxLength);
    return t;
}

} // namespace

void MainWindowUi::setupUi(QWidget *window)
{
    window->setObjectName(QStringLiteral("msg"));
    window->setWindowTitle(QStringLiteral("Anunciel por Orvand"));
    // Fixed single border, close box and minimize button, no maximize button.
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    window->setFixedSize(twips(8895), twips(6735));
    window->setWindowIcon(QIcon(QStringLiteral(":/images/anunciel.png")));
    window->setFont(defaultDesignFont());

    // Title area: the white panel, and the two animations over its ends.
    Picture1 = place<QWidget>(window, "Picture1", 240, 120, 8415, 975);
    Picture1->setAutoFillBackground(true);
    setColour(Picture1, QPalette::Window, Qt::white);
    Image1 = place<QLabel>(Picture1, "Image1", 480, 240, 3135, 525);
    Image1->setPixmap(QPixmap(QStringLiteral(":/images/echolink.bmp")));
    Image1->setScaledContents(true);
    Label1 = designLabel(Picture1, "Label1", QStringLiteral("anunciel"), 2640, 720, 1215, 255,
                         sans(8.25));
    Label2 = designLabel(Picture1, "Label2", QStringLiteral("Envia mensagens em arquivos de áudio"),
                         4080, 0, 3375, 855, designFont(kSerifFace, 18, FontWeight::Bold));
    Label2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    for (QLabel *l : {Label1, Label2})
        setColour(l, QPalette::WindowText, kDarkBlue);
    AniGIF2 = place<AniGif>(window, "AniGIF2", 240, 120, 615, 735);
    AniGIF2->setFileName(QStringLiteral(":/images/antena.gif"));
    AniGIF1 = place<AniGif>(window, "AniGIF1", 7800, 120, 855, 975);
    AniGIF1->setFileName(QStringLiteral(":/images/medidor.gif"));

    // Slots area.
    Frame1 = place<QGroupBox>(window, "Frame1", 240, 1320, 8415, 2535);
    Frame1->setTitle(QStringLiteral("Mensagens (arquivos wav)"));
    Frame1->setFont(sans(8.25));
    setColour(Frame1, QPalette::WindowText, kBlue);
    Label3 = designLabel(Frame1, "Label3",
                         QStringLiteral(" Horário           Nome do arquivo e extensão"), 480, 360,
                         3255, 255, defaultDesignFont());

    for (int i = 0; i < 4; ++i) {
        const int rowTop = 600 + 480 * i;
        const QByteArray n = QByteArray::number(i + 1);
        // The caption is there, as designed; the box is too narrow to show it.
        Check[i] = place<QCheckBox>(Frame1, ("Check" + n).constData(), 120, 720 + 480 * i, 255,
                                    i == 2 ? 195 : 255);
        Check[i]->setText(QStringLiteral("Check") + QString::fromLatin1(n));
        Check[i]->setFont(defaultDesignFont());
        hora[i] = textBox(Frame1, ("hora" + n).constData(), 480, rowTop, 855, 375, sans(12),
                          i < 3 ? kTimeFieldLimit : kNoLengthLimit);
        attachTimeFieldReaction(hora[i]);
        msg[i] = textBox(Frame1, ("msg" + n).constData(), 1440, rowTop, 5415, 375, sans(12),
                         kNoLengthLimit);
        envia[i] = plainButton(Frame1, ("envia" + n).constData(), QStringLiteral("Enviar agora"),
                               6960, rowTop, 1335, 375);
    }

    // Buttons row.
    const QIcon save = iconFrom({":/images/salvar-16.png", ":/images/salvar.png"});
    const QIcon load = iconFrom({":/images/ler-16.png", ":/images/ler.png"});
    Command3 = graphicalButton(window, "Command3", QStringLiteral("Gravar diretivas dos horários"),
                               240, 3960, 1575, 975, sans(8.25), kGreen, save);
    Command4 = graphicalButton(window, "Command4", QStringLiteral("Ler diretiva dos horários"),
                               1920, 3960, 1575, 975, sans(8.25), kCyan, load);
    Command5 = graphicalButton(window, "Command5", QStringLiteral("Gravar diretivas dos arquivos"),
                               3840, 3960, 1575, 975, sans(8.25), kGreen, save);
    Command6 = graphicalButton(window, "Command6", QStringLiteral("Ler diretivas dos arquivos"),
                               5520, 3960, 1575, 975, sans(8.25), kCyan, load);
    Command2 = graphicalButton(window, "Command2", QStringLiteral("Sobre"), 7560, 3960, 1095, 975,
                               sans(8.25), kYellow, QIcon(QStringLiteral(":/images/sobre.png")));

    // Status area.
    Shape1 = place<ShapeIndicator>(window, "Shape1", 240, 5160, 615, 495);
    Label5 =
        designLabel(window, "Label5", QStringLiteral("sinal RF"), 960, 5280, 2895, 375, sans(12));
    Shape2 = place<ShapeIndicator>(window, "Shape2", 240, 5760, 615, 495);
    Label8 =
        designLabel(window, "Label8", QStringLiteral("sinal IP"), 960, 5880, 2895, 375, sans(12));
    for (QLabel *l : {Label5, Label8}) {
        l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        l->setFrameStyle(QFrame::Box | QFrame::Plain);
        l->setLineWidth(1);
    }
    Text1 = textBox(window, "Text1", 4200, 5520, 1575, 495,
                    designFont(kSerifFace, 18, FontWeight::Regular), kNoLengthLimit);
    Text1->setAlignment(Qt::AlignCenter);
    setColour(Text1, QPalette::Base, Qt::black);
    setColour(Text1, QPalette::Text, kGreen);
    Command7 = graphicalButton(window, "Command7", QStringLiteral("Ajuda"), 6120, 5280, 855, 855,
                               sans(8.25), kLightRed, QIcon(QStringLiteral(":/images/ajuda.png")));
    Command1 =
        graphicalButton(window, "Command1", QStringLiteral("Encerrar"), 7200, 5160, 1455, 1095,
                        sans(12), kRed, QIcon(QStringLiteral(":/images/encerrar.png")));
    Label4 = designLabel(
        window, "Label4",
        QStringLiteral(
            "OBS: Para que a seleção fique ativa, minimize ou deixe aberto esta janela."),
        600, 6360, 7935, 495, sans(9.75));
    setColour(Label4, QPalette::WindowText, kDarkRed);

    // Drawing order where controls overlap: the animations over the title panel.
    AniGIF2->raise();
    AniGIF1->raise();

    // Keyboard order by tab index, over the controls that take the focus (labels, the
    // frame, the panel and the animations hold an index but never take it).
    std::vector<std::pair<int, QWidget *>> byIndex = {
        {0, Command1},  {1, Label4},    {2, Command2},  {3, Text1},     {4, Frame1},
        {5, envia[0]},  {6, Label5},    {7, Label8},    {8, hora[0]},   {9, msg[0]},
        {10, Command3}, {11, Command4}, {12, Command5}, {13, Command6}, {14, Check[0]},
        {15, AniGIF1},  {16, AniGIF2},  {17, Picture1}, {18, Label2},   {19, Label1},
        {20, Check[1]}, {21, hora[1]},  {22, msg[1]},   {23, envia[1]}, {24, Check[2]},
        {25, hora[2]},  {26, msg[2]},   {27, envia[2]}, {28, Check[3]}, {29, hora[3]},
        {30, msg[3]},   {31, envia[3]}, {32, Label3},   {33, Command7},
    };
    setTabOrderByIndex(byIndex);

    // Tab index 0 has the focus when the window first takes it.
    Command1->setFocus(Qt::OtherFocusReason);
    centreOnScreen(window);
}

} // namespace anunciel
