#pragma once

// Makes saving `file` fail in this process, whoever runs the test (root or an administrator
// too), until the guard goes.
//
// Linux: every write past `bytes` fails (the file size limit; SIGXFSZ is ignored meanwhile,
// so the write fails instead of ending the process). Windows has no such limit: the file is
// held open without sharing, as another program may hold it, so the save's last step, putting
// the new file in its place, fails.

#include <QString>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include "FileSizeLimit.h"
#endif

namespace anunciel::test {

class SaveFailure
{
public:
    SaveFailure(const QString &file, qint64 bytes)
#ifndef Q_OS_WIN
        : m_limit(rlim_t(bytes))
#endif
    {
#ifdef Q_OS_WIN
        Q_UNUSED(bytes);
        m_handle = CreateFileW(reinterpret_cast<LPCWSTR>(file.utf16()), GENERIC_READ, 0, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
#else
        Q_UNUSED(file);
#endif
    }
    ~SaveFailure()
    {
#ifdef Q_OS_WIN
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
#endif
    }
    SaveFailure(const SaveFailure &) = delete;
    SaveFailure &operator=(const SaveFailure &) = delete;

    // False when the guard could not be set: the test cannot make its save fail.
    bool isSet() const
    {
#ifdef Q_OS_WIN
        return m_handle != INVALID_HANDLE_VALUE;
#else
        return m_limit.isSet();
#endif
    }

private:
#ifdef Q_OS_WIN
    HANDLE m_handle = INVALID_HANDLE_VALUE;
#else
    FileSizeLimit m_limit;
#endif
};

} // namespace anunciel::test
