#include "frame_writer.h"
#include "number_format.h"
#include "pty_pair.h"
#include "reception.h"
#include "recording_window.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace adc::sim {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kExitTimeout = 10s;

/// The simulator program, running, with its standard output and error on pipes.
class SimProcess
{
public:
    explicit SimProcess(std::vector<std::string> args)
    {
        int out[2];
        int err[2];
        if (::pipe(out) != 0 || ::pipe(err) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        // The test's own descriptors (a pseudo-terminal's master) must not keep devices open.
        posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
        args.insert(args.begin(), ADC_SIM_PATH);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc = ::posix_spawn(&m_pid, ADC_SIM_PATH, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        m_out = out[0];
        m_err = err[0];
        if (rc != 0)
            throw std::runtime_error("cannot start " ADC_SIM_PATH);
    }
    ~SimProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        ::close(m_out);
        ::close(m_err);
    }

    /// The first line of standard output, without its end; empty when none comes in time.
    std::string firstLine()
    {
        std::string line;
        char c = 0;
        pollfd p{m_out, POLLIN, 0};
        while (::poll(&p, 1, 5000) > 0 && ::read(m_out, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }

    /// Everything on standard error; call after the process has ended.
    std::string errorText() const
    {
        std::string text;
        char buf[512];
        for (ssize_t n; (n = ::read(m_err, buf, sizeof buf)) > 0;)
            text.append(buf, static_cast<std::size_t>(n));
        return text;
    }

    void signal(int sig) const { ::kill(m_pid, sig); }

    /// The exit status once the process ends, with its CPU time; nothing if it does not end
    /// in time (it is killed then) or is killed by a signal.
    std::optional<int> waitExit(double* cpuSeconds = nullptr)
    {
        const auto deadline = Clock::now() + kExitTimeout;
        int status = 0;
        rusage usage{};
        while (::wait4(m_pid, &status, WNOHANG, &usage) == 0) {
            if (Clock::now() > deadline) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, nullptr, 0);
                m_pid = -1;
                return std::nullopt;
            }
            std::this_thread::sleep_for(5ms);
        }
        m_pid = -1;
        if (cpuSeconds)
            *cpuSeconds =
                static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        if (!WIFEXITED(status))
            return std::nullopt;
        return WEXITSTATUS(status);
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
};

/// Opens a device as a reader would: read-only, not as controlling terminal, raw.
int openReader(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY);
    if (fd >= 0) {
        termios tio{};
        ::tcgetattr(fd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    return fd;
}

/// Reads from `fd` until the other side hangs up, `enough` says so, or nothing comes for 5 s.
template <typename Enough> std::string readUntil(int fd, Enough enough)
{
    std::string bytes;
    char buf[4096];
    pollfd p{fd, POLLIN, 0};
    while (!enough(bytes) && ::poll(&p, 1, 5000) > 0) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    return bytes;
}

std::vector<Readings> readLog(const std::string& path)
{
    std::vector<Readings> rows;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        Readings r{};
        for (int k = 0; k < kChannels; ++k)
            std::from_chars(line.data() + 4 * k, line.data() + 4 * k + 3, r[k], 16);
        rows.push_back(r);
    }
    return rows;
}

std::string tempPath(const char* name)
{
    return ::testing::TempDir() + name + std::to_string(::getpid());
}

TEST(AdcSimProcessTest, EveryFrameLoggedArrivesAndDecodes)
{
    constexpr std::uint64_t kFrames = 5000; // several times what the pseudo-terminal buffers
    const std::string log = tempPath("adc-sim-log");
    SimProcess sim({"--count", std::to_string(kFrames), "--fast", "--wave", "noise", "--seed", "7",
                    "--log", log});
    const std::string path = sim.firstLine();
    ASSERT_FALSE(path.empty());
    const int reader = openReader(path);
    ASSERT_GE(reader, 0) << path;
    const std::string bytes = readUntil(reader, [](const std::string&) { return false; });
    ::close(reader);
    ASSERT_EQ(sim.waitExit(), 0) << sim.errorText();

    const std::vector<Readings> sent = readLog(log);
    std::remove(log.c_str());
    ASSERT_EQ(sent.size(), kFrames);
    std::string expected;
    for (const Readings& r : sent)
        appendFrame(expected, r);
    EXPECT_TRUE(bytes == expected) << "received " << bytes.size() << " of " << expected.size();

    MonitorState state;
    test::RecordingWindow window;
    resetStatistics(state, window);
    Reception reception(state, window);
    reception.feed(bytes);
    EXPECT_EQ(state.frameCount, static_cast<std::int64_t>(kFrames));
    for (int k = 0; k < kChannels; ++k) {
        std::uint16_t lowest = kFullScale;
        std::uint16_t highest = 0;
        for (const Readings& r : sent) {
            lowest = std::min(lowest, r[k]);
            highest = std::max(highest, r[k]);
        }
        EXPECT_EQ(window.text(valueBox(k)), logLine(sent.back()).substr(4 * k, 3));
        EXPECT_EQ(window.text(minBox(k)), hexText(lowest).view());
        EXPECT_EQ(window.text(maxBox(k)), hexText(highest).view());
    }
}

// Waiting for a reader and noticing that it has gone must work in both modes.
class AdcSimReaderTest : public ::testing::TestWithParam<const char*>
{
protected:
    std::vector<std::string> args() const
    {
        return std::string(GetParam()).empty() ? std::vector<std::string>{}
                                               : std::vector<std::string>{GetParam()};
    }
};

TEST_P(AdcSimReaderTest, WaitsIdleForAReaderAndStopsOnSigterm)
{
    SimProcess sim(args());
    const std::string path = sim.firstLine();
    ASSERT_FALSE(path.empty());
    std::this_thread::sleep_for(500ms);
    sim.signal(SIGTERM);
    double cpu = 1.0;
    EXPECT_EQ(sim.waitExit(&cpu), 0) << sim.errorText();
    // A spin would use most of the half second; start-up (slower under sanitizers) much less.
    EXPECT_LT(cpu, 0.2) << "spins while nobody reads";
    EXPECT_NE(::access(path.c_str(), F_OK), 0) << "the pseudo-terminal outlived the simulator";
}

TEST_P(AdcSimReaderTest, EndsWhenTheReaderCloses)
{
    SimProcess sim(args());
    const int reader = openReader(sim.firstLine());
    ASSERT_GE(reader, 0);
    const std::string bytes =
        readUntil(reader, [](const std::string& b) { return b.find('\r') != std::string::npos; });
    EXPECT_NE(bytes.find('\x02'), std::string::npos);
    ::close(reader);
    EXPECT_EQ(sim.waitExit(), 0) << sim.errorText();
}

INSTANTIATE_TEST_SUITE_P(Modes, AdcSimReaderTest, ::testing::Values("", "--fast"),
                         [](const auto& info) {
                             return std::string(*info.param ? "Fast" : "Paced");
                         });

TEST(AdcSimProcessTest, SendsToAGivenPortUntilItHangsUp)
{
    test::PtyPair pty;
    SimProcess sim({"--port", pty.path(), "--rate", "200", "--wave", "const:0A3"});
    EXPECT_EQ(sim.firstLine(), pty.path());
    pty.closeSlave();
    const std::string bytes = readUntil(
        pty.masterFd(), [](const std::string& b) { return b.size() >= 3 * kFrameLength; });
    const Readings level = {0x0A3, 0x0A3, 0x0A3, 0x0A3, 0x0A3, 0x0A3, 0x0A3, 0x0A3};
    EXPECT_EQ(bytes.substr(0, kFrameLength), formatFrame(level));
    pty.closeMaster();
    EXPECT_EQ(sim.waitExit(), 0) << sim.errorText();
}

TEST(AdcSimProcessTest, BadOptionExitsWithStatusTwoAndAHint)
{
    SimProcess sim({"--rate", "fast"});
    EXPECT_EQ(sim.waitExit(), 2);
    const std::string err = sim.errorText();
    EXPECT_EQ(err.rfind("adc-sim: invalid rate 'fast'", 0), 0u) << err;
    EXPECT_NE(err.find("--help"), std::string::npos);
}

} // namespace
} // namespace adc::sim
