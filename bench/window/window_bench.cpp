// Measures the whole program: the real window, offscreen, receiving over a pseudo-terminal.
//
//   bench_window [MODE...]
//
// MODE is one of those in main()'s table; a wrong one lists them. One mode runs in this
// process; several, or none (those run by default), each in a fresh process of its own, so
// that one mode's memory and descriptors do not colour the next one's figures.

#include "bench/bench_row.h"
#include "bench/measure.h"
#include "bench/ratio.h"
#include "tests/support/pty_pair.h"
#include "tests/support/sim_process.h"
#include "ui/box.h"
#include "ui/form1.h"
#include "ui/shape.h"
#include "ui/window_system.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace {

using adc::bench::cpuSeconds;
using adc::bench::monotonicNs;
using adc::bench::peakResidentKiB;
using adc::bench::printReference;
using adc::bench::printRow;
using adc::bench::residentKiB;
using adc::test::SimProcess;
using Readings = adc::FrameValues;

/// How long each line-rate figure is measured, and the frames that must arrive meanwhile.
constexpr int kLineRateMs = 10000;
constexpr int kLineRateFrames = 260;
/// Fast lines, against the bare read of the same stream: the window, and the window with
/// its chart.
constexpr double kPacedTarget = 2.5;
constexpr double kPacedChartTarget = 3.5;

/// One figure against its target; `op` is how the value must compare with it.
void row(const char* name, double value, const char* unit, std::string_view op, double target,
         int decimals = 2)
{
    const bool met = op == ">=" ? value >= target : op == "<=" ? value <= target : value < target;
    char text[64];
    std::snprintf(text, sizeof text, "%s %g", std::string(op).c_str(), target);
    printRow(name, value, decimals, unit, text, met);
}

int fail(const char* what)
{
    std::fprintf(stderr, "bench_window: %s\n", what);
    return 1;
}

int openFds()
{
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d) != nullptr)
            ++n;
        closedir(d);
    }
    return n - 3; // ".", ".." and the directory's own descriptor
}

// Runs the event loop for `ms`, sleeping between events as the program itself does.
void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The share of a core this process uses while its event loop runs for `ms`.
double cpuShareSpinning(int ms)
{
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    spin(ms);
    return (cpuSeconds() - cpu0) / (double(wall.nsecsElapsed()) / 1e9);
}

// Runs the event loop until `done`, looking every `pollMs`; where CPU is measured, rarely
// enough not to show in the figure.
bool waitFor(const std::function<bool()>& done, int timeoutMs, int pollMs = 20)
{
    QElapsedTimer t;
    t.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || t.elapsed() > timeoutMs)
            loop.quit();
    });
    poll.start(pollMs);
    if (!done())
        loop.exec();
    return done();
}

QString boxText(const adc::Form1& form, int box)
{
    return form.findChild<adc::Box*>(QStringLiteral("Text%1").arg(box))->shownText();
}

// The X server this program draws on, if any: its CPU is part of what showing the window costs.
long xServerPid()
{
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty() || QGuiApplication::platformName() != QLatin1String("xcb"))
        return -1;
    if (DIR* d = opendir("/proc")) {
        while (const dirent* e = readdir(d)) {
            QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(QLatin1String(e->d_name)));
            if (!cmdline.open(QIODevice::ReadOnly))
                continue;
            const QList<QByteArray> args = cmdline.readAll().split('\0');
            if (args.constFirst().endsWith("Xvfb") && args.contains(display)) {
                closedir(d);
                return std::atol(e->d_name);
            }
        }
        closedir(d);
    }
    return -1;
}

// The names of rows measured on an X server say so.
std::string named(const char* name)
{
    return QGuiApplication::platformName() == QLatin1String("xcb") ? std::string(name) + ", Xvfb"
                                                                   : std::string(name);
}

// True when the window shows what `frames` leave behind: their count, the last of them in the
// value boxes, and the extremes of all of them in the min and max boxes.
bool showsAll(const adc::Form1& form, const std::vector<Readings>& frames)
{
    Readings lo, hi;
    lo.fill(adc::kReadingMax);
    hi.fill(0);
    for (const Readings& r : frames)
        for (int k = 0; k < adc::kChannelCount; ++k) {
            lo[k] = std::min(lo[k], r[k]);
            hi[k] = std::max(hi[k], r[k]);
        }
    auto hex = [](int v, int width) {
        return QStringLiteral("%1").arg(v, width, 16, QLatin1Char('0')).toUpper();
    };
    bool exact = !frames.empty() && boxText(form, adc::kCountBox) == QString::number(frames.size());
    for (int k = 0; exact && k < adc::kChannelCount; ++k)
        exact = boxText(form, adc::valueBox(k)) == hex(frames.back()[k], adc::kFieldWidth) &&
                boxText(form, adc::minBox(k)) == hex(lo[k], 0) &&
                boxText(form, adc::maxBox(k)) == hex(hi[k], 0);
    return exact;
}

