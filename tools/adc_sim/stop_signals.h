#pragma once

#include <array>
#include <csignal>
#include <ctime>

namespace adc::sim {

/// Turns SIGINT, SIGTERM and SIGHUP into a request to stop cleanly.
///
/// While an instance lives the three signals stay blocked except inside its waits, which
/// unblock them atomically (ppoll with waitMask()). So a request can never slip in between a
/// check and a wait and leave the simulator blocked for good. SIGPIPE is ignored, so a vanished
/// reader shows as an error from write(). One instance at a time.
class StopSignals
{
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    /// True once one of the signals has arrived.
    bool requested() const;

    /// The signal mask to wait with: the stop signals unblocked.
    const sigset_t* waitMask() const { return &m_waitMask; }

    /// Runs `call` (a blocking system call) with the stop signals unblocked, so they interrupt
    /// it with EINTR; returns its result.
    template <typename Call> auto interruptible(Call call) const
    {
        sigset_t blocked;
        sigprocmask(SIG_SETMASK, &m_waitMask, &blocked);
        auto result = call();
        sigprocmask(SIG_SETMASK, &blocked, nullptr);
        return result;
    }

private:
    static constexpr std::array<int, 3> kStopSignals{SIGINT, SIGTERM, SIGHUP};

    sigset_t m_waitMask{};
    sigset_t m_savedMask{};
    std::array<struct sigaction, kStopSignals.size()> m_savedActions{};
    struct sigaction m_savedPipeAction
    {};
};

} // namespace adc::sim
