#include "monitor/frame_format.h"
#include "tests/support/pty_pair.h"
#include "tests/support/sim_process.h"
#include "tools/adc_sim/readings.h"
#include "tools/adc_sim/waveform.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace adc::sim {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using test::SimProcess;

/// CPU time the process `pid` has used so far, in seconds.
double cpuSeconds(qint64 pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    double ticks = 0;
    for (int i = 1; i <= 15 && stat >> field; ++i)
        ticks += i >= 14 ? std::stod(field) : 0; // utime and stime
    return ticks / double(::sysconf(_SC_CLK_TCK));
}

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
    explicit TempFile(const char* name, const std::string& contents = "")
        : path(::testing::TempDir() + name + std::to_string(::getpid()))
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

/// When each frame went out, in nanoseconds, from a log written with --log-times: what a reader
/// held up by a busy machine cannot change.
std::vector<long long> sentTimes(const TempFile& log)
{
    std::vector<long long> sent;
    std::ifstream in(log.path);
    for (std::string line; std::getline(in, line);)
        sent.push_back(std::stoll(line.substr(line.rfind(' ') + 1)));
    return sent;
}

// Every frame arrives as logged, with the time it went out, also when the line fills many times
// over: frames of a wave, and a capture byte for byte, of which the log has the whole frames only.
TEST(AdcSimProcessTest, EveryFrameArrivesAsLogged)
{
    // Starts and ends inside a frame, with garbage between the frames.
    std::string capture = "7 FFF\r";
    std::string whole;
    for (std::uint16_t i = 0; i < 600; ++i) {
        whole += formatFrame({i, 1, 2, 3, 4, 5, 6, kFullScale});
        capture +=
            (i % 7 == 0 ? std::string("\xff\0\r\n", 4) : "") + whole.substr(i * kFrameLength);
    }
    capture += formatFrame({1}).substr(0, 6);
    const TempFile file("adc-sim-capture", capture);
    for (const bool replay : {false, true}) {
        const TempFile log("adc-sim-log");
        SimProcess sim((replay ? QStringList{"--replay", file.arg()}
                               : QStringList{"--count", "5000", "--wave", "noise"}) +
                       QStringList{"--fast", "--log", log.arg(), "--log-times"});
        // The reader stays until the simulator ends by itself, as it must once all is taken.
        const int reader = openReader(sim.port().toStdString());
        ASSERT_GE(reader, 0);
        const std::string bytes = readUntil(reader);
        EXPECT_EQ(sim.waitExit(), 0) << sim.errorText();
        ::close(reader);
        std::string logged;
        long long lastTime = 0;
        std::ifstream in(log.path);
        for (std::string line; std::getline(in, line);) {
            const std::size_t space = line.rfind(' ');
            const long long time = std::stoll(line.substr(space + 1));
            ASSERT_GE(time, lastTime) << line;
            lastTime = time;
            logged += test::frame(line.substr(0, space));
        }
        ASSERT_EQ(logged.size(), (replay ? 600 : 5000) * kFrameLength) << "a line for each frame";
        EXPECT_TRUE(bytes == (replay ? capture : logged)) << "received " << bytes.size();
        EXPECT_TRUE(!replay || logged == whole) << "the log has the whole frames, and nothing else";
    }
}

