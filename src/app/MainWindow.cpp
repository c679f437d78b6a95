#include "MainWindow.h"

#include "SecondTimer.h"
#include "TimeOfDay.h"
#include "link/StationSettings.h"
#include "schedule/ExisteArquivo.h"
#include "schedule/ScheduleFile.h"
#include "ui/AboutWindow.h"
#include "ui/Accessibility.h"
#include "ui/HelpWindow.h"
#include "ui/Lamp.h"
#include "ui/TimeField.h"

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

const QColor kFreeColour(0, 255, 0);
const QColor kBusyColour(255, 0, 0);

constexpr int kTimerIntervalMs = 1000;

} // namespace

MainWindow::MainWindow(const Platform &platform, LinkFactory linkFactory, QWidget *parent)
    : QWidget(parent), m_platform(platform), m_linkFactory(std::move(linkFactory))
{
    m_ui.setupUi(this);

    m_secondTimer = new SecondTimer(*m_platform.clock, this);
    m_secondTimer->setObjectName(QStringLiteral("Timer1"));
    m_linkStateTimer = new QTimer(this);
    m_linkStateTimer->setObjectName(QStringLiteral("Timer2"));
    connect(m_secondTimer, &SecondTimer::timeout, this, &MainWindow::onSecond);
    connect(m_linkStateTimer, &QTimer::timeout, this, &MainWindow::showLinkState);

    for (int slot = 0; slot < kSlotCount; ++slot) {
        connect(m_ui.rows[slot].sendNow, &QPushButton::clicked, this,
                [this, slot] { sendNow(slot); });
        // A time the scheduler cannot read stands out, so that a slot never fires unnoticed.
        QLineEdit *time = m_ui.rows[slot].time;
        const auto mark = [time] {
            markTimeReadable(time, readTimeOfDay(time->text()).has_value());
        };
        connect(time, &QLineEdit::textChanged, this, mark);
        mark();
    }
    connect(m_ui.quitButton, &QPushButton::clicked, this, &QWidget::close);
    connect(m_ui.aboutButton, &QPushButton::clicked, this, &MainWindow::showAbout);
    connect(m_ui.saveTimesButton, &QPushButton::clicked, this, &MainWindow::saveTimes);
    connect(m_ui.loadTimesButton, &QPushButton::clicked, this, &MainWindow::loadTimes);
    connect(m_ui.saveFileNamesButton, &QPushButton::clicked, this, &MainWindow::saveFileNames);
    connect(m_ui.loadFileNamesButton, &QPushButton::clicked, this, &MainWindow::loadFileNames);
    connect(m_ui.helpButton, &QPushButton::clicked, this, &MainWindow::showHelp);
}

// Releasing the link is all that ending needs: no call is made on it here.
MainWindow::~MainWindow() = default;

bool MainWindow::start()
{
    // Read on both systems, before the link: a setting that cannot be understood stops the
    // program with a box that says which.
    const StationSettingsRead settings = readStationSettings();
    if (!settings.status.ok()) {
        m_platform.boxes->fatal(nullptr, settings.status.code,
                                QString::fromStdString(settings.status.description));
        return false;
    }
    m_window = SendingWindow(settings.settings.sending);
    m_identification = Identification(settings.settings.sending);

    // Without the link the program cannot work at all.
    LinkCreation created = m_linkFactory();
    if (!created.link) {
        m_platform.boxes->fatal(nullptr, created.status.code,
                                QString::fromStdString(created.status.description));
        return false;
    }
    m_link = std::move(created.link);

    m_secondTimer->setInterval(kTimerIntervalMs);
    m_secondTimer->start();
    m_linkStateTimer->setInterval(kTimerIntervalMs);
    m_linkStateTimer->start();

    // Times at midnight until the file says otherwise; each set fires the field's
    // reaction, as any change does.
    for (QLineEdit *field : timeFields())
        field->setText(QTime(0, 0).toString(QStringLiteral("hh:mm")));
    loadColumn(kTimesFile, timeFields(), IfMissing::StaySilent);
    loadColumn(kNamesFile, fileNameFields(), IfMissing::StaySilent);

    // Every slot that has a file name is enabled, unless its time reads exactly as the
    // clock does at that moment (read anew for each slot).
    for (const SlotRow &row : m_ui.rows) {
        const QString now = m_platform.clock->longTimeText();
        if (!row.fileName->text().isEmpty() && row.time->text() != now)
            row.enabled->setCheckState(Qt::Checked);
    }
    return true;
}