void closeMessageBoxes()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w))
            box->done(0);
    QCoreApplication::processEvents();
}

/// The frames a simulator logged: readings, and when each frame's last byte left it.
struct Log
{
    std::vector<Readings> frames;
    std::vector<std::int64_t> sentNs;

    bool read(const QString& path)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return false;
        while (!f.atEnd()) {
            const QList<QByteArray> words = f.readLine().simplified().split(' ');
            if (words.size() < adc::kChannelCount)
                continue;
            Readings r{};
            for (int k = 0; k < adc::kChannelCount; ++k)
                r[k] = static_cast<std::uint16_t>(words[k].toInt(nullptr, 16));
            frames.push_back(r);
            if (words.size() > adc::kChannelCount)
                sentNs.push_back(words[adc::kChannelCount].toLongLong());
        }
        return true;
    }
};

int throughput()
{
    constexpr int kFrames = 2'000'000;
    QTemporaryDir dir;
    const QString logPath = dir.filePath(QStringLiteral("sent.log"));
    SimProcess sim({"--fast", "--count", QString::number(kFrames), "--wave", "noise", "--seed", "7",
                    "--log", logPath});
    if (sim.port().isEmpty())
        return fail("end to end: cannot start the simulator");

    adc::Form1 form(sim.port());
    QElapsedTimer timer;
    timer.start();
    form.Command1_Click();
    const bool all = waitFor([&] { return form.state().frameCount >= kFrames; }, 120000);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    waitFor([&] { return !sim.isRunning(); }, 10000);

    // Nothing lost: the count, and every box against what was sent.
    Log log;
    bool exact = all && log.read(logPath) && int(log.frames.size()) == kFrames &&
                 form.state().frameCount == kFrames;
    exact = exact && showsAll(form, log.frames);
    row("end to end, nothing lost", exact ? 1 : 0, "ok", ">=", 1);
    row("end to end through the window", kFrames / seconds, "frames/s", ">=", 200000);
    return 0;
}

// The latencies of the frames that `shownNs` stamps, against when the simulator's log says
// each left it, sorted; empty when the two disagree on how many frames there were.
std::vector<double> latenciesMs(const QString& logPath, const std::vector<std::int64_t>& shownNs)
{
    Log log;
    if (!log.read(logPath) || log.sentNs.size() != shownNs.size())
        return {};
    std::vector<double> ms;
    for (std::size_t i = 0; i < shownNs.size(); ++i)
        ms.push_back(double(shownNs[i] - log.sentNs[i]) / 1e6);
    std::sort(ms.begin(), ms.end());
    return ms;
}

double percentile(const std::vector<double>& sorted, int p)
{
    return sorted[sorted.size() * std::size_t(p) / 100];
}

constexpr int kLatencyFrames = 1000;

/// The simulator at the line rate, logging when each of its frames went out.
struct LoggedStream
{
    QTemporaryDir dir;
    QString logPath = dir.filePath(QStringLiteral("sent.log"));
    SimProcess sim{{"--count", QString::number(kLatencyFrames), "--log", logPath, "--log-times"}};
};

// The floor under the latency: a serial port in this process that only reads, stamping each CR
// as it arrives. Its 99th percentile is the machine's own hiccups, with no monitor behind it.
int latencyFloor()
{
    LoggedStream stream;
    SimProcess& sim = stream.sim;
    if (sim.port().isEmpty())
        return fail("latency floor: cannot start the simulator");
    QSerialPort port(sim.port());
    if (!port.open(QIODevice::ReadWrite))
        return fail("latency floor: cannot open the port");
    std::vector<std::int64_t> arrivedNs;
    QObject::connect(&port, &QSerialPort::readyRead, &port, [&] {
        const std::int64_t now = monotonicNs();
        for (const char c : port.readAll())
            if (c == adc::kCr)
                arrivedNs.push_back(now);
    });
    waitFor([&] { return int(arrivedNs.size()) >= kLatencyFrames; }, 120000, 1000);
    waitFor([&] { return !sim.isRunning(); }, 10000);
    const std::vector<double> ms = latenciesMs(stream.logPath, arrivedNs);
    if (ms.empty())
        return fail("latency floor: frames sent and read differ");
    printReference("latency p99, CR sent to bare read", percentile(ms, 99), 2, "ms");
    printReference("latency p50, CR sent to bare read", percentile(ms, 50), 2, "ms");
    return 0;
}

std::optional<double> figureOfMode(const char* mode);

