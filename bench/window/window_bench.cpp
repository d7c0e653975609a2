// Measures the whole program: the real window, offscreen, receiving over a pseudo-terminal.
//
//   bench_window [throughput|latency|linerate-hidden|idle|memory|soak]
//
// Without a mode it runs every mode in a fresh process of its own, so that one mode's memory
// and descriptors do not colour the next one's figures.

#include "bench_row.h"
#include "form1.h"
#include "measure.h"
#include "pty_pair.h"
#include "shape.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

using adc::bench::cpuSeconds;
using adc::bench::monotonicNs;
using adc::bench::peakResidentKiB;
using adc::bench::printReference;
using adc::bench::printRow;
using adc::bench::residentKiB;
using Readings = std::array<int, adc::kChannelCount>;

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
    return form.findChild<QLineEdit*>(QStringLiteral("Text%1").arg(box))->text();
}

void closeMessageBoxes()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w))
            box->done(0);
    QCoreApplication::processEvents();
}

/// The simulator as a child process; its first line names the device it sends on.
struct Simulator
{
    QProcess process;
    QString port;

    bool start(const QStringList& args)
    {
        process.start(QStringLiteral(ADC_SIM_PATH), args);
        if (!process.waitForStarted(5000) || !process.waitForReadyRead(5000))
            return false;
        port = QString::fromLatin1(process.readLine()).trimmed();
        return !port.isEmpty();
    }
    ~Simulator()
    {
        process.terminate();
        process.waitForFinished(5000);
    }
};

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
                r[k] = words[k].toInt(nullptr, 16);
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
    Simulator sim;
    if (!sim.start({"--fast", "--count", QString::number(kFrames), "--wave", "noise", "--seed", "7",
                    "--log", logPath}))
        return fail("end to end: cannot start the simulator");

    adc::Form1 form(sim.port);
    QElapsedTimer timer;
    timer.start();
    form.Command1_Click();
    const bool all = waitFor([&] { return form.state().frameCount >= kFrames; }, 120000);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    waitFor([&] { return sim.process.state() == QProcess::NotRunning; }, 10000);

    // Nothing lost: the count, and every box against what was sent.
    Log log;
    bool exact = all && log.read(logPath) && int(log.frames.size()) == kFrames &&
                 form.state().frameCount == kFrames;
    if (exact) {
        Readings lo, hi;
        lo.fill(adc::kReadingMax);
        hi.fill(0);
        for (const Readings& r : log.frames)
            for (int k = 0; k < adc::kChannelCount; ++k) {
                lo[k] = std::min(lo[k], r[k]);
                hi[k] = std::max(hi[k], r[k]);
            }
        auto hex = [](int v, int width) {
            return QStringLiteral("%1").arg(v, width, 16, QLatin1Char('0')).toUpper();
        };
        for (int k = 0; k < adc::kChannelCount; ++k)
            exact =
                exact &&
                boxText(form, adc::valueBox(k)) == hex(log.frames.back()[k], adc::kFieldWidth) &&
                boxText(form, adc::minBox(k)) == hex(lo[k], 0) &&
                boxText(form, adc::maxBox(k)) == hex(hi[k], 0);
        exact = exact && boxText(form, adc::kCountBox) == QString::number(kFrames);
    }
    row("end to end, nothing lost", exact ? 1 : 0, "ok", ">=", 1);
    row("end to end through the window", kFrames / seconds, "frames/s", ">=", 200000);
    return 0;
}

