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
    : QObject(parent), m_options(options), m_out(out), m_err(err)
{
    m_session.reset();
    m_session.setPortName(options.port);
    m_session.setReconnect(options.reconnect);
    m_session.setLimits(options.limits, options.maxMalformed);
    if (options.profile)
        m_session.setProfile(*options.profile);
    m_session.setEndOnHangup(options.endOnHangup);
    m_session.addConsumer(this);

    connect(&m_session, &MonitorSession::portFailed, this, [this](const QString& text) {
        message(text);
        m_portFailed = true;
        finish();
    });
    connect(&m_session, &MonitorSession::reconnecting, this, &HeadlessRun::message);
    connect(&m_session, &MonitorSession::hungUp, this, [this](const QString& text) {
        message(text);
        finish();
    });
    connect(&m_session, &MonitorSession::reconnected, this, [this](const QString& port) {
        message(tr("Serial port %1 is back; receiving again").arg(port));
    });
    connect(&m_session, &MonitorSession::recordingFailed, this, &HeadlessRun::message);

    m_durationTimer.setSingleShot(true);
    m_durationTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_durationTimer, &QTimer::timeout, this, &HeadlessRun::onDurationTimer);
    m_progressTimer.setInterval(kProgressIntervalMs);
    connect(&m_progressTimer, &QTimer::timeout, this, &HeadlessRun::showProgress);
}

HeadlessRun::~HeadlessRun() = default;

ExitStatus HeadlessRun::run()
{
    if (const QString problem = m_session.recording().arm(
            m_options.recordPath, m_options.capturePath, m_options.openMode());
        !problem.isEmpty()) {
        message(problem);
        return ExitStatus::Usage;
    }

    StopSignalNotifier stops;
    connect(&stops, &StopSignalNotifier::stopRequested, this, &HeadlessRun::finish);
    if (!m_session.start())
        return m_portFailed ? ExitStatus::Failure : ExitStatus::Usage;

    m_elapsed.start();
    if (m_options.duration) {
        m_deadline = QDeadlineTimer(m_options.duration->count());
        onDurationTimer();
    }
    if (::isatty(::fileno(m_err)))
        m_progressTimer.start();
    if (!m_done)
        m_loop.exec();

    const std::int64_t durationNs = m_elapsed.nsecsElapsed();
    // A run that failed, or got nothing, leaves no empty file in the way of the next try.
    if (m_portFailed || m_session.statistics().frames() == 0)
        m_session.recording().discardUnused();
    m_session.close();
    if (m_progressShown)
        std::fputs("\n", m_err);

    RunTotals totals;
    totals.durationNs = durationNs;
    totals.bytesReceived = m_session.reception().bytesReceived();
    totals.bytesOutsideFrames = m_session.reception().bytesOutsideFrames();
    const std::string summary = formatSummary(m_options.summary, m_session.statistics(), totals,
                                              m_session.valueStatistics());
    std::FILE* summaryOut = m_options.writesToStandardOutput() ? m_err : m_out;
    std::fputs(summary.c_str(), summaryOut);
    std::fflush(summaryOut);
    return exitStatus();
}

void HeadlessRun::finish()
{
    // The rest of the batch that held the last frame asked for is left out.
    m_session.endRun();
    m_done = true;
    m_durationTimer.stop();
    m_progressTimer.stop();
    m_loop.quit();
}

void HeadlessRun::frameDecoded(const FrameReadings&, std::int64_t)
{
    if (m_options.frames && m_session.statistics().frames() >= *m_options.frames)
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
    const std::int64_t frames = m_session.statistics().frames();
    std::fprintf(m_err, "\r%lld frames, %lld frames/s ", static_cast<long long>(frames),
                 static_cast<long long>(frames - m_progressFrames));
    std::fflush(m_err);
    m_progressFrames = frames;
    m_progressShown = true;
}

ExitStatus HeadlessRun::exitStatus() const
{
    const RunStatistics& statistics = m_session.statistics();
    if (m_portFailed)
        return ExitStatus::Failure;
    if (!limitsMet(statistics, m_session.valueStatistics()))
        return ExitStatus::Limits;
    if (statistics.frames() == 0)
        return ExitStatus::NoFrames;
    if (m_session.recording().hadWriteError())
        return ExitStatus::Write;
    if (!statistics.malformedWithinBound())
        return ExitStatus::Malformed;
    return ExitStatus::Ok;
}

} // namespace adc
