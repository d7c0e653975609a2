#include "tools/adc_sim/sim_options.h"

#include "common/text.h"
#include "tools/adc_sim/parse_number.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <cmath>

namespace adc::sim {

namespace {

// Latin-1 carries every byte through unchanged, so device and file names reach the simulator
// exactly as given, whatever their encoding.
std::string toBytes(const QString& text)
{
    return text.toLatin1().toStdString();
}

/// The simulator's options, added to a parser.
struct Options
{
    explicit Options(QCommandLineParser& parser)
    {
        parser.setApplicationDescription(QStringLiteral(
            "Simulates the eight-channel 12-bit A/D converter: sends frames of STX, eight 3-digit\n"
            "hexadecimal readings separated by blanks, and CR.\n\n"
            "Without --port it creates a pseudo-terminal and prints the device to open on the\n"
            "first line of standard output. It starts sending once a program has opened that\n"
            "device and set it up: when the line has seen no open, no change of its settings and\n"
            "no flush for a quarter of a second, so that the reader's set-up throws no frame\n"
            "away. It ends when that program closes the device. With --port the first line\n"
            "names that device, and sending starts at once."));
        parser.addOptions(
            {port, rate, fast, count, wave, seed, replay, log, logTimes, help, version});
    }

    const QCommandLineOption port{
        "port",
        "Send to DEVICE (a serial port or other terminal, set to 9600 "
        "baud, 8 data bits, no parity, 1 stop bit, raw, no flow control).",
        "DEVICE"};
    const QCommandLineOption rate{
        "rate", "Frames per second (default: what 9600 baud carries, about 29.1).", "FPS"};
    const QCommandLineOption fast{"fast", "Send as fast as the reader takes the frames."};
    const QCommandLineOption count{
        "count",
        "Send N frames (of a --replay capture: N pieces), wait until they have left, then end.",
        "N"};
    const QCommandLineOption wave{
        "wave",
        "The signal: sine (default), ramp, noise, or const:HEX for the reading HEX (000..FFF) on "
        "every channel; sine and ramp are shifted by an eighth of a period from one channel to "
        "the next.",
        "KIND"};
    const QCommandLineOption seed{
        "seed", "Seed for --wave noise, to repeat a run (default: a fresh one).", "N"};
    const QCommandLineOption replay{
        "replay",
        "Send FILE instead of a signal, then wait until it has left and end. A recording made by "
        "adc-monitor (CSV starting with its header line) goes as one frame per row, each at its "
        "elapsed_s after the first row, or at --rate if given; the whole file is checked before "
        "anything is sent. Any other file is a capture: its bytes go exactly as they are, cut "
        "into pieces that each end after a CR and sent one piece per frame period. An empty "
        "file sends nothing. At most 1 GiB; cannot be combined with --wave or --seed.",
        "FILE"};
    const QCommandLineOption log{"log",
                                 "Write the eight readings of each frame sent to FILE, one line "
                                 "per frame, in the frame's own form (three hexadecimal digits "
                                 "each, separated by blanks). Of a --replay capture, each whole "
                                 "frame (STX, 31 printable characters, CR) is written as it is, "
                                 "and the bytes around them are not.",
                                 "FILE"};
    const QCommandLineOption logTimes{
        "log-times", "End each log line with the CLOCK_MONOTONIC time, in nanoseconds, at which "
                     "the frame's last byte was handed to the line."};
    // Worded as adc-monitor's; --help-all is left out, having no Qt options to add here.
    const QCommandLineOption help{{"h", "help"}, "Displays help on commandline options."};
    const QCommandLineOption version{{"v", "version"}, "Displays version information."};
};

// Checks every value given for `option` with `store`, which returns what is wrong, if anything;
// the last value given is the one that stays.
template <typename Store>
std::string each(const QCommandLineParser& parser, const QCommandLineOption& option, Store store)
{
    for (const QString& value : parser.values(option))
        if (std::string error = store(toBytes(value)); !error.empty())
            return error;
    return {};
}

std::string nonEmpty(std::string& field, const char* name, const std::string& value)
{
    if (value.empty())
        return "option " + quoted(name) + " needs a non-empty value";
    field = value;
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
    QCommandLineParser parser;
    const Options o(parser);
    QStringList arguments{QStringLiteral("adc-sim")};
    for (const std::string_view arg : args)
        arguments << QString::fromLatin1(arg.data(), static_cast<qsizetype>(arg.size()));
    const bool parsed = parser.parse(arguments);

    ParsedOptions result;
    // Asking for help or the version wins over any mistake, wherever it stands.
    if (parser.isSet(o.help) || parser.isSet(o.version)) {
        result.action =
            parser.isSet(o.help) ? ParsedOptions::Action::Help : ParsedOptions::Action::Version;
        return result;
    }

    SimOptions& opt = result.options;
    std::string error;
    if (!parsed)
        error = toBytes(parser.errorText());
    else if (!parser.positionalArguments().isEmpty())
        error = "unexpected argument " + quoted(toBytes(parser.positionalArguments().first()));
    if (error.empty())
        error = each(parser, o.port,
                     [&](const std::string& v) { return nonEmpty(opt.port, "--port", v); });
    if (error.empty())
        error = each(parser, o.replay,
                     [&](const std::string& v) { return nonEmpty(opt.replayPath, "--replay", v); });
    if (error.empty())
        error = each(parser, o.log,
                     [&](const std::string& v) { return nonEmpty(opt.logPath, "--log", v); });
    if (error.empty())
        error = each(parser, o.rate, [&](const std::string& v) {
            opt.rate = parseNumber<double>(v);
            if (opt.rate && std::isfinite(*opt.rate) && *opt.rate >= kMinRate &&
                *opt.rate <= kMaxRate)
                return std::string();
            return "invalid rate " + quoted(v) +
                   " (frames per second, from 0.000000001 to 1000000)";
        });
    if (error.empty())
        error = each(parser, o.count, [&](const std::string& v) {
            opt.count = parseNumber<std::uint64_t>(v).value_or(0);
            return opt.count != 0
                       ? std::string()
                       : "invalid count " + quoted(v) + " (a whole number of frames, at least 1)";
        });
    if (error.empty())
        error = each(parser, o.seed, [&](const std::string& v) {
            opt.seed = parseNumber<std::uint64_t>(v);
            return opt.seed ? std::string()
                            : "invalid seed " + quoted(v) + " (a whole number, 0 or more)";
        });
    if (error.empty())
        error = each(parser, o.wave, [&](const std::string& v) {
            const auto shape = parseWaveShape(v);
            opt.wave = shape.value_or(WaveShape{});
            return shape ? std::string()
                         : "invalid wave " + quoted(v) +
                               " (sine, ramp, noise or const:HEX up to FFF)";
        });
    opt.fast = parser.isSet(o.fast);
    opt.logTimes = parser.isSet(o.logTimes);
    if (error.empty() && opt.fast && opt.rate)
        error = "--fast and --rate cannot be combined";
    // A replay's readings come from its file, so no wave and no seed can apply.
    if (error.empty() && !opt.replayPath.empty() && (parser.isSet(o.wave) || parser.isSet(o.seed)))
        error = std::string("--replay and ") + (parser.isSet(o.wave) ? "--wave" : "--seed") +
                " cannot be combined";

    if (!error.empty()) {
        result.action = ParsedOptions::Action::Error;
        result.error = std::move(error);
    }
    return result;
}

std::string usageText()
{
    QCommandLineParser parser;
    const Options options(parser);
    // Without an application object Qt cannot name the program in the usage line.
    return toBytes(parser.helpText().replace(QStringLiteral("<executable_name>"),
                                             QStringLiteral("adc-sim"))) +
           "\n"
           "Exit status: 0 after --count frames or the whole --replay file, on SIGINT, SIGTERM or\n"
           "SIGHUP, or when the reader has gone; 1 when the device, the log file or the replay\n"
           "file cannot be used, or the recording is malformed (its line is named); 2 for a bad\n"
           "option.\n";
}

std::string versionText()
{
    return "adc-sim (adc-monitor) " ADC_SIM_VERSION "\n";
}

} // namespace adc::sim
