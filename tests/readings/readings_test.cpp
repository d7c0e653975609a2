#include "acquisition/reception.h"
#include "readings/channel_limits.h"
#include "readings/channel_statistics.h"
#include "readings/csv_format.h"
#include "readings/run_statistics.h"
#include "readings/summary_format.h"
#include "tests/support/recording_window.h"

#include <cmath>
#include <gtest/gtest.h>
#include <tuple>
#include <vector>

namespace adc {
namespace {

TEST(IsoLocalTime, DateTimeMillisecondsAndOffset)
{
    const std::tuple<std::int64_t, int, const char*> rows[] = {
        {1'796'738'587'005, 0, "2026-12-08T14:03:07.005+00:00"},
        {1'796'738'587'999, -(5 * 3600 + 30 * 60), "2026-12-08T08:33:07.999-05:30"},
        {1'709'164'800'000, 0, "2024-02-29T00:00:00.000+00:00"},    // a leap day
        {1'796'774'399'999, 3600, "2026-12-09T00:59:59.999+01:00"}, // past midnight locally
        {-1, 0, "1969-12-31T23:59:59.999+00:00"}};
    for (const auto& [unixMs, offset, text] : rows)
        EXPECT_EQ(isoLocalTime(unixMs, offset), text);
}

// Mean and spread of small sets are checked through the run summary; this is the large level
// with a one-count step, where summing squares would lose the 0.5.
TEST(ChannelStatistics, StaysExactOnALargeLevel)
{
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
    EXPECT_EQ(collector.rows[0].first, (FrameReadings{163, 4095, -1, -1, -1, 2048, 1, 2047}));
    EXPECT_EQ(collector.rows[0].second, 1);
    EXPECT_EQ(collector.rows[1].first, (FrameReadings{1, 2, 3, -1, -1, -1, -1, -1}));
    EXPECT_EQ(collector.rows[1].second, 0) << "the count the window shows after the reset";
    reception.feed("xy\n");
    EXPECT_EQ(reception.bytesReceived(), 49);
    EXPECT_EQ(reception.bytesOutsideFrames(), 3) << "what follows the last CR";
}

TEST(Expectation, ChannelsAndRangesInEverySpelling)
{
    // Text, the channels it checks (AD0 first), and the range.
    const std::tuple<const char*, const char*, std::int32_t, std::int32_t> rows[] = {
        {"AD3=100..200", "00010000", 100, 200},
        {"ad0-AD2=0x100..0xfFf", "11100000", 256, 4095},
        {"AD1,AD5-AD6,AD0=7..7", "11000110", 7, 7},
        {"ALL=0X10..0Xff", "11111111", 16, 255}};
    for (const auto& [text, checked, lo, hi] : rows) {
        ChannelLimits limits;
        EXPECT_EQ(addExpectation(text, limits), "") << text;
        for (int k = 0; k < kChannelCount; ++k) {
            EXPECT_EQ(limits[k].checked, checked[k] == '1') << text << " AD" << k;
            if (limits[k].checked) {
                EXPECT_EQ(std::pair(limits[k].lo, limits[k].hi), std::pair(lo, hi)) << text;
            }
        }
    }
}

TEST(Expectation, MistakesAreNamedAndLeaveTheLimitsAlone)
{
    ChannelLimits limits;
    ASSERT_EQ(addExpectation("AD0=100..200", limits), ""); // the last row clashes with it
    const std::pair<const char*, const char*> rows[] = {
        {"AD3", "needs the form"},
        {"AD8=1..2", "unknown channel 'AD8'"},
        {"AD=1..2", "unknown channel"},
        {"allx=1..2", "unknown channel 'allx'"},
        {"AD3-AD1=1..2", "runs backwards"},
        {"AD1,=1..2", "unknown channel ''"},
        {"AD1=1-2", "invalid range '1-2'"},
        {"AD1=1..4096", "invalid range"},
        {"AD1=-1..5", "invalid range"},
        {"AD1=0x..5", "invalid range"},
        {"AD1=200..100", "is empty"},
        {"AD1,ad1=1..2", "AD1 is named twice"},
        {"AD0-AD2,AD1=1..2", "AD1 is named"},
        {"all=0..50", "AD0 has two ranges, 100..200 and 0..50"}};
    const ChannelLimits before = limits;
    for (const auto& [text, error] : rows) {
        EXPECT_NE(addExpectation(text, limits).find(error), std::string::npos) << text;
        for (int k = 0; k < kChannelCount; ++k)
            EXPECT_EQ(std::tuple(limits[k].checked, limits[k].lo, limits[k].hi),
                      std::tuple(before[k].checked, before[k].lo, before[k].hi));
    }
}

TEST(RunSummary, VerdictsStatisticsAndFormats)
{
    ChannelLimits limits;
    ASSERT_EQ(addExpectation("AD0=10..20", limits), "");
    ASSERT_EQ(addExpectation("AD1=0..0xFFE", limits), "");
    RunStatistics stats(limits);
    EXPECT_FALSE(runPassed(stats)) << "no frames";
    EXPECT_TRUE(stats.allLimitsMet());
    EXPECT_NE(summaryText(stats, {}).find("FAIL (no frames received)"), std::string::npos);
    EXPECT_NE(summaryJson(stats, {}).find("\"stddev\":null,\"peak_to_peak\":null,\"limit\":{"
                                          "\"lo\":10,\"hi\":20},\"pass\":false}"),
              std::string::npos)
        << "nothing received is no pass";

    stats.frameDecoded({10, 4094, 7, 0, 0, 0, 0, 0}, 1);
    stats.frameDecoded({20, 0, 9, 0, 0, 0, 0, 0}, 2);
    EXPECT_TRUE(runPassed(stats)) << "the limits include their ends";
    // Just above AD0's limit, then AD1's: the verdicts below name both.
    stats.frameDecoded({21, 0, 8, 0, 0, 0, 0, 0}, 3);
    stats.frameDecoded({20, 4095, 8, 0, 0, 0, 0, 0}, 4);

    const RunTotals totals{2'000'000'000, 99, 0, std::nullopt};
    const std::string text = summaryText(stats, totals);
    EXPECT_NE(text.find("AD2              4         0      7 (0x007)      9 (0x009)      8.000 "
                        "    0.816      2 -            -\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("frames 4, 0 malformed, 2.00 frames/s, 99 bytes received, 0 bytes "
                        "outside frames, "
                        "2.000 s\nresult: FAIL (AD0 outside 10..20, AD1 outside 0..4094)\n"),
              std::string::npos)
        << text;

    const std::string json = summaryJson(stats, totals);
    EXPECT_EQ(
        json.rfind(
            "{\"frames\":4,\"malformed_frames\":0,\"duration_s\":2.000,\"frames_per_s\":2.000,"
            "\"bytes_received\":99,\"bytes_outside_frames\":0,\"channels\":[{",
            0),
        0u)
        << json;
    EXPECT_NE(json.find("{\"name\":\"AD0\",\"frames\":4,\"malformed\":0,\"min\":10,\"min_hex\":"
                        "\"0x00A\",\"max\":21,"
                        "\"max_hex\":\"0x015\",\"mean\":17.7500,\"stddev\":5.1881,"
                        "\"peak_to_peak\":11,\"limit\":{\"lo\":10,\"hi\":20},\"pass\":false}"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"limit\":null,\"pass\":true}],\"pass\":false}\n"), std::string::npos);

    const std::string csv = summaryCsv(stats, totals);
    EXPECT_NE(csv.find("\r\nAD0,4,10,0x00A,21,0x015,17.7500,5.1881,11,10,20,FAIL,,,,,0\r\n"),
              std::string::npos)
        << csv;
    EXPECT_NE(csv.find("\r\nAD2,4,7,0x007,9,0x009,8.0000,0.8165,2,,,,,,,,0\r\n"),
              std::string::npos);
    EXPECT_NE(csv.find("\r\nall,4,,,,,,,,,,FAIL,2.000,2.000,99,0,0\r\n"), std::string::npos);
}

// A malformed field is counted, never taken as a reading: it cannot break a limit, but a
// checked channel with no well-formed reading at all fails, and so do too many bad frames.
TEST(RunSummary, MalformedFieldsAreCountedNotTaken)
{
    ChannelLimits limits;
    ASSERT_EQ(addExpectation("AD0=5..6", limits), "");
    ASSERT_EQ(addExpectation("AD1=0..4095", limits), "");
    RunStatistics stats(limits, 1);
    stats.frameDecoded({5, kNoReading, 0, 0, 0, 0, 0, 0}, 1);
    EXPECT_TRUE(stats.malformedWithinBound());
    FrameReadings none;
    none.fill(kNoReading);
    stats.frameDecoded(none, 2);
    EXPECT_EQ(std::tuple(stats.frames(), stats.malformedFrames(), stats.malformedFields(0),
                         stats.malformedFields(1), stats.channel(0).count()),
              std::tuple(2, 2, 1, 2, 1));
    EXPECT_EQ(std::pair(stats.channel(0).min(), stats.channel(0).mean()), std::pair(5, 5.0));
    EXPECT_TRUE(stats.limitMet(0));
    EXPECT_FALSE(stats.limitMet(1));
    EXPECT_FALSE(runPassed(stats));
    const std::string text = summaryText(stats, {});
    EXPECT_NE(text.find("\nAD1              0         2      -"), std::string::npos) << text;
    EXPECT_NE(text.find("result: FAIL (AD1 had no well-formed reading, 2 malformed frames, more "
                        "than 1)\n"),
              std::string::npos)
        << text;
    // Without frames there is nothing to check a limit against: no frames is the verdict.
    EXPECT_TRUE(RunStatistics(limits).allLimitsMet());
}

// Every channel outside a wide limit makes a verdict of over 256 characters: it comes out whole.
TEST(RunSummary, ALongLineComesOutWhole)
{
    ChannelLimits limits;
    limits.fill({true, 1'000'000'000, 2'000'000'000});
    RunStatistics stats(limits);
    stats.frameDecoded({}, 1);
    const std::string text = summaryText(stats, {});
    const std::string last = text.substr(text.rfind("result: "));
    EXPECT_GT(last.size(), 256u);
    EXPECT_TRUE(last.starts_with("result: FAIL (AD0 outside 1000000000..2000000000, AD1 ") &&
                last.ends_with(", AD7 outside 1000000000..2000000000)\n"))
        << last;
}

} // namespace
} // namespace adc
