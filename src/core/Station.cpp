#include "core/Station.h"

#include "core/SecondTimer.h"
#include "schedule/NormalFileSearch.h"
#include "schedule/TimeOfDay.h"

#include <QDir>
#include <QLocale>
#include <QTimer>

#include <algorithm>

namespace anunciel {

namespace {

constexpr int kSecondsPerDay = 24 * 3600;
constexpr int kTimerIntervalMs = 1000;

// Seconds with one decimal, as Portuguese writes them ("5,2").
QString seconds(std::chrono::milliseconds ms)
{
    return QLocale(QLocale::Portuguese, QLocale::Brazil)
        .toString(double(ms.count()) / 1000.0, 'f', 1);
}

} // namespace

Station::Station(const Platform &platform, LinkFactory linkFactory, QObject *parent)
    : QObject(parent), m_platform(platform), m_linkFactory(std::move(linkFactory))
{
    m_secondTimer = new SecondTimer(*m_platform.clock, this);
    m_secondTimer->setObjectName(QStringLiteral("Timer1"));
    m_sideTimer = new QTimer(this);
    m_sideTimer->setObjectName(QStringLiteral("Timer2"));
    connect(m_secondTimer, &SecondTimer::timeout, this, &Station::onSecond);
    connect(m_sideTimer, &QTimer::timeout, this, &Station::readSides);
}

// Releasing the link is all that ending needs: no call is made on it here.
Station::~Station() = default;

void Station::stopFatally(const LinkStatus &status)
{
    const QString description = QString::fromStdString(status.description);
    // Written before the box: at an unattended station the log is all that remains.
    m_platform.log->line(QStringLiteral("Erro fatal, o programa não pode continuar: %1")
                             .arg(fatalReportText(status.code, description)));
    m_platform.boxes->fatal(nullptr, status.code, description);
}

bool Station::start(const StationSettingsRead &settings)
{
    // A setting that cannot be understood stops the program with a report that says which.
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
    m_sideTimer->setInterval(kTimerIntervalMs);
    m_sideTimer->start();

    // Times at midnight until the file says otherwise.
    for (int slot = 0; slot < kSlotCount; ++slot)
        setTime(slot, QTime(0, 0).toString(QStringLiteral("hh:mm")));
    loadAtStart(Column::Times);
    loadAtStart(Column::FileNames);

    // Every slot that has a file name is enabled, unless its time reads exactly as the
    // clock does at that moment (read anew for each slot).
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const QString now = m_platform.clock->longTimeText();
        if (!m_slots[slot].fileName.isEmpty() && m_slots[slot].time != now)
            setEnabled(slot, Qt::Checked);
    }
    refreshStatus();
    return true;
}

// ---- Schedule ------------------------------------------------------------------------------

void Station::setEnabled(int slot, Qt::CheckState state)
{
    if (m_slots[slot].enabled == state)
        return;
    m_slots[slot].enabled = state;
    emit slotChanged(slot);
}

// A front end may answer a change with one of its own (a time field's colon): the last word
// stands, and each change is told once.
void Station::setTime(int slot, const QString &text)
{
    if (m_slots[slot].time == text)
        return;
    m_slots[slot].time = text;
    emit slotChanged(slot);
}

void Station::setFileName(int slot, const QString &text)
{
    if (m_slots[slot].fileName == text)
        return;
    m_slots[slot].fileName = text;
    emit slotChanged(slot);
}

QString Station::fileOf(Column column)
{
    return column == Column::Times ? kTimesFile : kNamesFile;
}

void Station::applyColumn(Column column, const ScheduleColumn &texts)
{
    // Emptied first, then set: a front end reacts to the text as if typed (a two-character
    // time gets its colon in the window).
    for (int slot = 0; slot < kSlotCount; ++slot) {
        if (column == Column::Times) {
            setTime(slot, QString());
            setTime(slot, texts[slot]);
        } else {
            setFileName(slot, QString());
            setFileName(slot, texts[slot]);
        }
    }
}

ScheduleRead Station::loadColumn(Column column)
{
    const ScheduleRead read = readSchedule(fileOf(column));
    if (read.status == ScheduleRead::Status::Ok)
        applyColumn(column, read.column);
    return read;
}

void Station::loadAtStart(Column column)
{
    const ScheduleRead read = loadColumn(column);
    if (read.status != ScheduleRead::Status::Unreadable)
        return;
    // Start-up has nothing to protect, and midnight kept in the times would put every named
    // slot on the air at 00:00: the column is left empty (never due). Nobody may be at the
    // station, so the log says it rather than a box.
    m_platform.log->line(QStringLiteral("Não foi possível ler o arquivo \"%1\": %2. A coluna "
                                        "dele ficou vazia; corrija o arquivo e use o botão "
                                        "de ler.")
                             .arg(fileOf(column), read.reason));
    applyColumn(column, ScheduleColumn{});
}

