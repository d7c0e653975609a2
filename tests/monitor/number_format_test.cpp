#include "number_format.h"

#include <gtest/gtest.h>
#include <limits>

namespace adc {
namespace {

TEST(NumberFormat, DecimalAndHexTexts)
{
    struct Row
    {
        std::int64_t value;
        const char* dec;
        const char* hex;
    };
    const Row rows[] = {
        {0, "0", "0"},
        {10, "10", "A"},
        {163, "163", "A3"},
        {4095, "4095", "FFF"},
        // Where the decimal digit count changes, in and past the short path for readings.
        {9, "9", "9"},
        {99, "99", "63"},
        {100, "100", "64"},
        {999, "999", "3E7"},
        {1000, "1000", "3E8"},
        {9999, "9999", "270F"},
        {10000, "10000", "2710"},
        {100000, "100000", "186A0"},
        {1234567, "1234567", "12D687"},
        {-7, "-7", "-7"},
        {2147483648LL, "2147483648", "80000000"},
        {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808", "-8000000000000000"}};
    for (const Row& r : rows) {
        EXPECT_EQ(decimalText(r.value).view(), r.dec) << r.value;
        EXPECT_EQ(hexText(r.value).view(), r.hex) << r.value;
    }
}

TEST(NumberFormat, ReadingValueOfFields)
{
    struct Row
    {
        std::string_view field;
        std::int32_t value;
    };
    using namespace std::string_view_literals;
    const Row rows[] = {{"0A3", 163},  {"fff", 4095},
                        {"FFF", 4095}, {" 5F", 95},
                        {"12x", 18},   {"", 0},
                        {"\r", 0},     {"x12", 0},
                        {"1 2", 18},   {"\t\nA", 10},
                        {"5\r", 5},    {"-1", 0},
                        {"+1", 0},     {"1\0002"sv, 1},
                        {"   ", 0},    {"FFFFFFFFFF", std::numeric_limits<std::int32_t>::max()}};
    for (const Row& r : rows)
        EXPECT_EQ(readingValue(r.field), r.value) << '"' << r.field << '"';
}

} // namespace
} // namespace adc
