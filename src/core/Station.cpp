#include "core/Station.h"

#include "core/SecondTimer.h"
#include "schedule/NormalFileSearch.h"
#include "schedule/TimeOfDay.h"

#include <QDir>
#include <QLocale>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>

namespace anunciel {

namespace {

constexpr int kTimerIntervalMs = 1000;
// How far back a late tick looks for seconds that passed unseen.
constexpr WallMs kLookBackMs = 120 * kMsPerSecond;
// A file handed to the link this long after its send began says so in its line.
constexpr WallMs kLateNoteMs = 1500;

// Seconds with one decimal, as Portuguese writes them ("5,2").
QString seconds(std::chrono::milliseconds ms)
{
    return QLocale(QLocale::Portuguese, QLocale::Brazil)
        .toString(double(ms.count()) / 1000.0, 'f', 1);
}

// A reason as it goes inside a sentence of our own: without its closing full stop.
QString withoutFullStop(const std::string &text)
{
    QString reason = QString::fromStdString(text).trimmed();
    while (reason.endsWith(u'.'))
        reason.chop(1);
    return reason;
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
    m_rfUndetected = !m_link->hearsRadioSide();
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
    loadDays();

    // Every slot that has a file name is enabled, unless its time reads exactly as the
    // clock does at that moment (read anew for each slot).
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const QString now = m_platform.clock->longTimeText();
        if (!m_slots[slot].fileName.isEmpty() && m_slots[slot].time != now)
            setEnabled(slot, Qt::Checked);
    }
    m_started = true;
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

void Station::loadDays()
{
    const DaysFileRead read = readDaysFile();
    if (read.status == DaysFileRead::Status::Unreadable)
        m_platform.log->line(QStringLiteral("Não foi possível ler o arquivo \"%1\": %2. Nenhuma "
                                            "mensagem sai até ele ser corrigido.")
                                 .arg(kDaysFile, read.reason));
    for (int slot = 0; slot < kSlotCount; ++slot) {
        m_days[slot] = read.lines[slot];
        if (read.status == DaysFileRead::Status::Ok && !m_days[slot].ok())
            m_platform.log->line(badDaysLogText(slot, m_days[slot]));
    }
    emit daysChanged();
    refreshStatus();
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
    if (m_ending)
        return;
    // A tick delivered while a send holds the link (a node's call that lets the clock go on)
    // only shows the time: a send started inside it would be a send inside a send, and the
    // send's own tick looks back at what it did not see.
    if (m_sending) {
        emit clockChanged(m_platform.clock->timeText());
        return;
    }
    // Shown every second, told to a screen reader only while the clock has the focus.
    const WallMs tickAt = wallNow(*m_platform.clock);
    emit clockChanged(m_platform.clock->timeText());
    refreshProgramFolder();
    // Seconds older than this are not looked back at: said once, not slot by slot.
    if (m_lastTick && tickAt - *m_lastTick > kLookBackMs + kMsPerSecond)
        m_platform.log->line(QStringLiteral("O programa ficou parado de %1 a %2 (%3 s); os "
                                            "horários desse intervalo não foram conferidos.")
                                 .arg(wallSecondsText(*m_lastTick), wallSecondsText(tickAt))
                                 .arg((tickAt - *m_lastTick) / kMsPerSecond));
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
    // A slot whose second passed unseen waits in the sending window as a busy one does.
    if (m_window.isOn()) {
        m_window.consider(slot, wallNow(*m_platform.clock), shownSlot(slot), m_lastTick);
        return;
    }
    const std::optional<int> second = readTimeOfDay(m_slots[slot].time);
    if (!second)
        return;
    const WallMs now = wallNow(*m_platform.clock);
    const WallMs occurrence = lastOccurrence(*second, now);
    // Its own second, or one that passed since the tick before without being looked at (a
    // stall, another send's pause, a suspended machine); after a clock set back, only its own.
    const bool ownSecond = now - occurrence < kMsPerSecond;
    const bool unseen = m_lastTick && *m_lastTick <= now && occurrence > *m_lastTick &&
                        now - occurrence <= kLookBackMs;
    // One decision for each occurrence, whatever the clock does.
    if ((!ownSecond && !unseen) || m_decided[slot] == occurrence)
        return;
    // Not one of its days: not due, and no line (nothing was missed).
    if (!m_days[slot].allows(wallDate(occurrence))) {
        if (ownSecond)
            if (const std::optional<QString> note =
                    m_lastDayNotes.take(slot, m_days[slot], wallDate(occurrence)))
                m_platform.log->line(*note);
        return;
    }
    m_decided[slot] = occurrence;
    if (ownSecond) {
        sendIfFree(slot, SendKind::Scheduled, RfReads::Twice);
        return;
    }
    SendRecord missed = recordOf(slot, SendKind::Scheduled);
    missed.at = QDateTime(wallDate(occurrence), QTime::fromMSecsSinceStartOfDay(*second * 1000));
    const bool onAir =
        m_onAir && occurrence + kMsPerSecond > m_onAir->first && occurrence < m_onAir->second;
    reportSend(missed, onAir ? QStringLiteral("não enviada: outra mensagem estava no ar nesse "
                                              "segundo")
                             : QStringLiteral("não enviada: o programa ficou parado por %1 s e "
                                              "não viu esse segundo")
                                   .arg(seconds(std::chrono::milliseconds(now - *m_lastTick))));
}

// ---- Sending window and identification ----------------------------------------------------

ShownSlot Station::shownSlot(int slot) const
{
    const StationSlot &s = m_slots[slot];
    return {s.enabled == Qt::Checked, s.time, s.fileName, m_days[slot]};
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
    // When the file was handed over: a node that answers late delays it, and the line says by
    // how much.
    WallMs handedAt = keyed;
    m_sending = true;
    const LinkStatus played = transmitFile(*m_link, *m_platform.pause, [&] {
        handedAt = wallNow(*m_platform.clock);
        return path();
    });
    m_sending = false;
    m_onAir = std::pair{keyed, wallNow(*m_platform.clock)};
    SendRecord told = send;
    const WallMs late = handedAt - wallMs(send.at.date(), send.at.time());
    if (late >= kLateNoteMs && told.sentOutcome.startsWith(QStringLiteral("enviada")))
        told.sentOutcome += QStringLiteral(" (com %1 s de atraso: o nó demorou a responder)")
                                .arg(seconds(std::chrono::milliseconds(late)));
    if (toldLater && !m_playing.empty())
        m_playing.back() = told;
    // An identification is not activity that calls for another one.
    if (announcement)
        m_channel.noteOwnSend(keyed);
    if (!played.ok()) {
        if (toldLater && !m_playing.empty())
            m_playing.pop_back();
        reportSend(send, QStringLiteral("não enviada: o arquivo não foi tocado (%1)")
                             .arg(withoutFullStop(played.description)));
    } else if (!toldLater) {
        reportSend(send, told.sentOutcome);
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
    // The station's own sound on the air is no free channel, whatever the squelch reads.
    m_channel.observe(wallNow(*m_platform.clock), busy || m_link->transmitting());
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
    SendRecord send{-1, m_platform.clock->dateTime(), QString(),
                    m_programFolder + m_identification.fileName()};
    if (step == Identification::Step::Skip) {
        const QString outcome = m_identification.skippedOutcome();
        m_identification.settle();
        reportSend(send, outcome);
        return;
    }
    // Nobody may be at the station to answer a box: the log says it, and nothing is keyed.
    if (!findsNormalFile(send.path)) {
        m_identification.settle();
        reportSend(send, QStringLiteral("não enviada: o arquivo não existe"));
        return;
    }
    if (step == Identification::Step::Force) {
        // Read once more, so that the line says how long the channel was seen busy; it goes
        // whatever the reading shows.
        m_sending = true;
        readChannel(RfReads::Twice);
        m_sending = false;
        send.sentOutcome = m_identification.sentOutcome(wallNow(*m_platform.clock), m_channel);
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
    const QDateTime now = m_platform.clock->dateTime();
    int best = -1;
    std::optional<QDateTime> bestAt;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        if (m_slots[slot].enabled != Qt::Checked || !m_days[slot].ok())
            continue;
        const std::optional<int> second = readTimeOfDay(m_slots[slot].time);
        if (!second)
            continue;
        // Strictly after now: this very second is being dealt with.
        const std::optional<QDateTime> at = nextSend(m_days[slot].days, *second, now);
        if (at && (!bestAt || *at < *bestAt)) {
            best = slot;
            bestAt = at;
        }
    }
    if (best < 0) {
        const bool anyTicked =
            std::any_of(m_slots.begin(), m_slots.end(),
                        [](const StationSlot &s) { return s.enabled == Qt::Checked; });
        return anyTicked ? QStringLiteral("Nenhuma mensagem marcada tem horário válido")
                         : QStringLiteral("Nenhuma mensagem marcada");
    }
    return QStringLiteral("Próxima: mensagem %1 %2")
        .arg(best + 1)
        .arg(sendPhrase(*bestAt, now.date()));
}

void Station::refreshStatus()
{
    QStringList parts{m_notice, m_lastOutcome};
    for (const int slot : m_window.waiting())
        parts << QStringLiteral("Mensagem %1 aguardando canal livre desde %2")
                     .arg(slot + 1)
                     .arg(m_window.waitingAs(slot).time);
    parts << nextSlotText();
    // What the operator set up but will not go: a time and a file, the box not ticked.
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const StationSlot &s = m_slots[slot];
        if (s.enabled != Qt::Checked && readTimeOfDay(s.time) && !s.fileName.isEmpty() &&
            findsNormalFile(slotPath(slot)))
            parts << QStringLiteral("Mensagem %1 tem horário e arquivo, mas não está marcada")
                         .arg(slot + 1);
    }
    if (m_identification.isOn() && m_started) {
        QString id = m_identification.statusText(wallNow(*m_platform.clock));
        id[0] = id[0].toUpper();
        parts << id;
    }
    parts.removeAll(QString());
    QString text = parts.join(QStringLiteral(". "));
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
    SideState state = !read.ok()   ? SideState::Unknown
                      : value != 0 ? SideState::Busy
                                   : SideState::Free;
    // With nothing to hear the radio side on, "free" would read as a measurement.
    if (radio && m_rfUndetected && state == SideState::Free)
        state = SideState::Undetected;
    emit sideRead(side, state);

    const std::optional<SideState> before = m_sideState[side];
    m_sideState[side] = state;
    const QString which =
        radio ? QStringLiteral("do rádio (RF)") : QStringLiteral("da internet (IP)");
    if (state == SideState::Unknown && before != SideState::Unknown)
        m_platform.log->line(QStringLiteral("Sem leitura %1: %2. O indicador mostra \"%3 sem "
                                            "leitura\"; enquanto isso, a leitura deste lado não "
                                            "impede um envio.")
                                 .arg(which, withoutFullStop(read.description),
                                      radio ? QStringLiteral("RF") : QStringLiteral("IP")));
    else if (state != SideState::Unknown && before == SideState::Unknown)
        m_platform.log->line(QStringLiteral("Leitura %1 de volta: \"%2\".")
                                 .arg(which, sideCaption(side, state).trimmed()));
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

void Station::recall(const std::optional<QStringList> &record)
{
    if (!record) {
        m_platform.log->line(QStringLiteral("O registro não pôde ser lido: os envios de hoje "
                                            "não são lembrados, e uma mensagem da janela de "
                                            "envio ou uma identificação já enviadas podem sair "
                                            "de novo."));
        return;
    }
    // "2026-12-09 14:30:05 mensagem 1 (horário 14:30) "…": enviada…" and
    // "2026-12-09 19:03:00 identificação "…": enviada…"; only yesterday's and today's matter.
    static const QRegularExpression sent(QStringLiteral(
        R"(^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d) (?:mensagem ([1-4]) \(horário ([^)]*)\)|(identificação)) ".*": enviada)"));
    const QDate today = m_platform.clock->today();
    for (const QString &line : *record) {
        const QRegularExpressionMatch m = sent.match(line);
        if (!m.hasMatch())
            continue;
        const QDateTime at =
            QDateTime::fromString(m.captured(1), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!at.isValid() || at.date() < today.addDays(-1) || at.date() > today)
            continue;
        const WallMs stamp = wallMs(at.date(), at.time());
        if (!m.captured(4).isEmpty()) {
            m_identification.noteIdentified(stamp);
            continue;
        }
        const std::optional<int> second = readTimeOfDay(m.captured(3));
        if (!second)
            continue;
        const int slot = m.captured(2).toInt() - 1;
        const WallMs occurrence = lastOccurrence(*second, stamp);
        m_window.noteSent(slot, occurrence);
        m_decided[slot] = occurrence;
    }
}

void Station::stop()
{
    if (m_ending)
        return;
    m_ending = true;
    m_secondTimer->stop();
    m_sideTimer->stop();
    // What the link was playing is cut off by the end, and what waited its turn never goes:
    // each has its line, since the link will not tell them any more.
    if (m_link) {
        m_link->setPlayOutcomeHandler({});
        const std::string owed = m_link->unansweredCall();
        if (!owed.empty())
            m_platform.log->line(QStringLiteral("O nó não respondeu (%1); o programa encerra sem "
                                                "esperar por ele.")
                                     .arg(QString::fromStdString(owed)));
    }
    const WallMs now = wallNow(*m_platform.clock);
    for (std::size_t i = 0; i < m_playing.size(); ++i) {
        const SendRecord &send = m_playing[i];
        const std::chrono::milliseconds onAir(
            std::max<WallMs>(0, now - wallMs(send.at.date(), send.at.time())));
        reportSend(send, i == 0 ? QStringLiteral("interrompida após %1 s: o programa foi "
                                                 "encerrado")
                                      .arg(seconds(onAir))
                                : QStringLiteral("não enviada: o programa foi encerrado"));
    }
    m_playing.clear();
}

} // namespace anunciel
