#include "simulator.h"

#include "frame_writer.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

namespace adc::sim {

namespace {

// Frames per write() in fast mode: large enough that system calls cost little per frame.
constexpr std::size_t kFastBatchFrames = 256;

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
    if (status == LineStatus::Ok && m_options.count != 0)
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
    std::int64_t deadline = monotonicNs();
    while (!done()) {
        if (const LineStatus status = line.waitUntil(deadline, stop); status != LineStatus::Ok)
            return status;
        const Readings readings = m_wave.next();
        const LineStatus status = line.write(formatFrame(readings), stop).status;
        if (status != LineStatus::Ok)
            return status;
        logFrame(readings);
        ++m_sent;
        if (m_log)
            std::fflush(m_log.get());

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
    std::string batch;
    batch.reserve(kFastBatchFrames * kFrameLength);
    std::vector<Readings> frames;
    frames.reserve(kFastBatchFrames);

    while (!done()) {
        std::size_t n = kFastBatchFrames;
        if (m_options.count != 0)
            n = static_cast<std::size_t>(std::min<std::uint64_t>(n, m_options.count - m_sent));
        batch.clear();
        frames.clear();
        for (std::size_t i = 0; i < n; ++i) {
            frames.push_back(m_wave.next());
            appendFrame(batch, frames.back());
        }

        const OutputLine::WriteResult result = line.write(batch, stop);
        const std::size_t whole = result.written / kFrameLength;
        for (std::size_t i = 0; i < whole; ++i)
            logFrame(frames[i]);
        m_sent += whole;
        if (m_log)
            std::fflush(m_log.get());
        if (result.status != LineStatus::Ok)
            return result.status;
    }
    return LineStatus::Ok;
}

void Simulator::logFrame(const Readings& readings)
{
    if (!m_log)
        return;
    const std::string text = logLine(readings);
    if (m_options.logTimes)
        std::fprintf(m_log.get(), "%s %lld\n", text.c_str(), static_cast<long long>(monotonicNs()));
    else
        std::fprintf(m_log.get(), "%s\n", text.c_str());
}

} // namespace adc::sim
