#pragma once

// A connection to the desktop's sound server (PulseAudio, or PipeWire's PulseAudio service)
// on a thread of its own, made again whenever it was lost. Qt's own sound backend gives up
// for good once the server has been away for a few seconds, and cannot tell that a stream
// was carried over to another output: the station's sound and the receiver's audio go
// through this instead.
//
// Everything that touches the server's objects runs with the loop locked (Lock); the
// server's callbacks run on the loop's thread with it locked already.

#include <pulse/pulseaudio.h>

#include <QString>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace anunciel {

struct PulseDevice
{
    QString name;        // the server's name for it: Qt's id, and what estacao.ini may name
    QString description; // what the desktop's sound settings show
    std::uint32_t index = PA_INVALID_INDEX;
    pa_sample_spec layout{};
    pa_channel_map map{};
};

enum class PulseDirection
{
    Output,
    Input
};

class PulseLoop
{
public:
    PulseLoop();
    ~PulseLoop();
    PulseLoop(const PulseLoop &) = delete;
    PulseLoop &operator=(const PulseLoop &) = delete;

    class Lock
    {
    public:
        explicit Lock(PulseLoop &loop) : m_loop(loop.m_loop) { pa_threaded_mainloop_lock(m_loop); }
        ~Lock() { pa_threaded_mainloop_unlock(m_loop); }
        Lock(const Lock &) = delete;
        Lock &operator=(const Lock &) = delete;

    private:
        pa_threaded_mainloop *m_loop;
    };

    // Locked: whether the server is connected, connecting first if it is not (a lost
    // connection is given up and a new one made), waiting at most `bound`. `why` says, for
    // the operator, why it is not.
    bool connect(std::chrono::milliseconds bound, QString *why = nullptr);
    // Locked: connected now, without trying.
    bool isConnected() const;
    // Called on the loop's thread, locked, when an established connection is lost.
    void setLostHandler(std::function<void()> handler) { m_onLost = std::move(handler); }

    // Locked and connected: the device of that name or description, or the server's default
    // one when `name` is empty; none when there is no such device or no answer within `bound`.
    std::optional<PulseDevice> findDevice(PulseDirection direction, const QString &name,
                                          std::chrono::milliseconds bound);

    // Locked, never on the loop's own thread: waits, lock released meanwhile, until `done`
    // holds or `bound` has passed.
    bool waitFor(const std::function<bool()> &done, std::chrono::milliseconds bound);

    pa_context *context() const { return m_context; }
    pa_threaded_mainloop *mainloop() const { return m_loop; }
    pa_mainloop_api *api() const { return pa_threaded_mainloop_get_api(m_loop); }

private:
    static void contextState(pa_context *context, void *self);
    std::vector<PulseDevice> devices(PulseDirection direction, std::chrono::milliseconds bound,
                                     bool *answered);

    pa_threaded_mainloop *m_loop = nullptr;
    pa_context *m_context = nullptr;
    bool m_wasReady = false;
    std::function<void()> m_onLost;
};

// The server's own words for the last error on `context`, in the operator's language where
// it has a translation.
QString pulseError(pa_context *context);

} // namespace anunciel
