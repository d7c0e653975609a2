#pragma once

namespace adc {

/// How the program ended, as its exit status tells a script. When several apply, the lowest.
enum class ExitStatus : int
{
    Ok = 0,
    /// The port could not be opened or was lost (unattended), or an unexpected error.
    Failure = 1,
    /// A mistake on the command line, or an output file that would be overwritten.
    Usage = 2,
    /// A reading outside an --expect range or a profile's limits.
    Limits = 3,
    /// No frame was received.
    NoFrames = 4,
    /// A recording, a capture or the summary file could not be written.
    Write = 5,
    /// More malformed frames than --max-malformed allows.
    Malformed = 6,
    /// With --mqtt: the broker never took a message (unreachable, refused us).
    Publish = 7,
};

/// The status as the process returns it.
constexpr int exitCode(ExitStatus status)
{
    return static_cast<int>(status);
}

} // namespace adc
