#include "tools/adc_sim/output_line.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace adc::sim {

namespace {

// While draining a pseudo-terminal nothing signals that the reader has emptied the queue, so it
// is looked at this often.
constexpr long kDrainCheckNs = 10'000'000;
// An empty queue must be seen this many times in a row: bytes can still be on their way from
// the master to the slave's queue for a moment after write() returns.
constexpr int kDrainQuietChecks = 2;
// How long to give a reader when its queue cannot be looked at (it holds the device exclusively).
constexpr long kDrainGraceNs = 500'000'000;
// A reader sets its line up after opening it, and most throw away what came before they were
// done: sending starts once the line has seen no open, no change of settings and no flush for
// this long. A busy machine can hold a reader up between its steps for a few time slices.
constexpr std::int64_t kSettleNs = 250'000'000;
// How often the line's settings are compared while it settles; nothing signals their change.
constexpr std::int64_t kSettleCheckNs = 10'000'000;

std::int64_t monotonicNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

bool sameSettings(const termios& a, const termios& b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0 &&
           ::cfgetispeed(&a) == ::cfgetispeed(&b) && ::cfgetospeed(&a) == ::cfgetospeed(&b);
}

bool readerGone(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV || error == EPIPE;
}

void setCloseOnExec(int fd)
{
    ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
}

bool setNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

std::string systemError(const std::string& what, int error)
{
    return what + ": " + std::strerror(error);
}

} // namespace

std::unique_ptr<OutputLine> OutputLine::createPty(std::string& error)
{
    std::unique_ptr<OutputLine> line(new OutputLine);
    char name[PATH_MAX] = {};
    if (::openpty(&line->m_fd, &line->m_slave, name, nullptr, nullptr) != 0) {
        error = systemError("cannot create a pseudo-terminal", errno);
        return nullptr;
    }
    setCloseOnExec(line->m_fd);
    setCloseOnExec(line->m_slave);
    // Raw before anything is written, so no byte is echoed, translated or taken as a signal.
    termios tio{};
    bool ok = ::tcgetattr(line->m_slave, &tio) == 0;
    if (ok) {
        ::cfmakeraw(&tio);
        ::cfsetspeed(&tio, B9600);
        ok = ::tcsetattr(line->m_slave, TCSANOW, &tio) == 0;
    }
    // Packet mode tells the master when the reader flushes its input: a step of its set-up.
    const int packet = 1;
    ok = ok && ::ioctl(line->m_fd, TIOCPKT, &packet) == 0;
    if (!ok || !setNonBlocking(line->m_fd)) {
        error = systemError("cannot set up the pseudo-terminal", errno);
        return nullptr;
    }
    line->m_isPty = true;
    line->m_path = name;

    line->m_watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (line->m_watch < 0 || ::inotify_add_watch(line->m_watch, name, IN_OPEN) < 0) {
        line->m_notice = systemError("cannot watch " + line->m_path +
                                         " for a reader, so sending at once and not noticing "
                                         "when the reader goes",
                                     errno);
        if (line->m_watch >= 0)
            ::close(line->m_watch);
        line->m_watch = -1;
    }
    return line;
}

std::unique_ptr<OutputLine> OutputLine::openPort(const std::string& device, std::string& error)
{
    std::unique_ptr<OutputLine> line(new OutputLine);
    line->m_path = device;
    // Non-blocking, so a port without carrier does not hang the open; writes wait in poll.
    line->m_fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (line->m_fd < 0) {
        error = systemError("cannot open " + device, errno);
        return nullptr;
    }
    termios tio{};
    if (::tcgetattr(line->m_fd, &tio) != 0) {
        error = systemError("cannot use " + device + " as a serial port", errno);
        return nullptr;
    }
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B9600);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (::tcsetattr(line->m_fd, TCSANOW, &tio) != 0) {
        error = systemError("cannot set " + device + " to 9600 8N1", errno);
        return nullptr;
    }
    return line;
}

OutputLine::~OutputLine()
{
    for (int fd : {m_watch, m_slave, m_fd})
        if (fd >= 0)
            ::close(fd);
}

