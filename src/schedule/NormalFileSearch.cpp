#include "schedule/NormalFileSearch.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace anunciel {

namespace {

#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity kNameCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity kNameCase = Qt::CaseSensitive;
#endif

bool isNormalFile(const QFileInfo &info)
{
    if (!info.isFile() || info.isHidden())
        return false;
#ifdef Q_OS_WIN
    const DWORD attributes =
        GetFileAttributesW(reinterpret_cast<LPCWSTR>(info.absoluteFilePath().utf16()));
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_SYSTEM))
        return false;
#endif
    return true;
}

bool hasWildcard(QStringView s)
{
    return s.contains(u'*') || s.contains(u'?');
}

} // namespace

bool isFolderSeparator(QChar c)
{
#ifdef Q_OS_WIN
    return c == u'\\' || c == u'/';
#else
    return c == u'/';
#endif
}

bool matchesWildcard(QStringView pattern, QStringView name, Qt::CaseSensitivity cs)
{
    // Iterative match with one backtrack point for the last *: linear in practice and never
    // recursive, whatever the operator types.
    qsizetype p = 0, n = 0, starP = -1, starN = 0;
    auto same = [cs](QChar a, QChar b) {
        return cs == Qt::CaseSensitive ? a == b : a.toCaseFolded() == b.toCaseFolded();
    };
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == u'?' || same(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

bool findsNormalFile(const QString &path)
{
    qsizetype cut = path.size();
    while (cut > 0 && !isFolderSeparator(path[cut - 1]))
        --cut;
    const QString folder = path.left(cut);
    const QString pattern = path.mid(cut);

    if (!pattern.isEmpty() && !hasWildcard(pattern))
        return isNormalFile(QFileInfo(path));

    // A search: an empty last component (a path ending in the separator) lists the folder.
    const QDir dir(folder.isEmpty() ? QStringLiteral(".") : folder);
    QDirIterator it(dir.path(), QDir::Files | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if ((pattern.isEmpty() || matchesWildcard(pattern, info.fileName(), kNameCase)) &&
            isNormalFile(info))
            return true;
    }
    return false;
}

} // namespace anunciel
