#include "TransmitSequence.h"

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

LinkState readLinkState(LinkObject &link, RfReads rfReads)
{
    if (!sideIsFree(&LinkObject::RfBusy, link))
        return LinkState::RfBusy;
    if (rfReads == RfReads::Twice && !sideIsFree(&LinkObject::RfBusy, link))
        return LinkState::RfBusy;
    return sideIsFree(&LinkObject::IpBusy, link) ? LinkState::Free : LinkState::IpBusy;
}

LinkStatus transmitFile(LinkObject &link, Pause &pause, const std::function<std::string()> &path)
{
    link.SetTransmit(true);
    const LinkStatus played = link.PlayFile(path(), true);
    pause.pause(kTransmitPauseMs);
    link.SetTransmit(false);
    return played;
}

} // namespace anunciel
