#pragma once

#include <QString>

namespace anunciel {

// The design's `ExisteArquivo`, named by what it does. True when a directory search for `path` finds a normal file: * and ? match in the last
// component, a path ending in the folder separator searches that folder, and folders, hidden
// and system files (and on Unix sockets, pipes and devices) never count.
bool findsNormalFile(const QString &path);

// The wildcard match the search uses: * any run of characters, ? any one; nothing else is
// special. Case-sensitive unless the platform's file names are not.
bool matchesWildcard(QStringView pattern, QStringView name, Qt::CaseSensitivity cs);

// The folder separators the platform accepts in a path.
bool isFolderSeparator(QChar c);

} // namespace anunciel
