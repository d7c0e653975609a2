#include "app/headless_run.h"

#include "app/stop_signal_notifier.h"
#include "readings/summary_format.h"

#include <algorithm>
#include <unistd.h>

namespace adc {

namespace {

// QTimer holds a few weeks at most; a longer run is timed in steps of a day.
constexpr qint64 kLongestTimerMs = 24 * 3600 * 1000;

constexpr int kProgressIntervalMs = 1000;

} // namespace

HeadlessRun::HeadlessRun(const MonitorOptions& options, std::FILE* out, std::FILE* err,
                         QObject* parent)
    : QObject(parent), m_options(options), m_out(out), m_err(err), m_stats(options.limits)
{
    resetStatistics(m_state, *this);
    m_reception.addObserver(this);
    m_reception.setByteSink(&m_recording);
    m_link.setReconnect(options.reconnect);

    connect(&m_link, &SerialLink::failed, this, [this](const QString& text) {
        message(text);
        m_portFailed = true;
        finish();
    });
    connect(&m_link, &SerialLink::reconnecting, this, &HeadlessRun::message);
    connect(&m_link, &SerialLink::reconnected, this, [this] {
        message(tr("Serial port %1 is back; receiving again").arg(m_link.portName()));
    });
    connect(&m_recording, &RecordingSession::failed, this, &HeadlessRun::message);

    m_durationTimer.setSingleShot(true);
    m_durationTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_durationTimer, &QTimer::timeout, this, &HeadlessRun::onDurationTimer);
    m_progressTimer.setInterval(kProgressIntervalMs);
    connect(&m_progressTimer, &QTimer::timeout, this, &HeadlessRun::showProgress);
}

HeadlessRun::~HeadlessRun() = default;

int HeadlessRun::run()
{
    if (const QString problem =
            m_recording.start(m_options.recordPath, m_options.capturePath, m_options.openMode());
        !problem.isEmpty()) {
        message(problem);
        return kExitUsage;
    }

    StopSignalNotifier stops;
    connect(&stops, &StopSignalNotifier::stopRequested, this, &HeadlessRun::finish);
    if (!m_link.start(m_options.port))
        return kExitPort;

    m_elapsed.start();
    if (m_options.duration) {
        m_deadline = QDeadlineTimer(m_options.duration->count());
        onDurationTimer();
    }
    if (::isatty(::fileno(m_err)))
        m_progressTimer.start();
    if (!m_done)
        m_loop.exec();

    m_durationNs = m_elapsed.nsecsElapsed();
    m_link.stop();
    m_recording.stopRecording();
    m_recording.stopCapture();
    if (m_progressShown)
        std::fputs("\n", m_err);

    RunTotals totals;
    totals.durationNs = m_durationNs;
    totals.bytesReceived = m_reception.bytesReceived();
    totals.bytesOutsideFrames = m_reception.bytesOutsideFrames();
    const std::string summary = formatSummary(m_options.summary, m_stats, totals);
    std::FILE* summaryOut = m_options.writesToStandardOutput() ? m_err : m_out;
    std::fputs(summary.c_str(), summaryOut);
    std::fflush(summaryOut);
    return exitStatus();
}

void HeadlessRun::finish()
{
    m_done = true;
    m_durationTimer.stop();
    m_progressTimer.stop();
    m_loop.quit();
}

void HeadlessRun::frameDecoded(const FrameReadings& readings, std::int64_t frame)
{
    // The rest of the batch that held the last frame asked for is left out.
    if (m_done)
        return;
    m_stats.frameDecoded(readings, frame);
    m_recording.frameDecoded(readings, frame);
    if (m_options.frames && m_stats.frames() >= *m_options.frames)
        finish();
}

void HeadlessRun::message(const QString& text)
{
    if (m_progressShown) {
        std::fputs("\n", m_err);
        m_progressShown = false;
    }
    std::fprintf(m_err, "adc-monitor: %s\n", qUtf8Printable(text));
    std::fflush(m_err);
}

void HeadlessRun::onDurationTimer()
{
    const qint64 remaining = m_deadline.remainingTime();
    if (remaining <= 0) {
        finish();
        return;
    }
    m_durationTimer.start(static_cast<int>(std::min(remaining, kLongestTimerMs)));
}

void HeadlessRun::showProgress()
{
    const std::int64_t frames = m_stats.frames();
    std::fprintf(m_err, "\r%lld frames, %lld frames/s ", static_cast<long long>(frames),
                 static_cast<long long>(frames - m_progressFrames));
    std::fflush(m_err);
    m_progressFrames = frames;
    m_progressShown = true;
}

int HeadlessRun::exitStatus() const
{
    if (m_portFailed)
        return kExitPort;
    if (!m_stats.allWithinLimits())
        return kExitLimits;
    if (m_stats.frames() == 0)
        return kExitNoFrames;
    if (m_recording.hadWriteError())
        return kExitWrite;
    return kExitOk;
}

} // namespace adc
