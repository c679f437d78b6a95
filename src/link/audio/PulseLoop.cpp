#include "link/audio/PulseLoop.h"

#include <QThread>

namespace anunciel {

namespace {

using Clock = std::chrono::steady_clock;

struct Listing
{
    PulseDirection direction;
    std::vector<PulseDevice> devices;
    bool done = false;
    pa_threaded_mainloop *loop;
};

template <typename Info> void addDevice(Listing &listing, const Info &info)
{
    PulseDevice device;
    device.name = QString::fromUtf8(info.name);
    device.description = QString::fromUtf8(info.description ? info.description : info.name);
    device.index = info.index;
    device.layout = info.sample_spec;
    device.map = info.channel_map;
    listing.devices.push_back(device);
}

void sinkInfo(pa_context *, const pa_sink_info *info, int eol, void *data)
{
    auto &listing = *static_cast<Listing *>(data);
    if (eol) {
        listing.done = true;
        pa_threaded_mainloop_signal(listing.loop, 0);
    } else if (info) {
        addDevice(listing, *info);
    }
}

void sourceInfo(pa_context *, const pa_source_info *info, int eol, void *data)
{
    auto &listing = *static_cast<Listing *>(data);
    if (eol) {
        listing.done = true;
        pa_threaded_mainloop_signal(listing.loop, 0);
    } else if (info && info->monitor_of_sink == PA_INVALID_INDEX) {
        // As Qt lists them: a monitor hears this program's own sound, never the receiver.
        addDevice(listing, *info);
    }
}

struct ServerNames
{
    QString sink, source;
    bool done = false;
};

void serverInfo(pa_context *, const pa_server_info *info, void *data)
{
    auto &names = *static_cast<ServerNames *>(data);
    if (info) {
        names.sink = QString::fromUtf8(info->default_sink_name ? info->default_sink_name : "");
        names.source =
            QString::fromUtf8(info->default_source_name ? info->default_source_name : "");
    }
    names.done = true;
}

} // namespace

QString pulseError(pa_context *context)
{
    return QString::fromUtf8(pa_strerror(context ? pa_context_errno(context) : PA_ERR_UNKNOWN));
}

PulseLoop::PulseLoop() : m_loop(pa_threaded_mainloop_new())
{
    pa_threaded_mainloop_set_name(m_loop, "anunciel-pulse");
    pa_threaded_mainloop_start(m_loop);
}

PulseLoop::~PulseLoop()
{
    {
        Lock lock(*this);
        if (m_context) {
            pa_context_set_state_callback(m_context, nullptr, nullptr);
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
            m_context = nullptr;
        }
    }
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
}

void PulseLoop::contextState(pa_context *context, void *self)
{
    auto &loop = *static_cast<PulseLoop *>(self);
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY) {
        loop.m_wasReady = true;
    } else if (!PA_CONTEXT_IS_GOOD(state) && loop.m_wasReady) {
        loop.m_wasReady = false;
        if (loop.m_onLost)
            loop.m_onLost();
    }
    pa_threaded_mainloop_signal(loop.m_loop, 0);
}

bool PulseLoop::isConnected() const
{
    return m_context && pa_context_get_state(m_context) == PA_CONTEXT_READY;
}

bool PulseLoop::waitFor(const std::function<bool()> &done, std::chrono::milliseconds bound)
{
    const Clock::time_point until = Clock::now() + bound;
    while (!done()) {
        if (Clock::now() >= until)
            return false;
        // The server's answers come on the loop's thread, which needs the lock.
        pa_threaded_mainloop_unlock(m_loop);
        QThread::usleep(500);
        pa_threaded_mainloop_lock(m_loop);
    }
    return true;
}

bool PulseLoop::connect(std::chrono::milliseconds bound, QString *why)
{
    if (m_context && !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context))) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_unref(m_context);
        m_context = nullptr;
    }
    if (!m_context) {
        pa_proplist *properties = pa_proplist_new();
        pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Anunciel");
        pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "anunciel");
        m_context = pa_context_new_with_proplist(api(), "Anunciel", properties);
        pa_proplist_free(properties);
        pa_context_set_state_callback(m_context, &PulseLoop::contextState, this);
        // A server is the desktop's to start: one spawned here would play to no one.
        if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            if (why)
                *why = pulseError(m_context);
            return false;
        }
    }
    waitFor(
        [this] {
            const pa_context_state_t state = pa_context_get_state(m_context);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        },
        bound);
    const pa_context_state_t state = pa_context_get_state(m_context);
    if (state == PA_CONTEXT_READY)
        return true;
    if (why)
        *why = PA_CONTEXT_IS_GOOD(state) ? QStringLiteral("o servidor de som não respondeu a tempo")
                                         : pulseError(m_context);
    return false;
}

std::vector<PulseDevice> PulseLoop::devices(PulseDirection direction,
                                            std::chrono::milliseconds bound, bool *answered)
{
    Listing listing{direction, {}, false, m_loop};
    pa_operation *operation =
        direction == PulseDirection::Output
            ? pa_context_get_sink_info_list(m_context, sinkInfo, &listing)
            : pa_context_get_source_info_list(m_context, sourceInfo, &listing);
    *answered = operation && waitFor([&listing] { return listing.done; }, bound);
    if (operation) {
        // Given up on, its callback must not reach this frame any more.
        if (!listing.done)
            pa_operation_cancel(operation);
        pa_operation_unref(operation);
    }
    return listing.devices;
}

std::optional<PulseDevice> PulseLoop::findDevice(PulseDirection direction, const QString &name,
                                                 std::chrono::milliseconds bound)
{
    if (!isConnected())
        return std::nullopt;
    bool answered = false;
    const std::vector<PulseDevice> devices = this->devices(direction, bound, &answered);
    if (!answered || devices.empty())
        return std::nullopt;
    if (name.isEmpty()) {
        ServerNames names;
        pa_operation *operation = pa_context_get_server_info(m_context, serverInfo, &names);
        const bool told = operation && waitFor([&names] { return names.done; }, bound);
        if (operation) {
            if (!names.done)
                pa_operation_cancel(operation);
            pa_operation_unref(operation);
        }
        const QString wanted = direction == PulseDirection::Output ? names.sink : names.source;
        for (const PulseDevice &device : devices)
            if (told && device.name == wanted)
                return device;
        return devices.front();
    }
    // As Qt matches them: the description first, which the operator sees, then the name.
    for (const PulseDevice &device : devices)
        if (device.description == name)
            return device;
    for (const PulseDevice &device : devices)
        if (device.name == name)
            return device;
    return std::nullopt;
}

} // namespace anunciel
