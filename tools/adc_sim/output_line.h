#pragma once

#include "tools/adc_sim/stop_signals.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace adc::sim {

/// How an operation on the line ended.
enum class LineStatus
{
    Ok,
    /// A stop signal arrived.
    Stopped,
    /// The reader has gone: it closed the pseudo-terminal, or the device hung up or vanished.
    Gone,
    /// Any other failure; error() says what.
    Failed,
};

/// The device the frames go to: a pseudo-terminal the simulator creates, or a port it opens.
///
/// For a pseudo-terminal the simulator keeps its own descriptor of the slave side until a
/// reader opens it: a master with no slave open reports a hang-up for ever, which would make
/// every wait return at once. The reader's arrival is seen through an inotify watch on the
/// slave, so waiting costs nothing; once it is there our descriptor is dropped, and the reader's
/// closing shows as a hang-up on the master.
///
/// Every wait unblocks the stop signals (StopSignals), so a stop cuts it short.
class OutputLine
{
public:
    /// Creates a raw pseudo-terminal pair; nullptr with `error` set when that fails.
    static std::unique_ptr<OutputLine> createPty(std::string& error);

    /// Opens `device` and sets it to 9600 baud, 8N1, raw, no flow control; nullptr with `error`
    /// set when that fails.
    static std::unique_ptr<OutputLine> openPort(const std::string& device, std::string& error);

    ~OutputLine();
    OutputLine(const OutputLine&) = delete;
    OutputLine& operator=(const OutputLine&) = delete;

    /// The device a reader opens: the slave's path, or the port as given.
    const std::string& path() const { return m_path; }

    /// Something the user should know about the line that is no error; empty when none.
    const std::string& notice() const { return m_notice; }

    /// What went wrong when an operation returned Failed.
    const std::string& error() const { return m_error; }

    /// For a pseudo-terminal: blocks until a program opens the slave and has set its line up,
    /// that is until the line has seen no open, no change of its settings and no flush of its
    /// input for a quarter of a second. A port is ready at once.
    LineStatus waitForReader(const StopSignals& stop);

    /// How a write ended, and how many bytes went out before that.
    struct WriteResult
    {
        LineStatus status = LineStatus::Ok;
        std::size_t written = 0;
    };

    /// Writes all of `bytes`, blocking while the line is full. When the line has room, a
    /// write of up to a frame is one write() call.
    WriteResult write(std::string_view bytes, const StopSignals& stop);

    /// Blocks until everything written has left: for a port, until it is transmitted; for a
    /// pseudo-terminal, until the reader has taken it (closing the master would discard it).
    LineStatus drain(const StopSignals& stop);

    /// Waits until `deadlineNs` on CLOCK_MONOTONIC, but returns at once with Gone when the
    /// reader goes, so that a slow pace never hides a departed reader.
    LineStatus waitUntil(std::int64_t deadlineNs, const StopSignals& stop);

private:
    OutputLine() = default;

    LineStatus waitForSetUp(const StopSignals& stop);
    LineStatus waitWritable(const StopSignals& stop);
    LineStatus fail(const std::string& what, int error);
    /// Bytes written but not yet read by the reader of a pseudo-terminal; -1 when unknown.
    int pendingForReader() const;

    int m_fd = -1;
    int m_slave = -1;
    int m_watch = -1;
    bool m_isPty = false;
    std::string m_path;
    std::string m_notice;
    std::string m_error;
};

} // namespace adc::sim