ScheduleWrite Station::saveColumn(Column column)
{
    ScheduleColumn texts;
    for (int slot = 0; slot < kSlotCount; ++slot)
        texts[slot] = column == Column::Times ? m_slots[slot].time : m_slots[slot].fileName;
    return writeSchedule(fileOf(column), texts);
}

// ---- Sending -------------------------------------------------------------------------------

void Station::refreshProgramFolder()
{
    QString folder = m_platform.desktop->programFolder();
    if (!folder.endsWith(QDir::separator()))
        folder += QDir::separator();
    m_programFolder = folder;
}

QString Station::slotPath(int slot) const
{
    return m_programFolder + m_slots[slot].fileName;
}

// Tells the front end of a slot's missing file, unless it is already telling it. False when
// it was not told.
bool Station::tellMissingFile(int slot)
{
    if (m_missingFileOpen[slot])
        return false;
    m_missingFileOpen[slot] = true;
    if (m_frontEnd)
        m_frontEnd->tellMissingFile(slot);
    m_missingFileOpen[slot] = false;
    return true;
}

Station::SendRecord Station::recordOf(int slot, SendKind kind) const
{
    return {slot, m_platform.clock->dateTime(),
            kind == SendKind::Scheduled ? QStringLiteral("horário %1").arg(m_slots[slot].time)
                                        : QStringLiteral("enviar agora"),
            slotPath(slot)};
}

// One line in the station's log for each send and each due slot that did not go out, so
// that the operator can tell afterwards what went on the air; the status line shows the last.
void Station::reportSend(const SendRecord &send, const QString &outcome)
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
    const QString line = QStringLiteral("%1%2 \"%3\": %4").arg(what, how, send.path, outcome);
    m_platform.log->lineAt(send.at, line);
    refreshStatus();
    emit sendReported(send.slot, line,
                      outcome == send.sentOutcome && !outcome.startsWith(QStringLiteral("não")));
}

// The end of a file the link played itself: only now is it known whether it went out whole.
void Station::playOutcome(const PlayOutcome &outcome)
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

bool Station::sendIfFree(int slot, SendKind kind, RfReads rfReads)
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

void Station::sendNow(int slot)
{
    // A send never starts inside another, nor once the program is ending.
    if (m_sending || m_ending)
        return;
    refreshProgramFolder();
    if (!findsNormalFile(slotPath(slot))) {
        reportSend(recordOf(slot, SendKind::Now),
                   QStringLiteral("não enviada: o arquivo não existe"));
        tellMissingFile(slot);
        return;
    }
    // What the operator sent does not go again when the channel frees.
    if (sendIfFree(slot, SendKind::Now, RfReads::Once) && m_window.isWaiting(slot))
        m_window.settle(slot);
}

void Station::onSecond()
{
    // A tick delivered while a send holds the link (a platform that pumps messages during a
    // call into the node) would start a send inside it; the send's own tick goes on after.
    if (m_sending || m_ending)
        return;
    // Shown every second, told to a screen reader only while the clock has the focus.
    const WallMs tickAt = wallNow(*m_platform.clock);
    emit clockChanged(m_platform.clock->timeText());
    refreshProgramFolder();
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

void Station::checkSlot(int slot)
{
    // Only a ticked box enables a slot; a grayed one does not.
    if (m_slots[slot].enabled != Qt::Checked)
        return;
    // Its box is still open in an earlier tick: that tick will untick it after OK.
    if (m_missingFileOpen[slot])
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
                            .arg(m_slots[slot].fileName);
        refreshStatus();
        if (tellMissingFile(slot) && !m_ending)
            setEnabled(slot, Qt::Unchecked);
        return;
    }
    if (m_window.isOn()) {
        m_window.consider(slot, wallNow(*m_platform.clock), shownSlot(slot), m_lastTick);
        return;
    }
    if (!isDue(m_slots[slot].time, m_platform.clock->now()))
        return;
    sendIfFree(slot, SendKind::Scheduled, RfReads::Twice);
}

// ---- Sending window and identification ----------------------------------------------------

ShownSlot Station::shownSlot(int slot) const
{
    const StationSlot &s = m_slots[slot];
    return {s.enabled == Qt::Checked, s.time, s.fileName};
}

// The reading made just before a send; it counts among the channel's readings too.
LinkState Station::readChannel(RfReads rfReads)
{
    const LinkState state = readLinkState(*m_link, rfReads);
    m_channel.observe(wallNow(*m_platform.clock), state != LinkState::Free);
    return state;
}

