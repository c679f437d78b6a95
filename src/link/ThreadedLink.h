#pragma once

// A link whose node lives on a thread of its own, so that a slow or hung node costs the
// station a bounded wait and never its clock.
//
// The real link is made, called and released on that thread (on Windows the link makes it a
// single-threaded apartment, and the thread's event loop pumps the messages COM needs). The
// four operations keep their order and arguments; each waits at most its bound:
//
//   - a reading (RfBusy, IpBusy): Bounds::read. A reading is worth something only in the
//     second it was asked for, so it never waits behind another call: while the node has
//     any call unanswered, a reading fails at once (kNodeStillBusy).
//   - keying and playing (SetTransmit, PlayFile): Bounds::transmit, counted from the call,
//     any wait behind a call the node is still answering included. Once a call has gone
//     unanswered longer than Bounds::transmit the node counts as hung, and further calls
//     fail at once (kNodeStillBusy) rather than queue behind it.
//
// A call that ran out of its bound fails (kNoAnswerInTime) and is never carried out later if
// the node had not taken it yet; the one exception is an unkey (SetTransmit(false)), which
// stays queued until the node takes it, however late: a key the node took late must not be
// left standing. An answer that comes after its bound is dropped, never acted on, and
// told once (one line for a run of late answers).
//
// Destroying the link never waits on a hung node: the thread is left behind, still in the
// node's call, and the process can end.

#include "link/LinkObject.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace anunciel {

class ThreadedLink final : public LinkObject
{
public:
    struct Bounds
    {
        std::chrono::milliseconds read{300};
        std::chrono::milliseconds transmit{5000};
        // Making the node's object may start its program.
        std::chrono::milliseconds creation{20000};
        // Releasing it at the end, when no call is stuck.
        std::chrono::milliseconds release{2000};
    };

    enum class Operation
    {
        RfBusy,
        IpBusy,
        SetTransmit,
        PlayFile
    };
    struct Call
    {
        Operation op = Operation::RfBusy;
        bool on = false; // SetTransmit
        std::string path;
        bool flag = true; // PlayFile
    };
    struct Answer
    {
        LinkStatus status;
        std::int16_t value = 0; // the readings
    };

    // One line for the operator's log; always called on the thread that made the link.
    using Note = std::function<void(const QString &)>;
    // Makes the real link, on the node's thread; its note may be called from any thread.
    using Factory = std::function<LinkCreation(const Note &note)>;
    using Done = std::function<void(const Answer &)>;

    // The call's own bound ran out: RPC_E_TIMEOUT.
    static constexpr std::int32_t kNoAnswerInTime = std::int32_t(0x8001011FU);
    // The node is still in an earlier call: RPC_E_SERVERCALL_RETRYLATER.
    static constexpr std::int32_t kNodeStillBusy = std::int32_t(0x8001010AU);

    // Starts the node's thread and makes the link there, waiting at most Bounds::creation.
    // `note` gets what the operator should know; the link must be used from this thread.
    static LinkCreation create(const Factory &factory, Note note, Bounds bounds);
    static LinkCreation create(const Factory &factory, Note note);
    ~ThreadedLink() override;
    ThreadedLink(const ThreadedLink &) = delete;
    ThreadedLink &operator=(const ThreadedLink &) = delete;

    LinkStatus RfBusy(std::int16_t &value) override;
    LinkStatus IpBusy(std::int16_t &value) override;
    LinkStatus SetTransmit(bool on) override;
    LinkStatus PlayFile(const std::string &path, bool flag) override;
    bool tellsPlayOutcome() const override;
    void setPlayOutcomeHandler(PlayOutcomeHandler handler) override;
    std::string unansweredCall() const override;

    // The same calls without waiting: `done` is called exactly once, from this thread's event
    // loop, with the answer or, once the bound has run out, the failure; never after the
    // link is gone. A call refused at once is answered the same way.
    void submit(Call call, Done done);

    const Bounds &bounds() const;

private:
    struct Job;
    struct Shared;
    explicit ThreadedLink(std::shared_ptr<Shared> shared);
    Answer callAndWait(Call call);
    std::shared_ptr<Shared> m_shared;
};

} // namespace anunciel
