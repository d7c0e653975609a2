#pragma once

#include "monitor/frame_format.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace adc::test {

/// A raw pseudo-terminal pair: the test writes converter bytes into the master, the code under
/// test opens the slave by its path, as it would open a serial port.
class PtyPair
{
public:
    PtyPair()
    {
        char name[256] = {};
        if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        m_path = name;
        // Programs the tests start must not inherit the line and keep it from hanging up.
        ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
        ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
        termios tio{};
        ::tcgetattr(m_slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(m_slave, TCSANOW, &tio);
    }
    ~PtyPair()
    {
        closeMaster();
        closeSlave();
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    /// The slave's device path, e.g. "/dev/pts/3".
    const std::string& path() const { return m_path; }

    /// Writes all of `bytes` to the master; false when the other side is gone.
    bool write(std::string_view bytes) const
    {
        while (!bytes.empty()) {
            const ssize_t n = ::write(m_master, bytes.data(), bytes.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    /// From now on, notes when the program on the slave side flushes its input, as a reader
    /// does at the end of setting up its line. Call it before that program opens the line.
    void watchSetUp() const
    {
        const int on = 1;
        ::ioctl(m_master, TIOCPKT, &on);
    }

    /// Waits up to `waitMs` for the reader watched since watchSetUp() to be set up: its input
    /// flushed, then no further flush for `quietMs`. Once it is, the master is read as before
    /// and true is returned, now and on every later call.
    bool setUpWithin(int waitMs, int quietMs = 200) const
    {
        using namespace std::chrono;
        const auto end = steady_clock::now() + milliseconds(waitMs);
        while (!m_setUp) {
            const auto now = steady_clock::now();
            if (m_flushed && now - m_lastFlush >= milliseconds(quietMs)) {
                const int off = 0;
                ::ioctl(m_master, TIOCPKT, &off);
                m_setUp = true;
                break;
            }
            auto until = end;
            if (m_flushed)
                until = std::min(until, m_lastFlush + milliseconds(quietMs));
            if (now >= end)
                break;
            pollfd p{m_master, POLLPRI, 0};
            const int ms = static_cast<int>(duration_cast<milliseconds>(until - now).count()) + 1;
            if (::poll(&p, 1, ms) > 0 && (p.revents & POLLPRI)) {
                char status[256];
                const ssize_t n = ::read(m_master, status, sizeof status);
                if (n > 0 && status[0] != TIOCPKT_DATA && (status[0] & TIOCPKT_FLUSHREAD)) {
                    m_flushed = true;
                    m_lastFlush = steady_clock::now();
                }
            }
        }
        return m_setUp;
    }

    /// Hangs up the line: whoever holds the slave sees the device go away.
    void closeMaster() { closeFd(m_master); }
    /// Drops the test's own slave descriptor, so the code under test holds the only one.
    void closeSlave() { closeFd(m_slave); }

    int masterFd() const { return m_master; }

    /// Leaves the line at settings nobody wants (1200 baud, 7E2, canonical and echoing, both
    /// kinds of flow control), so that any setting a program fails to make shows in
    /// lineSettings(). Needs the test's own slave descriptor.
    void scrambleSettings() const
    {
        termios tio{};
        ::tcgetattr(m_slave, &tio);
        tio.c_cflag = (tio.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
        tio.c_iflag |= IXON | IXOFF | ICRNL;
        tio.c_lflag |= ICANON | ECHO | ISIG;
        tio.c_oflag |= OPOST;
        ::cfsetspeed(&tio, B1200);
        ::tcsetattr(m_slave, TCSANOW, &tio);
    }

    /// The line settings as a program left them: "9600 8N1", then " rtscts", " xonxoff" or
    /// " cooked" where those are on. Needs the test's own slave descriptor.
    std::string lineSettings() const
    {
        termios tio{};
        ::tcgetattr(m_slave, &tio);
        const speed_t speed = ::cfgetospeed(&tio);
        std::string s = speed == B9600 ? "9600 " : speed == B1200 ? "1200 " : "other ";
        s += (tio.c_cflag & CSIZE) == CS8 ? '8' : '?';
        s += (tio.c_cflag & PARENB) ? (tio.c_cflag & PARODD ? 'O' : 'E') : 'N';
        s += (tio.c_cflag & CSTOPB) ? '2' : '1';
        s += (tio.c_cflag & CRTSCTS) ? " rtscts" : "";
        s += (tio.c_iflag & (IXON | IXOFF)) ? " xonxoff" : "";
        const bool cooked = (tio.c_lflag & (ICANON | ECHO | ISIG)) || (tio.c_oflag & OPOST) ||
                            (tio.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP));
        return s + (cooked ? " cooked" : "");
    }

private:
    static void closeFd(int& fd)
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

    mutable bool m_flushed = false;
    mutable bool m_setUp = false;
    mutable std::chrono::steady_clock::time_point m_lastFlush;
    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
};

/// One converter frame around any `payload` (the fields and their separators), well-formed or
/// not: STX, the payload, CR. Frames of readings come from formatFrame().
inline std::string frame(std::string_view payload)
{
    return kStx + std::string(payload) + kCr;
}

} // namespace adc::test
