#include "tools/adc_sim/waveform.h"

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace adc::sim {
namespace {

std::vector<Readings> generate(WaveShape shape, int frames, std::uint64_t seed = 1)
{
    Waveform wave(shape, seed);
    std::vector<Readings> out;
    for (int i = 0; i < frames; ++i)
        out.push_back(wave.next());
    return out;
}

TEST(WaveformTest, MovingWavesCoverTheFullScaleAndChannelsDiffer)
{
    for (const WaveKind kind : {WaveKind::Sine, WaveKind::Ramp, WaveKind::Noise}) {
        SCOPED_TRACE(static_cast<int>(kind));
        const auto frames = generate({kind, 0}, 2 * Waveform::kPeriodFrames);
        std::uint16_t lowest = kFullScale;
        std::uint16_t highest = 0;
        for (const Readings& r : frames) {
            for (std::uint16_t v : r) {
                ASSERT_LE(v, kFullScale);
                lowest = std::min(lowest, v);
                highest = std::max(highest, v);
            }
        }
        // Sine and ramp reach both ends of the scale exactly; noise comes close.
        const int slack = kind == WaveKind::Noise ? 16 : 0;
        EXPECT_LE(lowest, slack);
        EXPECT_GE(highest, kFullScale - slack);

        // On AD0 each starts where its cycle starts: the sine at mid-scale, rising; the ramp at 0.
        if (kind != WaveKind::Noise) {
            const int start = kind == WaveKind::Sine ? 2048 : 0;
            EXPECT_TRUE(frames[0][0] == start && frames[1][0] > start);
        }
        // Sine and ramp: each channel runs an eighth of a period ahead of the one before.
        const std::size_t shift = Waveform::kPeriodFrames / kChannelCount;
        for (std::size_t i = 0; kind != WaveKind::Noise && i + 7 * shift < frames.size(); ++i)
            for (int k = 1; k < kChannelCount; ++k)
                ASSERT_EQ(frames[i][k], frames[i + std::size_t(k) * shift][0]) << i << " " << k;

        for (int a = 0; a < kChannelCount; ++a) {
            for (int b = a + 1; b < kChannelCount; ++b) {
                const auto sameAt = [&](const Readings& r) { return r[a] == r[b]; };
                EXPECT_FALSE(std::all_of(frames.begin(), frames.end(), sameAt))
                    << "channels " << a << " and " << b << " carry the same signal";
            }
        }
    }
}

TEST(WaveformTest, NoiseRepeatsForASeedAndConstantHoldsItsLevel)
{
    EXPECT_EQ(generate({WaveKind::Noise, 0}, 50, 7), generate({WaveKind::Noise, 0}, 50, 7));
    EXPECT_NE(generate({WaveKind::Noise, 0}, 50, 7), generate({WaveKind::Noise, 0}, 50, 8));

    for (std::uint16_t level : {std::uint16_t{0}, std::uint16_t{0x0A3}, kFullScale}) {
        const Readings expected = {level, level, level, level, level, level, level, level};
        for (const Readings& r : generate({WaveKind::Constant, level}, 5))
            EXPECT_EQ(r, expected);
    }
}

} // namespace
} // namespace adc::sim
