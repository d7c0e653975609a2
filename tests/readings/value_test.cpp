#include "profile/value_table.h"
#include "readings/channel_limits.h"
#include "readings/csv_format.h"
#include "readings/summary_format.h"
#include "readings/value_statistics.h"

#include <gtest/gtest.h>

namespace adc {
namespace {

// A divider on AD0, a falling thermistor table on AD3, limits in counts on AD7.
Profile rig()
{
    Profile p;
    p.channel(0).name = "Battery";
    p.channel(0).unit = "V";
    p.channel(0).calibration = Calibration::line({0, 0.0}, {4095, 16.5});
    p.channel(0).decimals = 2;
    p.channel(0).limits = ValueRange{11.5, 12.6};
    p.channel(3).name = "Chamber, inner";
    p.channel(3).unit = "°C";
    p.channel(3).calibration = Calibration::table({{400, 80.0}, {1200, 40.0}, {3600, -10.0}});
    p.channel(3).limits = ValueRange{-5.0, 60.0};
    p.channel(7).limits = ValueRange{100, 200};
    return p;
}

// Feeds `readings` as received `elapsedMs` after the start.
void feed(RunStatistics& stats, ValueStatistics& values, const FrameReadings& readings,
          std::int64_t elapsedMs)
{
    stats.frameDecoded(readings, stats.frames() + 1);
    values.frameDecoded(readings, stats.frames());
    values.stamp(elapsedMs * 1'000'000);
}

TEST(ValueSummary, ValuesInTheUnitAgainstTheProfilesLimits)
{
    const Profile p = rig();
    const ValueTable table(p);
    RunStatistics stats;
    ValueStatistics values(p, table);
    feed(stats, values, {2978, 0, 0, 800, 0, 0, 0, 150}, 0); // 12.00 V, 60 °C: at the limit
    EXPECT_TRUE(runPassed(stats, &values));
    feed(stats, values, {3200, 0, 0, 4000, 0, 0, 0, 100}, 500); // 12.89 V, -18.33 °C, beyond
    feed(stats, values, {kNoReading, 0, 0, 1200, 0, 0, 0, 201}, 1250);
    feed(stats, values, {2978, 0, 0, 300, 0, 0, 0, 200}, 2000); // 85 °C, beyond the table

    EXPECT_EQ(values.outside(0), 1);
    EXPECT_EQ(std::pair(values.channel(3).firstExcursionNs, values.channel(3).lastExcursionNs),
              (std::pair<std::int64_t, std::int64_t>(500'000'000, 2'000'000'000)));
    EXPECT_EQ(values.channel(3).extrapolated, 2);
    EXPECT_EQ(values.channel(0).count, 3) << "a malformed field is no value";
    EXPECT_TRUE(stats.allLimitsMet()) << "no limit in counts was given";
    EXPECT_FALSE(limitsMet(stats, &values));
    EXPECT_FALSE(runPassed(stats, &values));

    const RunTotals totals{2'000'000'000, 0, 0, std::nullopt};
    const std::string text = summaryText(stats, totals, &values);
    EXPECT_NE(text.find("\nchannel name         unit          min        max        mean     "
                        "stddev        p-p limit                 outside  first (s)   last (s)  "
                        "extrap. result\n"
                        "AD0     Battery      V           12.00      12.89      12.297      "
                        "0.516       0.89 11.50..12.60                1      0.500      0.500  "
                        "      0 FAIL\n"
                        "AD1     AD1          -               0          0         0.0        0.0"
                        "          0 -                           -          -          -        0 "
                        "-\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\nAD3     Chamber, inner °C         -18.33      85.00      41.667     "
                        "44.033     103.33 -5.00..60.00                2      0.500      2.000  "
                        "      2 FAIL\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\nAD7     AD7          -             100        201       162.8       "
                        "48.1        101 100..200                    1      1.250      1.250     "
                        "   0 FAIL\n\nframes 4, 1 malformed,"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("result: FAIL (Battery outside 11.50..12.60 V, Chamber, inner outside "
                        "-5.00..60.00 °C, AD7 outside 100..200)\n"),
              std::string::npos)
        << text;

    const std::string csv = summaryCsv(stats, totals, &values);
    EXPECT_NE(csv.find(",malformed,name,unit,value_min,value_max,value_mean,value_stddev,"
                       "value_peak_to_peak,value_lo,value_hi,outside,first_excursion_s,"
                       "last_excursion_s,extrapolated\r\n"),
              std::string::npos)
        << csv;
    EXPECT_NE(
        csv.find("\r\nAD0,3,2978,0xBA2,3200,0xC80,3052.0000,128.1718,222,,,FAIL,,,,,1,Battery,"
                 "V,12.00,12.89,12.297,0.516,0.89,11.50,12.60,1,0.500,0.500,0\r\n"),
        std::string::npos)
        << csv;
    EXPECT_NE(csv.find(",0,\"Chamber, inner\",°C,-18.33,85.00,41.667,44.033,103.33,-5.00,60.00,2,"
                       "0.500,2.000,2\r\n"),
              std::string::npos)
        << csv;
    EXPECT_NE(csv.find(",0,AD2,,0,0,0.0,0.0,0,,,,,,0\r\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",FAIL,2.000,2.000,0,0,1,,,,,,,,,,,,,\r\n"), std::string::npos) << csv;

    const std::string json = summaryJson(stats, totals, &values);
    EXPECT_NE(json.find("\"limit\":null,\"label\":\"Battery\",\"unit\":\"V\",\"value\":{\"min\":"
                        "12.00,\"max\":12.89,\"mean\":12.297,\"stddev\":0.516,\"peak_to_peak\":"
                        "0.89,\"limit\":{\"lo\":11.50,\"hi\":12.60},\"outside\":1,"
                        "\"first_excursion_s\":0.500,\"last_excursion_s\":0.500,\"extrapolated\":"
                        "0},\"pass\":false}"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"first_excursion_s\":null"), std::string::npos);

    values.reset();
    EXPECT_EQ(std::pair(values.channel(0).outside, values.channel(0).count),
              (std::pair<std::int64_t, std::int64_t>(0, 0)));
    EXPECT_EQ(values.channel(3).firstExcursionNs, -1);
    EXPECT_EQ(values.channel(3).extrapolated, 0);
    EXPECT_TRUE(values.hasLatest(0)) << "the value box still shows it";
    EXPECT_DOUBLE_EQ(values.latest(0), 2978 * 16.5 / 4095);
    feed(stats, values, {0, 0, 0, 800, 0, 0, 0, 150}, 3000);
    EXPECT_EQ(values.channel(0).firstExcursionNs, 3'000'000'000) << "dated anew after a reset";
}

// A channel checked in its unit that never had a well-formed reading fails, as in counts.
TEST(ValueSummary, ACheckedChannelWithoutAReadingFails)
{
    const Profile p = rig();
    const ValueTable table(p);
    RunStatistics stats;
    ValueStatistics values(p, table);
    EXPECT_TRUE(values.limitMet(0, 0));
    FrameReadings none;
    none.fill(kNoReading);
    feed(stats, values, none, 0);
    EXPECT_FALSE(values.limitMet(0, stats.frames()));
    EXPECT_NE(summaryText(stats, {}, &values).find("(Battery had no well-formed reading, "),
              std::string::npos);
}

TEST(Expectation, ByNameAndInTheUnit)
{
    Profile p = rig();
    std::array<bool, kChannelCount> given{};
    EXPECT_EQ(addNamedExpectation("battery=11..13.5", p, given), "");
    EXPECT_EQ(std::pair(p.channel(0).limits->lo, p.channel(0).limits->hi), std::pair(11.0, 13.5));
    EXPECT_EQ(addNamedExpectation("Chamber, inner=-20.5..-1e1", p, given), "");
    EXPECT_EQ(std::pair(p.channel(3).limits->lo, p.channel(3).limits->hi), std::pair(-20.5, -10.0));
    EXPECT_FALSE(addNamedExpectation("AD0=1..2", p, given)) << "designations are readings";
    EXPECT_FALSE(addNamedExpectation("Battery", p, given));

    const std::pair<const char*, const char*> mistakes[] = {
        {"Battery=12..11", "range '12..11' in 'Battery=12..11' is empty"},
        {"Battery=1-2", "invalid range '1-2' in 'Battery=1-2' (LO..HI in V, such as 11.5..12.6)"},
        {"Battery=1..nan", "invalid range"},
        {"Battery=11..12", "channel AD0 (Battery) is given two ranges"}};
    for (const auto& [text, message] : mistakes)
        EXPECT_EQ(addNamedExpectation(text, p, given).value_or("none").find(message), 0u) << text;
}

TEST(CsvRecording, CalibratedChannelsAddTheirValuesAfterTheReadings)
{
    const Profile p = rig();
    EXPECT_EQ(csvHeader(p), "time,elapsed_s,frame,AD0,AD1,AD2,AD3,AD4,AD5,AD6,AD7,Battery [V],"
                            "\"Chamber, inner [°C]\"\r\n");
    const FrameReadings readings{2978, 1, 2, kNoReading, 4, 5, 6, 7};
    ChannelValues values{};
    ValueTable(p).compute(readings, values);
    EXPECT_EQ(csvRow("T", 1'500'000'000, 9, readings, p, values),
              "T,1.500,9,2978,1,2,,4,5,6,7,12.00,\r\n");
}

} // namespace
} // namespace adc
