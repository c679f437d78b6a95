#pragma once

// Makes `name` a file that is there but cannot be read, whoever runs the test (root or an
// administrator too), while the guard lives.
//
// Linux: a link to /proc/self/mem, whose reads fail at offset 0 (the link stays). Windows: a
// file held open without sharing, as another program may hold it (an editor, a backup, an
// antivirus); opening it to read fails with a sharing violation.

#include <QFile>
#include <QString>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace anunciel::test {

class UnreadableFile
{
public:
    explicit UnreadableFile(const QString &name)
    {
#ifdef Q_OS_WIN
        m_handle =
            CreateFileW(reinterpret_cast<LPCWSTR>(name.utf16()), GENERIC_READ | GENERIC_WRITE, 0,
                        nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        m_set = m_handle != INVALID_HANDLE_VALUE &&
                WriteFile(m_handle, "08:00\r\n", 7, &written, nullptr) && written == 7;
#else
        m_set = QFile::link(QStringLiteral("/proc/self/mem"), name);
#endif
    }
    ~UnreadableFile()
    {
#ifdef Q_OS_WIN
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
#endif
    }
    UnreadableFile(const UnreadableFile &) = delete;
    UnreadableFile &operator=(const UnreadableFile &) = delete;

    bool isSet() const
    {
        return m_set;
    }

private:
#ifdef Q_OS_WIN
    HANDLE m_handle = INVALID_HANDLE_VALUE;
#endif
    bool m_set = false;
};

} // namespace anunciel::test
