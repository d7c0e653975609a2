#include "frame_writer.h"
#include "number_format.h"
#include "reception.h"
#include "recording_window.h"
#include "waveform.h"

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace adc::sim {
namespace {

std::string field(std::uint16_t reading)
{
    char text[8];
    std::snprintf(text, sizeof text, "%03X", reading);
    return text;
}

std::vector<Readings> generate(WaveShape shape, int frames, std::uint64_t seed = 1)
{
    Waveform wave(shape, seed);
    std::vector<Readings> out;
    for (int i = 0; i < frames; ++i)
        out.push_back(wave.next());
    return out;
}

class MovingWaveTest : public ::testing::TestWithParam<WaveKind>
{};

TEST_P(MovingWaveTest, CoversTheFullScaleAndChannelsDiffer)
{
    const auto frames = generate({GetParam(), 0}, 2 * Waveform::kPeriodFrames);
    std::uint16_t lowest = kFullScale;
    std::uint16_t highest = 0;
    for (const Readings& r : frames) {
        for (std::uint16_t v : r) {
            ASSERT_LE(v, kFullScale);
            lowest = std::min(lowest, v);
            highest = std::max(highest, v);
        }
    }
    EXPECT_LE(lowest, 16);
    EXPECT_GE(highest, kFullScale - 16);

    for (int a = 0; a < kChannels; ++a) {
        for (int b = a + 1; b < kChannels; ++b) {
            const auto sameAt = [&](const Readings& r) { return r[a] == r[b]; };
            EXPECT_FALSE(std::all_of(frames.begin(), frames.end(), sameAt))
                << "channels " << a << " and " << b << " carry the same signal";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, MovingWaveTest,
                         ::testing::Values(WaveKind::Sine, WaveKind::Ramp, WaveKind::Noise));

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

// Frames the simulator writes must decode in the monitor to exactly the readings generated.
struct RoundTripRow
{
    const char* name;
    std::vector<Readings> frames;
};

class FrameRoundTripTest : public ::testing::TestWithParam<RoundTripRow>
{};

TEST_P(FrameRoundTripTest, DecodesToTheGeneratedReadings)
{
    const std::vector<Readings>& frames = GetParam().frames;
    std::string stream;
    for (const Readings& r : frames) {
        const std::string frame = formatFrame(r);
        ASSERT_EQ(frame.size(), kFrameLength);
        ASSERT_EQ(frame.substr(1, kFrameLength - 2), logLine(r));
        stream += frame;
    }

    for (DisplayMode mode : {DisplayMode::Hex, DisplayMode::Dec}) {
        MonitorState state;
        test::RecordingWindow window;
        selectDisplayMode(state, window, mode);
        Reception reception(state, window);
        reception.feed(stream);

        ASSERT_EQ(state.frameCount, static_cast<std::int64_t>(frames.size()));
        EXPECT_FALSE(reception.inFrame());
        for (int k = 0; k < kChannels; ++k) {
            std::uint16_t lowest = kFullScale;
            std::uint16_t highest = 0;
            for (const Readings& r : frames) {
                lowest = std::min(lowest, r[k]);
                highest = std::max(highest, r[k]);
            }
            const std::uint16_t last = frames.back()[k];
            const bool hex = mode == DisplayMode::Hex;
            EXPECT_EQ(window.text(valueBox(k)), hex ? field(last) : decimalText(last)) << k;
            EXPECT_EQ(window.text(minBox(k)), hex ? hexText(lowest) : decimalText(lowest)) << k;
            EXPECT_EQ(window.text(maxBox(k)), hex ? hexText(highest) : decimalText(highest)) << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Readings, FrameRoundTripTest,
    ::testing::Values(RoundTripRow{"AllZero", generate({WaveKind::Constant, 0}, 3)},
                      RoundTripRow{"AllFullScale", generate({WaveKind::Constant, kFullScale}, 3)},
                      RoundTripRow{"Mixed",
                                   {{0x000, 0x800, 0xFFF, 0x001, 0x7FF, 0x0A3, 0xABC, 0x123}}},
                      RoundTripRow{"Sine", generate({WaveKind::Sine, 0}, 300)},
                      RoundTripRow{"Ramp", generate({WaveKind::Ramp, 0}, 300)},
                      RoundTripRow{"Noise", generate({WaveKind::Noise, 0}, 300)}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace adc::sim