int latency()
{
    LoggedStream stream;
    SimProcess& sim = stream.sim;
    if (sim.port().isEmpty())
        return fail("latency: cannot start the simulator");

    // The bare read of a stream of its own, in a process of its own, at the same time: what the
    // machine does to one side it does to the other.
    std::optional<double> floorP99;
    std::thread floorRun([&] { floorP99 = figureOfMode("latency-floor"); });

    adc::Form1 form(sim.port());
    auto* lamp = form.findChild<adc::Shape*>(QStringLiteral("Shape1"));
    const QColor receiving(adc::kLampReceiving & 0xFF, (adc::kLampReceiving >> 8) & 0xFF,
                           (adc::kLampReceiving >> 16) & 0xFF);
    // Frames complete on display, and when: the boxes have their texts when this slot runs.
    std::vector<std::int64_t> shownNs;
    QObject::connect(&form, &adc::Form1::displayUpdated, &form, [&] {
        const std::int64_t now = monotonicNs();
        const std::int64_t complete = form.state().frameCount - (lamp->fillColour() == receiving);
        while (std::int64_t(shownNs.size()) < complete)
            shownNs.push_back(now);
    });

    // Shown, as the operator runs it: painting is part of the cost.
    form.show();
    form.Command1_Click();
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    waitFor([&] { return int(shownNs.size()) >= kLatencyFrames; }, 120000, 1000);
    const double cpuShare = (cpuSeconds() - cpu0) / (double(wall.nsecsElapsed()) / 1e9);
    waitFor([&] { return !sim.isRunning(); }, 10000);
    floorRun.join();

    const std::vector<double> ms = latenciesMs(stream.logPath, shownNs);
    if (ms.empty())
        return fail("latency: frames sent and shown differ");
    if (!floorP99)
        return fail("latency: the bare read beside it did not complete");
    // The median is the path a frame takes, which the machine hardly moves. The 99th percentile
    // (the tenth worst of 1000) also meets the machine's hiccups, so it is judged by what it
    // adds to the bare read's own at the same time: a frame held for company adds 4 ms.
    row(named("latency p50, CR sent to box shown").c_str(), percentile(ms, 50), "ms", "<", 2);
    row(named("latency p99, CR sent to box shown, beyond the bare read's").c_str(),
        percentile(ms, 99) - *floorP99, "ms", "<", 3);
    printReference(named("latency p99, CR sent to box shown").c_str(), percentile(ms, 99), 2, "ms");
    printReference(named("latency p99, CR sent to bare read, same time").c_str(), *floorP99, 2,
                   "ms");
    // The CPU of this run is judged as a ratio to the bare read (ratio-shown); here it is shown
    // for comparison only.
    printReference(named("CPU at the 9600-baud line rate, window shown, latency run").c_str(),
                   cpuShare * 100, 2, "% of a core");
    return 0;
}

// The line rate, the window shown or not: what reception, decoding, the widgets' texts and
// (shown) the painting cost. A figure without a target: ratio-shown and ratio-hidden judge it
// against the bare read.
int lineRate(bool shown)
{
    SimProcess sim(QStringList{});
    if (sim.port().isEmpty())
        return fail("line rate: cannot start the simulator");
    adc::Form1 form(sim.port());
    if (shown)
        form.show();
    form.Command1_Click();
    spin(500);
    const std::int64_t count = form.state().frameCount;
    const double share = cpuShareSpinning(kLineRateMs);
    if (form.state().frameCount - count < kLineRateFrames)
        return fail("line rate: too few frames arrived");
    printReference(named(shown ? "CPU at the 9600-baud line rate, window shown"
                               : "CPU at the 9600-baud line rate, window not shown")
                       .c_str(),
                   share * 100, 3, "% of a core");
    return 0;
}

int lineRateShown()
{
    return lineRate(true);
}

int lineRateHidden()
{
    return lineRate(false);
}

// The floor under the line-rate figures: a serial port in this process that only reads the
// same frames, with no monitor behind it. It is what 29 wake-ups a second cost on this machine.
int lineRateFloor()
{
    SimProcess sim(QStringList{});
    if (sim.port().isEmpty())
        return fail("line-rate floor: cannot start the simulator");
    QSerialPort port(sim.port());
    if (!port.open(QIODevice::ReadWrite))
        return fail("line-rate floor: cannot open the port");
    qint64 bytes = 0;
    QObject::connect(&port, &QSerialPort::readyRead, &port,
                     [&] { bytes += port.readAll().size(); });
    spin(500);
    const qint64 before = bytes;
    const double share = cpuShareSpinning(kLineRateMs);
    if (bytes - before < kLineRateFrames * 30) // frames of at least 30 bytes
        return fail("line-rate floor: too few frames arrived");
    printReference("CPU at the 9600-baud line rate, bare serial read, no monitor", share * 100, 3,
                   "% of a core");
    return 0;
}