// ---- Schedule files ----------------------------------------------------------------------

ColumnFields MainWindow::timeFields() const
{
    ColumnFields fields;
    for (int slot = 0; slot < kSlotCount; ++slot)
        fields[slot] = m_ui.rows[slot].time;
    return fields;
}

ColumnFields MainWindow::fileNameFields() const
{
    ColumnFields fields;
    for (int slot = 0; slot < kSlotCount; ++slot)
        fields[slot] = m_ui.rows[slot].fileName;
    return fields;
}

void MainWindow::loadColumn(const QString &fileName, const ColumnFields &fields,
                            IfMissing ifMissing)
{
    const ScheduleRead read = readSchedule(fileName);
    switch (read.status) {
    case ScheduleRead::Status::Missing:
        if (ifMissing == IfMissing::Warn)
            m_platform.boxes->ok(this, kSaveFirst, programTitle(), MessageBoxes::Icon::NoIcon);
        return;
    case ScheduleRead::Status::Unreadable:
        // The fields keep what they hold: emptying them would lose the operator's schedule.
        if (ifMissing == IfMissing::Warn)
            m_platform.boxes->ok(this,
                                 QStringLiteral("Não foi possível ler o arquivo \"%1\": %2.\n"
                                                "As mensagens na tela não foram alteradas.")
                                     .arg(fileName, read.reason),
                                 programTitle(), MessageBoxes::Icon::Warning);
        return;
    case ScheduleRead::Status::Ok:
        break;
    }
    // Emptied first, then set: a two-character time gets its colon from the field's own
    // reaction, as when typed.
    for (int slot = 0; slot < kSlotCount; ++slot) {
        fields[slot]->setText(QString());
        fields[slot]->setText(fields[slot]->text() + read.column[slot]);
    }
}

void MainWindow::saveColumn(const QString &fileName, const ColumnFields &fields)
{
    ScheduleColumn column;
    for (int slot = 0; slot < kSlotCount; ++slot)
        column[slot] = fields[slot]->text();
    const ScheduleWrite written = writeSchedule(fileName, column);
    if (!written.ok)
        m_platform.boxes->ok(this,
                             QStringLiteral("Não foi possível gravar o arquivo \"%1\": %2.\n"
                                            "O arquivo anterior não foi alterado e as mensagens "
                                            "continuam na tela.")
                                 .arg(fileName, written.reason),
                             programTitle(), MessageBoxes::Icon::Critical);
}

void MainWindow::saveTimes()
{
    saveColumn(kTimesFile, timeFields());
}

void MainWindow::loadTimes()
{
    loadColumn(kTimesFile, timeFields(), IfMissing::Warn);
}

void MainWindow::saveFileNames()
{
    saveColumn(kNamesFile, fileNameFields());
}

void MainWindow::loadFileNames()
{
    loadColumn(kNamesFile, fileNameFields(), IfMissing::Warn);
}

// ---- Sending -----------------------------------------------------------------------------

void MainWindow::refreshCaminho()
{
    QString folder = m_platform.desktop->programFolder();
    if (!folder.endsWith(QDir::separator()))
        folder += QDir::separator();
    m_caminho = folder;
}

QString MainWindow::slotPath(int slot) const
{
    return m_caminho + m_ui.rows[slot].fileName->text();
}

// Shows the missing-file box for a slot, unless one is already open for it. False when the
// box was not shown.
bool MainWindow::reportMissingFile(int slot)
{
    if (m_missingBoxOpen[slot])
        return false;
    m_missingBoxOpen[slot] = true;
    m_platform.boxes->ok(this, kFileMissing, programTitle(), MessageBoxes::Icon::NoIcon);
    m_missingBoxOpen[slot] = false;
    return true;
}

