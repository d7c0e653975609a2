#include "tools/adc_sim/simulator.h"

#include "monitor/frame_format.h"
#include "tools/adc_sim/readings.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <random>
#include <string>

namespace adc::sim {

namespace {

// Bytes per write() in fast mode: large enough that system calls cost little per frame.
constexpr std::size_t kFastBatchBytes = 256 * kFrameLength;

constexpr std::int64_t kNsPerSecond = 1'000'000'000;

std::int64_t monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * kNsPerSecond + now.tv_nsec;
}

std::uint64_t freshSeed()
{
    std::random_device device;
    return (static_cast<std::uint64_t>(device()) << 32) ^ device();
}

} // namespace

Simulator::Simulator(const SimOptions& options)
    : m_options(options), m_wave(options.wave, options.seed ? *options.seed : freshSeed())
{}

int Simulator::run(std::FILE* out, std::FILE* err)
{
    // Stop signals are held from the very start, so even a request during set-up ends cleanly.
    StopSignals stop;

    // All of it is read and checked first, so that nothing goes out from a file that is bad.
    if (!m_options.replayPath.empty()) {
        std::string error;
        m_replay = ReplaySource::load(m_options.replayPath, stop, error);
        if (!m_replay && !error.empty()) {
            std::fprintf(err, "adc-sim: %s\n", error.c_str());
            return kExitFailure;
        }
        if (!m_replay)
            return kExitOk;
    }

    if (!m_options.logPath.empty()) {
        m_log.reset(std::fopen(m_options.logPath.c_str(), "w"));
        if (!m_log) {
            std::fprintf(err, "adc-sim: cannot write the log %s: %s\n", m_options.logPath.c_str(),
                         std::strerror(errno));
            return kExitFailure;
        }
    }

    std::string error;
    const std::unique_ptr<OutputLine> line = m_options.port.empty()
                                                 ? OutputLine::createPty(error)
                                                 : OutputLine::openPort(m_options.port, error);
    if (!line) {
        std::fprintf(err, "adc-sim: %s\n", error.c_str());
        return kExitFailure;
    }
    if (!line->notice().empty())
        std::fprintf(err, "adc-sim: %s\n", line->notice().c_str());
    // Whoever started us reads this line to learn where to connect: it must not wait in a buffer.
    std::fprintf(out, "%s\n", line->path().c_str());
    std::fflush(out);

    LineStatus status = line->waitForReader(stop);
    if (status == LineStatus::Ok)
        status = m_options.fast ? sendFast(*line, stop) : sendPaced(*line, stop);
    if (status == LineStatus::Ok && (m_options.count != 0 || m_replay))
        status = line->drain(stop);

    int exitStatus = kExitOk;
    if (status == LineStatus::Failed) {
        std::fprintf(err, "adc-sim: %s\n", line->error().c_str());
        exitStatus = kExitFailure;
    } else if (status == LineStatus::Gone && !done()) {
        std::fprintf(err, "adc-sim: the reader of %s has gone; stopping after %llu frames\n",
                     line->path().c_str(), static_cast<unsigned long long>(m_sent));
    }
    if (m_log) {
        const bool written = std::fflush(m_log.get()) == 0 && !std::ferror(m_log.get());
        if (std::fclose(m_log.release()) != 0 || !written) {
            std::fprintf(err, "adc-sim: writing the log %s failed\n", m_options.logPath.c_str());
            exitStatus = kExitFailure;
        }
    }
    return exitStatus;
}

LineStatus Simulator::sendPaced(OutputLine& line, const StopSignals& stop)
{
    // Absolute deadlines, so time spent formatting and writing never adds up to drift.
    const std::int64_t period = framePeriod(m_options).count();
    const bool recordedTimes = m_replay && m_replay->isRecording() && !m_options.rate;
    const std::int64_t start = monotonicNs();
    std::int64_t deadline = start;
    std::string buffer;
    while (!done()) {
        if (recordedTimes)
            deadline = start + m_replay->dueNs(m_sent);
        if (const LineStatus status = line.waitUntil(deadline, stop); status != LineStatus::Ok)
            return status;
        const std::string_view chunk = nextChunks(buffer, 1, 0);
        const LineStatus status = line.write(chunk, stop).status;
        if (status != LineStatus::Ok)
            return status;
        logChunk(chunk);
        ++m_sent;
        if (m_log)
            std::fflush(m_log.get());

        if (recordedTimes)
            continue;
        deadline += period;
        // After a stall (a reader that stopped taking frames) carry on at the set pace instead
        // of sending the missed frames in one burst.
        if (const std::int64_t now = monotonicNs(); now - deadline > period)
            deadline = now;
    }
    return LineStatus::Ok;
}

LineStatus Simulator::sendFast(OutputLine& line, const StopSignals& stop)
{
    std::string buffer;
    buffer.reserve(kFastBatchBytes + kFrameLength);

    while (!done()) {
        const std::string_view batch = nextChunks(buffer, left(), kFastBatchBytes);

        // Only chunks that went out whole count and are logged. Every chunk ends with its only
        // CR, but for the last of a capture, which is whole only when all of the batch went.
        const OutputLine::WriteResult result = line.write(batch, stop);
        std::string_view written(batch.data(), result.written);
        while (!written.empty()) {
            const std::size_t n = chunkLength(written);
            if (written[n - 1] != kCr && result.written < batch.size())
                break;
            logChunk(written.substr(0, n));
            ++m_sent;
            written.remove_prefix(n);
        }
        if (m_log)
            std::fflush(m_log.get());
        if (result.status != LineStatus::Ok)
            return result.status;
    }
    return LineStatus::Ok;
}

std::uint64_t Simulator::left() const
{
    std::uint64_t n =
        m_options.count != 0 ? m_options.count - std::min(m_sent, m_options.count) : UINT64_MAX;
    if (m_replay)
        n = std::min(n, m_replay->chunkCount() - m_sent);
    return n;
}

std::string_view Simulator::nextChunks(std::string& buffer, std::uint64_t most, std::size_t bytes)
{
    if (!m_replay) {
        buffer.clear();
        for (std::uint64_t n = 0; n < most && (n == 0 || buffer.size() < bytes); ++n)
            appendFrame(buffer, m_wave.next());
        return buffer;
    }
    // Straight from the file: a capture's chunk may be as large as the file.
    const std::string_view rest = std::string_view(m_replay->bytes()).substr(m_replayNext);
    std::size_t length = 0;
    for (std::uint64_t n = 0; n < most && (n == 0 || length < bytes) && length < rest.size(); ++n)
        length += chunkLength(rest.substr(length));
    m_replayNext += length;
    return rest.substr(0, length);
}

void Simulator::logChunk(std::string_view chunk)
{
    if (!m_log)
        return;
    const auto payload = framePayload(chunk);
    if (!payload)
        return;
    std::fwrite(payload->data(), 1, payload->size(), m_log.get());
    if (m_options.logTimes)
        std::fprintf(m_log.get(), " %lld\n", static_cast<long long>(monotonicNs()));
    else
        std::fputc('\n', m_log.get());
}

} // namespace adc::sim
