// The program itself without a window, as a test rig runs it: adc-monitor --headless receiving
// from adc-sim over a pseudo-terminal, with and without a recording.

#include "bench/bench_row.h"
#include "bench/measure.h"
#include "bench/ratio.h"
#include "monitor/frame_format.h"
#include "recording/recording_session.h"
#include "tests/support/mqtt_broker.h"
#include "tests/support/sim_process.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

using adc::bench::printReference;
using adc::bench::printRow;

/// The headless monitor at the line rate costs about what reading the line costs; recording
/// and capturing add a few microseconds a frame.
constexpr double kPlainTarget = 1.3;
constexpr double kRecordingTarget = 2.0;
/// Rotation costs a look at the clock a row and a switch a second: nothing the machine's noise
/// does not hide.
constexpr double kRotationTarget = 1.1;
constexpr int kRotationPairs = 15;
/// Publishing in batches costs a JSON object a frame and a write every 100 ms.
constexpr double kMqttFastTarget = 1.5;
constexpr int kMqttFastPairs = 3;
/// A message a frame at QoS 1 costs a JSON object and a write, gathered with the others of its
/// second, and an acknowledgement read once a second: about a tenth of the frame's own cost.
/// Pairs of this machine differ by up to three times either way, so the median takes 25.
constexpr double kMqttLineTarget = 1.2;
constexpr int kMqttLinePairs = 25;

/// The monitor running as a child, its output collected.
struct Child
{
    QProcess process;

    bool start(const char* program, const QStringList& args)
    {
        process.start(QString::fromLatin1(program), args);
        return process.waitForStarted(5000);
    }
    ~Child()
    {
        process.terminate();
        process.waitForFinished(5000);
    }
    long pid() const { return static_cast<long>(process.processId()); }
};

// The row of a count of rows that are wrong, which must be none; true when none are.
bool noRowsWrong(const char* name, qint64 wrong)
{
    return printRow(name, static_cast<double>(wrong), 0, "rows", "0", wrong == 0);
}

int fail(const char* what)
{
    std::fprintf(stderr, "bench_headless: %s\n", what);
    return 1;
}

// One CSV row's readings as the simulator logs them: the payload of the frame that carried
// them. Empty for anything that is no whole row.
QByteArray asLogged(const QByteArray& row)
{
    const QList<QByteArray> fields = row.trimmed().split(',');
    if (fields.size() < 3 + adc::kChannelCount)
        return {};
    adc::FrameValues values{};
    for (int k = 0; k < adc::kChannelCount; ++k)
        values[static_cast<std::size_t>(k)] = static_cast<std::uint16_t>(fields[3 + k].toInt());
    return QByteArray::fromStdString(adc::formatFrame(values).substr(1, adc::kFramePayloadLength));
}

/// Rows of `csvPath` unlike the frames in `logPath` at their place, plus rows missing or
/// extra. The first frames may go while the monitor sets up the line, which drops them; the
/// rows must then be the frames sent after those, every one of them, in order.
qint64 rowsUnlikeTheLog(const QString& csvPath, const QString& logPath, qint64 frames)
{
    QFile csv(csvPath);
    QFile log(logPath);
    if (!csv.open(QIODevice::ReadOnly) || !log.open(QIODevice::ReadOnly))
        return frames;
    csv.readLine(); // the header
    QByteArray row = asLogged(csv.readLine());
    qint64 sent = 0;
    while (!log.atEnd() && log.readLine().trimmed() != row)
        ++sent;
    qint64 rows = log.atEnd() && sent > 0 ? 0 : 1;
    qint64 wrong = rows == 0 ? 1 : 0;
    ++sent;
    while (!csv.atEnd()) {
        row = asLogged(csv.readLine());
        ++rows;
        wrong += log.atEnd() || log.readLine().trimmed() != row;
        ++sent;
    }
    while (!log.atEnd() && !log.readLine().isEmpty())
        ++sent;
    return wrong + std::abs(rows - frames) + std::abs(sent - frames);
}