// One line in the station's log for each send and each due slot that did not go out, so
// that the operator can tell afterwards what went on the air.
void MainWindow::logSend(const QString &at, int slot, SendKind kind, const QString &outcome)
{
    const QString how = kind == SendKind::Scheduled
                            ? QStringLiteral("horário %1").arg(m_ui.rows[slot].time->text())
                            : QStringLiteral("enviar agora");
    m_platform.log->line(QStringLiteral("%1 mensagem %2 (%3) \"%4\": %5")
                             .arg(at)
                             .arg(slot + 1)
                             .arg(how, slotPath(slot), outcome));
}

bool MainWindow::sendIfFree(int slot, SendKind kind, RfReads rfReads)
{
    const QString at = m_platform.clock->timeText();
    switch (readChannel(rfReads)) {
    case LinkState::RfBusy:
        logSend(at, slot, kind, QStringLiteral("não enviada: rádio (RF) ocupado"));
        return false;
    case LinkState::IpBusy:
        logSend(at, slot, kind, QStringLiteral("não enviada: internet (IP) ocupada"));
        return false;
    case LinkState::Free:
        break;
    }
    const LinkStatus played = transmit([this, slot] { return slotPath(slot).toStdString(); }, true);
    logSend(at, slot, kind,
            played.ok() ? QStringLiteral("enviada")
                        : QStringLiteral("não enviada: o arquivo não foi tocado (%1)")
                              .arg(QString::fromStdString(played.description)));
    return true;
}

void MainWindow::sendNow(int slot)
{
    // A send never starts inside another, nor once the program is ending.
    if (m_sending || m_ending)
        return;
    refreshCaminho();
    if (!ExisteArquivo(slotPath(slot))) {
        logSend(m_platform.clock->timeText(), slot, SendKind::Now,
                QStringLiteral("não enviada: o arquivo não existe"));
        reportMissingFile(slot);
        return;
    }
    // What the operator sent does not go again when the channel frees.
    if (sendIfFree(slot, SendKind::Now, RfReads::Once) && m_window.isWaiting(slot))
        m_window.settle(slot);
}

// ---- Scheduler ---------------------------------------------------------------------------

void MainWindow::onSecond()
{
    // A tick delivered while a send holds the link (a platform that pumps messages during a
    // call into the node) would start a send inside it; the send's own tick goes on after.
    if (m_sending || m_ending)
        return;
    // Shown every second, told to a screen reader only while the clock has the focus.
    const WallMs tickAt = wallNow(*m_platform.clock);
    setTextQuietly(m_ui.clock, m_platform.clock->timeText());
    refreshCaminho();
    for (int slot = 0; slot < kSlotCount && !m_ending; ++slot)
        checkSlot(slot);
    // The next tick looks for what came due from here on (a box opened above may have let
    // later ticks run meanwhile: looking twice at a stretch never sends twice).
    m_lastTick = tickAt;
    sendWaiting();
    identify();
}

void MainWindow::checkSlot(int slot)
{
    QCheckBox *enabled = m_ui.rows[slot].enabled;
    // Only a ticked box enables a slot; a grayed one does not.
    if (enabled->checkState() != Qt::Checked)
        return;
    // Its box is still open in an earlier tick: that tick will untick it after OK.
    if (m_missingBoxOpen[slot])
        return;
    if (!ExisteArquivo(slotPath(slot))) {
        logSend(m_platform.clock->timeText(), slot, SendKind::Scheduled,
                QStringLiteral("não enviada: o arquivo não existe; a mensagem fica desmarcada"));
        if (reportMissingFile(slot) && !m_ending)
            enabled->setCheckState(Qt::Unchecked);
        return;
    }
    if (m_window.isOn()) {
        m_window.consider(slot, wallNow(*m_platform.clock), shownSlot(slot), m_lastTick);
        return;
    }
    if (!isDue(m_ui.rows[slot].time->text(), m_platform.clock->now()))
        return;
    sendIfFree(slot, SendKind::Scheduled, RfReads::Twice);
}

