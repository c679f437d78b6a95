#include "MainWindow.h"

#include "core/SecondTimer.h"
#include "schedule/TimeOfDay.h"
#include "settings/StationSettings.h"
#include "schedule/NormalFileSearch.h"
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
#include <QLocale>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace anunciel {

namespace {

const QString kFileMissing = QStringLiteral("O arquivo não Existe!");
const QString kSaveFirst = QStringLiteral("Grave as mensagens primeiro!");
const QString kQuitQuestion = QStringLiteral("Tem certeza que quer sair?");

const QColor kFreeColour(0, 255, 0);
const QColor kBusyColour(255, 0, 0);
// Neither green nor red: the side could not be read, so nothing is known of it.
const QColor kUnknownColour(160, 160, 160);

constexpr int kSecondsPerDay = 24 * 3600;

// Seconds with one decimal, as Portuguese writes them ("5,2").
QString seconds(std::chrono::milliseconds ms)
{
    return QLocale(QLocale::Portuguese, QLocale::Brazil)
        .toString(double(ms.count()) / 1000.0, 'f', 1);
}

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

void MainWindow::stopFatally(const LinkStatus &status)
{
    const QString description = QString::fromStdString(status.description);
    // Written before the box: at an unattended station the log is all that remains.
    m_platform.log->line(QStringLiteral("Erro fatal, o programa não pode continuar: %1")
                             .arg(fatalReportText(status.code, description)));
    m_platform.boxes->fatal(nullptr, status.code, description);
}

bool MainWindow::start()
{
    // Read on both systems, before the link: a setting that cannot be understood stops the
    // program with a box that says which.
    const StationSettingsRead settings = readStationSettings();
    if (!settings.status.ok()) {
        stopFatally(settings.status);
        return false;
    }
    m_window = SendingWindow(settings.settings.sending);
    m_identification = Identification(settings.settings.sending);

    // Without the link the program cannot work at all.
    LinkCreation created = m_linkFactory();
    if (!created.link) {
        stopFatally(created.status);
        return false;
    }
    m_link = std::move(created.link);
    if (m_link->tellsPlayOutcome())
        m_link->setPlayOutcomeHandler([this](const PlayOutcome &outcome) { playOutcome(outcome); });

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
    refreshStatus();
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
        // A load button: the fields keep what they hold, since emptying them would lose the
        // operator's schedule.
        if (ifMissing == IfMissing::Warn) {
            m_platform.boxes->ok(this,
                                 QStringLiteral("Não foi possível ler o arquivo \"%1\": %2.\n"
                                                "As mensagens na tela não foram alteradas.")
                                     .arg(fileName, read.reason),
                                 programTitle(), MessageBoxes::Icon::Warning);
            return;
        }
        // Start-up has nothing to protect, and midnight kept in the times would put every
        // named slot on the air at 00:00: the column is left empty (never due, shown red).
        // Nobody may be at the station, so the log says it rather than a box.
        m_platform.log->line(QStringLiteral("Não foi possível ler o arquivo \"%1\": %2. A coluna "
                                            "dele ficou vazia; corrija o arquivo e use o botão "
                                            "de ler.")
                                 .arg(fileName, read.reason));
        for (QLineEdit *field : fields)
            field->setText(QString());
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

MainWindow::SendRecord MainWindow::recordOf(int slot, SendKind kind) const
{
    return {slot, m_platform.clock->dateTime(),
            kind == SendKind::Scheduled
                ? QStringLiteral("horário %1").arg(m_ui.rows[slot].time->text())
                : QStringLiteral("enviar agora"),
            slotPath(slot)};
}

// One line in the station's log for each send and each due slot that did not go out, so
// that the operator can tell afterwards what went on the air; the status line shows the last.
void MainWindow::reportSend(const SendRecord &send, const QString &outcome)
{
    // The outcome first: a notice the line itself brings about (the log file failing) must
    // stand beside it, not be wiped by it.
    m_notice.clear();
    const QString what = send.slot < 0 ? QStringLiteral("identificação")
                                       : QStringLiteral("mensagem %1").arg(send.slot + 1);
    m_lastOutcome =
        QStringLiteral("Último envio: %1 às %2%3, %4")
            .arg(what, send.at.time().toString(QStringLiteral("HH:mm:ss")),
                 send.how == QStringLiteral("enviar agora") ? QStringLiteral(" (enviar agora)")
                                                            : QString(),
                 outcome);
    const QString how = send.how.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(send.how);
    m_platform.log->lineAt(send.at,
                           QStringLiteral("%1%2 \"%3\": %4").arg(what, how, send.path, outcome));
    refreshStatus();
}

// The end of a file the link played itself: only now is it known whether it went out whole.
void MainWindow::playOutcome(const PlayOutcome &outcome)
{
    const auto found = std::find_if(m_playing.begin(), m_playing.end(), [&](const SendRecord &s) {
        return s.path.toStdString() == outcome.path;
    });
    const QString why = QString::fromStdString(outcome.status.description);
    if (found == m_playing.end()) {
        if (!outcome.status.ok())
            m_platform.log->line(QStringLiteral("Arquivo \"%1\" não transmitido. %2")
                                     .arg(QString::fromStdString(outcome.path), why));
        return;
    }
    const SendRecord send = *found;
    m_playing.erase(found);
    if (outcome.status.ok())
        reportSend(send, send.sentOutcome);
    else if (outcome.started)
        reportSend(send,
                   QStringLiteral("interrompida após %1 s: %2").arg(seconds(outcome.played), why));
    else
        reportSend(send, QStringLiteral("não enviada: %1").arg(why));
}

bool MainWindow::sendIfFree(int slot, SendKind kind, RfReads rfReads)
{
    const SendRecord send = recordOf(slot, kind);
    switch (readChannel(rfReads)) {
    case LinkState::RfBusy:
        reportSend(send, QStringLiteral("não enviada: rádio (RF) ocupado"));
        return false;
    case LinkState::IpBusy:
        reportSend(send, QStringLiteral("não enviada: internet (IP) ocupada"));
        return false;
    case LinkState::Free:
        break;
    }
    transmit(
        send, [this, slot] { return slotPath(slot).toStdString(); }, true);
    return true;
}

void MainWindow::sendNow(int slot)
{
    // A send never starts inside another, nor once the program is ending.
    if (m_sending || m_ending)
        return;
    refreshCaminho();
    if (!findsNormalFile(slotPath(slot))) {
        reportSend(recordOf(slot, SendKind::Now),
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
    if (!m_ending)
        refreshStatus();
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
    if (!findsNormalFile(slotPath(slot))) {
        // Found at any second, not at the slot's time: the line does not pretend a due send.
        m_platform.log->line(QStringLiteral("mensagem %1 \"%2\": o arquivo não existe; a "
                                            "mensagem fica desmarcada e não será enviada")
                                 .arg(slot + 1)
                                 .arg(slotPath(slot)));
        m_lastOutcome = QStringLiteral("Mensagem %1: o arquivo \"%2\" não existe; a mensagem foi "
                                       "desmarcada")
                            .arg(slot + 1)
                            .arg(m_ui.rows[slot].fileName->text());
        refreshStatus();
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
// A link that plays the file itself tells later whether it went out whole.
LinkStatus MainWindow::transmit(const SendRecord &send, const std::function<std::string()> &path,
                                bool announcement)
{
    const WallMs keyed = wallNow(*m_platform.clock);
    const bool toldLater = m_link->tellsPlayOutcome();
    if (toldLater)
        m_playing.push_back(send);
    m_sending = true;
    const LinkStatus played = transmitFile(*m_link, *m_platform.pause, path);
    m_sending = false;
    // An identification is not activity that calls for another one.
    if (announcement)
        m_channel.noteOwnSend(keyed);
    if (!played.ok()) {
        if (toldLater && !m_playing.empty())
            m_playing.pop_back();
        reportSend(send, QStringLiteral("não enviada: o arquivo não foi tocado (%1)")
                             .arg(QString::fromStdString(played.description)));
    } else if (!toldLater) {
        reportSend(send, send.sentOutcome);
    } else {
        m_lastOutcome = QStringLiteral("Enviando: %1, desde %2")
                            .arg(send.slot < 0 ? QStringLiteral("identificação")
                                               : QStringLiteral("mensagem %1").arg(send.slot + 1),
                                 send.at.time().toString(QStringLiteral("HH:mm:ss")));
        refreshStatus();
    }
    return played;
}

// Nothing when the channel, read once more, is busy: the send waits on.
std::optional<LinkStatus> MainWindow::sendPolitely(const SendRecord &send, bool announcement)
{
    // A call into the node may pump messages: no tick may start a send inside this one.
    m_sending = true;
    const LinkState state = readChannel(RfReads::Twice);
    m_sending = false;
    if (state != LinkState::Free)
        return std::nullopt;
    const std::string path = send.path.toStdString();
    return transmit(
        send, [&path] { return path; }, announcement);
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
        const ShownSlot as = m_window.waitingAs(slot);
        SendRecord send{slot, m_platform.clock->dateTime(),
                        QStringLiteral("horário %1").arg(as.time), m_caminho + as.fileName};
        switch (m_window.step(slot, now, shownSlot(slot), m_channel)) {
        case SendingWindow::Step::Wait:
            continue;
        case SendingWindow::Step::Stopped:
            m_window.settle(slot);
            reportSend(send, QStringLiteral("não enviada: a mensagem foi desmarcada ou alterada "
                                            "enquanto esperava o canal livre"));
            continue;
        case SendingWindow::Step::Expired:
            send.sentOutcome = m_window.expiredOutcome(slot);
            m_window.settle(slot);
            reportSend(send, send.sentOutcome);
            continue;
        case SendingWindow::Step::Try:
            break;
        }
        send.path = slotPath(slot);
        send.sentOutcome = m_window.sentOutcome(slot, now, m_channel);
        if (!sendPolitely(send, true))
            continue;
        m_window.settle(slot);
    }
}

void MainWindow::identify()
{
    if (!m_identification.isOn() || m_ending)
        return;
    const Identification::Step step = m_identification.step(wallNow(*m_platform.clock), m_channel);
    if (step == Identification::Step::Wait)
        return;
    const QString interval = m_identification.intervalText();
    SendRecord send{-1, m_platform.clock->dateTime(), QString(),
                    m_caminho + m_identification.fileName()};
    if (step == Identification::Step::Skip) {
        m_identification.settle();
        reportSend(send, QStringLiteral("não enviada: canal ocupado %1").arg(interval));
        return;
    }
    // Nobody may be at the station to answer a box: the log says it, and nothing is keyed.
    if (!findsNormalFile(send.path)) {
        m_identification.settle();
        reportSend(send, QStringLiteral("não enviada: o arquivo não existe"));
        return;
    }
    if (step == Identification::Step::Force) {
        send.sentOutcome =
            QStringLiteral("enviada sobre o canal ocupado, no fim do intervalo %1").arg(interval);
        const std::string path = send.path.toStdString();
        transmit(
            send, [&path] { return path; }, false);
    } else if (!sendPolitely(send, false)) {
        return;
    }
    m_identification.settle();
}

// ---- Link state --------------------------------------------------------------------------

QString MainWindow::nextSlotText() const
{
    const int now = m_platform.clock->now().msecsSinceStartOfDay() / 1000;
    int best = -1;
    int bestWait = kSecondsPerDay + 1;
    int bestAt = 0;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        if (m_ui.rows[slot].enabled->checkState() != Qt::Checked)
            continue;
        const std::optional<int> at = readTimeOfDay(m_ui.rows[slot].time->text());
        if (!at)
            continue;
        // This very second is being dealt with: its next turn is tomorrow.
        const int wait = ((*at - now) % kSecondsPerDay + kSecondsPerDay) % kSecondsPerDay;
        const int untilNext = wait == 0 ? kSecondsPerDay : wait;
        if (untilNext < bestWait) {
            best = slot;
            bestWait = untilNext;
            bestAt = *at;
        }
    }
    if (best < 0)
        return QStringLiteral("Nenhuma mensagem marcada");
    const QTime at = QTime::fromMSecsSinceStartOfDay(bestAt * 1000);
    return QStringLiteral("Próxima: mensagem %1 às %2")
        .arg(best + 1)
        .arg(at.toString(bestAt % 60 ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm")));
}

void MainWindow::refreshStatus()
{
    QString text;
    for (const QString &part : {m_notice, m_lastOutcome})
        if (!part.isEmpty())
            text += part + QStringLiteral(". ");
    m_ui.showStatus(text + nextSlotText());
}

void MainWindow::showNotice(const QString &text)
{
    m_notice = text;
    refreshStatus();
}

// Reads one side (0 the radio, 1 the internet) and shows it. A read that fails shows the
// side as unknown: calling it free would tell the operator all is well while nothing can go
// out. The log hears when a side stops being read and when it is read again, not every second.
SideState MainWindow::readSide(int side)
{
    const bool radio = side == 0;
    std::int16_t value = 0;
    const LinkStatus read = radio ? m_link->RfBusy(value) : m_link->IpBusy(value);
    const SideState state = !read.ok()   ? SideState::Unknown
                            : value != 0 ? SideState::Busy
                                         : SideState::Free;
    QLabel *caption = radio ? m_ui.rfCaption : m_ui.ipCaption;
    Lamp *lamp = radio ? m_ui.rfLamp : m_ui.ipLamp;
    const QString code = radio ? QStringLiteral("RF") : QStringLiteral("IP");
    switch (state) {
    case SideState::Free:
        caption->setText(code + QStringLiteral(" livre"));
        lamp->setColour(kFreeColour);
        break;
    case SideState::Busy:
        caption->setText(code + QStringLiteral(" ocupado "));
        lamp->setColour(kBusyColour);
        break;
    case SideState::Unknown:
        caption->setText(code + QStringLiteral(" sem leitura"));
        lamp->setColour(kUnknownColour);
        break;
    }
    // Painted every second; a screen reader hears of it only when the state changed.
    showSpokenSideState(caption, radio ? kRadioSide : kInternetSide, state);

    const std::optional<SideState> before = m_sideState[side];
    m_sideState[side] = state;
    const QString which =
        radio ? QStringLiteral("do rádio (RF)") : QStringLiteral("da internet (IP)");
    if (state == SideState::Unknown && before != SideState::Unknown)
        m_platform.log->line(QStringLiteral("Sem leitura %1: %2. O indicador mostra \"%3 sem "
                                            "leitura\"; um envio segue como se o lado estivesse "
                                            "livre.")
                                 .arg(which, QString::fromStdString(read.description), code));
    else if (state != SideState::Unknown && before == SideState::Unknown)
        m_platform.log->line(
            QStringLiteral("Leitura %1 de volta: \"%2\".").arg(which, caption->text().trimmed()));
    return state;
}

void MainWindow::showLinkState()
{
    if (m_sending || m_ending)
        return;
    const SideState rf = readSide(0);
    const SideState ip = readSide(1);
    // A side that cannot be read counts as free here too, as it does for a send.
    channelRead(rf == SideState::Busy || ip == SideState::Busy);
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
