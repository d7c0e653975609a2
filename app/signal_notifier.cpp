#include "app/signal_notifier.h"

#include <QSocketNotifier>
#include <cerrno>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace adc {

namespace {

int g_writeEnd = -1;

extern "C" void onStopSignal(int signal)
{
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_writeEnd, &byte, 1);
    errno = savedErrno;
}

} // namespace

SignalNotifier::SignalNotifier(std::vector<int> taken, QObject* parent)
    : QObject(parent), m_signals(std::move(taken))
{
    if (m_signals.size() > kMostSignals)
        throw std::invalid_argument("too many signals for one notifier");
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, m_fds.data()) != 0)
        throw std::runtime_error("cannot create the socket pair for stop signals");
    g_writeEnd = m_fds[1];
    m_notifier = new QSocketNotifier(m_fds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalNotifier::onReadable);

    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < m_signals.size(); ++i)
        sigaction(m_signals[i], &action, &m_saved[i]);
}

SignalNotifier::~SignalNotifier()
{
    for (std::size_t i = 0; i < m_signals.size(); ++i)
        sigaction(m_signals[i], &m_saved[i], nullptr);
    g_writeEnd = -1;
    ::close(m_fds[0]);
    ::close(m_fds[1]);
}

void SignalNotifier::onReadable()
{
    unsigned char byte = 0;
    while (::read(m_fds[0], &byte, 1) == 1)
        emit signalled(byte);
}

} // namespace adc