/// The headless monitor's CSV summary, last row: all,frames,...,duration_s,frames_per_s,...
QList<QByteArray> summaryTotals(QProcess& monitor)
{
    const QList<QByteArray> rows = monitor.readAllStandardOutput().trimmed().split('\n');
    QList<QByteArray> all = rows.constLast().trimmed().split(',');
    return all.size() >= 16 && all[0] == "all" ? all : QList<QByteArray>{};
}

struct FastRun
{
    double seconds = 0;
    double rate = 0;
    qint64 wrong = 0;
};

// adc-sim --fast into the headless monitor with --record, `frames` of them.
std::optional<FastRun> recordFast(qint64 frames)
{
    QTemporaryDir dir;
    const QString log = dir.filePath("sent.log");
    const QString csv = dir.filePath("run.csv");
    adc::test::SimProcess sim({"--fast", "--count", QString::number(frames), "--wave", "noise",
                               "--seed", "11", "--log", log});
    const QString& port = sim.port();
    Child monitor;
    if (port.isEmpty() ||
        !monitor.start(ADC_MONITOR_PATH,
                       {"--headless", "--port", port, "--frames", QString::number(frames),
                        "--record", csv, "--summary", "csv"}) ||
        !monitor.process.waitForFinished(300000))
        return std::nullopt;
    sim.waitExit(10000);
    const QList<QByteArray> totals = summaryTotals(monitor.process);
    if (totals.isEmpty())
        return std::nullopt;
    return FastRun{totals[12].toDouble(), totals[13].toDouble(),
                   rowsUnlikeTheLog(csv, log, frames)};
}

