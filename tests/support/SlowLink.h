#pragma once

// A node whose calls take a set time, or never return until released: the inner link of a
// ThreadedLink in tests and benchmarks. Called on the node's thread, read from the test's.

#include "link/LinkObject.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace anunciel::test {

class SlowLink final : public LinkObject
{
public:
    static constexpr int kNever = -1;

    struct Shared
    {
        std::mutex mutex;
        std::condition_variable released;
        bool open = false;
        int readDelayMs = 0;     // RfBusy, IpBusy; kNever: until released
        int transmitDelayMs = 0; // SetTransmit, PlayFile
        std::int16_t rfValue = 0;
        std::vector<std::string> calls; // "RfBusy", "SetTransmit 1", "PlayFile <path> 1"
        std::vector<std::string> answered;
        bool destroyed = false;

        // Lets every call held for ever return, and those to come pass at once.
        void release()
        {
            const std::lock_guard lock(mutex);
            open = true;
            released.notify_all();
        }
        std::vector<std::string> callsSoFar()
        {
            const std::lock_guard lock(mutex);
            return calls;
        }
        std::vector<std::string> answeredSoFar()
        {
            const std::lock_guard lock(mutex);
            return answered;
        }
    };

    explicit SlowLink(std::shared_ptr<Shared> shared) : m_shared(std::move(shared)) {}
    ~SlowLink() override
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->destroyed = true;
    }

    LinkStatus RfBusy(std::int16_t &value) override
    {
        take("RfBusy", &Shared::readDelayMs);
        const std::lock_guard lock(m_shared->mutex);
        value = m_shared->rfValue;
        return {};
    }
    LinkStatus IpBusy(std::int16_t &value) override
    {
        take("IpBusy", &Shared::readDelayMs);
        value = 0;
        return {};
    }
    LinkStatus SetTransmit(bool on) override
    {
        take(on ? "SetTransmit 1" : "SetTransmit 0", &Shared::transmitDelayMs);
        return {};
    }
    LinkStatus PlayFile(const std::string &path, bool flag) override
    {
        take("PlayFile " + path + (flag ? " 1" : " 0"), &Shared::transmitDelayMs);
        return {};
    }

private:
    void take(const std::string &call, int Shared::*delay)
    {
        std::unique_lock lock(m_shared->mutex);
        m_shared->calls.push_back(call);
        const int ms = (*m_shared).*delay;
        if (ms == kNever)
            m_shared->released.wait(lock, [this] { return m_shared->open; });
        else
            m_shared->released.wait_for(lock, std::chrono::milliseconds(ms),
                                        [this] { return m_shared->open; });
        m_shared->answered.push_back(call);
    }

    std::shared_ptr<Shared> m_shared;
};

} // namespace anunciel::test
