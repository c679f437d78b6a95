#pragma once

#include "link/LinkObject.h"

#include <functional>
#include <string>
#include <vector>

namespace anunciel::test {

// A link whose answers a test sets, and which records every call in order.
class FakeLink final : public LinkObject
{
public:
    struct Call
    {
        std::string op;    // "RfBusy", "IpBusy", "SetTransmit", "PlayFile"
        std::string arg;   // "1"/"0" for SetTransmit, the path for PlayFile
        bool flag = false; // PlayFile's flag
        bool operator==(const Call &) const = default;
    };

    std::int16_t rfValue = 0;
    std::int16_t ipValue = 0;
    // Values for successive RfBusy reads, used before rfValue while any are left.
    std::vector<std::int16_t> rfSequence;
    bool failRf = false, failIp = false, failTransmit = false, failPlay = false;
    std::vector<Call> calls;
    // Runs inside each call, after it is recorded (to move a clock, say).
    std::function<void(const Call &)> onCall;

    LinkStatus RfBusy(std::int16_t &value) override
    {
        record({"RfBusy", {}, false});
        if (failRf)
            return failure();
        if (!rfSequence.empty()) {
            value = rfSequence.front();
            rfSequence.erase(rfSequence.begin());
        } else {
            value = rfValue;
        }
        return LinkStatus::success();
    }
    LinkStatus IpBusy(std::int16_t &value) override
    {
        record({"IpBusy", {}, false});
        if (failIp)
            return failure();
        value = ipValue;
        return LinkStatus::success();
    }
    LinkStatus SetTransmit(bool on) override
    {
        record({"SetTransmit", on ? "1" : "0", false});
        return failTransmit ? failure() : LinkStatus::success();
    }
    LinkStatus PlayFile(const std::string &path, bool flag) override
    {
        record({"PlayFile", path, flag});
        return failPlay ? failure() : LinkStatus::success();
    }

    void failAll(bool on = true) { failRf = failIp = failTransmit = failPlay = on; }

    int count(const std::string &op) const
    {
        int n = 0;
        for (const Call &c : calls)
            n += c.op == op;
        return n;
    }

private:
    static LinkStatus failure()
    {
        return LinkStatus::failure(-2147023174, "RPC server unavailable");
    }
    void record(const Call &call)
    {
        calls.push_back(call);
        if (onCall)
            onCall(call);
    }
};

} // namespace anunciel::test
