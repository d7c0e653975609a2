#pragma once

#include "tools/adc_sim/output_line.h"
#include "tools/adc_sim/replay_source.h"
#include "tools/adc_sim/sim_options.h"
#include "tools/adc_sim/waveform.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace adc::sim {

/// One run of the converter simulator, from opening the line to the last frame.
class Simulator
{
public:
    /// Exit statuses of run().
    static constexpr int kExitOk = 0;
    static constexpr int kExitFailure = 1;

    explicit Simulator(const SimOptions& options);

    /// Reads the --replay file, opens the log and the line, prints the device path as the first
    /// line of `out`, waits for a reader and sends until --count frames or the whole replay have
    /// gone and drained, a stop signal arrives or the reader goes. Problems are reported on
    /// `err`. Returns the exit status.
    int run(std::FILE* out, std::FILE* err);

    /// Frames (for a capture: chunks) written completely so far.
    std::uint64_t framesSent() const { return m_sent; }

private:
    LineStatus sendPaced(OutputLine& line, const StopSignals& stop);
    LineStatus sendFast(OutputLine& line, const StopSignals& stop);
    /// Frames or chunks still to send: UINT64_MAX when there is no end.
    std::uint64_t left() const;
    bool done() const { return left() == 0; }
    /// The next chunks to send: at least one, at most `most`, and no more once they reach
    /// `bytes`. The wave's frames are formatted into `buffer`; a replay's come from its file.
    std::string_view nextChunks(std::string& buffer, std::uint64_t most, std::size_t bytes);
    /// Logs the frame that `chunk`, just written, ends with, if it does.
    void logChunk(std::string_view chunk);

    struct FileCloser
    {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    SimOptions m_options;
    Waveform m_wave;
    std::optional<ReplaySource> m_replay;
    /// Where the next chunk of the replay starts in its bytes.
    std::size_t m_replayNext = 0;
    std::unique_ptr<std::FILE, FileCloser> m_log;
    std::uint64_t m_sent = 0;
};

} // namespace adc::sim
