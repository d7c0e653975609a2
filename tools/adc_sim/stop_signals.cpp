#include "tools/adc_sim/stop_signals.h"

#include <cerrno>

namespace adc::sim {

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

extern "C" void onStopSignal(int)
{
    g_stopRequested = 1;
}

} // namespace

StopSignals::StopSignals()
{
    g_stopRequested = 0;

    sigset_t stopSet;
    sigemptyset(&stopSet);
    for (int sig : kStopSignals)
        sigaddset(&stopSet, sig);
    sigprocmask(SIG_BLOCK, &stopSet, &m_savedMask);
    m_waitMask = m_savedMask;
    for (int sig : kStopSignals)
        sigdelset(&m_waitMask, sig);

    // No SA_RESTART: a signal must cut a wait short, not resume it.
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < kStopSignals.size(); ++i)
        sigaction(kStopSignals[i], &action, &m_savedActions[i]);

    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &m_savedPipeAction);
}

StopSignals::~StopSignals()
{
    // Unblock first: a request still pending lands in our handler, not in the default action.
    sigprocmask(SIG_SETMASK, &m_savedMask, nullptr);
    for (std::size_t i = 0; i < kStopSignals.size(); ++i)
        sigaction(kStopSignals[i], &m_savedActions[i], nullptr);
    sigaction(SIGPIPE, &m_savedPipeAction, nullptr);
}

bool StopSignals::requested() const
{
    return g_stopRequested != 0;
}

} // namespace adc::sim
