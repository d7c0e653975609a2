#include "monitor_state.h"
#include "recording_window.h"

#include <gtest/gtest.h>

namespace adc {
namespace {

using test::RecordingWindow;

std::vector<int> boxRange(int first, int count)
{
    std::vector<int> out;
    for (int i = 0; i < count; ++i)
        out.push_back(first + i);
    return out;
}

TEST(Reset, HexModeWritesMaxThenDecimalMinThenCountThenHexMin)
{
    MonitorState state;
    RecordingWindow window;
    resetStatistics(state, window);

    std::vector<int> expected = boxRange(9, 8);
    for (int b : boxRange(17, 8))
        expected.push_back(b);
    expected.push_back(kCountBox);
    for (int b : boxRange(17, 8))
        expected.push_back(b);
    EXPECT_EQ(window.boxesWritten(), expected);

    for (int k = 0; k < kChannelCount; ++k) {
        EXPECT_EQ(window.text(maxBox(k)), "0");
        EXPECT_EQ(window.text(minBox(k)), "FFF");
        EXPECT_EQ(state.range(k).min, 4095);
        EXPECT_EQ(state.range(k).max, 0);
        EXPECT_EQ(window.writesTo(valueBox(k)), 0) << "reset must not touch value boxes";
    }
    // The min boxes pass through the decimal text before they are rewritten.
    EXPECT_EQ(window.calls[8].text, "4095");
    EXPECT_EQ(window.text(kCountBox), "0");
    EXPECT_EQ(window.lamp, kLampBlack);
    EXPECT_EQ(window.writesTo(0), 0) << "reset must not touch the lamp";
}

TEST(Reset, ModeButtonsAlwaysResetAndPickTheMinText)
{
    struct Row
    {
        DisplayMode before;
        DisplayMode chosen;
        const char* minText;
    };
    const Row rows[] = {
        {DisplayMode::Hex, DisplayMode::Dec, "4095"},
        {DisplayMode::Dec, DisplayMode::Dec, "4095"},
        {DisplayMode::Hex, DisplayMode::Hex, "FFF"},
        {DisplayMode::Dec, DisplayMode::Hex, "FFF"},
        // Any non-zero mode counts as decimal.
        {DisplayMode::Hex, static_cast<DisplayMode>(-3), "4095"},
    };
    for (const Row& r : rows) {
        MonitorState state;
        state.displayMode = r.before;
        state.frameCount = 41;
        state.min.fill(7);
        state.max.fill(9);
        RecordingWindow window;
        window.setBoxText(valueBox(3), "ABC");
        selectDisplayMode(state, window, r.chosen);

        EXPECT_EQ(state.displayMode, r.chosen);
        EXPECT_EQ(state.frameCount, 0);
        EXPECT_EQ(window.text(kCountBox), "0");
        EXPECT_EQ(window.text(valueBox(3)), "ABC");
        for (int k = 0; k < kChannelCount; ++k) {
            EXPECT_EQ(state.min[k], 4095);
            EXPECT_EQ(state.max[k], 0);
            EXPECT_EQ(window.text(minBox(k)), r.minText);
            EXPECT_EQ(window.text(maxBox(k)), "0");
        }
    }
}

} // namespace
} // namespace adc
