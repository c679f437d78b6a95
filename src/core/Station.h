#pragma once

// The station without its window: the four slots, the second's tick and the readings of
// both sides (`Timer1`, `Timer2`), every send, the status line's text and the schedule files.
// A front end shows what it reports through signals and binds its fields to the slots; it
// is asked only what a person must answer.

#include "core/ChannelWatch.h"
#include "core/Identification.h"
#include "core/SendingWindow.h"
#include "core/SideState.h"
#include "link/LinkObject.h"
#include "link/TransmitSequence.h"
#include "platform/Platform.h"
#include "schedule/ScheduleFile.h"
#include "schedule/SlotDays.h"
#include "settings/StationSettings.h"

#include <QObject>

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

class QTimer;

namespace anunciel {

class SecondTimer;

using LinkFactory = std::function<LinkCreation()>;

// One schedule slot: the design's `CheckN`, `horaN` and `msgN`.
struct StationSlot
{
    Qt::CheckState enabled = Qt::Unchecked; // only Checked enables it; a grayed box does not
    QString time;                           // as typed, normally "HH:mm"
    QString fileName;                       // relative to the program folder
};

// What only a person can answer. A front end without a screen answers at once.
class StationFrontEnd
{
public:
    virtual ~StationFrontEnd() = default;
    // A ticked slot's file is gone; returns once the operator has seen it (the box's OK).
    virtual void tellMissingFile(int slot) = 0;
};

class Station : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Station)

public:
    enum class Column
    {
        Times,
        FileNames
    };

    Station(const Platform &platform, LinkFactory linkFactory, QObject *parent = nullptr);
    ~Station() override;

    // Creates the link, starts both timers and loads the schedule. False when the settings
    // could not be understood or the link could not be made: the report has been logged and
    // shown, and the program must end.
    bool start(const StationSettingsRead &settings);
    void setFrontEnd(StationFrontEnd *frontEnd) { m_frontEnd = frontEnd; }

    // ---- the schedule ----------------------------------------------------------------------
    const StationSlot &slot(int slot) const { return m_slots[slot]; }
    void setEnabled(int slot, Qt::CheckState state);
    void setTime(int slot, const QString &text);
    void setFileName(int slot, const QString &text);
    // Reads a schedule file into its column; anything but Ok leaves the column as it was.
    ScheduleRead loadColumn(Column column);
    ScheduleWrite saveColumn(Column column);
    // Reads dias_msg.txt anew: at start, from either load button, when it changes on disk.
    void loadDays();
    const SlotDaysRead &days(int slot) const { return m_days[slot]; }
    static QString fileOf(Column column);

    // ---- what the timers run, public so that tests can drive them with a fake clock ---------
    void onSecond();  // `Timer1`: the clock, then every slot that is due
    void readSides(); // `Timer2`: both sides, and what waits on the channel
    // "Enviar agora".
    void sendNow(int slot);

    // What today's record (the station log's lines, oldest first) says went out, so that a
    // restart inside a sending window or an identified interval does not send it again.
    // Nothing: the record could not be read, and nothing is remembered.
    void recall(const std::optional<QStringList> &record);

    // Ends the run: no tick, reading or send after this. A send still on the air is cut off
    // and reported as such.
    void stop();
    bool isEnding() const { return m_ending; }
    // Whether a send holds the link right now (a call into it is under way).
    bool isSending() const { return m_sending; }

    // The program folder with its trailing separator, as the last send or tick found it
    // (the design's `caminho`).
    const QString &programFolderPath() const { return m_programFolder; }
    QString statusText() const;
    // Puts a notice of the program's own at the head of the status line (the log file's
    // trouble, say) until the next outcome.
    void showNotice(const QString &text);

signals:
    void clockChanged(const QString &text);   // every tick, "HH:mm:ss"
    void sideRead(int side, SideState state); // every reading, 0 the radio, 1 the internet
    void statusChanged(const QString &text);
    void slotChanged(int slot);
    void daysChanged();
    // Every send's final word, as the log has it: `slot` -1 for the identification; `sent`
    // when the file went out (whole, or over a busy channel as the settings allow).
    void sendReported(int slot, const QString &line, bool sent);

private:
    enum class SendKind
    {
        Scheduled,
        Now
    };
    // A send as the log and the status line tell it: which slot (none for the
    // identification), when, how it was asked, and what to call it once it went out whole.
    struct SendRecord
    {
        int slot = 0; // -1: the identification
        QDateTime at;
        QString how;  // "horário 14:30" or "enviar agora"
        QString path; // the file's full path
        QString sentOutcome = QStringLiteral("enviada");
    };

    void applyColumn(Column column, const ScheduleColumn &texts);
    void loadAtStart(Column column);
    void stopFatally(const LinkStatus &status);

    void refreshProgramFolder();
    QString slotPath(int slot) const;
    void checkSlot(int slot);
    bool tellMissingFile(int slot);
    bool sendIfFree(int slot, SendKind kind, RfReads rfReads);
    SendRecord recordOf(int slot, SendKind kind) const;
    void reportSend(const SendRecord &send, const QString &outcome);
    void playOutcome(const PlayOutcome &outcome);
    QString nextSlotText() const;
    void refreshStatus();
    SideState readSide(int side);
    ShownSlot shownSlot(int slot) const;
    LinkState readChannel(RfReads rfReads);
    // The one way onto the air: keys, plays the file `path` gives, unkeys, and reports.
    LinkStatus transmit(const SendRecord &send, const std::function<std::string()> &path,
                        bool announcement);
    std::optional<LinkStatus> sendPolitely(const SendRecord &send, bool announcement);
    void channelRead(bool busy);
    void sendWaiting();
    void identify();

    Platform m_platform;
    LinkFactory m_linkFactory;
    StationFrontEnd *m_frontEnd = nullptr;
    std::unique_ptr<LinkObject> m_link;
    QString m_programFolder;
    std::array<StationSlot, kSlotCount> m_slots{};
    SecondTimer *m_secondTimer = nullptr;
    QTimer *m_sideTimer = nullptr;

    ChannelWatch m_channel;
    SendingWindow m_window;
    Identification m_identification;
    std::optional<WallMs> m_lastTick; // the scheduler's last tick, once it has ticked

    std::array<SlotDaysRead, kSlotCount> m_days{};
    LastDayNotes m_lastDayNotes;
    // The occurrence of each slot's time last decided (sent, or told as not sent).
    std::array<std::optional<WallMs>, kSlotCount> m_decided{};
    // When the last send held the link: from keying to its end.
    std::optional<std::pair<WallMs, WallMs>> m_onAir;
    std::array<bool, kSlotCount> m_missingFileOpen{};
    // What the indicators last showed, radio first; none before the first reading.
    std::array<std::optional<SideState>, 2> m_sideState{};
    // Sends whose files the link took and will tell the end of, oldest first.
    std::deque<SendRecord> m_playing;
    QString m_lastOutcome;
    QString m_notice;
    QString m_shownStatus;
    bool m_sending = false;
    bool m_ending = false;
    bool m_started = false;
    bool m_rfUndetected = false; // no squelch source: the radio side is never busy
};

} // namespace anunciel
