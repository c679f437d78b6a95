#pragma once

// A stand-in for rigctld on loopback, answering on its own thread so that the link's
// blocking exchanges can be served from the test's thread. It keeps a PTT state, answers
// the squelch from a script, and can be made to hang, to drop the connection, to answer PTT
// late (a slow radio), or to be absent (its port refuses connections) until it appears.
// Every PTT change it confirms is logged against the steady clock.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
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

    enum class Start
    {
        Listening,
        Absent
    };
    struct PttChange
    {
        bool on = false;
        std::chrono::steady_clock::time_point at; // when the confirmation was sent
    };

    explicit ScriptedRig(Start start = Start::Listening)
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int yes = 1;
        ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        ::bind(m_listen, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
        // Bound but not listening: a connection is refused, as on a port nobody serves.
        if (start == Start::Listening)
            appear();
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

    // Starts taking connections (a rigctld started after the program).
    void appear()
    {
        ::listen(m_listen, 8);
        m_listening = true;
    }

    std::uint16_t port() const { return m_port; }
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }

    std::atomic<Mode> mode{Mode::Answer};
    std::atomic<bool> refusePtt{false}; // answer PTT commands with RPRT -1
    std::atomic<int> pttDelayMs{0};     // a slow radio: PTT carried out and confirmed this late

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
    // Whether PTT was ever carried out on.
    bool everKeyed() const
    {
        std::lock_guard lock(m_mutex);
        for (const PttChange &change : m_pttLog)
            if (change.on)
                return true;
        return false;
    }
    // Every PTT change confirmed, in order.
    std::vector<PttChange> pttLog() const
    {
        std::lock_guard lock(m_mutex);
        return m_pttLog;
    }

private:
    void serve()
    {
        std::string pending;
        while (!m_stop) {
            if (!m_listening) {
                ::usleep(5000);
                continue;
            }
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
            if (pttDelayMs > 0)
                ::usleep(useconds_t(pttDelayMs) * 1000);
            if (refusePtt) {
                reply = "RPRT -1";
            } else {
                m_ptt = line == "T 1";
                reply = "RPRT 0";
                std::lock_guard lock(m_mutex);
                m_pttLog.push_back({m_ptt, std::chrono::steady_clock::now()});
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
        // The client may have given up and gone: no SIGPIPE for that.
        [[maybe_unused]] const ssize_t n =
            ::send(m_client, reply.data(), reply.size(), MSG_NOSIGNAL);
    }

    int m_listen = -1;
    int m_client = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_listening{false};
    std::atomic<bool> m_ptt{false};
    std::atomic<int> m_connections{0};
    mutable std::mutex m_mutex;
    std::deque<std::string> m_squelch;
    std::vector<std::string> m_commands;
    std::vector<PttChange> m_pttLog;
    std::thread m_thread;
};

} // namespace anunciel::test