// The command that runs a measuring mode of this program in a fresh process of its own.
std::string modeCommand(const char* mode)
{
    return QStringLiteral("'%1' %2")
        .arg(QCoreApplication::applicationFilePath(), QLatin1String(mode))
        .toStdString();
}

// Such a mode's one figure.
std::optional<double> figureOfMode(const char* mode)
{
    return adc::bench::referenceFigureOf(modeCommand(mode));
}

// A mode's cost against the bare serial read at the line rate, as alternating pairs of fresh
// processes; the machine's own cost of a wake-up, which moves from day to day, is on both
// sides of each ratio.
int ratioToFloor(const char* mode, const char* name, const char* measuredName, double target)
{
    const std::optional<adc::bench::Ratio> ratio = adc::bench::alternatedRatio(
        [mode] { return figureOfMode(mode); }, [] { return figureOfMode("linerate-floor"); });
    if (!ratio)
        return fail("a line-rate measurement did not complete");
    adc::bench::printRatioRows(named(name), named(measuredName),
                               "CPU at the 9600-baud line rate, bare serial read (median)", *ratio,
                               target);
    return 0;
}

int ratioShown()
{
    return ratioToFloor("linerate-shown", "line rate, window shown, against the bare read",
                        "CPU at the 9600-baud line rate, window shown (median)", 8);
}

int ratioHidden()
{
    return ratioToFloor("linerate-hidden", "line rate, window not shown, against the bare read",
                        "CPU at the 9600-baud line rate, window not shown (median)", 2);
}

int ratioIdle()
{
    return ratioToFloor("idle", "port open and no data, against the bare read at the line rate",
                        "CPU with the port open and no data (median)", 2);
}

// The display as the line gets faster. A child process writes frames into a pseudo-terminal
// the way a USB serial adapter hands them over: one frame a write below 1,000 frames/s, above
// that in 1 ms ticks of several frames. The frames are made before the child is forked, and it
// only sleeps and writes, so it needs nothing that threads of this process might hold.
struct PacedStream
{
    static constexpr int kSeconds = 10;

    explicit PacedStream(int rate) : rate(rate)
    {
        frames.reserve(std::size_t(rate) * kSeconds);
        for (int i = 0; i < rate * kSeconds; ++i) {
            Readings r{};
            for (int k = 0; k < adc::kChannelCount; ++k)
                r[k] = static_cast<std::uint16_t>((i * 37 + k * 512 + (i % 997 == 0 ? 2000 : 0)) %
                                                  (adc::kReadingMax + 1));
            frames.push_back(r);
            adc::appendFrame(bytes, r);
        }
        perTick = rate >= 1000 ? rate / 1000 : 1;
        ticks = int(frames.size()) / perTick;
        tickNs = rate >= 1000 ? 1'000'000 : 1'000'000'000 / rate;
        // Shared with the child, which stamps each tick when its write has returned.
        void* shared = mmap(nullptr, sizeof(std::int64_t) * std::size_t(ticks),
                            PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        sentNs = static_cast<std::int64_t*>(shared);
    }
    ~PacedStream() { munmap(sentNs, sizeof(std::int64_t) * std::size_t(ticks)); }

    /// Starts the child writing into `fd`.
    void start(int fd)
    {
        const std::int64_t begin = monotonicNs();
        child = fork();
        if (child != 0)
            return;
        const std::size_t chunk = std::size_t(perTick) * adc::kFrameLength;
        for (int pass = 0; pass < passes; ++pass) {
            const char* p = bytes.data();
            for (int j = 0; j < ticks; ++j) {
                const std::int64_t due = begin + (std::int64_t(pass) * ticks + j) * tickNs;
                const timespec at{time_t(due / 1'000'000'000), long(due % 1'000'000'000)};
                clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
                for (std::size_t done = 0; done < chunk;) {
                    const ssize_t n = ::write(fd, p + done, chunk - done);
                    if (n <= 0)
                        _exit(1);
                    done += std::size_t(n);
                }
                p += chunk;
                if (pass == 0)
                    sentNs[j] = monotonicNs();
            }
        }
        _exit(0);
    }

    /// True once the child has written everything (or failed).
    bool finished()
    {
        int status = 0;
        if (child > 0 && waitpid(child, &status, WNOHANG) == child)
            child = -1;
        return child < 0;
    }

    int rate;
    /// How many times the child sends the 10 s of frames, one after the other.
    int passes = 1;
    std::vector<Readings> frames;
    std::string bytes;
    int perTick = 1;
    int ticks = 0;
    std::int64_t tickNs = 0;
    std::int64_t* sentNs = nullptr;
    pid_t child = -1;
};

// What reading a paced stream costs with no monitor behind the port, in percent of a core:
// the reference each paced figure is judged against, measured straight before it.
std::optional<double> bareReadShare(int rate)
{
    PacedStream stream(rate);
    adc::test::PtyPair pty;
    QSerialPort port(QString::fromStdString(pty.path()));
    if (!port.open(QIODevice::ReadWrite))
        return std::nullopt;
    pty.closeSlave();
    qint64 bytes = 0;
    QObject::connect(&port, &QSerialPort::readyRead, &port,
                     [&] { bytes += port.readAll().size(); });
    spin(300);
    const double cpu0 = cpuSeconds();
    const std::int64_t wall0 = monotonicNs();
    stream.start(pty.masterFd());
    waitFor([&] { return stream.finished(); }, 60000, 100);
    const double share = (cpuSeconds() - cpu0) / (double(monotonicNs() - wall0) / 1e9);
    if (bytes < qint64(stream.bytes.size()) / 2)
        return std::nullopt;
    char name[96];
    std::snprintf(name, sizeof name, "CPU at %d frames/s, bare serial read, no monitor", rate);
    printReference(named(name).c_str(), share * 100, 2, "% of a core");
    return share * 100;
}

/// A paced figure against the bare read of the same stream.
void pacedRatioRow(const char* what, int rate, double share, const std::optional<double>& bare,
                   double target)
{
    char name[128];
    std::snprintf(name, sizeof name, "CPU at %d frames/s, %s, against the bare read", rate, what);
    const double ratio = bare && *bare > 0 ? share * 100 / *bare : 1e9;
    row(named(name).c_str(), ratio, "times", "<=", target);
}

/// The window shown on a fresh pseudo-terminal, receiving, with the strip chart if asked.
struct PtyWindow
{
    explicit PtyWindow(bool withChart)
    {
        form.show();
        if (withChart)
            form.showChart();
        form.Command1_Click();
        pty.closeSlave();
    }