// Every frame sent is a row, equal to what was sent, for at least ten seconds of the fastest
// sending: the run is sized to the rate this machine manages.
int recordingThroughput()
{
    qint64 frames = 1'000'000;
    std::optional<FastRun> run;
    for (int attempt = 0; attempt < 3; ++attempt) {
        run = recordFast(frames);
        if (!run)
            return fail("cannot run adc-sim --fast into the headless monitor");
        if (run->seconds >= 10 || run->wrong != 0)
            break;
        // Sized for 13 s, so that a machine that gets busier during the run still lasts 10 s.
        frames = static_cast<qint64>(double(frames) * 13 / std::max(run->seconds, 0.5));
    }
    bool ok =
        printRow("recording at full speed (adc-sim --fast), frames/s", run->rate, 0, "frames/s",
                 ">= 35000 for >= 10 s", run->rate >= 35'000 && run->seconds >= 10);
    printReference("recording at full speed, duration", run->seconds, 1, "s");
    printReference("recording at full speed, frames", static_cast<double>(frames), 0, "frames");
    ok &= noRowsWrong("recorded rows unlike the frames sent, or missing", run->wrong);
    return ok ? 0 : 1;
}

// CPU of the headless monitor with `extra`, the simulator sending with `simArgs`, measured by
// the scheduler over ten seconds once it runs.
std::optional<double> cpuShare(const QStringList& simArgs, const QStringList& extra)
{
    adc::test::SimProcess sim(QStringList{"--wave", "noise"} + simArgs);
    if (sim.port().isEmpty())
        return std::nullopt;
    Child monitor;
    if (!monitor.start(ADC_MONITOR_PATH,
                       QStringList{"--headless", "--port", sim.port(), "--duration", "13"} + extra))
        return std::nullopt;
    QThread::msleep(2000);
    const std::int64_t cpu0 = adc::bench::processCpuNs(monitor.pid());
    const std::int64_t t0 = adc::bench::monotonicNs();
    QThread::msleep(10000);
    const std::int64_t cpu1 = adc::bench::processCpuNs(monitor.pid());
    const std::int64_t t1 = adc::bench::monotonicNs();
    monitor.process.waitForFinished(10000);
    if (cpu0 < 0 || cpu1 < 0 || monitor.process.exitCode() != 0)
        return std::nullopt;
    return 100.0 * double(cpu1 - cpu0) / double(t1 - t0);
}

// The same at the converter's own rate.
std::optional<double> lineRateCpuShare(const QStringList& extra)
{
    return cpuShare({}, extra);
}

// The same frames read by a bare serial port with no monitor behind it, in a process of its
// own: what 29 wake-ups a second cost on this machine, today.
std::optional<double> bareReadCpuShare()
{
    return adc::bench::referenceFigureOf(std::string("QT_QPA_PLATFORM=offscreen '") +
                                         ADC_BENCH_WINDOW_PATH + "' linerate-floor");
}

// Each judged against the bare read taken straight before it, so that what a wake-up costs on
// this machine that day is on both sides. Five pairs, not three: the monitor adds a few
// microseconds a frame to the bare read's cost, so the pairs differ mostly by the machine's
// hiccups, and a median of three let two of them fail a healthy build.
constexpr int kPairs = 5;

int lineRateCost()
{
    QTemporaryDir dir;
    int run = 0;
    const auto plain =
        adc::bench::alternatedRatio([] { return lineRateCpuShare({}); }, bareReadCpuShare, kPairs);
    const auto recording = adc::bench::alternatedRatio(
        [&] {
            ++run;
            return lineRateCpuShare(
                {"--record", dir.filePath(QStringLiteral("line%1.csv").arg(run)), "--capture",
                 dir.filePath(QStringLiteral("line%1.bin").arg(run))});
        },
        bareReadCpuShare, kPairs);
    if (!plain || !recording)
        return fail("the line-rate runs did not complete");
    bool ok = adc::bench::printRatioRows(
        "headless at 9600 baud, against the bare read", "headless at 9600 baud (median)",
        "bare serial read at 9600 baud (median)", *plain, kPlainTarget);
    ok &= adc::bench::printRatioRows(
        "headless recording and capturing at 9600 baud, against the bare read",
        "headless recording and capturing at 9600 baud (median)",
        "bare serial read at 9600 baud, beside the recording runs (median)", *recording,
        kRecordingTarget);
    return ok ? 0 : 1;
}

// Eight calibrated channels with limits: dividers on the even ones, thermistors on the odd.
QByteArray benchProfile()
{
    QByteArray text;
    for (int k = 0; k < adc::kChannelCount; ++k)
        text += k % 2 == 0 ? QByteArray("[AD%1]\nname = \"Supply %1\"\nunit = \"V\"\n"
                                        "raw = [0, 4095]\nvalue = [0.0, 16.5]\nlimits = [1, 15]\n")
                                 .replace("%1", QByteArray::number(k))
                           : QByteArray("[AD%1]\nname = \"Sensor %1\"\nunit = \"°C\"\n"
                                        "table = [[400, 80.0], [1200, 40.0], [2600, 10.0], "
                                        "[3600, -10.0]]\nlimits = [-5, 60]\n")
                                 .replace("%1", QByteArray::number(k));
    return text;
}

// Ten seconds at 30,000 frames/s with a profile and a recording: every frame is a row, as sent.
int profileAtSpeed()
{
    constexpr qint64 kFrames = 300'000;
    QTemporaryDir dir;
    const QString rig = dir.filePath("rig.toml");
    const QString log = dir.filePath("sent.log");
    const QString csv = dir.filePath("run.csv");
    QFile file(rig);
    if (!file.open(QIODevice::WriteOnly) || file.write(benchProfile()) < 0)
        return fail("cannot write the profile");
    file.close();
    adc::test::SimProcess sim({"--rate", "30000", "--count", QString::number(kFrames), "--wave",
                               "noise", "--seed", "5", "--log", log});
    Child monitor;
    if (sim.port().isEmpty() ||
        !monitor.start(ADC_MONITOR_PATH, {"--headless", "--port", sim.port(), "--profile", rig,
                                          "--frames", QString::number(kFrames), "--record", csv}) ||
        !monitor.process.waitForFinished(120000))
        return fail("cannot run adc-sim --rate 30000 into the headless monitor with a profile");
    sim.waitExit(10000);
    const qint64 wrong = rowsUnlikeTheLog(csv, log, kFrames);
    return noRowsWrong("headless with a profile of 8 calibrated channels and --record at 30000 "
                       "frames/s, rows unlike the frames sent, or missing",
                       wrong)
               ? 0
               : 1;
}

// Every second while 900,000 frames come at 30,000 frames/s (30 s, or as long as the line
// takes), the program itself: every frame is a row of exactly one file, in order, and every
// file starts with the header.
int rotationAtSpeed()
{
    constexpr qint64 kFrames = 900'000;
    QTemporaryDir dir;
    const QString log = dir.filePath("sent.log");
    adc::test::SimProcess sim({"--rate", "30000", "--count", QString::number(kFrames), "--wave",
                               "noise", "--seed", "7", "--log", log});
    Child monitor;
    if (sim.port().isEmpty() ||
        !monitor.start(ADC_MONITOR_PATH,
                       {"--headless", "--port", sim.port(), "--frames", QString::number(kFrames),
                        "--record", dir.filePath("run.csv"), "--capture", dir.filePath("run.bin"),
                        "--rotate", "1s"}) ||
        !monitor.process.waitForFinished(180000))
        return fail("cannot run adc-sim --rate 30000 into the headless monitor rotating");
    sim.waitExit(10000);
    const QStringList files = QDir(dir.path()).entryList({"run-*.csv"}, QDir::Files, QDir::Name);
    QFile joined(dir.filePath("joined.csv"));
    if (files.isEmpty() || !joined.open(QIODevice::WriteOnly))
        return fail("the rotating run left no files");
    qint64 headless = 0;
    for (const QString& name : files) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            return fail("cannot read a file of the rotation");
        const QByteArray header = file.readLine();
        headless += !header.startsWith("time,elapsed_s,frame,AD0");
        if (&name == &files.constFirst())
            joined.write(header);
        joined.write(file.readAll());
    }
    joined.close();
    const qint64 wrong = rowsUnlikeTheLog(joined.fileName(), log, kFrames) + headless;
    printReference("files of the recording of 900,000 frames rotating every second",
                   double(files.size()), 0, "files");
    return noRowsWrong("900,000 frames at 30000 frames/s rotating every second, rows unlike the "
                       "frames sent, missing, doubled, or files without the header",
                       wrong)
               ? 0
               : 1;
}

