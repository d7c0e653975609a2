#pragma once

#include "output_line.h"
#include "sim_options.h"
#include "waveform.h"

#include <cstdint>
#include <cstdio>
#include <memory>

namespace adc::sim {

/// One run of the converter simulator, from opening the line to the last frame.
class Simulator
{
public:
    /// Exit statuses of run().
    static constexpr int kExitOk = 0;
    static constexpr int kExitFailure = 1;

    explicit Simulator(const SimOptions& options);

    /// Opens the log and the line, prints the device path as the first line of `out`, waits for
    /// a reader and sends until --count frames have gone and drained, a stop signal arrives or
    /// the reader goes. Problems are reported on `err`. Returns the exit status.
    int run(std::FILE* out, std::FILE* err);

    /// Frames written completely so far.
    std::uint64_t framesSent() const { return m_sent; }

private:
    LineStatus sendPaced(OutputLine& line, const StopSignals& stop);
    LineStatus sendFast(OutputLine& line, const StopSignals& stop);
    bool done() const { return m_options.count != 0 && m_sent >= m_options.count; }
    void logFrame(const Readings& readings);

    struct FileCloser
    {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    SimOptions m_options;
    Waveform m_wave;
    std::unique_ptr<std::FILE, FileCloser> m_log;
    std::uint64_t m_sent = 0;
};

} // namespace adc::sim
