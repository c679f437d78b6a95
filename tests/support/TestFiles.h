#pragma once

// Small file helpers shared by the tests.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace anunciel::test {

// Whether the whole of `bytes` was written to a new (or emptied) file.
inline bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

inline QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace anunciel::test
