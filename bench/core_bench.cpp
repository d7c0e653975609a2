// Throughput and memory of the core: bytes -> Reception -> decodeFrame -> window operations.
#include "acquisition/reception.h"
#include "bench/bench_row.h"
#include "bench/counting_window.h"
#include "bench/frame_stream.h"
#include "bench/measure.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace adc;
using namespace adc::bench;

constexpr double kFramesPerSecondTarget = 5'000'000;
constexpr double kGrowthTargetMiB = 5;
constexpr std::size_t kChunk = 4096;           // bytes per feed(), as a serial read delivers them
constexpr std::size_t kStreamFrames = 1 << 20; // about 33 MiB of frames, larger than any cache
constexpr std::size_t kResetEveryChunks = 512; // an operator's RESET now and then
constexpr int kRuns = 5;
constexpr std::size_t kCrlessBytes = 200'000'000;

// Feeds the whole stream in chunks and returns the frames per second of one pass.
double framesPerSecond(std::string_view stream, DisplayMode mode, CountingWindow& window,
                       std::uint64_t& decodedFrames)
{
    MonitorState state;
    selectDisplayMode(state, window, mode);
    Reception reception(state, window);
    const std::uint64_t lampBefore = window.lampWrites();

    const std::int64_t start = monotonicNs();
    std::size_t chunks = 0;
    for (std::size_t at = 0; at < stream.size(); at += kChunk) {
        reception.feed(stream.substr(at, kChunk));
        if (++chunks % kResetEveryChunks == 0)
            resetStatistics(state, window);
    }
    const std::int64_t stop = monotonicNs();

    // Two lamp writes per frame: proves every frame went all the way through.
    decodedFrames = (window.lampWrites() - lampBefore) / 2;
    const double seconds = static_cast<double>(stop - start) / 1e9;
    return static_cast<double>(stream.size() / kFrameLength) / seconds;
}

bool throughputRow(std::string_view name, std::string_view stream, DisplayMode mode)
{
    std::vector<double> rates;
    CountingWindow window;
    for (int run = 0; run < kRuns; ++run) {
        std::uint64_t decoded = 0;
        rates.push_back(framesPerSecond(stream, mode, window, decoded));
        if (decoded != stream.size() / kFrameLength) {
            std::fprintf(stderr, "bench_core: %s decoded %llu frames of %zu\n",
                         std::string(name).c_str(), static_cast<unsigned long long>(decoded),
                         stream.size() / kFrameLength);
            return printRow(name, 0, 0, "frames/s", ">= 5000000", false);
        }
    }
    std::sort(rates.begin(), rates.end());
    const double median = rates[rates.size() / 2];
    std::fprintf(stderr, "bench_core: %s runs %.0f..%.0f frames/s, last AD0 %.*s\n",
                 std::string(name).c_str(), rates.front(), rates.back(),
                 static_cast<int>(window.text(valueBox(0)).size()),
                 window.text(valueBox(0)).data());
    return printRow(name, median, 0, "frames/s", ">= 5000000", median >= kFramesPerSecondTarget);
}

// A frame whose CR never comes: the stream goes on for 200 MB and memory must stay flat.
bool crlessRow()
{
    std::string chunk(kChunk, ' ');
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 255);
    for (char& c : chunk) {
        do
            c = static_cast<char>(byte(random));
        while (c == kCr);
    }

    MonitorState state;
    CountingWindow window;
    resetStatistics(state, window);
    Reception reception(state, window);

    const std::int64_t before = peakResidentKiB();
    reception.feed({&kStx, 1});
    for (std::size_t fed = 0; fed < kCrlessBytes; fed += chunk.size())
        reception.feed(chunk);
    const std::int64_t after = peakResidentKiB();
    reception.feed({&kCr, 1});

    const bool whole = state.frameCount == 1 && window.lamp() == kLampComplete;
    if (!whole)
        std::fprintf(stderr, "bench_core: the 200 MB frame was not counted and decoded once\n");
    const double growthMiB = static_cast<double>(after - before) / 1024.0;
    return printRow("core peak RSS growth, 200 MB without CR", growthMiB, 2, "MiB", "< 5",
                    whole && growthMiB < kGrowthTargetMiB);
}

} // namespace

int main()
{
    bool met = crlessRow(); // first, before the frame stream raises the peak
    const std::string stream = makeFrameStream(kStreamFrames, 20240501);
    met &= throughputRow("core frames, Hex display, 4 KiB chunks", stream, DisplayMode::Hex);
    met &= throughputRow("core frames, Dec display, 4 KiB chunks", stream, DisplayMode::Dec);
    return met ? 0 : 1;
}