    adc::test::PtyPair pty;
    adc::Form1 form{QString::fromStdString(pty.path())};
};

int pacedRates()
{
    const long xPid = xServerPid();
    std::vector<double> shares;
    for (const int rate : {1000, 3000, 10000, 30000}) {
        const std::optional<double> bare = bareReadShare(rate);
        PacedStream stream(rate);
        PtyWindow window(false);
        adc::Form1& form = window.form;
        // When each frame count reached the screen.
        std::vector<std::pair<std::int64_t, std::int64_t>> shown;
        shown.reserve(std::size_t(rate) * PacedStream::kSeconds / 10);
        QObject::connect(&form, &adc::Form1::displayUpdated, &form,
                         [&] { shown.emplace_back(monotonicNs(), form.state().frameCount); });
        spin(300);
        const double cpu0 = cpuSeconds();
        const std::int64_t x0 = xPid > 0 ? adc::bench::processCpuNs(xPid) : 0;
        const std::int64_t wall0 = monotonicNs();
        stream.start(window.pty.masterFd());
        waitFor([&] { return stream.finished(); }, 60000, 100);
        const double seconds = double(monotonicNs() - wall0) / 1e9;
        const double share = (cpuSeconds() - cpu0) / seconds;
        const std::int64_t x1 = xPid > 0 ? adc::bench::processCpuNs(xPid) : 0;
        const std::int64_t total = std::int64_t(stream.frames.size());
        waitFor([&] { return form.state().frameCount >= total; }, 5000);
        spin(100);

        // Nothing lost: the count exact, the value boxes the last frame, min and max the
        // extremes of all of them.
        const bool exact = showsAll(form, stream.frames);

        char name[96];
        std::snprintf(name, sizeof name, "window shown at %d frames/s, nothing lost", rate);
        row(named(name).c_str(), exact ? 1 : 0, "ok", ">=", 1, 0);
        std::snprintf(name, sizeof name, "CPU at %d frames/s, window shown", rate);
        printReference(named(name).c_str(), share * 100, 2, "% of a core");
        pacedRatioRow("window shown", rate, share, bare, kPacedTarget);
        shares.push_back(share);
        if (xPid > 0) {
            std::snprintf(name, sizeof name, "X server CPU at %d frames/s", rate);
            printReference(name, double(x1 - x0) / 1e9 / seconds * 100, 2, "% of a core");
        }
        if (rate == 30000) {
            // From each tick's write to the first update that showed all of it.
            std::vector<double> ms;
            std::size_t u = 0;
            for (int j = 0; j < stream.ticks; ++j) {
                const std::int64_t needed = std::int64_t(j + 1) * stream.perTick;
                while (u < shown.size() && shown[u].second < needed)
                    ++u;
                if (u == shown.size())
                    break;
                ms.push_back(double(shown[u].first - stream.sentNs[j]) / 1e6);
            }
            std::sort(ms.begin(), ms.end());
            const double p99 = ms.empty() ? 1e9 : ms[ms.size() * 99 / 100];
            row(named("latency p99 at 30000 frames/s, CR sent to box shown").c_str(), p99, "ms",
                "<", 25);
        }
    }
    // For comparison only: the bare read's own cost moves with the rate and the machine, and
    // each rate's ratio to it above is what is judged.
    printReference(named("CPU at 30000 against 1000 frames/s").c_str(),
                   shares.back() / shares.front(), 2, "times");
    return 0;
}

// What one display update costs the window: the eight value boxes and the count rewritten,
// then painted, each after a refresh's pause, as updates come under load. A pause leaves the
// caches cold, which costs several times what back-to-back updates do.
int updates()
{
    adc::Form1 form(QStringLiteral("/dev/null"));
    form.show();
    spin(300);
    std::array<adc::Box*, 9> boxes{};
    for (int k = 0; k < 9; ++k)
        boxes[std::size_t(k)] = form.findChild<adc::Box*>(QStringLiteral("Text%1").arg(k + 1));
    constexpr int kUpdates = 300;
    unsigned seed = 1;
    double setSeconds = 0;
    double paintSeconds = 0;
    for (int i = 0; i < kUpdates; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(16));
        const double c0 = cpuSeconds();
        for (int k = 0; k < 8; ++k) {
            seed = seed * 1103515245u + 12345u;
            boxes[std::size_t(k)]->showText(QString::number((seed >> 16) & 0xFFF, 16).toUpper());
        }
        boxes[8]->showText(QString::number(i));
        const double c1 = cpuSeconds();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        paintSeconds += cpuSeconds() - c1;
        setSeconds += c1 - c0;
    }
    printReference(named("one display update, 9 boxes given new texts").c_str(),
                   setSeconds / kUpdates * 1e6, 1, "us");
    printReference(named("one display update, 9 boxes painted").c_str(),
                   paintSeconds / kUpdates * 1e6, 1, "us");
    return 0;
}