// ---- Sending window and identification ----------------------------------------------------

ShownSlot MainWindow::shownSlot(int slot) const
{
    const SlotRow &row = m_ui.rows[slot];
    return {row.enabled->checkState() == Qt::Checked, row.time->text(), row.fileName->text()};
}

// The reading made just before a send; it counts among the channel's readings too.
LinkState MainWindow::readChannel(RfReads rfReads)
{
    const LinkState state = readLinkState(*m_link, rfReads);
    m_channel.observe(wallNow(*m_platform.clock), state != LinkState::Free);
    return state;
}

// The one way onto the air: nothing else reads the channel or ticks while it holds the link.
LinkStatus MainWindow::transmit(const std::function<std::string()> &path, bool announcement)
{
    const WallMs keyed = wallNow(*m_platform.clock);
    m_sending = true;
    const LinkStatus played = transmitFile(*m_link, *m_platform.pause, path);
    m_sending = false;
    // An identification is not activity that calls for another one.
    if (announcement)
        m_channel.noteOwnSend(keyed);
    return played;
}

// Nothing when the channel, read once more, is busy: the send waits on.
std::optional<LinkStatus> MainWindow::sendPolitely(const QString &path, bool announcement)
{
    // A call into the node may pump messages: no tick may start a send inside this one.
    m_sending = true;
    const LinkState state = readChannel(RfReads::Twice);
    m_sending = false;
    if (state != LinkState::Free)
        return std::nullopt;
    return transmit([path] { return path.toStdString(); }, announcement);
}

// The readings every waiting send goes by: there is no other polling of the channel. Waiting
// work goes as soon as a reading completes its free stretch, not at the next tick.
void MainWindow::channelRead(bool busy)
{
    m_channel.observe(wallNow(*m_platform.clock), busy);
    // Nothing waits before the scheduler's first tick. Without a window a slot has its own
    // second only: a send started here could hold the link over it, so everything waits for
    // the tick, where the slots go first.
    if (!m_lastTick || !m_window.isOn())
        return;
    refreshCaminho();
    sendWaiting();
    identify();
}

void MainWindow::sendWaiting()
{
    for (const int slot : m_window.waiting()) {
        if (m_ending)
            return;
        if (!m_window.isWaiting(slot)) // settled meanwhile (a box's nested tick)
            continue;
        const WallMs now = wallNow(*m_platform.clock);
        const QString at = m_platform.clock->timeText();
        const ShownSlot as = m_window.waitingAs(slot);
        const QString subject = QStringLiteral("mensagem %1 (horário %2) \"%3\"")
                                    .arg(slot + 1)
                                    .arg(as.time, m_caminho + as.fileName);
        switch (m_window.step(slot, now, shownSlot(slot), m_channel)) {
        case SendingWindow::Step::Wait:
            continue;
        case SendingWindow::Step::Stopped:
            reportOutcome(at, subject,
                          QStringLiteral("não enviada: a mensagem foi desmarcada ou alterada "
                                         "enquanto esperava o canal livre"));
            m_window.settle(slot);
            continue;
        case SendingWindow::Step::Expired:
            reportOutcome(at, subject, m_window.expiredOutcome(slot));
            m_window.settle(slot);
            continue;
        case SendingWindow::Step::Try:
            break;
        }
        const std::optional<LinkStatus> played = sendPolitely(slotPath(slot), true);
        if (!played)
            continue;
        const QString outcome = played->ok()
                                    ? m_window.sentOutcome(slot, now, m_channel)
                                    : QStringLiteral("não enviada: o arquivo não foi tocado (%1)")
                                          .arg(QString::fromStdString(played->description));
        m_window.settle(slot);
        reportOutcome(at, subject, outcome);
    }
}

