#include "link/ThreadedLink.h"
#include "link/win/ComLink.h"
#include "platform/Platform.h"

namespace anunciel {

// The link on Windows, its notes going to the program's log. The node's object is made,
// called and released on a thread of its own, which ComLink::create makes a single-threaded
// apartment and whose event loop pumps the messages COM needs there: a node whose window is
// busy answers late, or never, and the window's clock must not wait on it. The node software
// keeps the station's own settings.
LinkCreation createLink(const StationSettings &, Log *log)
{
    return ThreadedLink::create(
        [](const ThreadedLink::Note &note) {
            return win::ComLink::create([note](const std::string &line) {
                note(QString::fromUtf8(line.data(), qsizetype(line.size())));
            });
        },
        [log](const QString &line) {
            if (log)
                log->line(line);
        });
}

} // namespace anunciel