// The one way onto the air: nothing else reads the channel or ticks while it holds the link.
// A link that plays the file itself tells later whether it went out whole.
LinkStatus Station::transmit(const SendRecord &send, const std::function<std::string()> &path,
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
std::optional<LinkStatus> Station::sendPolitely(const SendRecord &send, bool announcement)
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
void Station::channelRead(bool busy)
{
    m_channel.observe(wallNow(*m_platform.clock), busy);
    // Nothing waits before the scheduler's first tick. Without a window a slot has its own
    // second only: a send started here could hold the link over it, so everything waits for
    // the tick, where the slots go first.
    if (!m_lastTick || !m_window.isOn())
        return;
    refreshProgramFolder();
    sendWaiting();
    identify();
}

void Station::sendWaiting()
{
    for (const int slot : m_window.waiting()) {
        if (m_ending)
            return;
        if (!m_window.isWaiting(slot)) // settled meanwhile (a box's nested tick)
            continue;
        const WallMs now = wallNow(*m_platform.clock);
        const ShownSlot as = m_window.waitingAs(slot);
        SendRecord send{slot, m_platform.clock->dateTime(),
                        QStringLiteral("horário %1").arg(as.time), m_programFolder + as.fileName};
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

void Station::identify()
{
    if (!m_identification.isOn() || m_ending)
        return;
    const Identification::Step step = m_identification.step(wallNow(*m_platform.clock), m_channel);
    if (step == Identification::Step::Wait)
        return;
    const QString interval = m_identification.intervalText();
    SendRecord send{-1, m_platform.clock->dateTime(), QString(),
                    m_programFolder + m_identification.fileName()};
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

QString Station::nextSlotText() const
{
    const int now = m_platform.clock->now().msecsSinceStartOfDay() / 1000;
    int best = -1;
    int bestWait = kSecondsPerDay + 1;
    int bestAt = 0;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        if (m_slots[slot].enabled != Qt::Checked)
            continue;
        const std::optional<int> at = readTimeOfDay(m_slots[slot].time);
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

void Station::refreshStatus()
{
    QString text;
    for (const QString &part : {m_notice, m_lastOutcome})
        if (!part.isEmpty())
            text += part + QStringLiteral(". ");
    text += nextSlotText();
    if (text == m_shownStatus)
        return;
    m_shownStatus = text;
    emit statusChanged(text);
}

QString Station::statusText() const
{
    return m_shownStatus;
}


// Reads one side (0 the radio, 1 the internet) and shows it. A read that fails shows the
// side as unknown: calling it free would tell the operator all is well while nothing can go
// out. The log hears when a side stops being read and when it is read again, not every second.
SideState Station::readSide(int side)
{
    const bool radio = side == 0;
    std::int16_t value = 0;
    const LinkStatus read = radio ? m_link->RfBusy(value) : m_link->IpBusy(value);
    const SideState state = !read.ok()   ? SideState::Unknown
                            : value != 0 ? SideState::Busy
                                         : SideState::Free;
    emit sideRead(side, state);

    const std::optional<SideState> before = m_sideState[side];
    m_sideState[side] = state;
    const QString which =
        radio ? QStringLiteral("do rádio (RF)") : QStringLiteral("da internet (IP)");
    if (state == SideState::Unknown && before != SideState::Unknown)
        m_platform.log->line(QStringLiteral("Sem leitura %1: %2. O indicador mostra \"%3 sem "
                                            "leitura\"; um envio segue como se o lado estivesse "
                                            "livre.")
                                 .arg(which, QString::fromStdString(read.description),
                                      radio ? QStringLiteral("RF") : QStringLiteral("IP")));
    else if (state != SideState::Unknown && before == SideState::Unknown)
        m_platform.log->line(
            QStringLiteral("Leitura %1 de volta: \"%2\".").arg(which, sideCaption(side, state).trimmed()));
    return state;
}

void Station::readSides()
{
    if (m_sending || m_ending)
        return;
    const SideState rf = readSide(kRadio);
    const SideState ip = readSide(kInternet);
    // A side that cannot be read counts as free here too, as it does for a send.
    channelRead(rf == SideState::Busy || ip == SideState::Busy);
}

void Station::showNotice(const QString &text)
{
    m_notice = text;
    refreshStatus();
}

void Station::stop()
{
    // Releasing the link silences what plays and unkeys: what was on the air is said.
    while (!m_ending && !m_playing.empty()) {
        const SendRecord send = m_playing.front();
        m_playing.pop_front();
        reportSend(send, QStringLiteral("interrompida: o programa foi encerrado durante o envio"));
    }
    m_ending = true;
    m_secondTimer->stop();
    m_sideTimer->stop();
}

} // namespace anunciel