// The longest the thread that reads the line is kept from it by a switch: a recording and a
// capture rotating every second (ten files kept, so that deletions run too) take 30 frames
// each millisecond for 30 s, and each piece of work is timed: the frames given to the outputs,
// and what the event loop does between them (flushes, deletions).
int rotationStall()
{
    QTemporaryDir dir;
    adc::RecordingSession session;
    adc::Rotation rotation;
    rotation.intervalMs = 1000;
    rotation.keep = 10;
    session.setRotation(rotation);
    if (!session.startRecording(dir.filePath("run.csv")).isEmpty() ||
        !session.startCapture(dir.filePath("run.bin")).isEmpty())
        return fail("cannot start the rotating recording");
    constexpr int kPerMs = 30;
    constexpr int kMs = 30'000;
    std::int64_t worstSwitch = 0;
    std::int64_t worstLoop = 0;
    int switches = 0;
    QString path = session.recordingPath();
    std::int64_t frame = 0;
    const std::int64_t start = adc::bench::monotonicNs();
    for (int ms = 0; ms < kMs; ++ms) {
        std::string bytes;
        std::array<adc::FrameReadings, kPerMs> readings{};
        for (int i = 0; i < kPerMs; ++i) {
            adc::FrameValues values{};
            for (int k = 0; k < adc::kChannelCount; ++k)
                values[std::size_t(k)] = std::uint16_t((frame + i + k * 512) % 4096);
            adc::appendFrame(bytes, values);
            for (int k = 0; k < adc::kChannelCount; ++k)
                readings[std::size_t(i)][std::size_t(k)] = values[std::size_t(k)];
        }
        const std::int64_t t0 = adc::bench::monotonicNs();
        session.bytesReceived(bytes);
        for (const adc::FrameReadings& r : readings)
            session.frameDecoded(r, ++frame);
        const std::int64_t t1 = adc::bench::monotonicNs();
        QCoreApplication::processEvents();
        const std::int64_t t2 = adc::bench::monotonicNs();
        worstLoop = std::max(worstLoop, t2 - t1);
        if (session.recordingPath() != path) {
            path = session.recordingPath();
            ++switches;
            worstSwitch = std::max(worstSwitch, t1 - t0);
        }
        const std::int64_t due = start + std::int64_t(ms + 1) * 1'000'000;
        while (adc::bench::monotonicNs() < due)
            QThread::usleep(std::max<std::int64_t>(1, (due - adc::bench::monotonicNs()) / 1000));
    }
    session.stopRecording();
    session.stopCapture();
    if (switches < 25 || session.hadWriteError())
        return fail("the rotating recording did not switch every second");
    printReference("switches of the rotating recording in 30 s", switches, 0, "switches");
    bool ok = printRow("rotation every second at 30000 frames/s, longest reception stall at a "
                       "switch",
                       double(worstSwitch) / 1e6, 2, "ms", "< 5", worstSwitch < 5'000'000);
    ok &= printRow("rotation every second at 30000 frames/s, longest event-loop work between "
                   "reads (flushes, deletions)",
                   double(worstLoop) / 1e6, 2, "ms", "< 5", worstLoop < 5'000'000);
    return ok ? 0 : 1;
}

