#include "sim_options.h"

#include <charconv>
#include <cmath>

namespace adc::sim {

namespace {

template <typename T> std::optional<T> parseNumber(std::string_view text)
{
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::string quoted(std::string_view text)
{
    return "'" + std::string(text) + "'";
}

bool takesValue(std::string_view name)
{
    return name == "--port" || name == "--rate" || name == "--count" || name == "--wave" ||
           name == "--seed" || name == "--log";
}

// Applies one option with its value; returns the error text, empty when all is well.
std::string apply(SimOptions& options, std::string_view name, std::string_view value)
{
    if (name == "--port" || name == "--log") {
        if (value.empty())
            return "option " + quoted(name) + " needs a non-empty value";
        (name == "--port" ? options.port : options.logPath) = std::string(value);
        return {};
    }
    if (name == "--rate") {
        const auto rate = parseNumber<double>(value);
        if (!rate || !std::isfinite(*rate) || *rate <= 0.0 || *rate > kMaxRate)
            return "invalid rate " + quoted(value) +
                   " (frames per second, a number above 0 and at most 1000000)";
        options.rate = *rate;
        return {};
    }
    if (name == "--count") {
        const auto count = parseNumber<std::uint64_t>(value);
        if (!count || *count == 0)
            return "invalid count " + quoted(value) + " (a whole number of frames, at least 1)";
        options.count = *count;
        return {};
    }
    if (name == "--seed") {
        const auto seed = parseNumber<std::uint64_t>(value);
        if (!seed)
            return "invalid seed " + quoted(value) + " (a whole number, 0 or more)";
        options.seed = *seed;
        return {};
    }
    // --wave
    const auto wave = parseWaveShape(value);
    if (!wave)
        return "invalid wave " + quoted(value) + " (sine, ramp, noise or const:HEX up to FFF)";
    options.wave = *wave;
    return {};
}

} // namespace

std::chrono::nanoseconds framePeriod(const SimOptions& options)
{
    const double rate = options.rate.value_or(kLineRate);
    return std::chrono::nanoseconds(std::llround(1e9 / rate));
}

ParsedOptions parseOptions(std::span<const std::string_view> args)
{
    ParsedOptions result;
    const auto fail = [&result](std::string message) {
        result.action = ParsedOptions::Action::Error;
        result.error = std::move(message);
        return result;
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            result.action = ParsedOptions::Action::Help;
            return result;
        }
        if (arg == "--version") {
            result.action = ParsedOptions::Action::Version;
            return result;
        }
        if (!arg.starts_with("--") || arg == "--")
            return fail("unexpected argument " + quoted(arg));

        std::string_view name = arg;
        std::optional<std::string_view> value;
        if (const auto eq = arg.find('='); eq != std::string_view::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }

        if (name == "--fast" || name == "--log-times") {
            if (value)
                return fail("option " + quoted(name) + " takes no value");
            (name == "--fast" ? result.options.fast : result.options.logTimes) = true;
            continue;
        }
        if (!takesValue(name))
            return fail("unknown option " + quoted(name));
        if (!value) {
            if (i + 1 >= args.size())
                return fail("option " + quoted(name) + " needs a value");
            value = args[++i];
        }
        if (std::string error = apply(result.options, name, *value); !error.empty())
            return fail(std::move(error));
    }

    if (result.options.fast && result.options.rate)
        return fail("--fast and --rate cannot be combined");
    return result;
}

std::string usageText()
{
    return R"(Usage: adc-sim [OPTION]...
Simulates the eight-channel 12-bit A/D converter: sends frames of STX, eight 3-digit
hexadecimal readings separated by blanks, and CR.

Without --port it creates a pseudo-terminal and prints the device to open on the first line
of standard output; it starts sending when a program opens that device and ends when that
program closes it. With --port the first line names that device.

Options:
  --port DEVICE   send to DEVICE (a serial port or other terminal, set to 9600 baud,
                  8 data bits, no parity, 1 stop bit, raw, no flow control)
  --rate FPS      frames per second (default: what 9600 baud carries, about 29.1)
  --fast          send as fast as the reader takes the frames
  --count N       send N frames, wait until they have left, then end
  --wave KIND     sine (default), ramp, noise, or const:HEX for the reading HEX
                  (000..FFF) on every channel; sine and ramp are shifted by an
                  eighth of a period from one channel to the next
  --seed N        seed for --wave noise, to repeat a run (default: a fresh one)
  --log FILE      write the eight readings of each frame sent to FILE, one line per
                  frame, as in the frame: "HHH HHH HHH HHH HHH HHH HHH HHH"
  --log-times     end each log line with the CLOCK_MONOTONIC time, in nanoseconds, at
                  which the frame's last byte was handed to the line
  -h, --help      show this help and exit
  --version       show the version and exit

Exit status: 0 after --count frames, on SIGINT, SIGTERM or SIGHUP, or when the reader has
gone; 1 when the device or the log file cannot be used; 2 for a bad option.
)";
}

std::string versionText()
{
    return "adc-sim (adc-monitor) " ADC_SIM_VERSION "\n";
}

} // namespace adc::sim