LineStatus OutputLine::waitForReader(const StopSignals& stop)
{
    if (m_watch < 0)
        return LineStatus::Ok;

    pollfd watch{m_watch, POLLIN, 0};
    bool opened = false;
    while (!opened) {
        if (stop.requested())
            return LineStatus::Stopped;
        if (::ppoll(&watch, 1, nullptr, stop.waitMask()) < 0) {
            if (errno == EINTR)
                continue;
            return fail("cannot wait for a reader", errno);
        }
        alignas(inotify_event) char events[4096];
        const ssize_t n = ::read(m_watch, events, sizeof events);
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            opened = opened || (event->mask & (IN_OPEN | IN_Q_OVERFLOW)) != 0;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    ::close(m_watch);
    m_watch = -1;
    const LineStatus settled = waitForSetUp(stop);
    // The reader's descriptor keeps the slave open now; ours would hide its closing.
    ::close(m_slave);
    m_slave = -1;
    return settled;
}

LineStatus OutputLine::waitForSetUp(const StopSignals& stop)
{
    termios settings{};
    ::tcgetattr(m_slave, &settings);
    std::int64_t quietFrom = monotonicNs();
    pollfd line{m_fd, POLLPRI, 0};
    for (;;) {
        if (stop.requested())
            return LineStatus::Stopped;
        const std::int64_t now = monotonicNs();
        if (now - quietFrom >= kSettleNs)
            return LineStatus::Ok;
        const std::int64_t wait = std::min(kSettleCheckNs, kSettleNs - (now - quietFrom));
        const timespec tick{0, static_cast<long>(wait)};
        const int rc = ::ppoll(&line, 1, &tick, stop.waitMask());
        if (rc < 0 && errno != EINTR)
            return fail("cannot wait for " + m_path, errno);
        if (rc > 0 && (line.revents & (POLLPRI | POLLIN))) {
            // A flush, or whatever the reader wrote; either is a sign of life to wait out.
            char status[256];
            while (::read(m_fd, status, sizeof status) > 0) {
            }
            quietFrom = monotonicNs();
        }
        termios current{};
        if (::tcgetattr(m_slave, &current) == 0 && !sameSettings(settings, current)) {
            settings = current;
            quietFrom = monotonicNs();
        }
    }
}

OutputLine::WriteResult OutputLine::write(std::string_view bytes, const StopSignals& stop)
{
    WriteResult result;
    while (result.written < bytes.size()) {
        result.status = waitWritable(stop);
        if (result.status != LineStatus::Ok)
            return result;
        const ssize_t n =
            ::write(m_fd, bytes.data() + result.written, bytes.size() - result.written);
        if (n > 0) {
            result.written += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n < 0 && readerGone(errno)) {
            result.status = LineStatus::Gone;
            return result;
        }
        result.status = fail("cannot write to " + m_path, n < 0 ? errno : EIO);
        return result;
    }
    result.status = LineStatus::Ok;
    return result;
}

LineStatus OutputLine::waitWritable(const StopSignals& stop)
{
    // Polling first also catches a reader that has gone: writing to a master whose slave is
    // closed does not always fail, but the master reports the hang-up.
    pollfd line{m_fd, POLLOUT, 0};
    for (;;) {
        if (stop.requested())
            return LineStatus::Stopped;
        if (::ppoll(&line, 1, nullptr, stop.waitMask()) < 0) {
            if (errno == EINTR)
                continue;
            return fail("cannot wait for " + m_path, errno);
        }
        if (line.revents & (POLLHUP | POLLERR | POLLNVAL))
            return LineStatus::Gone;
        if (line.revents & POLLOUT)
            return LineStatus::Ok;
    }
}

LineStatus OutputLine::waitUntil(std::int64_t deadlineNs, const StopSignals& stop)
{
    pollfd line{m_fd, 0, 0};
    for (;;) {
        if (stop.requested())
            return LineStatus::Stopped;
        const std::int64_t left = deadlineNs - monotonicNs();
        if (left <= 0)
            return LineStatus::Ok;
        const timespec timeout{static_cast<time_t>(left / 1'000'000'000),
                               static_cast<long>(left % 1'000'000'000)};
        const int rc = ::ppoll(&line, 1, &timeout, stop.waitMask());
        if (rc < 0 && errno != EINTR)
            return fail("cannot wait for " + m_path, errno);
        if (rc > 0 && (line.revents & (POLLHUP | POLLERR | POLLNVAL)))
            return LineStatus::Gone;
    }
}

LineStatus OutputLine::drain(const StopSignals& stop)
{
    if (!m_isPty) {
        for (;;) {
            if (stop.requested())
                return LineStatus::Stopped;
            if (stop.interruptible([this] { return ::tcdrain(m_fd); }) == 0)
                return LineStatus::Ok;
            if (errno == EINTR)
                continue;
            return readerGone(errno) ? LineStatus::Gone : fail("cannot drain " + m_path, errno);
        }
    }

    // Only a hang-up is of interest here; it means the reader has gone, with or without the rest.
    pollfd line{m_fd, 0, 0};
    int quietChecks = 0;
    while (quietChecks < kDrainQuietChecks) {
        const int pending = pendingForReader();
        quietChecks = pending == 0 ? quietChecks + 1 : 0;
        const timespec tick{0, pending < 0 ? kDrainGraceNs : kDrainCheckNs};
        const int rc = ::ppoll(&line, 1, &tick, stop.waitMask());
        if (stop.requested())
            return LineStatus::Stopped;
        if (rc > 0 && (line.revents & POLLHUP))
            return LineStatus::Gone;
        if (rc < 0 && errno != EINTR)
            return fail("cannot wait for " + m_path, errno);
        if (pending < 0)
            return LineStatus::Ok;
    }
    return LineStatus::Ok;
}

int OutputLine::pendingForReader() const
{
    int pending = -1;
    if (m_slave >= 0) {
        ::ioctl(m_slave, TIOCINQ, &pending);
        return pending;
    }
    // A short-lived descriptor of our own: the reader's queue is the slave's input queue. Held
    // only for the ioctl, so the reader's closing still shows as a hang-up.
    const int slave = ::open(m_path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0)
        return -1;
    if (::ioctl(slave, TIOCINQ, &pending) != 0)
        pending = -1;
    ::close(slave);
    return pending;
}

LineStatus OutputLine::fail(const std::string& what, int error)
{
    m_error = systemError(what, error);
    return LineStatus::Failed;
}

} // namespace adc::sim
