#include "app/headless_run.h"

#include "app/signal_notifier.h"
#include "readings/summary_format.h"

#include <QSaveFile>
#include <algorithm>
#include <csignal>
#include <cstdlib>
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

    m_journal = isJournalStream(::fileno(err), std::getenv("JOURNAL_STREAM"));
    m_session.recording().setRotation(options.rotation);

    connect(&m_session, &MonitorSession::portFailed, this, [this](const QString& text) {
        message(Priority::Error, text);
        m_portFailed = true;
        finish();
    });
    connect(&m_session, &MonitorSession::reconnecting, this,
            [this](const QString& text) { message(Priority::Warning, text); });
    connect(&m_session, &MonitorSession::hungUp, this, [this](const QString& text) {
        message(Priority::Notice, text);
        finish();
    });
    connect(&m_session, &MonitorSession::reconnected, this, [this](const QString& port) {
        message(Priority::Notice, tr("Serial port %1 is back; receiving again").arg(port));
    });
    connect(&m_session, &MonitorSession::recordingFailed, this,
            [this](const QString& text) { message(Priority::Error, text); });

    m_durationTimer.setSingleShot(true);
    m_durationTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_durationTimer, &QTimer::timeout, this, &HeadlessRun::onDurationTimer);
    m_progressTimer.setInterval(kProgressIntervalMs);
    connect(&m_progressTimer, &QTimer::timeout, this, &HeadlessRun::showProgress);
    if (options.summaryEvery)
        m_summaryTimer.setInterval(*options.summaryEvery);
    connect(&m_summaryTimer, &QTimer::timeout, this, &HeadlessRun::writeSummary);

    if (options.mqtt) {
        m_mqtt = std::make_unique<MqttPublisher>(*options.mqtt, m_session, [this] {
            return summaryJson(m_session.statistics(), totals(), m_session.valueStatistics());
        });
        connect(m_mqtt.get(), &MqttPublisher::problem, this,
                [this](const QString& text) { message(Priority::Warning, text); });
        connect(m_mqtt.get(), &MqttPublisher::notice, this,
                [this](const QString& text) { message(Priority::Notice, text); });
    }
}

HeadlessRun::~HeadlessRun() = default;

ExitStatus HeadlessRun::run()
{
    if (const QString problem = m_session.recording().arm(
            m_options.recordPath, m_options.capturePath, m_options.openMode());
        !problem.isEmpty()) {
        message(Priority::Error, problem);
        return ExitStatus::Usage;
    }

    SignalNotifier notifier({SIGINT, SIGTERM, SIGHUP, SIGUSR1});
    connect(&notifier, &SignalNotifier::signalled, this, [this](int signal) {
        if (SignalNotifier::isStop(signal))
            finish();
        else
            writeSummary();
    });
    if (!m_session.start())
        return m_portFailed ? ExitStatus::Failure : ExitStatus::Usage;
    m_elapsed.start();
    m_running = true;
    if (m_mqtt)
        m_mqtt->start();
    m_service.ready(tr("Receiving on %1").arg(m_options.port));
    if (m_options.summaryEvery)
        m_summaryTimer.start();
    if (m_options.duration) {
        m_deadline = QDeadlineTimer(m_options.duration->count());
        onDurationTimer();
    }
    if (::isatty(::fileno(m_err)))
        m_progressTimer.start();
    if (!m_done)
        m_loop.exec();

    m_service.stopping();
    m_durationNs = m_elapsed.nsecsElapsed();
    m_running = false;
    // A run that failed, or got nothing, leaves no empty file in the way of the next try.
    if (m_portFailed || m_session.statistics().frames() == 0)
        m_session.recording().discardUnused();
    m_session.close();
    if (m_progressShown) {
        std::fputs("\n", m_err);
        m_progressShown = false;
    }
    if (m_mqtt)
        m_mqtt->finish();
    writeSummary();
    return exitStatus();
}

RunTotals HeadlessRun::totals() const
{
    RunTotals totals;
    totals.durationNs = m_running ? m_elapsed.nsecsElapsed() : m_durationNs;
    totals.bytesReceived = m_session.reception().bytesReceived();
    totals.bytesOutsideFrames = m_session.reception().bytesOutsideFrames();
    if (m_mqtt)
        totals.mqttDropped = m_mqtt->dropped();
    return totals;
}

void HeadlessRun::writeSummary()
{
    const std::string summary = formatSummary(m_options.summary, m_session.statistics(), totals(),
                                              m_session.valueStatistics());
    if (m_options.summaryPath.isEmpty()) {
        if (m_progressShown) {
            std::fputs("\n", m_err);
            m_progressShown = false;
        }
        std::FILE* summaryOut = m_options.writesToStandardOutput() ? m_err : m_out;
        std::fputs(summary.c_str(), summaryOut);
        std::fflush(summaryOut);
        return;
    }
    // A reader of the file finds the last summary whole, never one half written.
    QSaveFile file(m_options.summaryPath);
    if (file.open(QIODevice::WriteOnly) &&
        file.write(summary.data(), qint64(summary.size())) == qint64(summary.size()) &&
        file.commit())
        return;
    if (!m_summaryFailed)
        message(Priority::Error, tr("Cannot write the summary to %1: %2")
                                     .arg(m_options.summaryPath, file.errorString()));
    m_summaryFailed = true;
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

void HeadlessRun::message(Priority priority, const QString& text)
{
    if (m_progressShown) {
        std::fputs("\n", m_err);
        m_progressShown = false;
    }
    std::fputs(messageLine(priority, text.toStdString(), m_journal).c_str(), m_err);
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
    if (m_session.recording().hadWriteError() || m_summaryFailed)
        return ExitStatus::Write;
    if (!statistics.malformedWithinBound())
        return ExitStatus::Malformed;
    if (m_mqtt && !m_mqtt->delivered())
        return ExitStatus::Publish;
    return ExitStatus::Ok;
}

} // namespace adc
