#include "MainWindowUi.h"

#include "ShapeIndicator.h"
#include "TimeField.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace anunciel {

namespace {

template <typename W>
W *make(QWidget *parent, const char *name, int left, int top, int width, int height)
{
    auto *w = new W(parent);
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(twips(left), twips(top), twips(width), twips(height));
    return w;
}

QLabel *label(QWidget *parent, const char *name, const QString &caption, int left, int top,
              int width, int height)
{
    auto *l = make<QLabel>(parent, name, left, top, width, height);
    l->setText(caption);
    l->setWordWrap(true);
    l->setAutoFillBackground(true);
    return l;
}

QPushButton *button(QWidget *parent, const char *name, const QString &caption, int left, int top,
                    int width, int height)
{
    auto *b = make<QPushButton>(parent, name, left, top, width, height);
    b->setText(caption);
    // As on Windows, Enter on a focused button presses it.
    b->setAutoDefault(true);
    return b;
}

} // namespace

void MainWindowUi::setupUi(QWidget *window)
{
    window->setObjectName(QStringLiteral("msg"));
    window->setWindowTitle(QStringLiteral("Anunciel por Orvand"));
    window->setFixedSize(twips(8895), twips(6735));

    // Title area.
    Picture1 = make<QWidget>(window, "Picture1", 240, 120, 8415, 975);
    Picture1->setAutoFillBackground(true);
    QPalette white = Picture1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Picture1->setPalette(white);
    Image1 = make<QLabel>(Picture1, "Image1", 480, 240, 3135, 525);
    Image1->setScaledContents(true);
    Label1 = label(Picture1, "Label1", QStringLiteral("anunciel"), 2640, 720, 1215, 255);
    Label2 = label(Picture1, "Label2", QStringLiteral("Envia mensagens em arquivos de áudio"),
                   4080, 0, 3375, 855);
    Label2->setAlignment(Qt::AlignCenter);
    AniGIF2 = make<QLabel>(window, "AniGIF2", 240, 120, 615, 735);
    AniGIF1 = make<QLabel>(window, "AniGIF1", 7800, 120, 855, 975);

    // Slots area.
    Frame1 = make<QGroupBox>(window, "Frame1", 240, 1320, 8415, 2535);
    Frame1->setTitle(QStringLiteral("Mensagens (arquivos wav)"));
    Label3 = label(Frame1, "Label3",
                   QStringLiteral(" Horário           Nome do arquivo e extensão"), 480, 360, 3255,
                   255);

    for (int i = 0; i < 4; ++i) {
        const int rowTop = 600 + 480 * i;
        const QByteArray n = QByteArray::number(i + 1);
        Check[i] = make<QCheckBox>(Frame1, ("Check" + n).constData(), 120, 720 + 480 * i, 255,
                                   i == 2 ? 195 : 255);
        Check[i]->setText(QStringLiteral("Check") + QString::fromLatin1(n));
        hora[i] = make<QLineEdit>(Frame1, ("hora" + n).constData(), 480, rowTop, 855, 375);
        hora[i]->setMaxLength(i < 3 ? kTimeFieldLimit : kNoLengthLimit);
        attachTimeFieldReaction(hora[i]);
        msg[i] = make<QLineEdit>(Frame1, ("msg" + n).constData(), 1440, rowTop, 5415, 375);
        msg[i]->setMaxLength(kNoLengthLimit);
        envia[i] = button(Frame1, ("envia" + n).constData(), QStringLiteral("Enviar agora"), 6960,
                          rowTop, 1335, 375);
    }

    // Buttons row.
    Command3 = button(window, "Command3", QStringLiteral("Gravar diretivas dos horários"), 240,
                      3960, 1575, 975);
    Command4 = button(window, "Command4", QStringLiteral("Ler diretiva dos horários"), 1920, 3960,
                      1575, 975);
    Command5 = button(window, "Command5", QStringLiteral("Gravar diretivas dos arquivos"), 3840,
                      3960, 1575, 975);
    Command6 = button(window, "Command6", QStringLiteral("Ler diretivas dos arquivos"), 5520, 3960,
                      1575, 975);
    Command2 = button(window, "Command2", QStringLiteral("Sobre"), 7560, 3960, 1095, 975);

    // Status area.
    Shape1 = make<ShapeIndicator>(window, "Shape1", 240, 5160, 615, 495);
    Label5 = label(window, "Label5", QStringLiteral("sinal RF"), 960, 5280, 2895, 375);
    Shape2 = make<ShapeIndicator>(window, "Shape2", 240, 5760, 615, 495);
    Label8 = label(window, "Label8", QStringLiteral("sinal IP"), 960, 5880, 2895, 375);
    for (QLabel *l : {Label5, Label8}) {
        l->setAlignment(Qt::AlignCenter);
        l->setFrameShape(QFrame::Box);
    }
    Text1 = make<QLineEdit>(window, "Text1", 4200, 5520, 1575, 495);
    Text1->setAlignment(Qt::AlignCenter);
    Command7 = button(window, "Command7", QStringLiteral("Ajuda"), 6120, 5280, 855, 855);
    Command1 = button(window, "Command1", QStringLiteral("Encerrar"), 7200, 5160, 1455, 1095);
    Label4 = label(window, "Label4",
                   QStringLiteral("OBS: Para que a seleção fique ativa, minimize ou deixe aberto "
                                  "esta janela."),
                   600, 6360, 7935, 495);

    // Overlaps: the animations lie over the title panel.
    AniGIF2->raise();
    AniGIF1->raise();
}

} // namespace anunciel
