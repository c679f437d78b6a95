#pragma once

// A stand-in for rigctld on loopback, answering on its own thread so that the link's
// blocking exchanges can be served from the test's thread. It keeps a PTT state, answers
// the squelch from a script, and can be made to hang or to drop the connection.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace anunciel::test {

class ScriptedRig
{
public:
    enum class Mode
    {
        Answer,
        Hang,
        Drop
    };

    ScriptedRig()
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int yes = 1;
        ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        ::bind(m_listen, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
        ::listen(m_listen, 8);
        socklen_t len = sizeof addr;
        ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        m_thread = std::thread([this] { serve(); });
    }

    ~ScriptedRig()
    {
        m_stop = true;
        m_thread.join();
        if (m_client >= 0)
            ::close(m_client);
        ::close(m_listen);
    }

    std::uint16_t port() const { return m_port; }
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }

    std::atomic<Mode> mode{Mode::Answer};
    std::atomic<bool> refusePtt{false}; // answer PTT commands with RPRT -1

    bool ptt() const { return m_ptt; }
    // Keys or unkeys the radio behind the client's back.
    void forcePtt(bool on) { m_ptt = on; }
    int connections() const { return m_connections; }

    // Answers for the next squelch reads, in order; "0" once they are used up.
    void scriptSquelch(std::vector<std::string> answers)
    {
        std::lock_guard lock(m_mutex);
        m_squelch.assign(answers.begin(), answers.end());
    }
    // Every command line received, in order.
    std::vector<std::string> commands() const
    {
        std::lock_guard lock(m_mutex);
        return m_commands;
    }
    void clearCommands()
    {
        std::lock_guard lock(m_mutex);
        m_commands.clear();
    }

private:
    void serve()
    {
        std::string pending;
        while (!m_stop) {
            pollfd fds[2] = {{m_listen, POLLIN, 0}, {m_client, POLLIN, 0}};
            if (::poll(fds, m_client >= 0 ? 2 : 1, 20) <= 0)
                continue;
            if (fds[0].revents & POLLIN) {
                const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd >= 0) {
                    if (m_client >= 0)
                        ::close(m_client);
                    m_client = fd;
                    pending.clear();
                    ++m_connections;
                }
                continue;
            }
            if (m_client < 0 || !(fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buf[256];
            const ssize_t n = ::read(m_client, buf, sizeof buf);
            if (n <= 0) {
                ::close(m_client);
                m_client = -1;
                continue;
            }
            pending.append(buf, size_t(n));
            std::string::size_type end;
            while (m_client >= 0 && (end = pending.find('\n')) != std::string::npos) {
                const std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                answer(line);
            }
        }
    }

    void answer(const std::string &line)
    {
        {
            std::lock_guard lock(m_mutex);
            m_commands.push_back(line);
        }
        const Mode now = mode;
        if (now == Mode::Hang)
            return;
        if (now == Mode::Drop) {
            ::close(m_client);
            m_client = -1;
            return;
        }
        std::string reply;
        if (line == "T 1" || line == "T 0") {
            if (refusePtt) {
                reply = "RPRT -1";
            } else {
                m_ptt = line == "T 1";
                reply = "RPRT 0";
            }
        } else if (line == "t") {
            reply = m_ptt ? "1" : "0";
        } else if (line == "\\get_dcd") {
            std::lock_guard lock(m_mutex);
            reply = m_squelch.empty() ? "0" : m_squelch.front();
            if (!m_squelch.empty())
                m_squelch.pop_front();
        } else {
            reply = "RPRT -4";
        }
        reply += '\n';
        [[maybe_unused]] const ssize_t n = ::write(m_client, reply.data(), reply.size());
    }

    int m_listen = -1;
    int m_client = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_ptt{false};
    std::atomic<int> m_connections{0};
    mutable std::mutex m_mutex;
    std::deque<std::string> m_squelch;
    std::vector<std::string> m_commands;
    std::thread m_thread;
};

} // namespace anunciel::test
