#include "bench/frame_stream.h"

#include "monitor/frame_format.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <random>

namespace adc::bench {

std::string makeFrameStream(std::size_t frames, std::uint32_t seed)
{
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
        FrameValues values{};
        std::array<bool, kChannelCount> lower{};
        for (std::size_t k = 0; k < values.size(); ++k) {
            int& r = reading[k];
            r = jump(random) == 0 ? level(random) : std::clamp(r + step(random), 0, kReadingMax);
            values[k] = static_cast<std::uint16_t>(r);
            lower[k] = lowerCase(random) == 0;
        }
        // Written as the converter writes it, then about one field in 16 in lower case.
        const std::size_t start = out.size();
        appendFrame(out, values);
        for (std::size_t k = 0; k < lower.size(); ++k) {
            char* field = out.data() + start + 1 + k * kFieldPitch;
            if (lower[k])
                std::transform(field, field + kFieldWidth, field, [](char c) {
                    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                });
        }
    }
    return out;
}

} // namespace adc::bench
