#pragma once

#include <QObject>
#include <array>
#include <csignal>
#include <vector>

class QSocketNotifier;

namespace adc {

/// Turns signals into signalled(), delivered by the event loop: SIGINT, SIGTERM and SIGHUP ask
/// for a stop, SIGUSR1 for the summary so far.
///
/// The handler only writes the signal's number into a socket pair; the event loop reads it
/// there, so whatever a signal asks for runs outside the handler, as any other event. The
/// previous handlers come back when the notifier goes. One instance at a time.
class SignalNotifier final : public QObject
{
    Q_OBJECT

public:
    static constexpr std::size_t kMostSignals = 8;

    /// Takes the signals `taken` (at most kMostSignals of them) from now on; by default those that
    /// ask for a stop.
    explicit SignalNotifier(std::vector<int> taken = {SIGINT, SIGTERM, SIGHUP},
                            QObject* parent = nullptr);
    ~SignalNotifier() override;

    /// True for a signal that asks for a stop.
    static bool isStop(int signal)
    {
        return signal == SIGINT || signal == SIGTERM || signal == SIGHUP;
    }

signals:
    /// One of the signals arrived.
    void signalled(int signal);

private:
    void onReadable();

    std::array<int, 2> m_fds{-1, -1};
    QSocketNotifier* m_notifier = nullptr;
    std::vector<int> m_signals;
    std::array<struct sigaction, kMostSignals> m_saved{};
};

} // namespace adc