// A clock that moves only when told: a day of frames in seconds.
struct SteppedClock final : adc::Clock
{
    std::int64_t monotonicNs() const override { return mono; }
    std::int64_t unixMs() const override { return mono / 1'000'000 + kEpochMs; }
    int utcOffsetSeconds(std::int64_t) const override { return 3600; }

    static constexpr std::int64_t kEpochMs = 1'796'684'400'000; // 2026-12-08T00:00+01:00
    std::int64_t mono = 0;
};

// A day at the line rate on a stepped clock, rotating hourly and keeping three files: never
// more files than that, and no memory that grows with the files.
int rotationDay()
{
    constexpr int kKeep = 3;
    constexpr double kFramesPerSecond = 29.1;
    constexpr std::int64_t kStepNs = std::int64_t(1e9 / kFramesPerSecond);
    constexpr std::int64_t kDayNs = 86'400'000'000'000;
    QTemporaryDir dir;
    SteppedClock clock;
    adc::RecordingSession session(clock);
    adc::Rotation rotation;
    rotation.intervalMs = 3'600'000;
    rotation.keep = kKeep;
    session.setRotation(rotation);
    if (!session.startRecording(dir.filePath("day.csv")).isEmpty())
        return fail("cannot start the day's recording");
    std::int64_t frame = 0;
    qsizetype mostFiles = 0;
    std::int64_t afterFirstHour = -1;
    while (clock.mono < kDayNs) {
        for (int i = 0; i < 1000; ++i, clock.mono += kStepNs)
            session.frameDecoded({int(frame % 4096), 1, 2, 3, 4, 5, 6, 7}, ++frame);
        QCoreApplication::processEvents();
        mostFiles = std::max(mostFiles, QDir(dir.path()).entryList(QDir::Files).size());
        if (afterFirstHour < 0 && clock.mono > 3'600'000'000'000)
            afterFirstHour = adc::bench::residentKiB();
    }
    const std::int64_t atEnd = adc::bench::residentKiB();
    session.stopRecording();
    if (session.hadWriteError() || afterFirstHour < 0)
        return fail("the day's recording could not be written");
    printReference("frames of the day at 29.1 frames/s", double(frame), 0, "frames");
    bool ok = printRow("a day rotating hourly with --keep 3 on a stepped clock, most files held",
                       double(mostFiles), 0, "files", "<= 3", mostFiles <= kKeep);
    ok &= printRow("a day rotating hourly with --keep 3 on a stepped clock, memory growth after "
                   "the first hour",
                   double(atEnd - afterFirstHour) / 1024.0, 2, "MB", "< 1",
                   atEnd - afterFirstHour < 1024);
    return ok ? 0 : 1;
}