void MainWindow::identify()
{
    if (!m_identification.isOn() || m_ending)
        return;
    const Identification::Step step = m_identification.step(wallNow(*m_platform.clock), m_channel);
    if (step == Identification::Step::Wait)
        return;
    const QString at = m_platform.clock->timeText();
    const QString path = m_caminho + m_identification.fileName();
    const QString subject = QStringLiteral("identificação \"%1\"").arg(path);
    const QString interval = m_identification.intervalText();
    if (step == Identification::Step::Skip) {
        m_identification.settle();
        reportOutcome(at, subject, QStringLiteral("não enviada: canal ocupado %1").arg(interval));
        return;
    }
    // Nobody may be at the station to answer a box: the log says it, and nothing is keyed.
    if (!ExisteArquivo(path)) {
        m_identification.settle();
        reportOutcome(at, subject, QStringLiteral("não enviada: o arquivo não existe"));
        return;
    }
    std::optional<LinkStatus> played;
    if (step == Identification::Step::Force)
        played = transmit([path] { return path.toStdString(); }, false);
    else
        played = sendPolitely(path, false);
    if (!played)
        return;
    m_identification.settle();
    QString outcome =
        step == Identification::Step::Force
            ? QStringLiteral("enviada sobre o canal ocupado, no fim do intervalo %1").arg(interval)
            : QStringLiteral("enviada");
    if (!played->ok())
        outcome = QStringLiteral("não enviada: o arquivo não foi tocado (%1)")
                      .arg(QString::fromStdString(played->description));
    reportOutcome(at, subject, outcome);
}

void MainWindow::reportOutcome(const QString &at, const QString &subject, const QString &outcome)
{
    m_platform.log->line(QStringLiteral("%1 %2: %3").arg(at, subject, outcome));
}

// ---- Link state --------------------------------------------------------------------------

bool MainWindow::showSide(LinkStatus (LinkObject::*read)(std::int16_t &), QLabel *caption,
                          Lamp *lamp, const QString &freeText, const QString &busyText,
                          const QString &spokenSide)
{
    std::int16_t value = 0;
    // A read that fails shows the side free.
    const bool busy = ((*m_link).*read)(value).ok() && value != 0;
    caption->setText(busy ? busyText : freeText);
    lamp->setColour(busy ? kBusyColour : kFreeColour);
    // Painted every second; a screen reader hears of it only when the state changed.
    showSpokenSideState(caption, spokenSide, busy);
    return busy;
}

void MainWindow::showLinkState()
{
    if (m_sending || m_ending)
        return;
    const bool rfBusy =
        showSide(&LinkObject::RfBusy, m_ui.rfCaption, m_ui.rfLamp, QStringLiteral("RF livre"),
                 QStringLiteral("RF ocupado "), kRadioSide);
    const bool ipBusy =
        showSide(&LinkObject::IpBusy, m_ui.ipCaption, m_ui.ipLamp, QStringLiteral("IP livre"),
                 QStringLiteral("IP ocupado "), kInternetSide);
    channelRead(rfBusy || ipBusy);
}

// ---- About and help ----------------------------------------------------------------------

void MainWindow::showAbout()
{
    m_platform.desktop->beep();
    // Made anew from its design on every opening and gone when closed: one at a time.
    // The modal wait runs an event loop, so both timers keep ticking meanwhile.
    AboutWindow about(*m_platform.desktop, this);
    about.exec();
}

void MainWindow::showHelp()
{
    m_platform.desktop->beep();
    HelpWindow help(this);
    help.exec();
}

// ---- Closing -----------------------------------------------------------------------------

bool MainWindow::confirmQuit()
{
    return m_platform.boxes->question(this, kQuitQuestion, m_platform.desktop->executableName());
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Every close request asks, whatever it came from ("Encerrar", the close box, the task
    // list), unless the run is already ending; and the run may end while the question is
    // open.
    if (!m_ending && !confirmQuit() && !m_ending) {
        event->ignore();
        return;
    }
    stopTimers();
    event->accept();
}

void MainWindow::stopTimers()
{
    m_ending = true;
    m_secondTimer->stop();
    m_linkStateTimer->stop();
}

void MainWindow::endWithoutQuestion()
{
    stopTimers();
    // Leaves every event loop, nested ones (an open message box) included.
    QCoreApplication::exit(0);
}

} // namespace anunciel
