#include "app/command_line.h"

#include "acquisition/port_messages.h"
#include "acquisition/serial_link.h"
#include "common/quantity.h"
#include "common/text.h"
#include "profile/profile_reader.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <tuple>
#include <variant>

namespace adc {

namespace {

// Long enough for a soak test of years, short enough for milliseconds to hold it.
constexpr double kMaxDurationSeconds = 1e9;
// A chart of more than a day would be too coarse to read at any width.
constexpr double kMaxPlotSpanSeconds = 86400;
constexpr double kMinPlotSpanSeconds = 0.1;
// A summary more often than this would be read by nobody.
constexpr std::int64_t kShortestSummaryEveryMs = 1000;
constexpr std::int64_t kShortestMqttEveryMs = 10;
constexpr std::int64_t kLongestMqttEveryMs = 60'000;
// At the fastest line, an hour of frames is a few hundred MB; more would be a mistake.
constexpr std::int64_t kLongestMqttBufferMs = 3'600'000;
// A QTimer holds a few weeks; a day is more than any summary interval needs.
constexpr std::int64_t kLongestTimerMs = 86'400'000;
constexpr qint64 kLongestPassword = 65'535;

QString tr(const char* text)
{
    return QCoreApplication::translate("main", text);
}

struct Options
{
    explicit Options(QCommandLineParser& parser)
    {
        parser.setApplicationDescription(
            tr("Shows the readings of an eight-channel 12-bit A/D converter that sends them over "
               "a serial line."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOptions({profile,     port,         listPorts,  reconnect,
                           record,      capture,      append,     rotate,
                           keep,        plot,         plotSpan,   channels,
                           headless,    duration,     frames,     summary,
                           summaryFile, summaryEvery, expect,     maxMalformed,
                           endOnHangup, mqtt,         mqttCa,     mqttPasswordFile,
                           mqttQos,     mqttEvery,    mqttBuffer, mqttSummaryEvery});
    }

    const QCommandLineOption profile{
        "profile",
        tr("Names, units, calibrations and limits of the channels, and the port, --reconnect "
           "and files of the rig, from the TOML file FILE. What the command line gives wins; "
           "--expect also takes a channel's name and a range in its unit. See the README."),
        "FILE"};
    const QCommandLineOption port{
        "port", tr("Serial port to receive on (default: %1).").arg(SerialLink::defaultPortName()),
        "PORT", SerialLink::defaultPortName()};
    const QCommandLineOption listPorts{"list-ports", tr("List the serial ports found, then exit.")};
    const QCommandLineOption reconnect{
        "reconnect", tr("When the device goes away, keep the readings and open the port again "
                        "as soon as it is back.")};
    const QCommandLineOption record{
        "record",
        tr("Record every frame to FILE as CSV (time, elapsed_s, frame, AD0..AD7 in decimal); "
           "- for standard output. An existing file is refused without --append."),
        "FILE"};
    const QCommandLineOption capture{
        "capture",
        tr("Write every byte received to FILE exactly as received, for adc-sim --replay."), "FILE"};
    const QCommandLineOption append{
        "append", tr("Add to an existing --record or --capture file instead of refusing it.")};
    const QCommandLineOption rotate{
        "rotate",
        tr("Split --record and --capture into files of at most SIZE (100M; k, M, G) or of the "
           "INTERVAL on the local clock (30s, 1h on the hour, 1d at midnight; s, m, h, d), named "
           "from the time of their first row: run.csv gives run-20261208T140000.csv."),
        "SIZE|INTERVAL"};
    const QCommandLineOption keep{
        "keep", tr("With --rotate: keep the newest N files of each, deleting older ones."), "N"};
    const QCommandLineOption plot{
        "plot", tr("Open a strip chart of the eight channels beside the window.")};
    const QCommandLineOption channels{
        "channels", tr("Open the table of the channels beside the window: each one's value, "
                       "range, mean and spread since RESET, and its excursions, in its unit "
                       "with --profile, in readings without.")};
    const QCommandLineOption plotSpan{
        "plot-span",
        tr("The seconds of readings the chart shows, from --plot or the window's menu "
           "(default 10)."),
        "SECONDS"};
    const QCommandLineOption headless{
        "headless", tr("No window: receive on the port at once, stop after --duration, --frames "
                       "or SIGINT/SIGTERM, then print a summary.")};
    const QCommandLineOption duration{"duration", tr("With --headless: stop after SECONDS."),
                                      "SECONDS"};
    const QCommandLineOption frames{"frames", tr("With --headless: stop after N frames."), "N"};
    const QCommandLineOption summary{
        "summary", tr("With --headless: the summary as text (default), csv or json."), "FORMAT"};
    const QCommandLineOption summaryFile{
        "summary-file",
        tr("With --headless: write the summary to FILE, replaced whole each time, instead of "
           "standard output."),
        "FILE"};
    const QCommandLineOption summaryEvery{
        "summary-every",
        tr("With --headless: write the summary so far every INTERVAL (30s, 5m, 1h), as SIGUSR1 "
           "does at any time; nothing is reset."),
        "INTERVAL"};
    const QCommandLineOption expect{
        "expect",
        tr("With --headless, repeatable: every reading of CHANNELS (AD3, AD0-AD3, a comma list, "
           "or all) must lie in LO..HI (decimal, or hex with 0x). With --profile, CHANNELS may "
           "also be a channel's name, and LO..HI is then in its unit: Battery=11.5..12.6."),
        "CHANNELS=LO..HI"};
    const QCommandLineOption maxMalformed{
        "max-malformed",
        tr("With --headless: more than N malformed frames (a field that is not three hex "
           "digits, or cut short by the next frame) fail the run. Default: any number."),
        "N"};
    const QCommandLineOption endOnHangup{
        "end-on-hangup", tr("With --headless: a port that hangs up (adc-sim --replay at its end, "
                            "a device that closes when done) ends the run as --duration would, "
                            "instead of failing it.")};
    const QCommandLineOption mqtt{
        "mqtt",
        tr("Publish every frame to an MQTT broker: mqtt://[USER@]HOST[:PORT]/PREFIX, or mqtts:// "
           "for TLS. Topics: PREFIX/readings (JSON), PREFIX/status (online/offline, retained), "
           "PREFIX/summary (JSON, retained). A broker that is away is tried again; the readings "
           "wait for it, within --mqtt-buffer."),
        "URL"};
    const QCommandLineOption mqttCa{
        "mqtt-ca",
        tr("With an mqtts:// URL: trust the certificate authorities in FILE (PEM) instead of the "
           "system's."),
        "FILE"};
    const QCommandLineOption mqttPasswordFile{
        "mqtt-password-file",
        tr("The broker's password for the URL's user, from the first line of FILE; "
           "ADC_MQTT_PASSWORD gives it otherwise. Never on the command line, where others can "
           "read it."),
        "FILE"};
    const QCommandLineOption mqttQos{
        "mqtt-qos", tr("0 (default): readings at most once; 1: acknowledged by the broker."), "N"};
    const QCommandLineOption mqttEvery{
        "mqtt-every",
        tr("Publish the readings of every INTERVAL (100ms, 1s) as one message, a JSON array. "
           "Default: a message per frame up to 1000 frames/s, arrays of 100 ms above."),
        "INTERVAL"};
    const QCommandLineOption mqttBuffer{
        "mqtt-buffer",
        tr("While the broker is away, hold the readings of the last INTERVAL (default 60s); older "
           "ones are dropped and counted."),
        "INTERVAL"};
    const QCommandLineOption mqttSummaryEvery{
        "mqtt-summary-every",
        tr("Publish the summary so far every INTERVAL (default 10s), and at the end."), "INTERVAL"};
};

// The file a path names, however written: "x", "./x" and a link to x are one file.
QString resolvedPath(const QString& path)
{
    const QFileInfo info(path);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    const QString full =
        (folder.isEmpty() ? info.absolutePath() : folder) + QLatin1Char('/') + info.fileName();
    const QString target = QFileInfo(full).canonicalFilePath();
    return target.isEmpty() ? QDir::cleanPath(full) : target;
}

bool sameFile(const QString& a, const QString& b)
{
    const QString standardOutput = QString::fromLatin1(PosixOutputFile::kStandardOutput);
    if (a == standardOutput || b == standardOutput)
        return a == b;
    return resolvedPath(a) == resolvedPath(b);
}

// UTF-8 there and back keeps every character of a Qt text.
QString quoted(const QString& text)
{
    return QString::fromStdString(adc::quoted(text.toStdString()));
}

// The profile's settings where the command line gives none.
void takeProfileSettings(const QCommandLineParser& parser, const Options& o, MonitorOptions& result)
{
    const Profile& profile = *result.profile;
    if (!parser.isSet(o.port) && profile.port)
        result.port = QString::fromStdString(*profile.port);
    // --end-on-hangup on the command line outweighs a profile's reconnect.
    if (!parser.isSet(o.endOnHangup) && profile.reconnect)
        result.reconnect = result.reconnect || *profile.reconnect;
    if (!parser.isSet(o.record) && profile.record)
        result.recordPath = QString::fromStdString(*profile.record);
    if (!parser.isSet(o.capture) && profile.capture)
        result.capturePath = QString::fromStdString(*profile.capture);
    if (!parser.isSet(o.rotate) && profile.rotate)
        result.rotation = *profile.rotate;
    if (!parser.isSet(o.keep) && profile.keep)
        result.rotation.keep = *profile.keep;
}

// The mistake in --rotate and --keep, if any.
QString checkRotation(const QCommandLineParser& parser, const Options& o, MonitorOptions& result)
{
    if (parser.isSet(o.rotate)) {
        std::string problem;
        const std::optional<Rotation> rotation =
            parseRotation(parser.value(o.rotate).toStdString(), problem);
        if (!rotation)
            return QString::fromStdString(problem);
        const int keep = result.rotation.keep;
        result.rotation = *rotation;
        result.rotation.keep = keep;
    }
    if (parser.isSet(o.keep)) {
        const QString text = parser.value(o.keep);
        bool ok = false;
        const int keep = text.toInt(&ok);
        if (!ok || keep < 1)
            return tr("invalid number of files to keep %1 (a whole number from 1)")
                .arg(quoted(text));
        result.rotation.keep = keep;
    }
    if (result.rotation.keep > 0 && !result.rotation.rotates())
        return tr("--keep needs --rotate");
    if (!result.rotation.rotates())
        return {};
    if (result.recordPath.isEmpty() && result.capturePath.isEmpty())
        return tr("--rotate needs --record or --capture");
    if (result.writesToStandardOutput())
        return tr("--rotate needs files to name; standard output cannot be split");
    if (result.append)
        return tr("--append cannot go with --rotate: every file of a rotation is new");
    for (const QString& path : {result.recordPath, result.capturePath})
        if (!path.isEmpty() && QFileInfo(path).fileName().isEmpty())
            return tr("--rotate needs a file name to name the files from, not the folder %1")
                .arg(quoted(path));
    return {};
}

// Adds the --expect ranges to the limits, or to the profile for a channel named by its name.
// Any range the command line gives a channel replaces the profile's.
QString takeExpectations(const QCommandLineParser& parser, const Options& o, MonitorOptions& result)
{
    std::array<bool, kChannelCount> named{};
    for (const QString& text : parser.values(o.expect)) {
        const std::string expectation = text.toStdString();
        if (result.profile) {
            const auto problem = addNamedExpectation(expectation, *result.profile, named);
            if (problem && !problem->empty())
                return QString::fromStdString(*problem);
            if (problem)
                continue;
        }
        const std::string problem = addExpectation(expectation, result.limits);
        if (!problem.empty())
            return QString::fromStdString(problem);
    }
    if (!result.profile)
        return {};
    for (int k = 0; k < kChannelCount; ++k) {
        if (!result.limits[static_cast<std::size_t>(k)].checked)
            continue;
        if (named[static_cast<std::size_t>(k)])
            return tr("channel AD%1 (%2) is given two ranges, in readings and by its name; give "
                      "it one")
                .arg(k)
                .arg(QString::fromStdString(result.profile->channel(k).name));
        result.profile->channel(k).limits.reset();
    }
    return {};
}

// An interval option's value in milliseconds, from `least` to `most`; none when it is not.
std::optional<std::int64_t> intervalMs(const QCommandLineParser& parser,
                                       const QCommandLineOption& option, std::int64_t least,
                                       std::int64_t most)
{
    const std::optional<std::int64_t> ms = parseIntervalMs(parser.value(option).toStdString());
    if (!ms || *ms < least || *ms > most)
        return std::nullopt;
    return ms;
}

// The password from the first line of `path`, or the mistake in reading it.
QString readPassword(const QString& path, std::string& password)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return tr("cannot read the MQTT password file %1: %2")
            .arg(quoted(path), file.errorString());
    const QByteArray line = file.readLine(kLongestPassword + 2);
    password = line.chopped(line.endsWith('\n') ? 1 : 0).toStdString();
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    if (password.empty())
        return tr("the MQTT password file %1 holds no password on its first line")
            .arg(quoted(path));
    return {};
}

// The mistake in --mqtt and its options, if any.
QString checkMqtt(const QCommandLineParser& parser, const Options& o, MonitorOptions& result)
{
    if (!parser.isSet(o.mqtt)) {
        for (const QCommandLineOption* option : {&o.mqttCa, &o.mqttPasswordFile, &o.mqttQos,
                                                 &o.mqttEvery, &o.mqttBuffer, &o.mqttSummaryEvery})
            if (parser.isSet(*option))
                return tr("--%1 needs --mqtt").arg(option->names().constFirst());
        return {};
    }
    MqttSettings mqtt;
    auto url = parseBrokerUrl(parser.value(o.mqtt).toStdString());
    if (const std::string* problem = std::get_if<std::string>(&url))
        return QString::fromStdString(*problem);
    mqtt.access.url = std::get<BrokerUrl>(std::move(url));
    mqtt.publish.prefix = mqtt.access.url.prefix;

    if (parser.isSet(o.mqttCa)) {
        if (!mqtt.access.url.tls)
            return tr("--mqtt-ca needs an mqtts:// URL");
        const QString path = parser.value(o.mqttCa);
        QFile file(path);
        if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
            return tr("cannot read the certificate authorities %1: %2")
                .arg(quoted(path), file.errorString());
        mqtt.access.caFile = QFile::encodeName(path).toStdString();
    }
    if (parser.isSet(o.mqttPasswordFile)) {
        if (mqtt.access.url.user.empty())
            return tr("--mqtt-password-file needs a user name in the URL: mqtt://USER@HOST/PREFIX");
        if (const QString problem =
                readPassword(parser.value(o.mqttPasswordFile), mqtt.access.password);
            !problem.isEmpty())
            return problem;
    } else if (const char* password = std::getenv("ADC_MQTT_PASSWORD");
               password && !mqtt.access.url.user.empty()) {
        mqtt.access.password = password;
    }

    if (parser.isSet(o.mqttQos)) {
        const QString text = parser.value(o.mqttQos);
        if (text != QLatin1String("0") && text != QLatin1String("1"))
            return tr("invalid MQTT QoS %1 (0 or 1)").arg(quoted(text));
        mqtt.publish.qos = text.toInt();
    }
    if (parser.isSet(o.mqttEvery)) {
        mqtt.publish.everyMs =
            intervalMs(parser, o.mqttEvery, kShortestMqttEveryMs, kLongestMqttEveryMs);
        if (!mqtt.publish.everyMs)
            return tr("invalid MQTT interval %1 (a time from 10ms to 1m)")
                .arg(quoted(parser.value(o.mqttEvery)));
    }
    if (parser.isSet(o.mqttBuffer)) {
        const auto ms = intervalMs(parser, o.mqttBuffer, 1000, kLongestMqttBufferMs);
        if (!ms)
            return tr("invalid MQTT buffer %1 (a time from 1s to 1h)")
                .arg(quoted(parser.value(o.mqttBuffer)));
        mqtt.publish.bufferMs = *ms;
    }
    if (parser.isSet(o.mqttSummaryEvery)) {
        const auto ms =
            intervalMs(parser, o.mqttSummaryEvery, kShortestSummaryEveryMs, kLongestTimerMs);
        if (!ms)
            return tr("invalid MQTT summary interval %1 (a time from 1s to 1d)")
                .arg(quoted(parser.value(o.mqttSummaryEvery)));
        mqtt.summaryEveryMs = *ms;
    }
    result.mqtt = std::move(mqtt);
    return {};
}

// The mistake in the values, if any.
QString checkValues(const QCommandLineParser& parser, const Options& o, MonitorOptions& result)
{
    result.port = parser.value(o.port);
    result.reconnect = parser.isSet(o.reconnect);
    result.recordPath = parser.value(o.record);
    result.capturePath = parser.value(o.capture);
    result.append = parser.isSet(o.append);
    result.headless = parser.isSet(o.headless);
    if (parser.isSet(o.profile)) {
        result.profilePath = parser.value(o.profile);
        if (result.profilePath.isEmpty())
            return tr("option '--profile' needs a file name");
        ProfileRead read = readProfile(QFile::encodeName(result.profilePath).toStdString());
        if (!read.profile) {
            result.showUsage = false;
            return QString::fromStdString(read.error);
        }
        result.profile = std::move(read.profile);
        takeProfileSettings(parser, o, result);
    }

    if (result.port.isEmpty())
        return tr("option '--port' needs a port name");
    // A name no port can have is the command line's mistake, found before any window opens.
    if (const QString problem = unusablePortName(result.port); !problem.isEmpty())
        return problem;
    if (parser.isSet(o.record) && result.recordPath.isEmpty())
        return tr("option '--record' needs a file name");
    if (parser.isSet(o.capture) && result.capturePath.isEmpty())
        return tr("option '--capture' needs a file name");
    if (!result.recordPath.isEmpty() && !result.capturePath.isEmpty() &&
        sameFile(result.recordPath, result.capturePath))
        return tr("--record %1 and --capture %2 name the same file; give each its own")
            .arg(quoted(result.recordPath), quoted(result.capturePath));
    if (result.append && result.recordPath.isEmpty() && result.capturePath.isEmpty())
        return tr("--append needs --record or --capture");
    if (const QString problem = checkRotation(parser, o, result); !problem.isEmpty())
        return problem;

    result.plot = parser.isSet(o.plot);
    result.channels = parser.isSet(o.channels);
    // The table reads its values from a profile; with none given, every channel is in readings.
    if (result.channels && !result.profile)
        result.profile = Profile();
    for (const QCommandLineOption* windowOnly : {&o.plot, &o.plotSpan, &o.channels})
        if (parser.isSet(*windowOnly) && result.headless)
            return tr("--%1 needs the window; it cannot go with --headless")
                .arg(windowOnly->names().constFirst());
    if (parser.isSet(o.plotSpan)) {
        const QString text = parser.value(o.plotSpan);
        bool ok = false;
        const double seconds = text.toDouble(&ok);
        if (!ok || !(seconds >= kMinPlotSpanSeconds && seconds <= kMaxPlotSpanSeconds))
            return tr("invalid plot span %1 (seconds, 0.1 to 86400)").arg(quoted(text));
        result.plotSpanSeconds = seconds;
    }

    for (const QCommandLineOption* headlessOnly :
         {&o.duration, &o.frames, &o.summary, &o.summaryFile, &o.summaryEvery, &o.expect,
          &o.maxMalformed, &o.endOnHangup})
        if (parser.isSet(*headlessOnly) && !result.headless)
            return tr("--%1 needs --headless").arg(headlessOnly->names().constFirst());

    if (parser.isSet(o.duration)) {
        const QString text = parser.value(o.duration);
        bool ok = false;
        const double seconds = text.toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > kMaxDurationSeconds)
            return tr("invalid duration %1 (seconds, more than 0 and at most 1e9)")
                .arg(quoted(text));
        result.duration = std::chrono::milliseconds(std::llround(std::ceil(seconds * 1000)));
    }
    for (const auto& [option, least, what, value] :
         {std::tuple(&o.frames, 1, "frame count", &result.frames),
          std::tuple(&o.maxMalformed, 0, "malformed frame count", &result.maxMalformed)}) {
        if (!parser.isSet(*option))
            continue;
        const QString text = parser.value(*option);
        bool ok = false;
        *value = text.toLongLong(&ok);
        if (!ok || **value < least)
            return tr("invalid %1 %2 (a whole number from %3 to %4)")
                .arg(QLatin1String(what), quoted(text))
                .arg(least)
                .arg(std::numeric_limits<qint64>::max());
    }
    result.endOnHangup = parser.isSet(o.endOnHangup);
    if (result.endOnHangup && result.reconnect)
        return tr("--end-on-hangup and --reconnect ask for opposite things; give one");
    if (parser.isSet(o.summary)) {
        const QString text = parser.value(o.summary);
        if (text == QLatin1String("text"))
            result.summary = SummaryFormat::Text;
        else if (text == QLatin1String("csv"))
            result.summary = SummaryFormat::Csv;
        else if (text == QLatin1String("json"))
            result.summary = SummaryFormat::Json;
        else
            return tr("invalid summary format %1 (text, csv or json)").arg(quoted(text));
    }
    if (parser.isSet(o.summaryFile)) {
        result.summaryPath = parser.value(o.summaryFile);
        if (result.summaryPath.isEmpty())
            return tr("option '--summary-file' needs a file name");
        for (const QString& output : {result.recordPath, result.capturePath})
            if (!output.isEmpty() && sameFile(output, result.summaryPath))
                return tr("--summary-file %1 is also a recording's file; give it its own")
                    .arg(quoted(result.summaryPath));
    }
    if (parser.isSet(o.summaryEvery)) {
        const QString text = parser.value(o.summaryEvery);
        const std::optional<std::int64_t> ms = parseIntervalMs(text.toStdString());
        if (!ms || *ms < kShortestSummaryEveryMs)
            return tr("invalid summary interval %1 (a time such as 30s, 5m or 1h; at least 1s)")
                .arg(quoted(text));
        result.summaryEvery = std::chrono::milliseconds(*ms);
    }
    if (const QString problem = takeExpectations(parser, o, result); !problem.isEmpty())
        return problem;
    return checkMqtt(parser, o, result);
}

} // namespace

bool MonitorOptions::writesToStandardOutput() const
{
    const QString standardOutput = QString::fromLatin1(PosixOutputFile::kStandardOutput);
    return recordPath == standardOutput || capturePath == standardOutput;
}

MonitorOptions parseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    const Options o(parser);
    MonitorOptions result;
    const bool parsed = parser.parse(arguments);
    if (parsed &&
        (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))))
        result.action = MonitorOptions::Action::Help;
    else if (parsed && parser.isSet(QStringLiteral("version")))
        result.action = MonitorOptions::Action::Version;
    if (result.action != MonitorOptions::Action::Run)
        return result;

    if (!parsed)
        result.error = parser.errorText();
    else if (!parser.positionalArguments().isEmpty())
        result.error =
            tr("unexpected argument %1").arg(quoted(parser.positionalArguments().constFirst()));
    else
        result.error = checkValues(parser, o, result);
    if (!result.error.isEmpty()) {
        result.action = MonitorOptions::Action::Error;
        result.status = ExitStatus::Usage;
    } else if (parser.isSet(o.listPorts))
        result.action = MonitorOptions::Action::ListPorts;
    return result;
}

