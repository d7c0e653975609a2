#pragma once

#include "app/command_line.h"
#include "app/exit_status.h"
#include "app/journal_stream.h"
#include "app/service_notifier.h"
#include "monitor/readings_observer.h"
#include "mqtt/mqtt_publisher.h"
#include "readings/summary_format.h"
#include "session/monitor_session.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <cstdio>
#include <memory>

namespace adc {

/// A run without a window: drives a monitoring session that receives on the port at once and
/// takes in every frame until the duration or the frame count is reached or a stop is asked
/// for, then prints the summary and says by its exit status how the run went.
class HeadlessRun final : public QObject, private ReadingsObserver
{
    Q_OBJECT

public:
    /// `out` gets the summary, `err` the messages and, on a terminal, the progress.
    HeadlessRun(const MonitorOptions& options, std::FILE* out, std::FILE* err,
                QObject* parent = nullptr);
    ~HeadlessRun() override;

    /// Runs to the end; returns how it went.
    ExitStatus run();

    /// Ends the run as the duration would; also what SIGINT and SIGTERM do.
    void finish();

    /// Writes the summary so far, as at the end, without stopping or resetting anything; also
    /// what SIGUSR1 and --summary-every do. A summary file that cannot be written is reported
    /// once and fails the run (exit status 5).
    void writeSummary();

private:
    void frameDecoded(const FrameReadings& readings, std::int64_t frame) override;

    RunTotals totals() const;
    void message(Priority priority, const QString& text);
    void onDurationTimer();
    void showProgress();
    ExitStatus exitStatus() const;

    MonitorOptions m_options;
    std::FILE* m_out;
    std::FILE* m_err;
    MonitorSession m_session{MonitorSession::Face::Unattended, this};
    QEventLoop m_loop;
    QElapsedTimer m_elapsed;
    QDeadlineTimer m_deadline;
    QTimer m_durationTimer;
    QTimer m_progressTimer;
    QTimer m_summaryTimer;
    ServiceNotifier m_service;
    std::unique_ptr<MqttPublisher> m_mqtt;
    bool m_journal = false;
    bool m_summaryFailed = false;
    bool m_running = false;
    std::int64_t m_durationNs = 0;
    std::int64_t m_progressFrames = 0;
    bool m_progressShown = false;
    bool m_done = false;
    bool m_portFailed = false;
};

} // namespace adc
