#pragma once

#include <QObject>
#include <array>
#include <csignal>

class QSocketNotifier;

namespace adc {

/// Turns SIGINT, SIGTERM and SIGHUP into stopRequested(), delivered by the event loop.
///
/// The handler only writes the signal's number into a socket pair; the event loop reads it
/// there, so whatever a stop does runs outside the handler, as any other event. The previous
/// handlers come back when the notifier goes. One instance at a time.
class StopSignalNotifier final : public QObject
{
    Q_OBJECT

public:
    explicit StopSignalNotifier(QObject* parent = nullptr);
    ~StopSignalNotifier() override;

signals:
    /// One of the stop signals arrived.
    void stopRequested(int signal);

private:
    void onReadable();

    static constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGHUP};

    std::array<int, 2> m_fds{-1, -1};
    QSocketNotifier* m_notifier = nullptr;
    std::array<struct sigaction, kSignals.size()> m_saved{};
};

} // namespace adc
