#include "frame_decoder.h"
#include "recording_window.h"

#include <array>
#include <gtest/gtest.h>
#include <string>

namespace adc {
namespace {

using test::RecordingWindow;
using Texts = std::array<std::string, kChannelCount>;

const std::string kExampleFrame = "000 800 FFF 001 7FF 0A3 fff 123\r";

struct Decoded
{
    Texts values, mins, maxes;
};

class FrameDecoderTest : public ::testing::Test
{
protected:
    void resetIn(DisplayMode mode)
    {
        selectDisplayMode(state, window, mode);
        window.calls.clear();
    }
    Decoded decode(std::string_view frame)
    {
        decodeFrame(frame, state, window);
        Decoded d;
        for (int k = 0; k < kChannelCount; ++k) {
            d.values[k] = window.text(valueBox(k));
            d.mins[k] = window.text(minBox(k));
            d.maxes[k] = window.text(maxBox(k));
        }
        return d;
    }

    MonitorState state;
    RecordingWindow window;
};

TEST_F(FrameDecoderTest, ExampleFrameInHex)
{
    resetIn(DisplayMode::Hex);
    const Decoded d = decode(kExampleFrame);
    EXPECT_EQ(d.values, (Texts{"000", "800", "FFF", "001", "7FF", "0A3", "fff", "123"}));
    EXPECT_EQ(d.mins, (Texts{"0", "800", "FFF", "1", "7FF", "A3", "FFF", "123"}));
    EXPECT_EQ(d.maxes, (Texts{"0", "800", "FFF", "1", "7FF", "A3", "FFF", "123"}));
    // 4095 is not below 4095 and 0 is not above 0: those boxes keep their reset text unwritten.
    EXPECT_EQ(window.writesTo(minBox(2)), 0);
    EXPECT_EQ(window.writesTo(minBox(6)), 0);
    EXPECT_EQ(window.writesTo(maxBox(0)), 0);
    EXPECT_EQ(state.min, (std::array<std::int32_t, 8>{0, 2048, 4095, 1, 2047, 163, 4095, 291}));
    EXPECT_EQ(state.max, (std::array<std::int32_t, 8>{0, 2048, 4095, 1, 2047, 163, 4095, 291}));
}

TEST_F(FrameDecoderTest, ExampleFrameInDec)
{
    resetIn(DisplayMode::Dec);
    const Decoded d = decode(kExampleFrame);
    EXPECT_EQ(d.values, (Texts{"0", "2048", "4095", "1", "2047", "163", "4095", "291"}));
    EXPECT_EQ(d.mins, (Texts{"0", "2048", "4095", "1", "2047", "163", "4095", "291"}));
    EXPECT_EQ(d.maxes, (Texts{"0", "2048", "4095", "1", "2047", "163", "4095", "291"}));
    EXPECT_EQ(window.writesTo(minBox(2)), 0);
    EXPECT_EQ(window.writesTo(minBox(6)), 0);
    EXPECT_EQ(window.writesTo(maxBox(0)), 0);
}

TEST_F(FrameDecoderTest, ChannelsAreWrittenInOrderValueMinMax)
{
    resetIn(DisplayMode::Dec);
    decode("001 002\r");
    const std::vector<int> written = window.boxesWritten();
    const std::vector<int> firstTwo(written.begin(), written.begin() + 6);
    EXPECT_EQ(firstTwo, (std::vector<int>{valueBox(0), minBox(0), maxBox(0), valueBox(1), minBox(1),
                                          maxBox(1)}));
}

TEST_F(FrameDecoderTest, ShortAndOddFrames)
{
    struct Row
    {
        std::string frame;
        DisplayMode mode;
        const char* values; // the eight texts, each followed by '|'
        const char* mins;
    };
    const Row rows[] = {
        // CR alone: field 0 holds the CR, the rest are empty; every reading is 0.
        {"\r", DisplayMode::Dec, "0|0|0|0|0|0|0|0|", "0|0|0|0|0|0|0|0|"},
        {"\r", DisplayMode::Hex, "\r||||||||", "0|0|0|0|0|0|0|0|"},
        // A short frame: the CR falls into field 1, the later fields are empty.
        {"0A3 5\r", DisplayMode::Hex, "0A3|5\r|||||||", "A3|5|0|0|0|0|0|0|"},
        // Commas and other separators are never examined.
        {"001,002;003x004\t005|006-007\0010FF\r", DisplayMode::Dec, "1|2|3|4|5|6|7|255|",
         "1|2|3|4|5|6|7|255|"},
        // Padding and garbage: " 5F" is 95, "12x" is 18, "zzz" has no digits and reads 0.
        {" 5F 12x zzz abc ABC 0a3 \t1  FFF\r", DisplayMode::Hex,
         " 5F|12x|zzz|abc|ABC|0a3|\t1 |FFF|", "5F|12|0|ABC|ABC|A3|1|FFF|"},
        {" 5F 12x zzz abc ABC 0a3 \t1  FFF\r", DisplayMode::Dec, "95|18|0|2748|2748|163|1|4095|",
         "95|18|0|2748|2748|163|1|4095|"},
    };
    const auto joined = [](const Texts& texts) {
        std::string s;
        for (const std::string& t : texts)
            s += t + '|';
        return s;
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::PrintToString(r.frame));
        state = {};
        window = {};
        resetIn(r.mode);
        const Decoded d = decode(r.frame);
        EXPECT_EQ(joined(d.values), r.values);
        EXPECT_EQ(joined(d.mins), r.mins);
    }
}

TEST_F(FrameDecoderTest, OnlyChangedBoundsAreRewritten)
{
    resetIn(DisplayMode::Hex);
    decode(kExampleFrame);
    // The operator types over a min box; an unchanged min must not overwrite it.
    window.setBoxText(minBox(1), "typed");
    window.calls.clear();

    decode(kExampleFrame);
    std::vector<int> values;
    for (int k = 0; k < kChannelCount; ++k)
        values.push_back(valueBox(k));
    EXPECT_EQ(window.boxesWritten(), values);
    EXPECT_EQ(window.text(minBox(1)), "typed");
    EXPECT_EQ(state.min[1], 0x800) << "typing changes nothing the next frame compares against";

    // A lower reading on channel 1 rewrites its min box only.
    window.calls.clear();
    decode("000 7FE FFF 001 7FF 0A3 fff 123\r");
    EXPECT_EQ(window.text(minBox(1)), "7FE");
    EXPECT_EQ(window.writesTo(maxBox(1)), 0);
    EXPECT_EQ(window.boxesWritten().size(), 9u);
}

TEST_F(FrameDecoderTest, ValuesAreNotReformattedOnModeChangeButNextFrameIs)
{
    resetIn(DisplayMode::Hex);
    decode(kExampleFrame);
    resetIn(DisplayMode::Dec);
    EXPECT_EQ(window.text(valueBox(5)), "0A3");
    decode(kExampleFrame);
    EXPECT_EQ(window.text(valueBox(5)), "163");
    EXPECT_EQ(window.text(minBox(5)), "163");
}

TEST(FieldText, PositionsAndShortFrames)
{
    EXPECT_EQ(fieldText(kExampleFrame, 0), "000");
    EXPECT_EQ(fieldText(kExampleFrame, 7), "123");
    EXPECT_EQ(fieldText("000 8", 1), "8");
    EXPECT_EQ(fieldText("000 ", 1), "");
    EXPECT_EQ(fieldText("", 0), "");
}

} // namespace
} // namespace adc
