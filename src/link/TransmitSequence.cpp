#include "TransmitSequence.h"

#include "LinkObject.h"
#include "platform/Platform.h"

namespace anunciel {

namespace {

// A read that fails counts as free: the node may not answer, and a missed announcement is
// worse than one sent over a channel whose state could not be read.
bool sideIsFree(LinkStatus (LinkObject::*read)(std::int16_t &), LinkObject &link)
{
    std::int16_t value = 0;
    const LinkStatus status = (link.*read)(value);
    return !status.ok() || value == 0;
}

} // namespace

bool linkIsFree(LinkObject &link, RfReads rfReads)
{
    if (!sideIsFree(&LinkObject::RfBusy, link))
        return false;
    if (rfReads == RfReads::Twice && !sideIsFree(&LinkObject::RfBusy, link))
        return false;
    return sideIsFree(&LinkObject::IpBusy, link);
}

void transmitFile(LinkObject &link, Pause &pause, const std::function<std::string()> &path)
{
    link.SetTransmit(true);
    link.PlayFile(path(), true);
    pause.pause(kTransmitPauseMs);
    link.SetTransmit(false);
}

} // namespace anunciel
