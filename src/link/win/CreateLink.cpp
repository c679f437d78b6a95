#include "link/win/ComLink.h"
#include "platform/Platform.h"

namespace anunciel {

// The link on Windows, its notes going to the program's log.
LinkCreation createLink(Log *log)
{
    return win::ComLink::create([log](const std::string &line) {
        if (log)
            log->line(QString::fromUtf8(line.data(), qsizetype(line.size())));
    });
}

} // namespace anunciel
