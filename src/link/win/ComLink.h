#pragma once

// The link on Windows: the node software's automation object, reached through COM.
// Plain Windows SDK and standard C++, so that it builds with any Windows compiler.

#include "link/LinkObject.h"

#include <functional>
#include <string>

namespace anunciel::win {

struct NodeAutomation;

// Holds one instance of the node software's class for the whole run. Every call is made on
// the thread that created it (in the program the node's own thread, a single-threaded
// apartment: see ThreadedLink), which must pump messages between calls. Each
// call answers with its HRESULT as the status; nothing is thrown.
class ComLink final : public LinkObject
{
public:
    // One line for the operator's log (UTF-8).
    using Note = std::function<void(const std::string &)>;

    // Initialises COM on the calling thread and creates the object; on failure the status
    // carries the HRESULT and the system's text for it. The operations are bound by their
    // slots in the node interface's function table; where a 64-bit program cannot have that
    // interface (a 32-bit node registered it for 32-bit programs only), through the object's
    // IDispatch, each operation found by its slot in the type information. `note` is told
    // once which binding is in use.
    static LinkCreation create(const Note &note) noexcept;

    // Releases the object without calling any of its operations.
    ~ComLink() override;

    ComLink(const ComLink &) = delete;
    ComLink &operator=(const ComLink &) = delete;

    LinkStatus RfBusy(std::int16_t &value) override;
    LinkStatus IpBusy(std::int16_t &value) override;
    LinkStatus SetTransmit(bool on) override;
    LinkStatus PlayFile(const std::string &path, bool flag) override;

private:
    ComLink(NodeAutomation *node, bool uninitializeCom) noexcept;

    NodeAutomation *m_node;
    bool m_uninitializeCom;
};

// The status for an HRESULT: success for any success code, otherwise the code with the
// system's text for it (UTF-8), or a plain statement that the system has none.
LinkStatus statusOf(long hresult) noexcept;

} // namespace anunciel::win