// What rotating every second adds to a recording headless run at the line rate: both run at
// the same time, in processes of their own with simulators of their own, fifteen times over,
// since a tenth of what a wake-up costs is what the pairs must tell apart.
int rotationAtLineRate()
{
    const auto command = [](const char* extra) {
        return std::string("'") + QCoreApplication::applicationFilePath().toStdString() +
               "' linerate " + extra;
    };
    const std::optional<adc::bench::Ratio> ratio =
        adc::bench::simultaneousRatio(command("--rotate 1s"), command(""), kRotationPairs);
    if (!ratio)
        return fail("the line-rate runs with and without rotation did not complete");
    return adc::bench::printRatioRows(
               "headless recording at 9600 baud rotating every second, against the same without "
               "rotation",
               "headless recording at 9600 baud, rotating every second (median)",
               "headless recording at 9600 baud, one file (median)", *ratio, kRotationTarget)
               ? 0
               : 1;
}

// One side of rotationAtLineRate(): a recording headless run at the line rate, with `extra`.
int lineRateSide(const QStringList& extra)
{
    QTemporaryDir dir;
    const std::optional<double> share =
        lineRateCpuShare(QStringList{"--record", dir.filePath("line.csv")} + extra);
    if (!share)
        return fail("the line-rate run did not complete");
    printReference("headless recording at 9600 baud", *share, 3, "% of a core");
    return 0;
}

// The frame counts in the readings' payloads, in the order they came, each count once (a
// message sent again after a lost connection repeats some).
std::vector<qint64> framesPublished(const std::vector<adc::test::MqttSubscriber::Message>& messages,
                                    const std::string& topic)
{
    std::vector<qint64> frames;
    std::vector<bool> seen;
    for (const auto& [messageTopic, payload, retained] : messages)
        for (std::size_t at = messageTopic == topic ? payload.find("\"frame\":")
                                                    : std::string::npos;
             at != std::string::npos; at = payload.find("\"frame\":", at + 1)) {
            const qint64 frame = std::atoll(payload.c_str() + at + 8);
            if (frame >= qint64(seen.size()))
                seen.resize(std::size_t(frame) + 1);
            if (!seen[std::size_t(frame)])
                frames.push_back(frame);
            seen[std::size_t(frame)] = true;
        }
    return frames;
}

// True when the newest message holds frame `frame`: the last to come.
bool holdsFrame(const std::vector<adc::test::MqttSubscriber::Message>& messages, qint64 frame)
{
    return !messages.empty() && messages.back().payload.find("\"frame\":" + std::to_string(frame) +
                                                             ",") != std::string::npos;
}

// Frames the subscriber lacks of 1..`frames`, or has out of order, or beyond.
qint64 framesUnpublished(const adc::test::MqttSubscriber& subscriber, const std::string& topic,
                         qint64 frames)
{
    const std::vector<qint64> published = framesPublished(subscriber.messages(), topic);
    qint64 wrong = std::abs(qint64(published.size()) - frames);
    for (std::size_t i = 0; i < published.size(); ++i)
        wrong += published[i] != qint64(i) + 1;
    return wrong;
}

QString brokerUrl(const adc::test::MqttBroker& broker, const char* prefix)
{
    return QStringLiteral("mqtt://127.0.0.1:%1/%2").arg(broker.port()).arg(QLatin1String(prefix));
}

