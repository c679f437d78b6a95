// Drives the Windows link the way the program does, for the check under Wine. It creates the
// link as start-up does (its notes for the log go to log.txt), makes the calls of one situation in
// the order the program makes them, and writes each status to result.txt in the current folder:
//
//   linkcheck create     creation only
//   linkcheck transmit   key, play the path read from path.txt (UTF-8), unkey
//   linkcheck busy       the scheduler's checks: RfBusy twice, then IpBusy
//
// A second argument, sta or mta, first makes the thread a COM apartment of that kind, as a
// toolkit may have done before the program creates its link (Qt's Windows platform makes
// the user-interface thread a single-threaded one); the result then also says whether the
// caller's apartment survived the link's release.
//
// Exit code 0 when the link was created, 2 when it was not, 1 on a usage error.

#include "link/win/ComLink.h"

#include <objbase.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

std::string hex(std::int32_t code)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    return text;
}

std::string line(const char *name, const anunciel::LinkStatus &status)
{
    return std::string(name) + " " + hex(status.code) + " \"" + status.description + "\"";
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2 && argc != 3)
        return 1;
    const std::string mode = argv[1];
    const std::string before = argc == 3 ? argv[2] : "";
    DWORD model = 0;
    if (before == "sta")
        model = COINIT_APARTMENTTHREADED;
    else if (before == "mta")
        model = COINIT_MULTITHREADED;
    else if (!before.empty())
        return 1;
    if (!before.empty() && CoInitializeEx(nullptr, model) != S_OK)
        return 1;
    std::ostringstream out;
    int exitCode = 0;
    {
        std::ofstream notes("log.txt", std::ios::binary);
        anunciel::LinkCreation created = anunciel::win::ComLink::create(
            [&notes](const std::string &note) { notes << note << "\n"
                                                      << std::flush; });
        if (!created.link) {
            out << "not created " << hex(created.status.code) << " \"" << created.status.description
                << "\"\n";
            exitCode = 2;
        } else if (mode == "create") {
            out << "created\n";
        } else if (mode == "transmit") {
            std::ifstream in("path.txt", std::ios::binary);
            const std::string path{std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>()};
            anunciel::LinkObject &link = *created.link;
            out << line("SetTransmit(true)", link.SetTransmit(true)) << "\n";
            out << line("PlayFile", link.PlayFile(path, true)) << "\n";
            out << line("SetTransmit(false)", link.SetTransmit(false)) << "\n";
        } else if (mode == "busy") {
            anunciel::LinkObject &link = *created.link;
            // A failed read must leave the caller's value alone.
            for (const char *side : {"RfBusy", "RfBusy", "IpBusy"}) {
                std::int16_t value = 77;
                const anunciel::LinkStatus status =
                    side[0] == 'R' ? link.RfBusy(value) : link.IpBusy(value);
                out << line(side, status) << " " << value << "\n";
            }
        } else {
            return 1;
        }
        // The link is released here, with no call made on it.
    }
    if (!before.empty()) {
        // S_FALSE: the apartment this program made is still there, as it must be.
        const HRESULT again = CoInitializeEx(nullptr, model);
        out << "caller's apartment after release: " << (again == S_FALSE ? "kept" : hex(again))
            << "\n";
    }
    std::ofstream("result.txt", std::ios::binary) << out.str();
    return exitCode;
}
