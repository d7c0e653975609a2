#include "frame_writer.h"
#include "pty_pair.h"
#include "waveform.h"

#include <QProcess>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <poll.h>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace adc::sim {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

/// The simulator program, running.
class SimProcess
{
public:
    explicit SimProcess(const QStringList& args) { m_process.start(ADC_SIM_PATH, args); }
    ~SimProcess()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

    /// The first line of standard output, without its end; empty when none comes in time.
    std::string firstLine()
    {
        while (!m_process.canReadLine() && m_process.waitForReadyRead(5000)) {
        }
        return m_process.readLine().trimmed().toStdString();
    }

    /// Everything on standard error; call after the process has ended.
    std::string errorText() { return m_process.readAllStandardError().toStdString(); }

    void signal(int sig) const { ::kill(static_cast<pid_t>(m_process.processId()), sig); }

    /// CPU time the process has used so far, in seconds.
    double cpuSeconds() const
    {
        std::ifstream stat("/proc/" + std::to_string(m_process.processId()) + "/stat");
        std::string field;
        double ticks = 0;
        for (int i = 1; i <= 15 && stat >> field; ++i)
            ticks += i >= 14 ? std::stod(field) : 0; // utime and stime
        return ticks / double(::sysconf(_SC_CLK_TCK));
    }

    /// True when the process is still running after `ms` milliseconds.
    bool runningAfter(int ms) { return !m_process.waitForFinished(ms); }

    /// The exit status once the process ends (within 10 s); nothing if it crashes or hangs.
    std::optional<int> waitExit()
    {
        if (!m_process.waitForFinished(10000) || m_process.exitStatus() != QProcess::NormalExit)
            return std::nullopt;
        return m_process.exitCode();
    }

private:
    QProcess m_process;
};

/// Opens a device as the plainest reader would, leaving the line as the simulator set it.
int openReader(const std::string& path)
{
    return ::open(path.c_str(), O_RDONLY | O_NOCTTY);
}

/// Reads from `fd` until the other side hangs up, `bytes` have come, or nothing comes for 5 s.
std::string readUntil(int fd, std::size_t bytes = SIZE_MAX)
{
    std::string got;
    char buf[4096];
    pollfd p{fd, POLLIN, 0};
    while (got.size() < bytes && ::poll(&p, 1, 5000) > 0) {
        const ssize_t n = ::read(fd, buf, std::min(sizeof buf, bytes - got.size()));
        if (n <= 0)
            break;
        got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
}

/// A file for the simulator to write or read, removed when done with.
struct TempFile
{
    explicit TempFile(const char* name)
        : path(::testing::TempDir() + name + std::to_string(::getpid()))
    {}
    TempFile(const char* name, const std::string& contents) : TempFile(name)
    {
        std::ofstream(path, std::ios::binary) << contents;
    }
    ~TempFile() { std::remove(path.c_str()); }
    QString arg() const { return QString::fromStdString(path); }
    long lines() const
    {
        std::ifstream in(path);
        return static_cast<long>(std::count(std::istreambuf_iterator<char>(in), {}, '\n'));
    }

    const std::string path;
};

TEST(AdcSimProcessTest, EveryFrameLoggedArrivesAsLogged)
{
    constexpr std::uint64_t kFrames = 5000; // several times what the pseudo-terminal buffers
    const TempFile log("adc-sim-log");
    SimProcess sim({"--count", QString::number(kFrames), "--fast", "--wave", "noise", "--seed", "7",
                    "--log", log.arg(), "--log-times"});
    const int reader = openReader(sim.firstLine());
    ASSERT_GE(reader, 0);
    const std::string bytes = readUntil(reader);
    ::close(reader);
    ASSERT_EQ(sim.waitExit(), 0) << sim.errorText();

    // Each log line: the eight fields as sent, then the time the frame went out.
    std::size_t logged = 0;
    std::string expected;
    long long lastTime = 0;
    std::ifstream in(log.path);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        Readings r{};
        long long time = -1;
        for (auto& v : r)
            words >> std::hex >> v;
        words >> std::dec >> time;
        ASSERT_GE(time, lastTime) << line;
        lastTime = time;
        ++logged;
        appendFrame(expected, r);
    }
    ASSERT_EQ(logged, kFrames);
    EXPECT_TRUE(bytes == expected) << "received " << bytes.size() << " of " << expected.size();
}

TEST(AdcSimProcessTest, ALogThatCannotBeWrittenEndsWithStatusOne)
{
    test::PtyPair pty;
    SimProcess sim(
        {"--port", QString::fromStdString(pty.path()), "--count", "2", "--log", "/dev/full"});
    EXPECT_EQ(readUntil(pty.masterFd(), 2 * kFrameLength).size(), 2 * kFrameLength);
    EXPECT_EQ(sim.waitExit(), 1);
    EXPECT_EQ(sim.errorText(), "adc-sim: writing the log /dev/full failed\n");
}