// The window's CPU, in % of a core, receiving the simulator's sine at the line rate in this
// process: `before` prepares it before it is shown, `after` once it is.
// What an open chart or a profile adds at the line rate is a fraction of what a wake-up costs,
// and that moves by more than the fraction from one moment to the next: so the window with it
// and the window alone run at the same time, in processes of their own with simulators of their
// own, this many times over.
constexpr int kSideBySidePairs = 9;

std::optional<double> windowAtLineRate(const std::function<void(adc::Form1&)>& before,
                                       const std::function<void(adc::Form1&)>& after)
{
    SimProcess sim({"--wave", "sine"});
    if (sim.port().isEmpty())
        return std::nullopt;
    adc::Form1 form(sim.port());
    if (before)
        before(form);
    form.show();
    if (after)
        after(form);
    form.Command1_Click();
    spin(500);
    return cpuShareSpinning(kLineRateMs) * 100;
}

// The strip chart open beside the window: at 30,000 frames/s paced as above, and what it adds
// at the line rate, each run with the chart and without it.
int chart()
{
    {
        const std::optional<double> bare = bareReadShare(30000);
        PacedStream stream(30000);
        PtyWindow shown(true);
        adc::Form1& form = shown.form;
        spin(300);
        const double cpu0 = cpuSeconds();
        const std::int64_t wall0 = monotonicNs();
        stream.start(shown.pty.masterFd());
        waitFor([&] { return stream.finished(); }, 60000, 100);
        const double share = (cpuSeconds() - cpu0) / (double(monotonicNs() - wall0) / 1e9);
        waitFor([&] { return form.state().frameCount >= std::int64_t(stream.frames.size()); },
                5000);
        spin(100);
        row(named("chart open at 30000 frames/s, nothing lost").c_str(),
            showsAll(form, stream.frames) ? 1 : 0, "ok", ">=", 1, 0);
        printReference(named("CPU at 30000 frames/s, window and chart shown").c_str(), share * 100,
                       2, "% of a core");
        pacedRatioRow("window and chart shown", 30000, share, bare, kPacedChartTarget);
    }
    // At the line rate: the window with the chart against the window alone.
    const std::optional<adc::bench::Ratio> ratio = adc::bench::simultaneousRatio(
        modeCommand("window-chart"), modeCommand("window-alone"), kSideBySidePairs);
    if (!ratio)
        return fail("chart: a line-rate measurement did not complete");
    adc::bench::printRatioRows(
        named("the chart at the 9600-baud line rate, against the window alone"),
        named("CPU at the 9600-baud line rate, window and chart shown (median)"),
        named("CPU at the 9600-baud line rate, window shown, no chart (median)"), *ratio, 1.5);
    return 0;
}

