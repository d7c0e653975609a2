#pragma once

#include "acquisition/reception.h"
#include "acquisition/serial_link.h"
#include "app/command_line.h"
#include "monitor/monitor_state.h"
#include "monitor/readings_observer.h"
#include "monitor/window_ops.h"
#include "readings/run_statistics.h"
#include "recording/recording_session.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <cstdio>

namespace adc {

/// A run without a window: receives on the port at once, takes in every frame until the
/// duration or the frame count is reached or a stop is asked for, then prints the summary.
class HeadlessRun final : public QObject, private ReadingsObserver, private WindowOps
{
    Q_OBJECT

public:
    /// `out` gets the summary, `err` the messages and, on a terminal, the progress.
    HeadlessRun(const MonitorOptions& options, std::FILE* out, std::FILE* err,
                QObject* parent = nullptr);
    ~HeadlessRun() override;

    /// Runs to the end; returns the exit status.
    int run();

    /// Ends the run as the duration would; also what SIGINT and SIGTERM do.
    void finish();

private:
    void frameDecoded(const FrameReadings& readings, std::int64_t frame) override;
    // Nobody sees the boxes and the lamp.
    void setBoxText(int, std::string_view) override {}
    void setLampColour(Colour) override {}

    void message(const QString& text);
    void onDurationTimer();
    void showProgress();
    int exitStatus() const;

    MonitorOptions m_options;
    std::FILE* m_out;
    std::FILE* m_err;
    MonitorState m_state;
    Reception m_reception{m_state, *this};
    SerialLink m_link{m_reception, this};
    RunStatistics m_stats;
    RecordingSession m_recording{this};
    QEventLoop m_loop;
    QElapsedTimer m_elapsed;
    std::int64_t m_durationNs = 0;
    QDeadlineTimer m_deadline;
    QTimer m_durationTimer;
    QTimer m_progressTimer;
    std::int64_t m_progressFrames = 0;
    bool m_progressShown = false;
    bool m_done = false;
    bool m_portFailed = false;
};

} // namespace adc
