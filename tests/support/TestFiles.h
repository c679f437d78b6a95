#pragma once

// Small file helpers shared by the tests.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace anunciel::test {

inline void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

inline QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// A fresh temporary folder made the working folder, where the schedule files are read.
inline std::unique_ptr<QTemporaryDir> freshWorkingFolder()
{
    auto dir = std::make_unique<QTemporaryDir>();
    if (!dir->isValid() || !QDir::setCurrent(dir->path()))
        qFatal("cannot make a temporary working folder");
    return dir;
}

} // namespace anunciel::test
