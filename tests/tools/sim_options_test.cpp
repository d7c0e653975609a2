#include "tools/adc_sim/sim_options.h"

#include <gtest/gtest.h>
#include <vector>

namespace adc::sim {
namespace {

using Action = ParsedOptions::Action;

ParsedOptions parse(std::vector<std::string_view> args)
{
    return parseOptions(args);
}

TEST(SimOptionsTest, DefaultsSendASineAtLineRate)
{
    const ParsedOptions parsed = parse({});
    ASSERT_EQ(parsed.action, Action::Run);
    EXPECT_EQ(parsed.options.wave, (WaveShape{WaveKind::Sine, 0}));
    // 33 bytes of 10 bits at 9600 baud.
    EXPECT_EQ(framePeriod(parsed.options), std::chrono::nanoseconds(34'375'000));
}

TEST(SimOptionsTest, ReadsEveryOptionInBothForms)
{
    const ParsedOptions parsed =
        parse({"--port", "/dev/ttyS1", "--rate=2.5", "--count", "10", "--wave=const:fff", "--seed",
               "0", "--log", "f.txt", "--log-times"});
    ASSERT_EQ(parsed.action, Action::Run) << parsed.error;
    EXPECT_EQ(parsed.options.port, "/dev/ttyS1");
    EXPECT_EQ(framePeriod(parsed.options), std::chrono::nanoseconds(400'000'000));
    EXPECT_EQ(parsed.options.count, 10u);
    EXPECT_EQ(parsed.options.wave, (WaveShape{WaveKind::Constant, 0xFFF}));
    EXPECT_EQ(parsed.options.seed, 0u);
    EXPECT_EQ(parsed.options.logPath, "f.txt");
    EXPECT_TRUE(parsed.options.logTimes);

    EXPECT_EQ(parse({"--wave", "const:0"}).options.wave, (WaveShape{WaveKind::Constant, 0}));
    EXPECT_EQ(parse({"--seed", "18446744073709551615"}).options.seed, UINT64_MAX);
    EXPECT_EQ(parse({"--rate", "1000000"}).action, Action::Run) << "the highest rate is allowed";
    EXPECT_EQ(parse({"--rate", "1e-9"}).action, Action::Run) << "and the lowest";
    // The last of a repeated option wins.
    EXPECT_EQ(framePeriod(parse({"--rate", "5", "--rate=2"}).options),
              std::chrono::nanoseconds(500'000'000));
    // Names that are not valid UTF-8 still name the right file.
    EXPECT_EQ(parse({"--log", "\xff\xe9.txt"}).options.logPath, "\xff\xe9.txt");
    // Every value given is checked, not only the one that stays.
    EXPECT_EQ(parse({"--port", "/dev/ttyS1", "--port="}).error,
              "option '--port' needs a non-empty value");
    EXPECT_EQ(parse({"--rate", "abc", "--rate", "5"}).error.rfind("invalid rate 'abc'", 0), 0u);
    // Help and version win wherever they stand.
    EXPECT_EQ(parse({"--rate", "5", "--help"}).action, Action::Help);
    EXPECT_EQ(parse({"--rate", "fast", "--version", "--help"}).action, Action::Help);
    EXPECT_EQ(parse({"--version", "--bogus"}).action, Action::Version);
}

class BadOptionTest : public ::testing::TestWithParam<std::vector<std::string_view>>
{};

TEST_P(BadOptionTest, IsRejectedWithOneLine)
{
    const ParsedOptions parsed = parse(GetParam());
    EXPECT_EQ(parsed.action, Action::Error);
    EXPECT_FALSE(parsed.error.empty());
    EXPECT_EQ(parsed.error.find('\n'), std::string::npos);
}

using Args = std::vector<std::string_view>;

INSTANTIATE_TEST_SUITE_P(
    Rows, BadOptionTest,
    ::testing::Values(Args{"--rate", "0"}, Args{"--rate", "-1"}, Args{"--rate", "abc"},
                      Args{"--rate", "5x"}, Args{"--rate", "inf"}, Args{"--rate", "nan"},
                      Args{"--rate", "2000000"}, Args{"--rate", "1e-10"}, Args{"--rate"},
                      Args{"--count", "0"}, Args{"--count", "-3"}, Args{"--count", "1.5"},
                      Args{"--count", "99999999999999999999999"}, Args{"--seed", "x"},
                      Args{"--wave", "square"}, Args{"--wave", "const:"},
                      Args{"--wave", "const:1000"}, Args{"--wave", "const:FG"},
                      Args{"--wave", "CONST:1"}, Args{"--port="}, Args{"--log"}, Args{"--fast=yes"},
                      Args{"--bogus"}, Args{"stray"}, Args{"--fast", "--rate", "5"},
                      Args{"--replay="}, Args{"--replay", "f", "--wave", "sine"},
                      Args{"--seed", "1", "--replay", "f"}));

} // namespace
} // namespace adc::sim
