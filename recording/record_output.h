#pragma once

#include "monitor/readings_observer.h"
#include "recording/output_file.h"
#include "recording/rotation.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace adc {

/// Collects what a recording writes and hands it to its file in large pieces, so that a fast
/// line costs few system calls; the owner flushes it at least once a second.
///
/// The first write that fails ends it: nothing more is written, and what is in the file stays.
/// For a file of lines, a failed write that took only part of a line is cut back to the last
/// whole one, so that no reader of the file meets half a row.
///
/// With a rotation it goes on in a new file when the size or the time of one is reached: a
/// file of lines before the line that would not belong, every file starting with the header;
/// a file of bytes after the next CR, the end of a frame. The next file is open before the last
/// is closed, and no byte is lost, doubled or reordered at a switch.
class RecordOutput final : public ByteSink
{
public:
    /// Bytes collected before they are written without waiting for a flush.
    static constexpr std::size_t kChunkSize = 64 * 1024;

    /// `lines`: what is written is made of lines ended by LF, kept whole.
    RecordOutput(std::unique_ptr<OutputFile> file, bool lines);
    ~RecordOutput() override;
    RecordOutput(const RecordOutput&) = delete;
    RecordOutput& operator=(const RecordOutput&) = delete;

    /// Goes on in the files of `rotation`, which opened the current one, as they fall due.
    void setRotation(std::unique_ptr<RotatingFiles> rotation);
    /// The rotation; null without one.
    const RotatingFiles* rotation() const { return m_rotation.get(); }

    /// Every file starts with `header`: the current one when it started empty, and each one
    /// a rotation opens.
    void setHeader(std::string header);

    /// Adds `bytes`, for a file of lines whole lines; writes when a chunk is full.
    void append(std::string_view bytes);
    void bytesReceived(std::string_view bytes) override { append(bytes); }

    /// Writes everything collected. Returns false once writing has failed.
    bool flush();

    /// True when collected bytes wait for a flush.
    bool hasPending() const { return !m_buffer.empty(); }
    /// True once a write has failed.
    bool failed() const { return m_error != 0; }
    /// The system's error number of the failed write; 0 before.
    int errorNumber() const { return m_error; }
    /// True when the file held nothing before (a header belongs at its start).
    bool startedEmpty() const { return m_file->startedEmpty(); }
    /// True when opening made the file.
    bool created() const { return m_file->created(); }
    /// Bytes taken by append() so far, written or not.
    std::uint64_t appended() const { return m_appended; }

    /// Called when bytes start to wait after none did: the owner's cue to schedule a flush.
    void setOnPending(std::function<void()> onPending) { m_onPending = std::move(onPending); }
    /// Called once, when a write fails or the next file of a rotation cannot be opened.
    void setOnFailed(std::function<void()> onFailed) { m_onFailed = std::move(onFailed); }
    /// Called when a rotation has gone on in a new file.
    void setOnSwitched(std::function<void()> onSwitched) { m_onSwitched = std::move(onSwitched); }

private:
    void put(std::string_view bytes);
    void appendLine(std::string_view line);
    void appendBytes(std::string_view bytes);
    void switchFile();
    void writeOut();
    void fail(int error);

    std::unique_ptr<OutputFile> m_file;
    bool m_lines = false;
    std::string m_buffer;
    std::uint64_t m_written = 0;
    std::uint64_t m_appended = 0;
    int m_error = 0;
    std::function<void()> m_onPending;
    std::function<void()> m_onFailed;
    std::function<void()> m_onSwitched;
    std::unique_ptr<RotatingFiles> m_rotation;
    std::string m_header;
    std::uint64_t m_fileBytes = 0; // taken for the current file, its header too
    bool m_switchDue = false;      // a file of bytes goes on in the next one after a CR
};

} // namespace adc
