#include "monitor/number_format.h"

#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace adc {
namespace {

TEST(NumberFormat, DecimalAndHexTextsAndTheReadingOfAField)
{
    constexpr std::int64_t kLowest = std::numeric_limits<std::int64_t>::min(); // no positive twin
    // Where the decimal digit count changes, in and past the short path for readings.
    const std::int64_t values[] = {0,    9,     10,     99,      100, 999,       1000,   4095,
                                   9999, 10000, 100000, 1234567, -7,  1LL << 31, kLowest};
    for (const std::int64_t v : values)
        EXPECT_EQ(decimalText(v).view(), std::to_string(v));
    const std::pair<std::int64_t, const char*> hex[] = {{0, "0"},
                                                        {10, "A"},
                                                        {163, "A3"},
                                                        {4095, "FFF"},
                                                        {1234567, "12D687"},
                                                        {-7, "-7"},
                                                        {1LL << 31, "80000000"}};
    for (const auto& [value, text] : hex)
        EXPECT_EQ(hexText(value).view(), text) << value;
    EXPECT_EQ(hexText(kLowest).view(), "-8000000000000000");

    // The reading of a field.
    using namespace std::string_view_literals;
    constexpr std::int32_t kHighest = std::numeric_limits<std::int32_t>::max(); // saturates
    const std::pair<std::string_view, std::int32_t> rows[] = {
        {"0A3", 163}, {"fff", 4095},   {"FFF", 4095}, {" 5F", 95},
        {"12x", 18},  {"", 0},         {"\r", 0},     {"x12", 0},
        {"1 2", 18},  {"\t\nA", 10},   {"5\r", 5},    {"-1", 0},
        {"+1", 0},    {"1\0002"sv, 1}, {"   ", 0},    {"FFFFFFFFFF", kHighest}};
    for (const auto& [field, value] : rows)
        EXPECT_EQ(readingValue(field), value) << '"' << field << '"';
}

} // namespace
} // namespace adc
