#include "bench/frame_stream.h"

#include "monitor/frame_format.h"

#include <algorithm>
#include <array>
#include <random>

namespace adc::bench {

std::string makeFrameStream(std::size_t frames, std::uint32_t seed)
{
    static constexpr char kUpper[] = "0123456789ABCDEF";
    static constexpr char kLower[] = "0123456789abcdef";
    constexpr int kJumpEvery = 2000; // frames, on average, between jumps of one channel

    std::mt19937 random(seed);
    std::uniform_int_distribution<int> step(-12, 12);
    std::uniform_int_distribution<int> level(0, kReadingMax);
    std::uniform_int_distribution<int> jump(0, kJumpEvery - 1);
    std::uniform_int_distribution<int> lowerCase(0, 15);

    std::array<int, kChannelCount> reading{};
    for (int& r : reading)
        r = level(random);

    std::string out;
    out.reserve(frames * kFrameLength);
    for (std::size_t f = 0; f < frames; ++f) {
        out += kStx;
        for (int k = 0; k < kChannelCount; ++k) {
            int& r = reading[static_cast<std::size_t>(k)];
            r = jump(random) == 0 ? level(random) : std::clamp(r + step(random), 0, kReadingMax);
            const char* digits = lowerCase(random) == 0 ? kLower : kUpper;
            out += digits[(r >> 8) & 0xF];
            out += digits[(r >> 4) & 0xF];
            out += digits[r & 0xF];
            out += k + 1 < kChannelCount ? ' ' : kCr;
        }
    }
    return out;
}

} // namespace adc::bench