TEST(AdcSimProcessTest, EndsOnceItsLastFramesAreReadOrTheReaderLeaves)
{
    SimProcess sim({"--count", "3", "--fast"});
    const int reader = openReader(sim.firstLine());
    ASSERT_GE(reader, 0);
    EXPECT_TRUE(sim.runningAfter(300)) << "ended with its frames still unread";
    EXPECT_EQ(readUntil(reader, 3 * kFrameLength).size(), 3 * kFrameLength);
    EXPECT_EQ(sim.waitExit(), 0) << sim.errorText();
    ::close(reader);

    // A reader that leaves with the frames unread is not waited for.
    SimProcess left({"--count", "3", "--fast"});
    const int early = openReader(left.firstLine());
    EXPECT_TRUE(left.runningAfter(300));
    ::close(early);
    EXPECT_EQ(left.waitExit(), 0) << "still waiting for a reader that has gone";
}

TEST(AdcSimProcessTest, NoticesADepartedReaderAtTheSlowestPace)
{
    SimProcess sim({"--rate", "0.01"}); // a frame every 100 s
    const int reader = openReader(sim.firstLine());
    EXPECT_EQ(readUntil(reader, kFrameLength).size(), kFrameLength);
    ::close(reader);
    EXPECT_FALSE(sim.runningAfter(5000)) << "waited for its next frame to notice";
}

// Noticing that the reader has gone must work in both modes.
class AdcSimModeTest : public ::testing::TestWithParam<const char*>
{};

TEST_P(AdcSimModeTest, EndsWhenTheReaderClosesAndLogsOnlyWhatWentOut)
{
    const TempFile log(*GetParam() ? "adc-sim-fast-log" : "adc-sim-paced-log");
    QStringList args{"--wave", "noise", "--seed", "7", "--log", log.arg()};
    if (*GetParam())
        args << GetParam();
    SimProcess sim(args);
    const int reader = openReader(sim.firstLine());
    ASSERT_GE(reader, 0);
    // A seed repeats a run exactly.
    EXPECT_EQ(readUntil(reader, kFrameLength), formatFrame(Waveform({WaveKind::Noise}, 7).next()));
    ::close(reader);
    EXPECT_EQ(sim.waitExit(), 0);
    // "... stopping after N frames": the log has a line for each of them and no more.
    const std::string err = sim.errorText();
    EXPECT_NE(err.find("stopping after " + std::to_string(log.lines()) + " frames"),
              std::string::npos)
        << err << log.lines() << " lines logged";
}

INSTANTIATE_TEST_SUITE_P(Modes, AdcSimModeTest, ::testing::Values("", "--fast"),
                         [](const auto& info) { return *info.param ? "Fast" : "Paced"; });

class AdcSimStopTest : public ::testing::TestWithParam<int>
{};

TEST_P(AdcSimStopTest, EachStopSignalEndsItCleanly)
{
    SimProcess sim({});
    ASSERT_FALSE(sim.firstLine().empty());
    sim.signal(GetParam());
    EXPECT_EQ(sim.waitExit(), 0) << sim.errorText();
}

INSTANTIATE_TEST_SUITE_P(Signals, AdcSimStopTest, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

// Started by a program that blocks the stop signals, and stuck writing to a reader that takes
// nothing: a stop still ends it.
TEST(AdcSimProcessTest, StopsWhileItsReaderTakesNothing)
{
    sigset_t stops, saved;
    sigemptyset(&stops);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stops, sig);
    pthread_sigmask(SIG_BLOCK, &stops, &saved);
    SimProcess sim({"--fast"});
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    const int reader = openReader(sim.firstLine());
    ASSERT_GE(reader, 0);
    EXPECT_TRUE(sim.runningAfter(200));
    sim.signal(SIGTERM);
    EXPECT_EQ(sim.waitExit(), 0) << sim.errorText();
    ::close(reader);
}

TEST(AdcSimProcessTest, WaitingForAReaderCostsNoCpu)
{
    SimProcess sim({});
    ASSERT_FALSE(sim.firstLine().empty());
    const double before = sim.cpuSeconds();
    std::this_thread::sleep_for(500ms);
    EXPECT_LT(sim.cpuSeconds() - before, 0.2) << "spins while nobody reads";
}

