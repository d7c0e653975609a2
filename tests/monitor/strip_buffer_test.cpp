#include "strip_buffer.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace adc {
namespace {

struct Reading
{
    std::int64_t timeNs;
    FrameReadings values;
};

// A noisy stream with random gaps, the times rising.
std::vector<Reading> noise(std::int64_t fromNs, std::int64_t toNs, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<Reading> stream;
    for (std::int64_t t = fromNs; t < toNs; t += 1 + std::int64_t(random() % 3'000'000)) {
        Reading r{t, {}};
        for (auto& v : r.values)
            v = std::int32_t(random() % 4096);
        stream.push_back(r);
    }
    return stream;
}

constexpr std::int64_t kSpanNs = 10'000'000'000;

TEST(StripBuffer, ColumnsAreTheExtremesOfTheirReadings)
{
    // Columns that fall on slice boundaries: each column is exactly the readings of its time.
    StripBuffer buffer(kSpanNs, 4096);
    const std::int64_t span = buffer.spanNs();
    const std::int64_t end = 3 * 4096 * buffer.sliceNs();
    const auto stream = noise(kSpanNs / 2, end, 1);
    for (const Reading& r : stream)
        buffer.add(r.timeNs, r.values);
    for (const int width : {1, 64, 512, 4096}) {
        std::vector<ReadingRange> columns;
        buffer.columns(end, width, columns);
        ASSERT_EQ(columns.size(), std::size_t(width));
        std::vector<ReadingRange> model(static_cast<std::size_t>(width));
        for (const Reading& r : stream) {
            if (r.timeNs < end - span)
                continue;
            ReadingRange one{true, {}, {}};
            for (int k = 0; k < kChannelCount; ++k)
                one.low[k] = one.high[k] = std::uint16_t(r.values[k]);
            model[std::size_t((r.timeNs - (end - span)) * width / span)].merge(one);
        }
        for (int c = 0; c < width; ++c) {
            ASSERT_EQ(columns[c].any, model[c].any) << "width " << width << " column " << c;
            EXPECT_EQ(columns[c].low, model[c].low) << "width " << width << " column " << c;
            EXPECT_EQ(columns[c].high, model[c].high) << "width " << width << " column " << c;
        }
    }
}

TEST(StripBuffer, AnyWidthShowsEveryReadingAndOnlyReadings)
{
    // A width that does not divide the slices: every reading lies within its own column or the
    // next one (the slice it is in may start in the column before), and each column's extremes
    // are readings that were taken.
    StripBuffer buffer(kSpanNs, 4096);
    const std::int64_t span = buffer.spanNs();
    const std::int64_t end = kSpanNs + 123'456'789;
    const auto stream = noise(0, end, 2);
    for (const Reading& r : stream)
        buffer.add(r.timeNs, r.values);
    constexpr int kWidth = 777;
    std::vector<ReadingRange> columns;
    buffer.columns(end, kWidth, columns);
    const std::int64_t start = end - span;
    for (const Reading& r : stream) {
        if (r.timeNs < start + buffer.sliceNs())
            continue;
        const int c = int((r.timeNs - start) * kWidth / span);
        for (int k = 0; k < kChannelCount; ++k) {
            const auto within = [&](int col) {
                return col >= 0 && columns[col].any && columns[col].low[k] <= r.values[k] &&
                       r.values[k] <= columns[col].high[k];
            };
            ASSERT_TRUE(within(c) || within(c - 1)) << "time " << r.timeNs << " channel " << k;
        }
    }
    for (int c = 0; c < kWidth; ++c)
        for (int k = 0; columns[c].any && k < kChannelCount; ++k) {
            const auto taken = [&](std::uint16_t v) {
                return std::any_of(stream.begin(), stream.end(),
                                   [&](const Reading& r) { return r.values[k] == v; });
            };
            ASSERT_TRUE(taken(columns[c].low[k]) && taken(columns[c].high[k]));
        }
}

TEST(StripBuffer, OneFrameSpikeAtAnyRateAndOnlyWithinTheSpan)
{
    StripBuffer buffer(kSpanNs);
    // 30,000 frames/s for 12 s, all at 2048 but one frame at 4095 on AD5, 9 s in.
    constexpr std::int64_t kPeriod = 1'000'000'000 / 30'000;
    const std::int64_t spikeAt = 9'000'000'000 + 7;
    FrameReadings flat;
    flat.fill(2048);
    FrameReadings spike = flat;
    spike[5] = 4095;
    for (std::int64_t t = 0; t < 12'000'000'000; t += kPeriod)
        buffer.add(t, t / kPeriod == spikeAt / kPeriod ? spike : flat);
    std::vector<ReadingRange> columns;
    buffer.columns(buffer.newestNs() + 1, 300, columns);
    const auto highest = [&](int k) {
        int h = 0;
        for (const ReadingRange& c : columns)
            h = c.any ? std::max<int>(h, c.high[k]) : h;
        return h;
    };
    EXPECT_EQ(highest(5), 4095);
    EXPECT_EQ(highest(4), 2048);

    // A span later it has gone: the slices that held it were taken for newer time.
    for (std::int64_t t = 12'000'000'000; t < 20'000'000'000; t += kPeriod)
        buffer.add(t, flat);
    buffer.columns(buffer.newestNs() + 1, 300, columns);
    EXPECT_EQ(highest(5), 2048);
    EXPECT_TRUE(columns.front().any && columns.back().any);

    // Older than the newest counts as the newest; clear() forgets all.
    const std::int64_t newest = buffer.newestNs();
    buffer.add(0, spike);
    EXPECT_EQ(buffer.newestNs(), newest);
    buffer.columns(newest + 1, 300, columns);
    EXPECT_EQ(columns.back().high[5], 4095);
    buffer.clear();
    buffer.columns(20'000'000'000, 300, columns);
    EXPECT_TRUE(
        std::none_of(columns.begin(), columns.end(), [](const ReadingRange& c) { return c.any; }));
}

} // namespace
} // namespace adc
