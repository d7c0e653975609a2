#include "profile/calibration.h"
#include "profile/profile_reader.h"
#include "profile/value_table.h"

#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <unistd.h>

namespace adc {
namespace {

constexpr std::string_view kRig = R"(# the rig in room 2
port = "/dev/serial/by-id/usb-0403_6001-if00-port0"
reconnect = true
record = "rig.csv"
rotate = "1d"
keep = 30

[AD0]
name = "Battery"
unit = "V"
raw = [0, 4095]
value = [0.0, 16.5]
decimals = 2
limits = [11.5, 12.6]

[AD3]
name = "Chamber"
unit = "°C"
table = [[400, 80.0], [1200, 40.0], [2600, 10.0], [3600, -10.0]]
limits = [-5.0, 60]

[AD5]
name = "Shunt"
unit = "mA"
gain = 0.5
offset = -10

[AD6]
name = "°123456789012345678901234567890"
unit = "°234567890123456"
decimals = 0

[AD7]
limits = [100, 200]
)";

TEST(ProfileReader, ReadsARigDescription)
{
    const ProfileRead read = parseProfile(kRig, "rig.toml");
    ASSERT_TRUE(read.profile) << read.error;
    const Profile& p = *read.profile;
    EXPECT_EQ(p.port, "/dev/serial/by-id/usb-0403_6001-if00-port0");
    EXPECT_EQ(p.reconnect, true);
    EXPECT_EQ(p.record, "rig.csv");
    EXPECT_FALSE(p.capture);
    ASSERT_TRUE(p.rotate);
    EXPECT_EQ(p.rotate->intervalMs, 86'400'000);
    EXPECT_EQ(p.keep, 30);

    EXPECT_EQ(p.channelName(0), "Battery");
    EXPECT_EQ(p.channel(0).unit, "V");
    EXPECT_DOUBLE_EQ(p.channel(0).value(4095), 16.5);
    EXPECT_EQ(p.channel(0).formatWithUnit(p.channel(0).value(2978)), "12.00 V");
    EXPECT_EQ(p.channel(0).limitsText(), "11.50..12.60 V");

    EXPECT_EQ(p.channel(3).unit, "°C");
    EXPECT_DOUBLE_EQ(p.channel(3).value(800), 60.0);
    EXPECT_DOUBLE_EQ(p.channel(3).value(3100), 0.0);
    ASSERT_TRUE(p.channel(3).limits);
    EXPECT_DOUBLE_EQ(p.channel(3).limits->hi, 60.0); // a whole number where a value may stand

    EXPECT_DOUBLE_EQ(p.channel(5).value(100), 40.0);
    // Without a name a channel is its designation; without a calibration its value the reading.
    EXPECT_EQ(p.channelName(7), "AD7");
    // At their bounds, counted in characters: 32 for a name, 16 for a unit; 0 decimals.
    EXPECT_EQ(p.channel(6).unit, "°234567890123456");
    EXPECT_EQ(p.channel(6).shownDecimals(), 0);
    EXPECT_DOUBLE_EQ(p.channel(7).value(150), 150.0);
    EXPECT_EQ(p.channel(7).limitsText(), "100..200");
    EXPECT_FALSE(p.channel(1).calibration || p.channel(1).limits);

    FrameReadings readings{4095, 0, 0, 2600, 0, 100, 0, kNoReading};
    ChannelValues values{};
    ValueTable(p).compute(readings, values);
    EXPECT_DOUBLE_EQ(values[0], 16.5);
    EXPECT_DOUBLE_EQ(values[3], 10.0);
    EXPECT_TRUE(std::isnan(values[7]));
}

// A table is known between its ends only; a line holds on either side of its points.
TEST(Calibration, TablesExtrapolateFromTheirEndSegmentsAndSayWhen)
{
    const Calibration table = Calibration::table({{400, 80.0}, {1200, 40.0}, {2600, 10.0}});
    EXPECT_DOUBLE_EQ(table.apply(0), 100.0);
    EXPECT_DOUBLE_EQ(table.apply(1200), 40.0);
    EXPECT_DOUBLE_EQ(table.apply(1900), 25.0);
    EXPECT_DOUBLE_EQ(table.apply(4000), -20.0);
    EXPECT_TRUE(table.extrapolated(399));
    EXPECT_FALSE(table.extrapolated(400));
    EXPECT_FALSE(table.extrapolated(2600));
    EXPECT_TRUE(table.extrapolated(2601));
    EXPECT_FALSE(Calibration::gainOffset(0.5, 0).extrapolated(4095)) << "a line holds everywhere";
    for (const double raw : {0.0, 400.0, 1900.0, 3000.0})
        EXPECT_NEAR(table.rawFor(table.apply(static_cast<std::int32_t>(raw))), raw, 1e-9) << raw;

    const Calibration line = Calibration::line({1000, 5.0}, {100, 0.5});
    EXPECT_DOUBLE_EQ(line.apply(0), 0.0);
    EXPECT_DOUBLE_EQ(line.apply(4095), 20.475);
    EXPECT_FALSE(line.extrapolated(4095));
    EXPECT_DOUBLE_EQ(line.rawFor(20.475), 4095.0);

    // Shown digits resolve one count of the finest segment, and no more.
    ChannelProfile channel;
    EXPECT_EQ(channel.shownDecimals(), 0);
    channel.calibration = Calibration::line({0, 0.0}, {4095, 16.5}); // 4.03 mV a count
    EXPECT_EQ(channel.shownDecimals(), 3);
    channel.calibration = Calibration::gainOffset(10.0, 0.0);
    EXPECT_EQ(channel.shownDecimals(), 0);
    channel.calibration = table; // 0.021 a count between 1200 and 2600
    EXPECT_EQ(channel.shownDecimals(), 2);
    channel.decimals = 4;
    EXPECT_EQ(channel.format(-0.00001), "0.0000");
}

TEST(ProfileReader, NamesEachMistakeWithItsPlaceChannelAndKey)
{
    const std::pair<std::string_view, std::string_view> rows[] = {
        {"", "rig.toml: the file is empty"},
        {"\n  \n", "rig.toml: the file is empty"},
        {"# nothing but a comment\n", "rig.toml: the profile is empty"},
        {"[AD0]\nname = \"Caf\xE9\"\n", "rig.toml:2:12: not UTF-8 text"},
        {"# cut short \xE2\x82", "rig.toml:1:13: not UTF-8 text"},
        // The first mistake in the file, not in the order of the keys' names.
        {"[AD0]\n    zz = 1\n  aa = 2\n", "rig.toml:2:5: AD0: unknown key 'zz'"},
        {"[AD0]\nlabel = \"x\"\n", "unknown key 'label' (name, unit, decimals,"},
        {"[AD0]\nxy = 1\n", "unknown key 'xy' (name, unit, decimals,"}, // 3 edits from any
        {"[AD0\n", "rig.toml:1:"}, // the parser's own account of bad TOML
        {"[AD0]\nunit = \"V\"\n[AD0]\n", "rig.toml:3:"},
        {"[AD3]\nlimits = [12.6, 11.5]\n",
         "rig.toml:2:11: AD3: limits: lower bound 12.6 above upper bound 11.5"},
        {"[AD8]\n", "rig.toml:1:2: unknown channel 'AD8' (AD0..AD7)"},
        {"[AD1]\nunti = \"V\"\n", "rig.toml:2:1: AD1: unknown key 'unti' (did you mean 'unit'?)"},
        {"prot = \"/dev/ttyS0\"\n", "rig.toml:1:1: unknown key 'prot' (did you mean 'port'?)"},
        {"AD2 = 5\n", "rig.toml:1:7: AD2: must be a table, written [AD2]"},
        {"reconnect = \"yes\"\n", "rig.toml:1:13: reconnect: must be true or false, not a text"},
        {"port = \"\"\n", "rig.toml:1:8: port: is empty"},
        {"rotate = \"1w\"\n", "rig.toml:1:10: rotate: invalid rotation '1w' (a size such as"},
        {"rotate = 3600\n", "rig.toml:1:10: rotate: must be a text in quotes, not a whole number"},
        {"keep = 0\n", "rig.toml:1:8: keep: must be a whole number from 1 to 100000"},
        {"keep = \"5\"\n", "rig.toml:1:8: keep: must be a whole number"},
        {"kep = 5\n", "rig.toml:1:1: unknown key 'kep' (did you mean 'keep'?)"},
        {"[AD0]\nname = \"A\"\n[AD1]\nname = \"a\"\n",
         "rig.toml:4:8: AD1: name: 'a' is already the name of AD0"},
        {"[AD0]\nname = \"AD4\"\n", "AD0: name: 'AD4' would be taken for a channel designation"},
        {"[AD0]\nname = \"x=y\"\n", "AD0: name: 'x=y' holds '='"},
        {"[AD0]\nname = \"123456789012345678901234567890123\"\n", "longer than 32 characters"},
        {"[AD0]\nraw = [5, 5]\nvalue = [0, 1]\n",
         "rig.toml:2:11: AD0: raw: both points are at reading 5; a calibration needs two"},
        {"[AD0]\nraw = [0, 5]\nvalue = [1, 1]\n", "AD0: value: both points are 1"},
        {"[AD0]\nraw = [0, 4096]\nvalue = [0, 1]\n", "AD0: raw: reading 4096 is not in 0..4095"},
        {"[AD0]\nraw = [0, 10]\n", "rig.toml:2:7: AD0: raw: needs value beside it"},
        {"[AD0]\nvalue = [0, 1.5, 2]\nraw = [0, 1]\n", "AD0: value: must be a list of two"},
        {"[AD0]\ngain = nan\n", "rig.toml:2:8: AD0: gain: nan is not a finite number"},
        {"[AD0]\nlimits = [0, inf]\n", "AD0: limits: inf is not a finite number"},
        {"[AD0]\ngain = 0\n", "AD0: gain: 0 would give every reading the same value"},
        {"[AD0]\ngain = 2\ntable = [[0, 1], [5, 2]]\n", "AD0: give one calibration"},
        {"[AD0]\ntable = [[0, 1]]\n", "AD0: table: must be a list of at least two points"},
        {"[AD0]\ntable = [[0, 1], [10, 2], [10, 3]]\n",
         "rig.toml:2:28: AD0: table: reading 10 is not above the reading before it, 10"},
        {"[AD0]\ntable = [[0, 1], [10, 2], [20, 1.5]]\n",
         "AD0: table: value 1.5 after 2; the values must rise throughout, or fall throughout"},
        {"[AD0]\ntable = [[0, 1], [10.5, 2]]\n", "AD0: table point 2: must be a whole reading"},
        {"[AD0]\ndecimals = 10\n", "AD0: decimals: must be a whole number from 0 to 9"},
        {"[AD0]\nunit = \"12345678901234567\"\n",
         "AD0: unit: '12345678901234567' is longer than 16"},
    };
    for (const auto& [text, message] : rows) {
        const ProfileRead read = parseProfile(text, "rig.toml");
        EXPECT_FALSE(read.profile) << text;
        EXPECT_NE(read.error.find(message), std::string::npos) << text << "\n" << read.error;
    }
}

TEST(ProfileReader, ReadsAFileAndSaysWhyNot)
{
    const ProfileRead example = readProfile(ADC_EXAMPLE_PROFILE);
    ASSERT_TRUE(example.profile) << example.error;
    EXPECT_EQ(example.profile->channelName(5), "Supply current");
    EXPECT_EQ(readProfile("/nonexistent/rig.toml").error,
              "cannot read profile /nonexistent/rig.toml: No such file or directory");
    EXPECT_EQ(readProfile("/").error, "cannot read profile /: Is a directory");
    EXPECT_EQ(readProfile("/dev/zero").error, "/dev/zero: larger than 1 MiB, which no profile is");
    // A file of exactly 1 MiB is read; one byte more is not.
    char path[] = "/tmp/adc-profile-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    std::string text = "[AD0]\nunit = \"V\"\n";
    text += std::string(1024 * 1024 - text.size() - 1, '#') + "\n";
    ASSERT_EQ(::write(fd, text.data(), text.size()), ssize_t(text.size()));
    EXPECT_TRUE(readProfile(path).profile) << readProfile(path).error;
    ASSERT_EQ(::write(fd, "\n", 1), 1);
    EXPECT_EQ(readProfile(path).error,
              std::string(path) + ": larger than 1 MiB, which no profile is");
    ::close(fd);
    std::remove(path);
}

} // namespace
} // namespace adc
