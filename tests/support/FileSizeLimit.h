#pragma once

// Makes every write past `bytes` fail in this process, whoever runs the test (root too), until
// the guard goes: the way to make a save fall short on purpose. SIGXFSZ is ignored meanwhile,
// so the write fails instead of ending the process.

#include <csignal>
#include <sys/resource.h>

namespace anunciel::test {

class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_set = ::getrlimit(RLIMIT_FSIZE, &m_saved) == 0;
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit tight = m_saved;
        tight.rlim_cur = bytes;
        m_set = m_set && ::setrlimit(RLIMIT_FSIZE, &tight) == 0;
    }
    ~FileSizeLimit()
    {
        if (m_set)
            ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    // False when the limit could not be set: the test cannot make its write fail.
    bool isSet() const { return m_set; }

private:
    struct rlimit m_saved
    {
    };
    void (*m_handler)(int) = SIG_DFL;
    bool m_set = false;
};

} // namespace anunciel::test