// One side of a comparison at the line rate: the window alone, with the chart, or with a
// profile of eight calibrated channels with limits and the table of channels open.
enum class Extra
{
    None,
    Chart,
    Profile,
};

int windowSide(Extra extra)
{
    adc::Profile rig;
    for (int k = 0; k < adc::kChannelCount; ++k) {
        adc::ChannelProfile& c = rig.channel(k);
        c.name = "Channel " + std::to_string(k);
        c.unit = k % 2 == 0 ? "V" : "°C";
        c.calibration =
            k % 2 == 0
                ? adc::Calibration::line({0, 0.0}, {4095, 16.5})
                : adc::Calibration::table({{400, 80.0}, {1200, 40.0}, {2600, 10.0}, {3600, -10.0}});
        c.limits = k % 2 == 0 ? adc::ValueRange{1, 15} : adc::ValueRange{-5, 60};
    }
    std::optional<double> share;
    switch (extra) {
    case Extra::None:
        share = windowAtLineRate({}, {});
        break;
    case Extra::Chart:
        share = windowAtLineRate({}, [](adc::Form1& form) { form.showChart(); });
        break;
    case Extra::Profile:
        share = windowAtLineRate([&rig](adc::Form1& form) { form.setProfile(rig); },
                                 [](adc::Form1& form) { form.showChannels(); });
        break;
    }
    if (!share)
        return fail("line rate: cannot start the simulator");
    printReference("CPU at the 9600-baud line rate, window", *share, 3, "% of a core");
    return 0;
}

int windowAlone()
{
    return windowSide(Extra::None);
}

int windowChart()
{
    return windowSide(Extra::Chart);
}

int windowProfile()
{
    return windowSide(Extra::Profile);
}

int profile()
{
    const std::optional<adc::bench::Ratio> ratio = adc::bench::simultaneousRatio(
        modeCommand("window-profile"), modeCommand("window-alone"), kSideBySidePairs);
    if (!ratio)
        return fail("profile: a measurement did not complete");
    adc::bench::printRatioRows(
        named("a profile and the table of channels at the 9600-baud line rate, against the "
              "window alone"),
        named("CPU at the 9600-baud line rate, window with a profile and the table (median)"),
        named("CPU at the 9600-baud line rate, window alone (median)"), *ratio, 1.3);
    return 0;
}

// The chart open for 5 minutes at 30,000 frames/s: its memory must stop growing once it
// holds a whole span.
int chartMemory()
{
    PacedStream stream(30000);
    stream.passes = 30;
    PtyWindow shown(true);
    adc::Form1& form = shown.form;
    stream.start(shown.pty.masterFd());
    spin(15000); // the first span, and more
    const std::int64_t before = residentKiB();
    waitFor([&] { return stream.finished(); }, 400000, 1000);
    const std::int64_t after = residentKiB();
    const std::int64_t expected = std::int64_t(stream.frames.size()) * stream.passes;
    waitFor([&] { return form.state().frameCount >= expected; }, 5000);
    if (form.state().frameCount != expected)
        return fail("chart memory: frames were lost");
    row(named("chart open 5 min at 30000 frames/s, memory growth after the first span").c_str(),
        double(after - before) / 1024.0, "MB", "<", 5);
    return 0;
}

int idle()
{
    adc::test::PtyPair pty;
    adc::Form1 form(QString::fromStdString(pty.path()));
    form.show();
    form.Command1_Click();
    if (!form.isReceiving())
        return fail("idle: cannot open the port");
    spin(200);
    const double share = cpuShareSpinning(kLineRateMs);
    printReference("CPU with the port open and no data", share * 100, 3, "% of a core");
    return 0;
}

int memory()
{
    constexpr std::size_t kStream = std::size_t{200} << 20;
    adc::test::PtyPair pty;
    adc::Form1 form(QString::fromStdString(pty.path()));
    form.Command1_Click();
    pty.write(adc::test::frame("123 456 789 ABC DEF 012 345 678"));
    waitFor([&] { return form.state().frameCount == 1; }, 5000);
    const std::int64_t before = peakResidentKiB();

    std::thread writer([&] {
        const std::string chunk(std::size_t{1} << 16, 'A');
        pty.write({&adc::kStx, 1});
        for (std::size_t sent = 0; sent < kStream; sent += chunk.size())
            pty.write(chunk);
        pty.write({&adc::kCr, 1});
    });
    const bool done = waitFor([&] { return boxText(form, adc::valueBox(0)) == "AAA"; }, 300000);
    writer.join();
    const std::int64_t after = peakResidentKiB();
    if (!done)
        return fail("memory: the endless frame never completed");
    row("peak RSS of the monitor", double(after) / 1024, "MB", "<", 100);
    row("RSS growth over 200 MB without CR", double(after - before) / 1024, "MB", "<", 5);
    return 0;
}

