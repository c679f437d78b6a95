#include "LinkObject.h"

// Interim link for platforms without the node software's object: accepts every call and
// reports both sides free. Replaced by the native station link.

namespace anunciel {

namespace {

class InterimLink final : public LinkObject
{
public:
    LinkStatus RfBusy(std::int16_t &value) override
    {
        value = 0;
        return LinkStatus::success();
    }
    LinkStatus IpBusy(std::int16_t &value) override
    {
        value = 0;
        return LinkStatus::success();
    }
    LinkStatus SetTransmit(bool) override { return LinkStatus::success(); }
    LinkStatus PlayFile(const std::string &, bool) override { return LinkStatus::success(); }
};

} // namespace

LinkCreation createLink()
{
    return {std::make_unique<InterimLink>(), LinkStatus::success()};
}

} // namespace anunciel
