#pragma once

#include "app/exit_status.h"
#include "profile/channel_profile.h"
#include "publishing/mqtt_settings.h"
#include "readings/channel_limits.h"
#include "readings/summary_format.h"
#include "recording/posix_output_file.h"

#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>

namespace adc {

/// Everything the command line asks for.
struct MonitorOptions
{
    enum class Action
    {
        Run,
        Help,
        Version,
        ListPorts,
        Error,
    };

    Action action = Action::Run;
    /// For Error: one line naming the mistake, without the program's name.
    QString error;
    /// For Error: whether the usage helps with it; a mistake inside a profile it does not.
    bool showUsage = true;
    /// What the program ends with when the action is not Run.
    ExitStatus status = ExitStatus::Ok;

    /// The profile's file; empty: none. Its settings are merged into those below.
    QString profilePath;
    /// The channels' names, units, calibrations and limits, the command line's --expect by
    /// name already in them; none without --profile.
    std::optional<Profile> profile;

    QString port;
    bool reconnect = false;
    /// CSV recording of every frame; empty: none. "-" is standard output.
    QString recordPath;
    /// Every byte received; empty: none.
    QString capturePath;
    /// Add to existing files instead of refusing them.
    bool append = false;
    /// How the recording and the capture go on in new files, and how many are kept.
    Rotation rotation;

    /// A strip chart of the channels beside the window at the start; plotSpanSeconds is also
    /// what the window's "Plot" opens.
    bool plot = false;
    /// The table of the channels beside the window at the start.
    bool channels = false;
    double plotSpanSeconds = 10.0;

    /// No window: receive at once, then print a summary.
    bool headless = false;
    std::optional<std::chrono::milliseconds> duration;
    std::optional<qint64> frames;
    /// More malformed frames than this fail the run; none given: any number.
    std::optional<qint64> maxMalformed;
    /// A port that hangs up has ended its input (a replay, a device that closes when done).
    bool endOnHangup = false;
    SummaryFormat summary = SummaryFormat::Text;
    /// Where the summary goes, replaced whole each time; empty: standard output.
    QString summaryPath;
    /// The summary so far is written this often, as SIGUSR1 asks for it; none: only then.
    std::optional<std::chrono::milliseconds> summaryEvery;
    ChannelLimits limits;

    /// Publishing to an MQTT broker; none without --mqtt.
    std::optional<MqttSettings> mqtt;

    /// What existing recording files get.
    OpenMode openMode() const { return append ? OpenMode::Append : OpenMode::Create; }
    /// True when a recording or capture goes to standard output, which the summary then leaves.
    bool writesToStandardOutput() const;
};

/// Reads the whole command line, the program's name first. Every value is checked; --help,
/// --version and --list-ports win over the rest.
MonitorOptions parseCommandLine(const QStringList& arguments);

/// The same, from the arguments as the program was given them; an argument that is not UTF-8
/// is a mistake, since no serial port could be opened by that name.
MonitorOptions parseCommandLine(int argc, const char* const* argv);

/// The text --help prints.
QString usageText();

} // namespace adc
