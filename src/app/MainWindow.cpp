#include "MainWindow.h"

#include "SecondTimer.h"
#include "TimeOfDay.h"
#include "link/TransmitSequence.h"
#include "schedule/ExisteArquivo.h"
#include "schedule/ScheduleFile.h"
#include "ui/AboutWindow.h"
#include "ui/HelpWindow.h"
#include "ui/ShapeIndicator.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace anunciel {

namespace {

const QString kFileMissing = QStringLiteral("O arquivo não Existe!");
const QString kSaveFirst = QStringLiteral("Grave as mensagens primeiro!");
const QString kQuitQuestion = QStringLiteral("Tem certeza que quer sair?");

constexpr int kFreeColour = 65280; // green
constexpr int kBusyColour = 255;   // red

} // namespace

MainWindow::MainWindow(const Platform &platform, LinkFactory linkFactory, QWidget *parent)
    : QWidget(parent), m_platform(platform), m_linkFactory(std::move(linkFactory))
{
    m_ui.setupUi(this);

    m_timer1 = new SecondTimer(*m_platform.clock, this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer2 = new QTimer(this);
    m_timer2->setObjectName(QStringLiteral("Timer2"));
    connect(m_timer1, &SecondTimer::timeout, this, &MainWindow::Timer1_Timer);
    connect(m_timer2, &QTimer::timeout, this, &MainWindow::Timer2_Timer);

    for (int i = 0; i < 4; ++i)
        connect(m_ui.envia[i], &QPushButton::clicked, this, [this, i] { envia_Click(i + 1); });
    connect(m_ui.Command1, &QPushButton::clicked, this, &MainWindow::Command1_Click);
    connect(m_ui.Command2, &QPushButton::clicked, this, &MainWindow::Command2_Click);
    connect(m_ui.Command3, &QPushButton::clicked, this, &MainWindow::Command3_Click);
    connect(m_ui.Command4, &QPushButton::clicked, this, &MainWindow::Command4_Click);
    connect(m_ui.Command5, &QPushButton::clicked, this, &MainWindow::Command5_Click);
    connect(m_ui.Command6, &QPushButton::clicked, this, &MainWindow::Command6_Click);
    connect(m_ui.Command7, &QPushButton::clicked, this, &MainWindow::Command7_Click);
}

// Releasing the link is all that ending needs: no call is made on it here.
MainWindow::~MainWindow() = default;

bool MainWindow::Form_Load()
{
    // 1. The link object; without it the program cannot work at all.
    LinkCreation created = m_linkFactory();
    if (!created.link) {
        m_platform.boxes->fatal(nullptr, created.status.code,
                                QString::fromStdString(created.status.description));
        return false;
    }
    Echo = std::move(created.link);

    // 3. Both timers.
    m_timer1->setInterval(1000);
    m_timer1->setEnabled(true);
    m_timer2->setInterval(1000);
    m_timer2->start();

    // 4. Times at midnight; each set fires the field's reaction, as any change does.
    for (QLineEdit *field : horaFields())
        field->setText(QTime(0, 0).toString(QStringLiteral("hh:mm")));

    // 5, 6. The schedule, silently.
    LerDiretivas(kTimesFile, horaFields(), false);
    LerDiretivas(kNamesFile, msgFields(), false);

    // 7. Enable every slot that has a file name, unless its time reads exactly as the clock.
    for (int i = 0; i < 4; ++i) {
        const QString now = m_platform.clock->longTimeText();
        if (!m_ui.msg[i]->text().isEmpty() && m_ui.hora[i]->text() != now)
            setCheckValue(i + 1, 1);
    }
    return true;
}

Fields MainWindow::horaFields() const
{
    return m_ui.hora;
}

Fields MainWindow::msgFields() const
{
    return m_ui.msg;
}

int MainWindow::checkValue(int slot) const
{
    switch (m_ui.Check[slot - 1]->checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    case Qt::Unchecked:
        break;
    }
    return 0;
}

void MainWindow::setCheckValue(int slot, int value)
{
    QCheckBox *box = m_ui.Check[slot - 1];
    if (value == 2)
        box->setTristate(true);
    box->setCheckState(value == 1   ? Qt::Checked
                       : value == 2 ? Qt::PartiallyChecked
                                    : Qt::Unchecked);
}

// ---- Schedule files ----------------------------------------------------------------------

void MainWindow::LerDiretivas(const QString &fileName, const Fields &fields, bool warn)
{
    const ScheduleRead read = readSchedule(fileName);
    switch (read.status) {
    case ScheduleRead::Status::Missing:
        if (warn)
            m_platform.boxes->ok(this, kSaveFirst, programTitle(), MessageBoxes::Icon::NoIcon);
        return;
    case ScheduleRead::Status::Unreadable:
        // The fields keep what they hold: emptying them would lose the operator's schedule.
        if (warn)
            m_platform.boxes->ok(this,
                                 QStringLiteral("Não foi possível ler o arquivo \"%1\": %2.\n"
                                                "As mensagens na tela não foram alteradas.")
                                     .arg(fileName, read.reason),
                                 programTitle(), MessageBoxes::Icon::Warning);
        return;
    case ScheduleRead::Status::Ok:
        break;
    }
    for (int i = 0; i < 4; ++i) {
        fields[i]->setText(QString());
        fields[i]->setText(fields[i]->text() + read.column[i]);
    }
}

void MainWindow::GravarDiretivas(const QString &fileName, const Fields &fields)
{
    ScheduleColumn column;
    for (int i = 0; i < 4; ++i)
        column[i] = fields[i]->text();
    const ScheduleWrite written = writeSchedule(fileName, column);
    if (!written.ok)
        m_platform.boxes->ok(this,
                             QStringLiteral("Não foi possível gravar o arquivo \"%1\": %2.\n"
                                            "O arquivo anterior não foi alterado e as mensagens "
                                            "continuam na tela.")
                                 .arg(fileName, written.reason),
                             programTitle(), MessageBoxes::Icon::Critical);
}

void MainWindow::Command3_Click()
{
    GravarDiretivas(kTimesFile, horaFields());
}

void MainWindow::Command4_Click()
{
    LerDiretivas(kTimesFile, horaFields(), true);
}

void MainWindow::Command5_Click()
{
    GravarDiretivas(kNamesFile, msgFields());
}

void MainWindow::Command6_Click()
{
    LerDiretivas(kNamesFile, msgFields(), true);
}

// ---- Sending -----------------------------------------------------------------------------

void MainWindow::refreshCaminho()
{
    QString folder = m_platform.desktop->programFolder();
    if (!folder.endsWith(QDir::separator()))
        folder += QDir::separator();
    m_caminho = folder;
}

QString MainWindow::slotPath(int index) const
{
    return m_caminho + m_ui.msg[index]->text();
}

// Shows the missing-file box for a slot, unless one is already open for it. False when the
// box was not shown.
bool MainWindow::reportMissingFile(int index)
{
    if (m_missingBoxOpen[index])
        return false;
    m_missingBoxOpen[index] = true;
    m_platform.boxes->ok(this, kFileMissing, programTitle(), MessageBoxes::Icon::NoIcon);
    m_missingBoxOpen[index] = false;
    return true;
}

void MainWindow::transmit(int index)
{
    m_sending = true;
    transmitFile(*Echo, *m_platform.pause, [this, index] { return slotPath(index).toStdString(); });
    m_sending = false;
}

void MainWindow::envia_Click(int slot)
{
    // A send never starts inside another, nor once the program is ending.
    if (m_sending || m_ending)
        return;
    const int index = slot - 1;
    refreshCaminho();
    if (!ExisteArquivo(slotPath(index))) {
        reportMissingFile(index);
        return;
    }
    if (!linkIsFree(*Echo, RfReads::Once))
        return;
    transmit(index);
}

// ---- Scheduler tick ----------------------------------------------------------------------

void MainWindow::Timer1_Timer()
{
    // A tick delivered while a send holds the link (a platform that pumps messages during a
    // call into the node) would start a send inside it; the send's own tick goes on after.
    if (m_sending || m_ending)
        return;
    m_ui.Text1->setText(m_platform.clock->timeText());
    refreshCaminho();
    for (int i = 0; i < 4 && !m_ending; ++i)
        slotTick(i);
}

void MainWindow::slotTick(int index)
{
    if (checkValue(index + 1) != 1)
        return;
    // Its box is still open in an earlier tick: that tick will untick it after OK.
    if (m_missingBoxOpen[index])
        return;
    if (!ExisteArquivo(slotPath(index))) {
        if (reportMissingFile(index) && !m_ending)
            setCheckValue(index + 1, 0);
        return;
    }
    if (!isDue(m_ui.hora[index]->text(), m_platform.clock->now()))
        return;
    if (!linkIsFree(*Echo, RfReads::Twice))
        return;
    transmit(index);
}

// ---- Link status monitor -----------------------------------------------------------------

void MainWindow::showSideState(LinkStatus (LinkObject::*read)(std::int16_t &), QLabel *label,
                               ShapeIndicator *shape, const QString &freeText,
                               const QString &busyText)
{
    std::int16_t value = 0;
    // A read that fails shows the side free.
    const bool busy = ((*Echo).*read)(value).ok() && value != 0;
    label->setText(busy ? busyText : freeText);
    shape->setBackColor(busy ? kBusyColour : kFreeColour);
}

void MainWindow::Timer2_Timer()
{
    if (m_sending || m_ending)
        return;
    showSideState(&LinkObject::RfBusy, m_ui.Label5, m_ui.Shape1, QStringLiteral("RF livre"),
                  QStringLiteral("RF ocupado "));
    showSideState(&LinkObject::IpBusy, m_ui.Label8, m_ui.Shape2, QStringLiteral("IP livre"),
                  QStringLiteral("IP ocupado "));
}

// ---- About and help ----------------------------------------------------------------------

void MainWindow::Command2_Click()
{
    m_platform.desktop->beep();
    // Made anew from its design on every opening and gone when closed: one at a time.
    // The modal wait runs an event loop, so both timers keep ticking meanwhile.
    AboutWindow about(*m_platform.desktop, this);
    about.exec();
}

void MainWindow::Command7_Click()
{
    m_platform.desktop->beep();
    HelpWindow help(this);
    help.exec();
}

// ---- Closing -----------------------------------------------------------------------------

void MainWindow::Command1_Click()
{
    close();
}

void MainWindow::Form_QueryUnload(bool &Cancel)
{
    if (!m_platform.boxes->question(this, kQuitQuestion, m_platform.desktop->executableName()))
        Cancel = true;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    bool cancel = false;
    if (!m_ending)
        Form_QueryUnload(cancel);
    // The run may have been ended while the question was open.
    if (cancel && !m_ending) {
        event->ignore();
        return;
    }
    m_ending = true;
    m_timer1->setEnabled(false);
    m_timer2->stop();
    event->accept();
}

void MainWindow::endWithoutQuestion()
{
    m_ending = true;
    m_timer1->setEnabled(false);
    m_timer2->stop();
    // Leaves every event loop, nested ones (an open message box) included.
    QCoreApplication::exit(0);
}

} // namespace anunciel