// A reader that comes late, sets its line up a while after opening it, and throws away what
// came before it was done, still gets every frame from the first: the simulator waits for it
// and its set-up. It also stays until the reader has taken the last frame, however long that
// takes.
TEST(AdcSimProcessTest, WaitsUntilTheReaderHasSetUpItsLineAndTakenTheLastFrame)
{
    SimProcess sim({"--count", "5", "--rate", "200"});
    // A line that stays quiet with nobody on it is no reader set up.
    std::this_thread::sleep_for(600ms);
    const int reader = ::open(sim.port().toStdString().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(reader, 0);
    std::this_thread::sleep_for(150ms);
    termios tio{};
    ::tcgetattr(reader, &tio);
    ::cfsetspeed(&tio, B19200);
    ::tcsetattr(reader, TCSANOW, &tio);
    std::this_thread::sleep_for(150ms);
    ::tcflush(reader, TCIFLUSH);
    EXPECT_TRUE(sim.runningAfter(1500)) << "ended with its frames unread";
    const std::string bytes = readUntil(reader);
    ::close(reader);
    EXPECT_EQ(sim.waitExit(), 0) << sim.errorText();
    EXPECT_EQ(bytes.size(), 5 * kFrameLength);
    EXPECT_EQ(bytes.front(), kStx);
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

// A reader that leaves after one frame is noticed however the frames go out: paced, fast, at the
// slowest pace (without waiting for the next frame) and with the last frames still unread.
TEST(AdcSimProcessTest, EndsWhenTheReaderLeavesAndLogsOnlyWhatWentOut)
{
    const QStringList noise{"--wave", "noise", "--seed", "7"};
    const std::pair<QStringList, long> rows[] = {
        {{}, 0}, {{"--fast"}, 0}, {{"--rate", "0.01"}, 0}, {{"--fast", "--count", "3"}, 3}};
    for (const auto& [args, count] : rows) {
        const TempFile log("adc-sim-leave-log");
        SimProcess sim(noise + args + QStringList{"--log", log.arg()});
        const int reader = openReader(sim.port().toStdString());
        ASSERT_GE(reader, 0);
        // A seed repeats a run exactly.
        EXPECT_EQ(readUntil(reader, kFrameLength),
                  formatFrame(Waveform({WaveKind::Noise}, 7).next()));
        ::close(reader);
        const std::string name = args.join(' ').toStdString();
        ASSERT_EQ(sim.waitExit(), 0) << name << ": still waiting for a reader that has gone";
        // The log has a line for each frame that went out and no more.
        const std::string err = sim.errorText();
        const std::string stopped = "stopping after " + std::to_string(log.lines()) + " frames";
        EXPECT_TRUE(count ? log.lines() == count : err.find(stopped) != std::string::npos)
            << name << ": " << err << log.lines() << " lines logged";
    }
}

// Each stop ends it cleanly: while it waits for a reader, and while it is stuck writing to one
// that takes nothing after being started by a program that blocks the stop signals.
class AdcSimStopTest : public ::testing::TestWithParam<int>
{};

TEST_P(AdcSimStopTest, EachStopSignalEndsItCleanly)
{
    SimProcess waiting({});
    sigset_t stops, saved;
    sigemptyset(&stops);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stops, sig);
    pthread_sigmask(SIG_BLOCK, &stops, &saved);
    SimProcess stuck({"--fast"});
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    ASSERT_FALSE(waiting.port().isEmpty());
    const int reader = openReader(stuck.port().toStdString());
    ASSERT_GE(reader, 0);
    EXPECT_TRUE(stuck.runningAfter(200));
    for (SimProcess* sim : {&waiting, &stuck}) {
        sim->signal(GetParam());
        EXPECT_EQ(sim->waitExit(), 0) << sim->errorText();
    }
    ::close(reader);
}

INSTANTIATE_TEST_SUITE_P(Signals, AdcSimStopTest, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

TEST(AdcSimProcessTest, WaitingForAReaderCostsNoCpu)
{
    SimProcess sim({});
    ASSERT_FALSE(sim.port().isEmpty());
    const double before = cpuSeconds(sim.pid());
    std::this_thread::sleep_for(500ms);
    EXPECT_LT(cpuSeconds(sim.pid()) - before, 0.2) << "spins while nobody reads";
}

TEST(AdcSimProcessTest, SendsToAGivenPortAtItsPaceUntilItHangsUp)
{
    test::PtyPair pty;
    pty.scrambleSettings();
    const TempFile log("adc-sim-port-log");
    SimProcess sim({"--port", QString::fromStdString(pty.path()), "--rate", "100", "--wave",
                    "const:0A3", "--log", log.arg(), "--log-times"});
    EXPECT_EQ(sim.port().toStdString(), pty.path());
    EXPECT_EQ(pty.lineSettings(), "9600 8N1");
    pty.closeSlave();

    const Readings level = {0x0A3, 0x0A3, 0x0A3, 0x0A3, 0x0A3, 0x0A3, 0x0A3, 0x0A3};
    EXPECT_EQ(readUntil(pty.masterFd(), kFrameLength), formatFrame(level));
    const std::string next = readUntil(pty.masterFd(), 10 * kFrameLength);
    EXPECT_EQ(next.substr(9 * kFrameLength), formatFrame(level));
    EXPECT_GE(log.lines(), 10) << "each frame is in the log as soon as it has gone";
    // After a stall of its own the simulator sends at most one frame early.
    const std::vector<long long> sent = sentTimes(log);
    ASSERT_GE(sent.size(), 10u);
    EXPECT_GE(sent[9] - sent[0], 70'000'000) << "ten frames at 100 a second went too fast";
    pty.closeMaster();
    EXPECT_EQ(sim.waitExit(), 0) << sim.errorText();
}

TEST(AdcSimProcessTest, ReplaysTheRowsOfARecordingAtItsPace)
{
    const std::string header = "time,elapsed_s,frame,AD0,AD1,AD2,AD3,AD4,AD5,AD6,AD7\r\n";
    const std::string rows = "t,5.000,1,0,4095,2048,1,2,3,4,5\r\n"
                             "t,5.000,2,1,1,1,1,1,1,1,1\n"
                             "t,5.300,3,10,20,30,40,50,60,70,80\r\n"
                             "t,5.400,4,9,9,9,9,9,9,9,9\r\n";
    const TempFile file("adc-sim-replay.csv", header + rows);
    // With --rate, a frame every 0.25 s instead of the recorded times; --count still counts.
    for (const bool rate : {false, true}) {
        const TempFile log("adc-sim-replay-log");
        SimProcess sim(QStringList{"--replay", file.arg(), "--log", log.arg(), "--log-times"} +
                       (rate ? QStringList{"--rate", "4", "--count", "3"} : QStringList{}));
        const auto opened = Clock::now();
        const int reader = openReader(sim.port().toStdString());
        ASSERT_GE(reader, 0);
        // Times count from the first row: sending starts once the reader's line has settled.
        std::string bytes = readUntil(reader, 1);
        EXPECT_LT(Clock::now() - opened, 3s) << "the first rows are due at once, not at 5 s";
        bytes += readUntil(reader);
        ::close(reader);
        EXPECT_EQ(sim.waitExit(), 0) << sim.errorText();
        EXPECT_EQ(bytes, formatFrame({0, 4095, 2048, 1, 2, 3, 4, 5}) +
                             formatFrame({1, 1, 1, 1, 1, 1, 1, 1}) +
                             formatFrame({10, 20, 30, 40, 50, 60, 70, 80}) +
                             (rate ? "" : formatFrame({9, 9, 9, 9, 9, 9, 9, 9})));
        const std::vector<long long> sent = sentTimes(log);
        ASSERT_EQ(sent.size(), rate ? 3u : 4u);
        const auto after = [&](std::size_t row) { return (sent[row] - sent[0]) / 1'000'000; };
        if (rate) {
            EXPECT_GE(after(1), 240) << "--rate overrides the recorded times";
            EXPECT_GE(after(2), 490);
        } else {
            EXPECT_GE(after(2), 290);
            EXPECT_GE(after(3), 390) << "the last row is due 0.4 s after the first";
            EXPECT_LT(after(3), 3000) << "each row's time counts from the first row";
        }
    }
}

} // namespace
} // namespace adc::sim
