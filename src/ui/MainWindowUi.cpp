#include "MainWindowUi.h"

#include "Accessibility.h"
#include "AniGif.h"
#include "GraphicalButton.h"
#include "Lamp.h"
#include "TimeField.h"
#include "WindowDesign.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>

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
    installAccessibleInterfaces();
    window->setObjectName(QStringLiteral("msg"));
    window->setWindowTitle(QStringLiteral("Anunciel por Orvand"));
    // Fixed single border, close box and minimize button, no maximize button.
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    // The design's client area, and the status line below it.
    window->setFixedSize(twips(8895), twips(6735 + kStatusLineHeight));
    window->setWindowIcon(designIcon({QStringLiteral(":/images/anunciel.png")}));
    window->setFont(defaultDesignFont());

    // Title area: the white panel, and the two animations over its ends.
    auto *panel = place<QWidget>(window, "Picture1", 240, 120, 8415, 975);
    panel->setAutoFillBackground(true);
    setColour(panel, QPalette::Window, Qt::white);
    auto *banner = place<QLabel>(panel, "Image1", 480, 240, 3135, 525);
    banner->setPixmap(
        designPicture(QStringLiteral(":/images/echolink.bmp"), window->devicePixelRatio()));
    banner->setScaledContents(true);
    // The word the picture shows.
    setSpokenText(banner, QStringLiteral("EchoLink"));
    auto *name =
        designLabel(panel, "Label1", QStringLiteral("anunciel"), 2640, 720, 1215, 255, sans(8.25));
    auto *motto =
        designLabel(panel, "Label2", QStringLiteral("Envia mensagens em arquivos de áudio"), 4080,
                    0, 3375, 855, designFont(kSerifFace, 18, FontWeight::Bold));
    motto->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    for (QLabel *l : {name, motto})
        setColour(l, QPalette::WindowText, kDarkBlue);
    auto *tower = place<AniGif>(window, "AniGIF2", 240, 120, 615, 735);
    tower->setFileName(QStringLiteral(":/images/antena.gif"));
    auto *meter = place<AniGif>(window, "AniGIF1", 7800, 120, 855, 975);
    meter->setFileName(QStringLiteral(":/images/medidor.gif"));

    // Slots area.
    auto *frame = place<QGroupBox>(window, "Frame1", 240, 1320, 8415, 2535);
    frame->setTitle(QStringLiteral("Mensagens (arquivos wav)"));
    frame->setFont(sans(8.25));
    setColour(frame, QPalette::WindowText, kBlue);
    auto *header = designLabel(frame, "Label3",
                               QStringLiteral(" Horário           Nome do arquivo e extensão"), 480,
                               360, 3255, 255, defaultDesignFont());

    for (int i = 0; i < kSlotCount; ++i) {
        SlotRow &row = rows[i];
        const int rowTop = 600 + 480 * i;
        const QByteArray n = QByteArray::number(i + 1);
        // The caption is there, as designed; the box is too narrow to show it.
        row.enabled = place<QCheckBox>(frame, ("Check" + n).constData(), 120, 720 + 480 * i, 255,
                                       i == 2 ? 195 : 255);
        row.enabled->setText(QStringLiteral("Check") + QString::fromLatin1(n));
        row.enabled->setFont(defaultDesignFont());
        row.time = textBox(frame, ("hora" + n).constData(), 480, rowTop, 855, 375, sans(12),
                           i < 3 ? kTimeFieldLimit : kNoLengthLimit);
        attachTimeFieldReaction(row.time);
        row.fileName = textBox(frame, ("msg" + n).constData(), 1440, rowTop, 5415, 375, sans(12),
                               kNoLengthLimit);
        row.sendNow = plainButton(frame, ("envia" + n).constData(), QStringLiteral("Enviar agora"),
                                  6960, rowTop, 1335, 375);

        // Read out of the frame, a field needs its slot in its name: "Mensagem 1: horário".
        const QString slot = QStringLiteral("Mensagem %1").arg(i + 1);
        setSpokenText(row.enabled, slot + QStringLiteral(": ativa"),
                      QStringLiteral("Marcada, a mensagem é enviada no seu horário"));
        setSpokenText(row.time, slot + QStringLiteral(": horário"), timeFieldDescription());
        setSpokenText(row.fileName, slot + QStringLiteral(": arquivo"),
                      QStringLiteral("Nome do arquivo WAV na pasta do programa"));
        setSpokenText(row.sendNow, slot + QStringLiteral(": enviar agora"),
                      QStringLiteral("Envia o arquivo desta mensagem agora"));
    }

    // Buttons row.
    const QIcon save = designIcon(
        {QStringLiteral(":/images/salvar-16.png"), QStringLiteral(":/images/salvar.png")});
    const QIcon load =
        designIcon({QStringLiteral(":/images/ler-16.png"), QStringLiteral(":/images/ler.png")});
    saveTimesButton =
        graphicalButton(window, "Command3", QStringLiteral("Gravar diretivas dos horários"), 240,
                        3960, 1575, 975, sans(8.25), kGreen, save);
    loadTimesButton =
        graphicalButton(window, "Command4", QStringLiteral("Ler diretiva dos horários"), 1920, 3960,
                        1575, 975, sans(8.25), kCyan, load);
    saveFileNamesButton =
        graphicalButton(window, "Command5", QStringLiteral("Gravar diretivas dos arquivos"), 3840,
                        3960, 1575, 975, sans(8.25), kGreen, save);
    loadFileNamesButton =
        graphicalButton(window, "Command6", QStringLiteral("Ler diretivas dos arquivos"), 5520,
                        3960, 1575, 975, sans(8.25), kCyan, load);
    aboutButton =
        graphicalButton(window, "Command2", QStringLiteral("Sobre"), 7560, 3960, 1095, 975,
                        sans(8.25), kYellow, designIcon({QStringLiteral(":/images/sobre.png")}));
    // The captions name the buttons; the description says where the schedule goes.
    setSpokenText(saveTimesButton, saveTimesButton->text(),
                  QStringLiteral("Grava os quatro horários no arquivo hora_msg.txt"));
    setSpokenText(loadTimesButton, loadTimesButton->text(),
                  QStringLiteral("Lê os quatro horários do arquivo hora_msg.txt"));
    setSpokenText(saveFileNamesButton, saveFileNamesButton->text(),
                  QStringLiteral("Grava os quatro nomes de arquivo no arquivo mensagem_msg.txt"));
    setSpokenText(loadFileNamesButton, loadFileNamesButton->text(),
                  QStringLiteral("Lê os quatro nomes de arquivo do arquivo mensagem_msg.txt"));
    setSpokenText(aboutButton, aboutButton->text(), QStringLiteral("Abre a janela Sobre"));

    // Status area.
    rfLamp = place<Lamp>(window, "Shape1", 240, 5160, 615, 495);
    rfCaption =
        designLabel(window, "Label5", QStringLiteral("sinal RF"), 960, 5280, 2895, 375, sans(12));
    ipLamp = place<Lamp>(window, "Shape2", 240, 5760, 615, 495);
    ipCaption =
        designLabel(window, "Label8", QStringLiteral("sinal IP"), 960, 5880, 2895, 375, sans(12));
    for (QLabel *l : {rfCaption, ipCaption}) {
        l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        l->setFrameStyle(QFrame::Box | QFrame::Plain);
        l->setLineWidth(1);
    }
    // The caption is what a reader reads of an indicator; its name gains the state ("Rádio
    // (RF): livre") at the first reading of the link. The lamp beside it says the same in
    // colour, and is skipped.
    setSpokenText(rfCaption, kRadioSide,
                  QStringLiteral("Lado do rádio: livre ou ocupado; a luz ao lado fica verde "
                                 "quando livre e vermelha quando ocupado"));
    setSpokenText(ipCaption, kInternetSide,
                  QStringLiteral("Lado da internet: livre ou ocupado; a luz ao lado fica verde "
                                 "quando livre e vermelha quando ocupado"));
    clock = textBox(window, "Text1", 4200, 5520, 1575, 495,
                    designFont(kSerifFace, 18, FontWeight::Regular), kNoLengthLimit);
    clock->setAlignment(Qt::AlignCenter);
    setColour(clock, QPalette::Base, Qt::black);
    setColour(clock, QPalette::Text, kGreen);
    setSpokenText(clock, QStringLiteral("Relógio"), QStringLiteral("Hora atual"));
    helpButton =
        graphicalButton(window, "Command7", QStringLiteral("Ajuda"), 6120, 5280, 855, 855,
                        sans(8.25), kLightRed, designIcon({QStringLiteral(":/images/ajuda.png")}));
    setSpokenText(helpButton, helpButton->text(), QStringLiteral("Abre a janela de ajuda"));
    quitButton =
        graphicalButton(window, "Command1", QStringLiteral("Encerrar"), 7200, 5160, 1455, 1095,
                        sans(12), kRed, designIcon({QStringLiteral(":/images/encerrar.png")}));
    setSpokenText(quitButton, quitButton->text(), QStringLiteral("Encerra o programa"));
    auto *note = designLabel(
        window, "Label4",
        QStringLiteral(
            "OBS: Para que a seleção fique ativa, minimize ou deixe aberto esta janela."),
        600, 6360, 7935, 495, sans(9.75));
    setColour(note, QPalette::WindowText, kDarkRed);

    // The program's own line under the design. The note's box reaches a few pixels past
    // the design's client area, holding nothing there: the line is drawn over it.
    statusLine = designLabel(window, "statusLine", QString(), 240, 6735, 8415, kStatusLineHeight,
                             defaultDesignFont());
    statusLine->setWordWrap(false);
    statusLine->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setColour(statusLine, QPalette::WindowText, kDarkBlue);
    setSpokenText(statusLine, kStatusName,
                  QStringLiteral("O último envio e a próxima mensagem marcada"));

    // Drawing order where controls overlap: the animations over the title panel, the
    // status line over the note's empty edge.
    tower->raise();
    meter->raise();
    statusLine->raise();

    // Keyboard order by tab index, over the controls that take the focus (labels, the
    // frame, the panel and the animations hold an index but never take it).
    const auto row = [this](int i) { return rows[i]; };
    setTabOrderByIndex({
        {0, quitButton},
        {1, note},
        {2, aboutButton},
        {3, clock},
        {4, frame},
        {5, row(0).sendNow},
        {6, rfCaption},
        {7, ipCaption},
        {8, row(0).time},
        {9, row(0).fileName},
        {10, saveTimesButton},
        {11, loadTimesButton},
        {12, saveFileNamesButton},
        {13, loadFileNamesButton},
        {14, row(0).enabled},
        {15, meter},
        {16, tower},
        {17, panel},
        {18, motto},
        {19, name},
        {20, row(1).enabled},
        {21, row(1).time},
        {22, row(1).fileName},
        {23, row(1).sendNow},
        {24, row(2).enabled},
        {25, row(2).time},
        {26, row(2).fileName},
        {27, row(2).sendNow},
        {28, row(3).enabled},
        {29, row(3).time},
        {30, row(3).fileName},
        {31, row(3).sendNow},
        {32, header},
        {33, helpButton},
        {34, statusLine},
    });

    // Tab index 0 has the focus when the window first takes it.
    quitButton->setFocus(Qt::OtherFocusReason);
    centreOnScreen(window);
}

void MainWindowUi::showStatus(const QString &text)
{
    // Asked every second, changed rarely: an idle program must not lay the text out anew.
    if (text == m_statusText)
        return;
    m_statusText = text;
    const QString shown =
        statusLine->fontMetrics().elidedText(text, Qt::ElideRight, statusLine->width());
    if (statusLine->text() != shown)
        statusLine->setText(shown);
    statusLine->setToolTip(shown == text ? QString() : text);
    showSpokenStatus(statusLine, text);
}

} // namespace anunciel
