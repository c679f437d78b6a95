#pragma once

// The sending window: a slot that comes due while the channel is busy waits, instead of
// being dropped, until both sides have been free for a while, as long as that happens
// within the window after its time. Each occurrence of a slot's time is settled (sent,
// given up, or dropped because the slot changed) once; the window keeps no state beyond the
// run. The sends themselves, and the channel readings, are the window's owner's.

#include "core/ChannelWatch.h"
#include "schedule/ScheduleFile.h"
#include "schedule/SlotDays.h"
#include "settings/StationSettings.h"

#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace anunciel {

// A slot as its row shows it at that moment.
struct ShownSlot
{
    bool ticked = false;
    QString time;
    QString fileName;
    SlotDaysRead days; // every day unless dias_msg.txt says otherwise
};

class SendingWindow
{
public:
    explicit SendingWindow(const SendingSettings &settings = {});

    // Off (a zero window): every slot has its own second only, as without a window.
    bool isOn() const { return m_windowMs > 0; }

    // For a ticked slot whose file exists, at each tick: the slot starts waiting when its time
    // came since the tick before (`previousTick`; a tick held up by a send does not lose it)
    // or, at the run's first tick (no previous one), when its window is still open: a program
    // started again inside it. An occurrence already settled never waits again.
    void consider(int slot, WallMs now, const ShownSlot &shown, std::optional<WallMs> previousTick);

    // The waiting slots, in slot order.
    std::vector<int> waiting() const;
    bool isWaiting(int slot) const { return m_waits[slot].has_value(); }

    enum class Step
    {
        Wait,    // the channel has not been free long enough yet
        Try,     // read the channel once more and send if it is free
        Expired, // the window ended without a free channel: given up
        Stopped  // unticked, emptied or changed while waiting: given up
    };
    Step step(int slot, WallMs now, const ShownSlot &shown, const ChannelWatch &channel) const;

    // The waiting occurrence of `slot` is done with.
    void settle(int slot);
    // The occurrence of `slot` at `occurrence` went out already (by an earlier run, says the
    // record): it does not wait again.
    void noteSent(int slot, WallMs occurrence) { m_settled[slot] = occurrence; }

    // For what the log says of a waiting slot: its time and file as they were when it began
    // to wait.
    const ShownSlot &waitingAs(int slot) const { return m_waits[slot]->shown; }

    // What the log says of a slot sent at `sentAt`: "enviada" in its own second, otherwise
    // when, what for, and until when the channel was seen busy.
    QString sentOutcome(int slot, WallMs sentAt, const ChannelWatch &channel) const;
    // What it says at the window's end.
    QString expiredOutcome(int slot) const;

private:
    struct Wait
    {
        WallMs occurrence = 0;
        ShownSlot shown;
    };

    WallMs m_windowMs = 0;
    int m_freeSeconds = 0;
    std::array<std::optional<Wait>, kSlotCount> m_waits;
    std::array<std::optional<WallMs>, kSlotCount> m_settled;
};

} // namespace anunciel
