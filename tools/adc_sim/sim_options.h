#pragma once

#include "tools/adc_sim/waveform.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace adc::sim {

/// Frames per second that 9600 baud carries, at 10 bits a byte (8N1).
inline constexpr double kLineRate = 9600.0 / (kFrameLength * 10);

/// Highest rate --rate accepts; beyond it the line, not the pacing, sets the pace anyway.
inline constexpr double kMaxRate = 1'000'000.0;

/// Lowest rate --rate accepts: a frame every 31 years, a period that nanoseconds still hold.
inline constexpr double kMinRate = 1e-9;

/// What one run of the simulator does.
struct SimOptions
{
    /// Device to send to; empty: create a pseudo-terminal and send to it.
    std::string port;
    /// Frames per second; unset: kLineRate.
    std::optional<double> rate;
    /// Send as fast as the reader takes the frames, unpaced.
    bool fast = false;
    /// Frames to send before ending; 0: no limit.
    std::uint64_t count = 0;
    WaveShape wave;
    /// Seed of the noise; unset: a fresh one each run.
    std::optional<std::uint64_t> seed;
    /// File to send back instead of the wave: a recording made by adc-monitor, or a capture of
    /// raw bytes; empty: none.
    std::string replayPath;
    /// File that gets one line per frame sent; empty: none.
    std::string logPath;
    /// Stamp each log line with the time its frame was written, for latency measurements.
    bool logTimes = false;
};

/// The time between two frames' deadlines in paced mode.
std::chrono::nanoseconds framePeriod(const SimOptions& options);

/// The outcome of reading the command line.
struct ParsedOptions
{
    enum class Action
    {
        Run,
        Help,
        Version,
        Error,
    };

    Action action = Action::Run;
    SimOptions options;
    /// For Error: one line saying what is wrong, without the program's name.
    std::string error;
};

/// Reads the arguments after the program name as adc-monitor reads its own: long options take
/// "--rate 5" or "--rate=5", short ones may be run together ("-hv"), "--" ends the options.
/// Values reach the options byte for byte. Every value is checked and the last of a repeated
/// option wins; --help, then --version, wins over anything else on the line.
ParsedOptions parseOptions(std::span<const std::string_view> args);

/// The text --help prints.
std::string usageText();

/// The text --version prints.
std::string versionText();

} // namespace adc::sim
