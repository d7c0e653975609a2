#pragma once

#include "tools/adc_sim/stop_signals.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace adc::sim {

/// Largest file --replay reads: it is held in memory whole, and checked before anything is sent.
inline constexpr std::size_t kMaxReplayBytes = std::size_t{1} << 30;

/// Bytes of the first chunk of `bytes`: up to and including the first CR, or all of them when
/// there is none. A chunk is what goes out in one frame period.
std::size_t chunkLength(std::string_view bytes);

/// The payload of the whole frame that `chunk` ends with: STX, kFramePayloadLength printable
/// ASCII characters, CR. Nothing when it ends otherwise (in garbage or a partial frame).
std::optional<std::string_view> framePayload(std::string_view chunk);

/// A file to send back into the line, read and checked as a whole.
///
/// A recording made by adc-monitor (a CSV file starting with its header line, after an optional
/// UTF-8 byte order mark) becomes one frame per row, each with the time it is due. Anything else
/// is a capture: its bytes go out exactly as they are.
class ReplaySource
{
public:
    /// Reads `path`. Nothing, with `error` saying why (naming the file, and for a malformed
    /// recording the line), when it cannot be used; nothing with `error` empty when a stop
    /// signal cut the reading short.
    static std::optional<ReplaySource> load(const std::string& path, const StopSignals& stop,
                                            std::string& error);

    /// Makes a source of `contents`, as load() does from a file; `name` names it in errors.
    static std::optional<ReplaySource> fromContents(std::string contents, std::string_view name,
                                                    std::string& error);

    /// What goes on the line: a capture's bytes, or a recording's rows as frames.
    const std::string& bytes() const { return m_bytes; }

    /// Chunks in bytes(): frames of a recording, pieces ending after a CR of a capture.
    std::uint64_t chunkCount() const { return m_chunks; }

    /// True for a recording, whose chunks have times of their own.
    bool isRecording() const { return m_recording; }

    /// For a recording: when row `index` is due, in nanoseconds after the first row.
    std::int64_t dueNs(std::uint64_t index) const { return m_dueNs[index]; }

private:
    ReplaySource() = default;

    bool parseRecording(std::string_view text, std::size_t rowFields, std::string_view name,
                        std::string& error);

    std::string m_bytes;
    std::uint64_t m_chunks = 0;
    bool m_recording = false;
    std::vector<std::int64_t> m_dueNs;
};

} // namespace adc::sim