// 30,000 frames/s published with the default batches: every frame reaches a subscriber, in
// order, for a CPU at most kMqttFastTarget times the same run's without publishing.
int mqttAtSpeed()
{
    adc::test::MqttBroker broker;
    adc::test::MqttSubscriber subscriber(broker.port(), "bench/fast/readings");
    if (!broker.isRunning() || !subscriber.isSubscribed())
        return fail("cannot start the broker");
    const QStringList fast{"--rate", "30000"};
    const auto ratio = adc::bench::alternatedRatio(
        [&] {
            return cpuShare(fast, {"--mqtt", brokerUrl(broker, "bench/fast")});
        },
        [&] { return cpuShare(fast, {}); }, kMqttFastPairs);
    if (!ratio)
        return fail("the runs at 30000 frames/s with and without MQTT did not complete");
    bool ok = adc::bench::printRatioRows(
        "headless at 30000 frames/s publishing to MQTT in batches, against the same without",
        "headless at 30000 frames/s publishing to MQTT (median)",
        "headless at 30000 frames/s (median)", *ratio, kMqttFastTarget);

    constexpr qint64 kFrames = 300'000;
    adc::test::MqttSubscriber counted(broker.port(), "bench/count/readings");
    adc::test::SimProcess sim({"--rate", "30000", "--count", QString::number(kFrames)});
    Child monitor;
    if (sim.port().isEmpty() ||
        !monitor.start(ADC_MONITOR_PATH,
                       {"--headless", "--port", sim.port(), "--frames", QString::number(kFrames),
                        "--mqtt", brokerUrl(broker, "bench/count")}) ||
        !monitor.process.waitForFinished(120000))
        return fail("cannot run adc-sim --rate 30000 into the publishing monitor");
    counted.waitFor([&](const auto& messages) { return holdsFrame(messages, kFrames); }, 10000);
    ok &= printRow("300,000 frames at 30000 frames/s published in batches, frames a subscriber "
                   "lacks, has twice or out of order",
                   double(framesUnpublished(counted, "bench/count/readings", kFrames)), 0, "frames",
                   "0", framesUnpublished(counted, "bench/count/readings", kFrames) == 0);
    printReference("messages of 300,000 frames at 30000 frames/s",
                   double(counted.payloads("bench/count/readings").size()), 0, "messages");
    return ok ? 0 : 1;
}

// A message per frame at QoS 1 at the line rate, against the same run without publishing,
// both at once, fifteen times over.
int mqttAtLineRate()
{
    adc::test::MqttBroker broker;
    adc::test::MqttSubscriber subscriber(broker.port(), "bench/#");
    if (!broker.isRunning() || !subscriber.isSubscribed())
        return fail("cannot start the broker");
    const std::string self = "'" + QCoreApplication::applicationFilePath().toStdString() + "'";
    const std::optional<adc::bench::Ratio> ratio = adc::bench::simultaneousRatio(
        self + " linerate-bare --mqtt " + brokerUrl(broker, "bench/line").toStdString() +
            " --mqtt-qos 1",
        self + " linerate-bare", kMqttLinePairs);
    if (!ratio)
        return fail("the line-rate runs with and without MQTT did not complete");
    return adc::bench::printRatioRows(
               "headless at 9600 baud publishing every frame at QoS 1, against the same without",
               "headless at 9600 baud publishing every frame at QoS 1 (median)",
               "headless at 9600 baud (median)", *ratio, kMqttLineTarget)
               ? 0
               : 1;
}