int soak()
{
    constexpr int kRounds = 100;
    // One window for every round; its port is a link that each round points at a fresh
    // device, as a re-plugged adapter reappears under the same name.
    QTemporaryDir dir;
    const QString port = dir.filePath(QStringLiteral("ttyADC"));
    adc::Form1 form(port);

    auto round = [&] {
        adc::test::PtyPair pty;
        QFile::remove(port);
        QFile::link(QString::fromStdString(pty.path()), port);
        const std::int64_t count = form.state().frameCount;
        form.Command1_Click();
        pty.closeSlave();
        pty.write(adc::test::frame("001 002 003 004 005 006 007 008"));
        const bool received = waitFor([&] { return form.state().frameCount > count; }, 5000);
        pty.closeMaster();
        const bool lost = waitFor([&] { return !form.isReceiving(); }, 5000);
        closeMessageBoxes();
        return received && lost;
    };
    round(); // lazily made resources are no leak
    const int fds = openFds();
    const std::int64_t rss = residentKiB();
    int good = 0;
    for (int i = 0; i < kRounds; ++i)
        good += round() ? 1 : 0;
    row("fault soak: open, receive, lose the device", good, "rounds", ">=", kRounds, 0);
    row("fault soak: descriptors leaked", openFds() - fds, "fds", "<=", 0, 0);
    row("fault soak: memory growth", double(residentKiB() - rss) / 1024, "MB", "<", 1);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    // Offscreen unless told otherwise: bench_window_xvfb runs the same modes on an X server.
    if (!qEnvironmentVariableIsSet("ADC_BENCH_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    else
        qputenv("QT_QPA_PLATFORM", qgetenv("ADC_BENCH_PLATFORM"));
    // The offscreen platform's remarks about window hints would bury the figures.
    qputenv("QT_LOGGING_RULES", "qt.qpa.*=false");
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtWarningMsg && type != QtDebugMsg && type != QtInfoMsg)
            std::fprintf(stderr, "%s\n", qUtf8Printable(text));
    });
    adc::prepareWindowSystem(); // as the program itself starts
    QApplication app(argc, argv);

    // Where a mode runs when none is named: on its own in this run, only on an X server
    // (bench_window_xvfb names it), or only as one side of a ratio.
    enum class Run
    {
        ByDefault,
        OnXvfb,
        InRatio
    };
    struct Mode
    {
        const char* name;
        int (*run)();
        Run when;
    };
    static constexpr Mode kModes[] = {
        {"throughput", throughput, Run::ByDefault},
        {"latency", latency, Run::ByDefault},
        {"latency-floor", latencyFloor, Run::InRatio},
        {"ratio-shown", ratioShown, Run::OnXvfb},
        {"ratio-hidden", ratioHidden, Run::ByDefault},
        {"ratio-idle", ratioIdle, Run::ByDefault},
        {"linerate-shown", lineRateShown, Run::InRatio},
        {"linerate-hidden", lineRateHidden, Run::InRatio},
        {"linerate-floor", lineRateFloor, Run::InRatio},
        {"idle", idle, Run::InRatio},
        {"paced-rates", pacedRates, Run::OnXvfb},
        {"updates", updates, Run::ByDefault},
        {"chart", chart, Run::OnXvfb},
        {"profile", profile, Run::OnXvfb},
        {"window-alone", windowAlone, Run::InRatio},
        {"window-chart", windowChart, Run::InRatio},
        {"window-profile", windowProfile, Run::InRatio},
        {"chart-memory", chartMemory, Run::ByDefault},
        {"memory", memory, Run::ByDefault},
        {"soak", soak, Run::ByDefault},
    };
    std::vector<const Mode*> chosen;
    for (int i = 1; i < argc; ++i) {
        const Mode* found = nullptr;
        for (const Mode& m : kModes)
            if (std::strcmp(argv[i], m.name) == 0)
                found = &m;
        if (found == nullptr) {
            std::fprintf(stderr, "usage: bench_window [MODE]...\nmodes:");
            for (const Mode& m : kModes)
                std::fprintf(stderr, " %s", m.name);
            std::fprintf(stderr, "\n");
            return 2;
        }
        chosen.push_back(found);
    }
    if (chosen.size() == 1)
        return chosen.front()->run();
    if (chosen.empty())
        for (const Mode& m : kModes)
            if (m.when == Run::ByDefault)
                chosen.push_back(&m);
    int status = 0;
    for (const Mode* m : chosen) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(m->name)});
        if (!child.waitForFinished(-1) || child.exitCode() != 0)
            status = 1;
    }
    return status;
}
