#include "channel_statistics.h"
#include "csv_format.h"
#include "reception.h"
#include "recording_window.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace adc {
namespace {

TEST(IsoLocalTime, DateTimeMillisecondsAndOffset)
{
    struct Row
    {
        std::int64_t unixMs;
        int offset;
        const char* text;
    };
    const Row rows[] = {
        {1'796'738'587'125, 3600, "2026-12-08T15:03:07.125+01:00"},
        {1'796'738'587'005, 0, "2026-12-08T14:03:07.005+00:00"},
        {1'796'738'587'999, -(5 * 3600 + 30 * 60), "2026-12-08T08:33:07.999-05:30"},
        {1'709'164'800'000, 0, "2024-02-29T00:00:00.000+00:00"},    // a leap day
        {1'796'774'399'999, 3600, "2026-12-09T00:59:59.999+01:00"}, // past midnight locally
        {-1, 0, "1969-12-31T23:59:59.999+00:00"}};
    for (const Row& r : rows)
        EXPECT_EQ(isoLocalTime(r.unixMs, r.offset), r.text);
}

TEST(CsvRow, ElapsedSecondsWithThreeDecimalsAndDecimalReadings)
{
    const FrameReadings readings{0, 2048, 4095, 1, 2047, 163, 4095, 291};
    EXPECT_EQ(csvRow("T", 12'345'678'900, 17, readings),
              "T,12.346,17,0,2048,4095,1,2047,163,4095,291\r\n");
    EXPECT_EQ(csvRow("T", 999'600'000, 1, {}), "T,1.000,1,0,0,0,0,0,0,0,0\r\n");
    EXPECT_EQ(kCsvHeader, "time,elapsed_s,frame,AD0,AD1,AD2,AD3,AD4,AD5,AD6,AD7\r\n");
}

TEST(ChannelStatistics, MatchesADirectCalculationAndStaysExactOnALargeLevel)
{
    const std::vector<std::int32_t> readings = {4000, 4002, 3998, 4001, 3999, 4095, 0, 4000};
    ChannelStatistics stats;
    double sum = 0;
    for (std::int32_t r : readings) {
        stats.add(r);
        sum += r;
    }
    const double mean = sum / static_cast<double>(readings.size());
    double squares = 0;
    for (std::int32_t r : readings)
        squares += (r - mean) * (r - mean);
    EXPECT_EQ(stats.count(), 8);
    EXPECT_EQ(stats.min(), 0);
    EXPECT_EQ(stats.max(), 4095);
    EXPECT_EQ(stats.peakToPeak(), 4095);
    EXPECT_DOUBLE_EQ(stats.mean(), mean);
    EXPECT_NEAR(stats.standardDeviation(), std::sqrt(squares / 7), 1e-9);

    // A steady level with a one-count step: a million readings of 4094 and 4095 alternating.
    ChannelStatistics steady;
    for (int i = 0; i < 1'000'000; ++i)
        steady.add(4094 + i % 2);
    EXPECT_DOUBLE_EQ(steady.mean(), 4094.5);
    EXPECT_NEAR(steady.standardDeviation(), 0.5, 1e-6);
}

// Whatever records the readings gets them from the decoding that fills the boxes.
struct Collector : ReadingsObserver
{
    void frameDecoded(const FrameReadings& readings, std::int64_t frame) override
    {
        rows.push_back({readings, frame});
    }
    std::vector<std::pair<FrameReadings, std::int64_t>> rows;
};

TEST(ReadingsObserver, GetsEachFrameAsTheBoxesShowItWithTheShownCount)
{
    MonitorState state;
    test::RecordingWindow window;
    resetStatistics(state, window);
    Reception reception(state, window);
    Collector collector;
    reception.addObserver(&collector);
    reception.feed("\x02"
                   "0A3 fff  5F 12x zzz 800 001 7FF\r\x02"
                   "001 002");
    resetStatistics(state, window); // in the middle of the second frame
    reception.feed(" 003\r");
    ASSERT_EQ(collector.rows.size(), 2u);
    EXPECT_EQ(collector.rows[0].first, (FrameReadings{163, 4095, 95, 18, 0, 2048, 1, 2047}));
    EXPECT_EQ(collector.rows[0].second, 1);
    EXPECT_EQ(collector.rows[1].first, (FrameReadings{1, 2, 3, 0, 0, 0, 0, 0}));
    EXPECT_EQ(collector.rows[1].second, 0) << "the count the window shows after the reset";
}

} // namespace
} // namespace adc
