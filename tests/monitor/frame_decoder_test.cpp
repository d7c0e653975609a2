#include "monitor/frame_decoder.h"
#include "tests/support/recording_window.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <tuple>

namespace adc {
namespace {

const std::string kExampleFrame = "000 800 FFF 001 7FF 0A3 fff 123\r";

class FrameDecoderTest : public ::testing::Test
{
protected:
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

// After a reset one frame sets every bound to its reading (4095 and 0 keep the reset's texts,
// which are the same), so min and max show the readings in the mode's format.
TEST_F(FrameDecoderTest, FramesInBothModes)
{
    // Frame, value boxes in Hex mode (the fields as received), readings in hex and in decimal,
    // and what the consumers get: only fields of three hex digits are readings to them ("-").
    const std::tuple<std::string, const char*, const char*, const char*, const char*> rows[] = {
        {kExampleFrame, "000|800|FFF|001|7FF|0A3|fff|123|", "0|800|FFF|1|7FF|A3|FFF|123|",
         "0|2048|4095|1|2047|163|4095|291|", "0|2048|4095|1|2047|163|4095|291|"},
        // CR alone: field 0 holds the CR, the rest are empty; every reading is 0.
        {"\r", "\r||||||||", "0|0|0|0|0|0|0|0|", "0|0|0|0|0|0|0|0|", "-|-|-|-|-|-|-|-|"},
        // A short frame: the CR falls into field 1, the later fields are empty.
        {"0A3 5\r", "0A3|5\r|||||||", "A3|5|0|0|0|0|0|0|", "163|5|0|0|0|0|0|0|",
         "163|-|-|-|-|-|-|-|"},
        // Separators are never examined.
        {"001,002;003x004\t005|006-007\0010FF\r", "001|002|003|004|005|006|007|0FF|",
         "1|2|3|4|5|6|7|FF|", "1|2|3|4|5|6|7|255|", "1|2|3|4|5|6|7|255|"},
        // Padding and garbage: " 5F" is 95, "12x" is 18, "zzz" has no digits and reads 0.
        {" 5F 12x zzz abc ABC 0a3 \t1  FFF\r", " 5F|12x|zzz|abc|ABC|0a3|\t1 |FFF|",
         "5F|12|0|ABC|ABC|A3|1|FFF|", "95|18|0|2748|2748|163|1|4095|",
         "-|-|-|2748|2748|163|-|4095|"},
    };
    struct : ReadingsObserver
    {
        std::string got;
        void frameDecoded(const FrameReadings& readings, std::int64_t) override
        {
            got.clear();
            for (const std::int32_t r : readings)
                got += (r == kNoReading ? "-" : std::to_string(r)) + '|';
        }
    } observer;
    for (const auto& [frame, hexValues, hexReadings, decReadings, observed] : rows) {
        for (const DisplayMode mode : {DisplayMode::Hex, DisplayMode::Dec}) {
            const bool hex = mode == DisplayMode::Hex;
            SCOPED_TRACE(testing::PrintToString(frame) + (hex ? " hex" : " dec"));
            const char* readings = hex ? hexReadings : decReadings;
            state = {};
            window = {};
            selectDisplayMode(state, window, mode);
            decodeFrame(frame, state, window, &observer);
            EXPECT_EQ(observer.got, observed);
            EXPECT_EQ(column(valueBox), hex ? hexValues : readings);
            EXPECT_EQ(column(minBox), readings);
            EXPECT_EQ(column(maxBox), readings);
        }
    }
}

// Frames as the simulator, the benchmarks and the tests write them: the converter's text.
TEST(FrameFormat, FormattedFramesAreTheConvertersText)
{
    EXPECT_EQ(formatFrame({0x000, 0x800, 0xFFF, 0x001, 0x7FF, 0x0A3, 0xABC, 0x1123}),
              "\x02"
              "000 800 FFF 001 7FF 0A3 ABC 123\r");
}

TEST_F(FrameDecoderTest, OnlyChangedBoundsAreRewritten)
{
    selectDisplayMode(state, window, DisplayMode::Hex);
    decodeFrame(kExampleFrame, state, window);
    // What the operator types over a box stays until that box is written again, and changes
    // nothing the next frame compares against.
    for (int k = 0; k < kChannelCount; ++k) {
        window.setBoxText(minBox(k), "typed");
        window.setBoxText(maxBox(k), "typed");
    }
    decodeFrame(kExampleFrame, state, window);
    decodeFrame("000 7FE 800 001 7FF 0A3 fff 124\r", state, window);
    EXPECT_EQ(column(minBox), "typed|7FE|800|typed|typed|typed|typed|typed|");
    EXPECT_EQ(column(maxBox), "typed|typed|typed|typed|typed|typed|typed|124|");
}

} // namespace
} // namespace adc