MonitorOptions parseCommandLine(int argc, const char* const* argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        // Qt names devices in Unicode: a name whose bytes are not UTF-8 would reach the serial
        // port mangled and fail with a wrong reason, so say plainly that it cannot be used.
        QStringDecoder utf8(QStringDecoder::Utf8);
        arguments << utf8(QByteArrayView(argv[i]));
        if (utf8.hasError()) {
            MonitorOptions result;
            result.action = MonitorOptions::Action::Error;
            result.status = ExitStatus::Usage;
            result.error = tr("argument %1 is not valid UTF-8, so no serial port can be opened "
                              "by that name; give its /dev/serial/by-id name, or a symbolic link "
                              "to it, instead")
                               .arg(i);
            return result;
        }
    }
    return parseCommandLine(arguments);
}

QString usageText()
{
    QCommandLineParser parser;
    const Options o(parser);
    // Without an application object Qt cannot name the program in the usage line.
    return parser.helpText().replace(QStringLiteral("<executable_name>"),
                                     QStringLiteral("adc-monitor")) +
           tr("\nExit status: 0 all well; 1 an unexpected error or, with --headless, the port "
              "could not be opened or was lost; 2 a mistake on the command line or in the "
              "profile, or an output file that exists; with --headless, 3 a reading outside an "
              "--expect range or a profile's limits, or a "
              "checked channel without a well-formed reading, 4 no frame received, 5 a recording, "
              "a capture or the summary file could not be written, 6 more malformed frames than "
              "--max-malformed, 7 with --mqtt, the broker never took a message. "
              "When several apply, the lowest.\n");
}

} // namespace adc