int latency()
{
    constexpr int kFrames = 1000;
    QTemporaryDir dir;
    const QString logPath = dir.filePath(QStringLiteral("sent.log"));
    Simulator sim;
    if (!sim.start({"--count", QString::number(kFrames), "--log", logPath, "--log-times"}))
        return fail("latency: cannot start the simulator");

    adc::Form1 form(sim.port);
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
    waitFor([&] { return int(shownNs.size()) >= kFrames; }, 120000, 1000);
    const double cpuShare = (cpuSeconds() - cpu0) / (double(wall.nsecsElapsed()) / 1e9);
    waitFor([&] { return sim.process.state() == QProcess::NotRunning; }, 10000);

    Log log;
    if (!log.read(logPath) || log.sentNs.size() != shownNs.size())
        return fail("latency: frames sent and shown differ");
    std::vector<double> ms;
    for (std::size_t i = 0; i < shownNs.size(); ++i)
        ms.push_back(double(shownNs[i] - log.sentNs[i]) / 1e6);
    std::sort(ms.begin(), ms.end());
    row("latency p50, CR sent to box shown", ms[ms.size() / 2], "ms", "<", 2);
    row("latency p99, CR sent to box shown", ms[ms.size() * 99 / 100], "ms", "<", 2);
    row("CPU at the 9600-baud line rate, window shown", cpuShare * 100, "% of a core", "<", 0.5);
    return 0;
}

// The same line rate with the window not shown: what reception, decoding and the widgets'
// texts cost without the painting.
int lineRateHidden()
{
    Simulator sim;
    if (!sim.start({}))
        return fail("line rate: cannot start the simulator");
    adc::Form1 form(sim.port);
    form.Command1_Click();
    spin(500);
    const std::int64_t count = form.state().frameCount;
    const double share = cpuShareSpinning(15000);
    if (form.state().frameCount - count < 400)
        return fail("line rate: too few frames arrived");
    row("CPU at the 9600-baud line rate, window not shown", share * 100, "% of a core", "<", 0.5);
    return 0;
}

// The floor under the line-rate figures: a serial port in this process that only reads the
// same frames, with no monitor behind it. It is what 29 wake-ups a second cost on this machine.
int lineRateFloor()
{
    Simulator sim;
    if (!sim.start({}))
        return fail("line-rate floor: cannot start the simulator");
    QSerialPort port(sim.port);
    if (!port.open(QIODevice::ReadWrite))
        return fail("line-rate floor: cannot open the port");
    qint64 bytes = 0;
    QObject::connect(&port, &QSerialPort::readyRead, &port,
                     [&] { bytes += port.readAll().size(); });
    spin(500);
    const qint64 before = bytes;
    const double share = cpuShareSpinning(15000);
    if (bytes - before < 400 * 30) // 400 frames of at least 30 bytes
        return fail("line-rate floor: too few frames arrived");
    printReference("CPU at the 9600-baud line rate, bare serial read, no monitor", share * 100, 2,
                   "% of a core");
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
    const double share = cpuShareSpinning(10000);
    row("CPU with the port open and no data", share * 100, "% of a core", "<", 0.1);
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
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen platform's remarks about window hints would bury the figures.
    qputenv("QT_LOGGING_RULES", "qt.qpa.*=false");
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtWarningMsg && type != QtDebugMsg && type != QtInfoMsg)
            std::fprintf(stderr, "%s\n", qUtf8Printable(text));
    });
    QApplication app(argc, argv);

    struct Mode
    {
        const char* name;
        int (*run)();
    };
    static constexpr Mode kModes[] = {
        {"throughput", throughput},
        {"latency", latency},
        {"linerate-hidden", lineRateHidden},
        {"linerate-floor", lineRateFloor},
        {"idle", idle},
        {"memory", memory},
        {"soak", soak},
    };
    if (argc > 1) {
        for (const Mode& m : kModes)
            if (std::strcmp(argv[1], m.name) == 0)
                return m.run();
        std::fprintf(stderr,
                     "usage: bench_window "
                     "[throughput|latency|linerate-hidden|linerate-floor|idle|memory|soak]\n");
        return 2;
    }
    int status = 0;
    for (const Mode& m : kModes) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(m.name)});
        if (!child.waitForFinished(-1) || child.exitCode() != 0)
            status = 1;
    }
    return status;
}
