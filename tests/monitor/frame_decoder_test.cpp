#include "frame_decoder.h"
#include "recording_window.h"

#include <gtest/gtest.h>
#include <string>

namespace adc {
namespace {

const std::string kExampleFrame = "000 800 FFF 001 7FF 0A3 fff 123\r";

class FrameDecoderTest : public ::testing::Test
{
protected:
    void resetIn(DisplayMode mode) { selectDisplayMode(state, window, mode); }

    /// The texts of one column of boxes, each followed by '|'.
    std::string column(int (*role)(int)) const
    {
        std::string s;
        for (int k = 0; k < kChannelCount; ++k)
            s += window.text(role(k)) + '|';
        return s;
    }

    MonitorState state;
    test::RecordingWindow window;
};

TEST_F(FrameDecoderTest, FramesInBothModes)
{
    struct Row
    {
        std::string frame;
        DisplayMode mode;
        const char* values;
        const char* mins;
        const char* maxes;
    };
    const Row rows[] = {
        // 4095 is not below the reset min, nor 0 above the reset max: those boxes keep theirs.
        {kExampleFrame, DisplayMode::Hex, "000|800|FFF|001|7FF|0A3|fff|123|",
         "0|800|FFF|1|7FF|A3|FFF|123|", "0|800|FFF|1|7FF|A3|FFF|123|"},
        {kExampleFrame, DisplayMode::Dec, "0|2048|4095|1|2047|163|4095|291|",
         "0|2048|4095|1|2047|163|4095|291|", "0|2048|4095|1|2047|163|4095|291|"},
        // CR alone: field 0 holds the CR, the rest are empty; every reading is 0.
        {"\r", DisplayMode::Dec, "0|0|0|0|0|0|0|0|", "0|0|0|0|0|0|0|0|", "0|0|0|0|0|0|0|0|"},
        {"\r", DisplayMode::Hex, "\r||||||||", "0|0|0|0|0|0|0|0|", "0|0|0|0|0|0|0|0|"},
        // A short frame: the CR falls into field 1, the later fields are empty.
        {"0A3 5\r", DisplayMode::Hex, "0A3|5\r|||||||", "A3|5|0|0|0|0|0|0|", "A3|5|0|0|0|0|0|0|"},
        // Separators are never examined.
        {"001,002;003x004\t005|006-007\0010FF\r", DisplayMode::Dec, "1|2|3|4|5|6|7|255|",
         "1|2|3|4|5|6|7|255|", "1|2|3|4|5|6|7|255|"},
        // Padding and garbage: " 5F" is 95, "12x" is 18, "zzz" has no digits and reads 0.
        {" 5F 12x zzz abc ABC 0a3 \t1  FFF\r", DisplayMode::Hex,
         " 5F|12x|zzz|abc|ABC|0a3|\t1 |FFF|", "5F|12|0|ABC|ABC|A3|1|FFF|",
         "5F|12|0|ABC|ABC|A3|1|FFF|"},
        {" 5F 12x zzz abc ABC 0a3 \t1  FFF\r", DisplayMode::Dec, "95|18|0|2748|2748|163|1|4095|",
         "95|18|0|2748|2748|163|1|4095|", "95|18|0|2748|2748|163|1|4095|"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::PrintToString(r.frame));
        state = {};
        window = {};
        resetIn(r.mode);
        decodeFrame(r.frame, state, window);
        EXPECT_EQ(column(valueBox), r.values);
        EXPECT_EQ(column(minBox), r.mins);
        EXPECT_EQ(column(maxBox), r.maxes);
    }
}

TEST_F(FrameDecoderTest, OnlyChangedBoundsAreRewritten)
{
    resetIn(DisplayMode::Hex);
    decodeFrame(kExampleFrame, state, window);
    // What the operator types over a box stays until that box is written again, and changes
    // nothing the next frame compares against.
    for (int k = 0; k < kChannelCount; ++k) {
        window.setBoxText(minBox(k), "typed");
        window.setBoxText(maxBox(k), "typed");
    }
    decodeFrame(kExampleFrame, state, window);
    EXPECT_EQ(column(minBox), "typed|typed|typed|typed|typed|typed|typed|typed|");
    EXPECT_EQ(column(maxBox), "typed|typed|typed|typed|typed|typed|typed|typed|");

    decodeFrame("000 7FE 800 001 7FF 0A3 fff 124\r", state, window);
    EXPECT_EQ(column(minBox), "typed|7FE|800|typed|typed|typed|typed|typed|");
    EXPECT_EQ(column(maxBox), "typed|typed|typed|typed|typed|typed|typed|124|");
    EXPECT_EQ(state.range(1).max, 0x800);
}

TEST_F(FrameDecoderTest, ShownValuesKeepTheirFormatUntilTheNextFrame)
{
    resetIn(DisplayMode::Hex);
    decodeFrame(kExampleFrame, state, window);
    resetIn(DisplayMode::Dec);
    EXPECT_EQ(window.text(valueBox(5)), "0A3");
    decodeFrame(kExampleFrame, state, window);
    EXPECT_EQ(window.text(valueBox(5)), "163");
    EXPECT_EQ(window.text(minBox(5)), "163");
}

} // namespace
} // namespace adc