// 1,000 frames/s at QoS 1 with the broker stopped for 20 s in the middle: every frame reaches
// the subscriber, whose session the broker keeps, and the monitor's memory comes back to what
// it was before.
int mqttOutage()
{
    constexpr qint64 kFrames = 60'000;
    adc::test::MqttBroker broker({.tls = false, .user = {}, .password = {}, .persistent = true});
    auto subscriber =
        std::make_unique<adc::test::MqttSubscriber>(broker.port(), "bench/out/readings", "bench");
    if (!broker.isRunning() || !subscriber->isSubscribed())
        return fail("cannot start the broker");
    adc::test::SimProcess sim({"--rate", "1000", "--count", QString::number(kFrames)});
    Child monitor;
    if (sim.port().isEmpty() ||
        !monitor.start(ADC_MONITOR_PATH,
                       {"--headless", "--port", sim.port(), "--frames", QString::number(kFrames),
                        "--mqtt", brokerUrl(broker, "bench/out"), "--mqtt-qos", "1"}))
        return fail("cannot start the publishing monitor");
    const std::int64_t started = adc::bench::monotonicNs();
    QThread::msleep(5000);
    const std::int64_t before = adc::bench::processResidentKiB(monitor.pid());
    broker.stop(false);
    std::int64_t peak = before;
    for (int i = 0; i < 200; ++i) {
        QThread::msleep(100);
        peak = std::max(peak, adc::bench::processResidentKiB(monitor.pid()));
    }
    if (!broker.start())
        return fail("cannot start the broker again");
    // The next try comes up to 16 s later; then the held frames go out, and the memory is
    // measured once the subscriber has the newest frames, and a tick has followed.
    const std::int64_t restarted = adc::bench::monotonicNs();
    const auto newest = [&] {
        const auto messages = subscriber->messages();
        if (messages.empty())
            return qint64(0);
        const std::string& payload = messages.back().payload;
        const std::size_t at = payload.rfind("\"frame\":");
        return at == std::string::npos ? qint64(0) : std::atoll(payload.c_str() + at + 8);
    };
    while (adc::bench::monotonicNs() - restarted < 40'000'000'000 &&
           newest() < (adc::bench::monotonicNs() - started) / 1'000'000 - 1000)
        QThread::msleep(100);
    const double caughtUp = double(adc::bench::monotonicNs() - restarted) / 1e9;
    QThread::msleep(2000);
    const std::int64_t after = adc::bench::processResidentKiB(monitor.pid());
    if (!monitor.process.waitForFinished(60000) || monitor.process.exitCode() != 0)
        return fail("the publishing monitor did not end well");
    subscriber->waitFor([&](const auto& messages) { return holdsFrame(messages, kFrames); }, 20000);
    const qint64 missing = framesUnpublished(*subscriber, "bench/out/readings", kFrames);
    printReference("1000 frames/s with the broker stopped for 20 s, memory before",
                   double(before) / 1024.0, 2, "MB");
    printReference("1000 frames/s with the broker stopped for 20 s, memory at most during",
                   double(peak) / 1024.0, 2, "MB");
    printReference("1000 frames/s with the broker stopped for 20 s, caught up after the restart",
                   caughtUp, 1, "s");
    bool ok = printRow("1000 frames/s at QoS 1 with the broker stopped for 20 s, frames a "
                       "subscriber lacks or has out of order",
                       double(missing), 0, "frames", "0", missing == 0);
    ok &= printRow("1000 frames/s with the broker stopped for 20 s, memory after recovery above "
                   "that before",
                   double(after - before) / 1024.0, 2, "MB", "< 0.5", after - before < 512);
    return ok ? 0 : 1;
}

int mqttRows()
{
    return mqttAtSpeed() | mqttAtLineRate() | mqttOutage();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc >= 2 && std::string(argv[1]) == "linerate") {
        QStringList extra;
        for (int i = 2; i < argc; ++i)
            extra << QString::fromLocal8Bit(argv[i]);
        return lineRateSide(extra);
    }
    // One side of mqttAtLineRate(): the monitor at the line rate with `extra`, no recording.
    if (argc >= 2 && std::string(argv[1]) == "linerate-bare") {
        QStringList extra;
        for (int i = 2; i < argc; ++i)
            extra << QString::fromLocal8Bit(argv[i]);
        const std::optional<double> share = lineRateCpuShare(extra);
        if (!share)
            return fail("the line-rate run did not complete");
        printReference("headless at 9600 baud", *share, 3, "% of a core");
        return 0;
    }
    // The publishing rows alone, for a change to MQTT; or one of them: speed, line, outage.
    if (argc >= 2 && std::string(argv[1]) == "mqtt") {
        const std::string row = argc >= 3 ? argv[2] : "";
        if (row == "speed")
            return mqttAtSpeed();
        if (row == "line")
            return mqttAtLineRate();
        if (row == "outage")
            return mqttOutage();
        return mqttRows();
    }
    // The rotation's rows alone, for a change to rotation.
    if (argc >= 2 && std::string(argv[1]) == "rotation")
        return rotationAtSpeed() | rotationStall() | rotationDay() | rotationAtLineRate();
    const int throughput = recordingThroughput();
    const int profile = profileAtSpeed();
    const int lineRate = lineRateCost();
    const int rotating = rotationAtSpeed() | rotationStall() | rotationDay() | rotationAtLineRate();
    const int publishing = mqttRows();
    return throughput | profile | lineRate | rotating | publishing;
}
