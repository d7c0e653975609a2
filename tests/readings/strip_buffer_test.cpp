#include "readings/strip_buffer.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace adc {
namespace {

constexpr std::int64_t kSpanNs = 10'000'000'000;

// Against a direct model: each column holds exactly the extremes of the readings taken in its
// stretch, counted by the start of the slice they fell in, at widths that do and do not line
// up with the slices. A channel's malformed field is no reading: where a column has none of
// that channel, its low lies above its high.
TEST(StripBuffer, ColumnsAreTheExtremesOfTheirReadings)
{
    StripBuffer buffer(kSpanNs, 4096);
    const std::int64_t slice = buffer.sliceNs();
    const std::int64_t end = 3 * 4096 * slice + 123'457;
    std::mt19937 random(1);
    std::vector<std::pair<std::int64_t, FrameReadings>> stream;
    for (std::int64_t t = kSpanNs / 2; t < end; t += 1 + std::int64_t(random() % 3'000'000)) {
        FrameReadings r;
        for (auto& v : r)
            v = random() % 8 == 0 ? kNoReading : std::int32_t(random() % 4096);
        stream.emplace_back(t, r);
        buffer.add(t, r);
    }
    for (const int width : {1, 64, 777, 4096}) {
        const std::int64_t columnNs = buffer.spanNs() / width;
        const std::int64_t start = end - columnNs * width;
        std::vector<ReadingRange> columns;
        buffer.ranges(start, columnNs, width, columns);
        ASSERT_EQ(columns.size(), std::size_t(width));
        std::vector<ReadingRange> model(static_cast<std::size_t>(width));
        for (const auto& [t, values] : stream) {
            const std::int64_t sliceStart = t / slice * slice;
            if (sliceStart < start)
                continue;
            ReadingRange one{true, {}, {}};
            for (int k = 0; k < kChannelCount; ++k) {
                const bool none = values[k] == kNoReading;
                one.low[k] = none ? 0xFFFF : std::uint16_t(values[k]);
                one.high[k] = none ? 0 : std::uint16_t(values[k]);
            }
            model[std::size_t((sliceStart - start) / columnNs)].merge(one);
        }
        for (int c = 0; c < width; ++c) {
            SCOPED_TRACE(testing::Message() << "width " << width << " column " << c);
            ASSERT_EQ(columns[c].any, model[c].any);
            EXPECT_EQ(std::pair(columns[c].low, columns[c].high),
                      std::pair(model[c].low, model[c].high));
        }
    }
}

// Expiry past the span is checked against the model above, which runs three spans.
TEST(StripBuffer, OneFrameSpikeAtAHighRateOlderTimesAndClear)
{
    StripBuffer buffer(kSpanNs);
    // 30,000 frames/s for 12 s, all at 2048 but one frame at 4095 on AD5, 9 s in.
    constexpr std::int64_t kPeriod = 1'000'000'000 / 30'000;
    FrameReadings flat;
    flat.fill(2048);
    FrameReadings spike = flat;
    spike[5] = 4095;
    for (std::int64_t t = 0; t < 12'000'000'000; t += kPeriod)
        buffer.add(t, t / kPeriod == 9'000'000'000 / kPeriod ? spike : flat);
    std::vector<ReadingRange> columns;
    const auto highest = [&](int k) {
        buffer.ranges(buffer.newestNs() + 1 - buffer.spanNs(), buffer.spanNs() / 300, 300, columns);
        int h = 0;
        for (const ReadingRange& c : columns)
            h = c.any ? std::max<int>(h, c.high[k]) : h;
        return h;
    };
    EXPECT_EQ(highest(5), 4095);

    // Older than the newest counts as the newest; clear() forgets all.
    const std::int64_t newest = buffer.newestNs();
    buffer.add(0, spike);
    EXPECT_EQ(buffer.newestNs(), newest);
    highest(5);
    EXPECT_EQ(columns.back().high[5], 4095);
    buffer.clear();
    buffer.ranges(0, kSpanNs / 300, 300, columns);
    EXPECT_TRUE(
        std::none_of(columns.begin(), columns.end(), [](const ReadingRange& c) { return c.any; }));

    // However short the span asked, a slice lasts at least a nanosecond.
    StripBuffer tiny(0, 4);
    EXPECT_EQ(tiny.spanNs(), 4);
    tiny.add(5, spike);
    EXPECT_EQ(tiny.newestNs(), 5);
}

} // namespace
} // namespace adc