TEST(AdcSimProcessTest, SendsToAGivenPortAtItsPaceUntilItHangsUp)
{
    test::PtyPair pty;
    pty.scrambleSettings();
    const TempFile log("adc-sim-port-log");
    SimProcess sim({"--port", QString::fromStdString(pty.path()), "--rate", "100", "--wave",
                    "const:0A3", "--log", log.arg()});
    EXPECT_EQ(sim.firstLine(), pty.path());
    EXPECT_EQ(pty.lineSettings(), "9600 8N1");
    pty.closeSlave();

    const Readings level = {0x0A3, 0x0A3, 0x0A3, 0x0A3, 0x0A3, 0x0A3, 0x0A3, 0x0A3};
    EXPECT_EQ(readUntil(pty.masterFd(), kFrameLength), formatFrame(level));
    const auto start = Clock::now();
    const std::string next = readUntil(pty.masterFd(), 10 * kFrameLength);
    EXPECT_GE(Clock::now() - start, 90ms) << "ten frames at 100 a second came too fast";
    EXPECT_EQ(next.substr(9 * kFrameLength), formatFrame(level));
    EXPECT_GE(log.lines(), 10) << "each frame is in the log as soon as it has gone";
    pty.closeMaster();
    EXPECT_EQ(sim.waitExit(), 0) << sim.errorText();
}

TEST(AdcSimProcessTest, ReplaysACaptureByteForByte)
{
    // Starts and ends inside a frame, with garbage between the frames, across several writes.
    std::string capture = "7 FFF\r";
    std::string payloads;
    for (std::uint16_t i = 0; i < 600; ++i) {
        const std::string frame = formatFrame({i, 1, 2, 3, 4, 5, 6, kFullScale});
        capture += (i % 7 == 0 ? std::string("\xff\0\r\n", 4) : "") + frame;
        payloads += frame.substr(1, kFramePayloadLength) + "\n";
    }
    capture += formatFrame({1}).substr(0, 6);
    const TempFile file("adc-sim-capture", capture);
    const TempFile log("adc-sim-capture-log");
    SimProcess sim({"--replay", QString::fromStdString(file.path), "--fast", "--log", log.arg()});
    const int reader = openReader(sim.firstLine());
    ASSERT_GE(reader, 0);
    const std::string got = readUntil(reader);
    ::close(reader);
    EXPECT_EQ(sim.waitExit(), 0) << sim.errorText();
    EXPECT_TRUE(got == capture) << "received " << got.size() << " of " << capture.size();
    std::ifstream in(log.path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), payloads)
        << "the log has the whole frames, and nothing else";
}

TEST(AdcSimProcessTest, ReplaysTheRowsOfARecordingAtItsPace)
{
    const std::string header = "time,elapsed_s,frame,AD0,AD1,AD2,AD3,AD4,AD5,AD6,AD7\r\n";
    const std::string rows = "t,5.000,1,0,4095,2048,1,2,3,4,5\r\n"
                             "t,5.000,2,1,1,1,1,1,1,1,1\n"
                             "t,5.300,3,10,20,30,40,50,60,70,80\r\n"
                             "t,5.400,4,9,9,9,9,9,9,9,9\r\n";
    // A malformed recording is refused before any device is opened.
    const TempFile bad("adc-sim-bad.csv", header + rows + "t,5.2,4,0,0,0,0,0,0,0,0\r\n");
    SimProcess refused({"--replay", QString::fromStdString(bad.path)});
    EXPECT_EQ(refused.waitExit(), 1);
    EXPECT_EQ(refused.firstLine(), "");
    EXPECT_EQ(refused.errorText(),
              "adc-sim: " + bad.path + ":6: elapsed_s '5.2' is earlier than the row before\n");

    const TempFile file("adc-sim-replay.csv", header + rows);
    // With --rate, a frame every 0.25 s instead of the recorded times; --count still counts.
    for (const bool rate : {false, true}) {
        QStringList args{"--replay", QString::fromStdString(file.path)};
        if (rate)
            args << "--rate"
                 << "4"
                 << "--count"
                 << "3";
        SimProcess sim(args);
        const auto start = Clock::now();
        const int reader = openReader(sim.firstLine());
        ASSERT_GE(reader, 0);
        const std::string first = readUntil(reader, 2 * kFrameLength);
        const auto second = Clock::now() - start;
        EXPECT_LT(second, 2s) << "the first rows are due at once, not at 5 s";
        EXPECT_TRUE(!rate || second >= 200ms) << "--rate overrides the recorded times";
        const std::string last = readUntil(reader);
        const auto end = Clock::now() - start;
        EXPECT_GE(end, rate ? 480ms : 380ms) << "the last row is due 0.4 s after the first";
        EXPECT_LT(end, rate ? 900ms : 650ms) << "each row's time counts from the first row";
        ::close(reader);
        EXPECT_EQ(sim.waitExit(), 0) << sim.errorText();
        EXPECT_EQ(first + last, formatFrame({0, 4095, 2048, 1, 2, 3, 4, 5}) +
                                    formatFrame({1, 1, 1, 1, 1, 1, 1, 1}) +
                                    formatFrame({10, 20, 30, 40, 50, 60, 70, 80}) +
                                    (rate ? "" : formatFrame({9, 9, 9, 9, 9, 9, 9, 9})));
    }
}

} // namespace
} // namespace adc::sim
