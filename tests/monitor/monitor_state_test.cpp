#include "monitor_state.h"
#include "recording_window.h"

#include <gtest/gtest.h>

namespace adc {
namespace {

// RESET keeps the mode, HEX and DEC choose theirs; every one restarts ranges and count, also
// when the mode was already the one chosen, and leaves the value boxes and the lamp alone.
TEST(Reset, EveryButtonRestartsTheStatisticsInItsMode)
{
    enum class Press
    {
        Reset,
        Hex,
        Dec
    };
    struct Row
    {
        DisplayMode before;
        Press press;
        const char* minText;
    };
    const Row rows[] = {
        {DisplayMode::Hex, Press::Reset, "FFF"}, {DisplayMode::Dec, Press::Reset, "4095"},
        {DisplayMode::Hex, Press::Dec, "4095"},  {DisplayMode::Dec, Press::Dec, "4095"},
        {DisplayMode::Hex, Press::Hex, "FFF"},   {DisplayMode::Dec, Press::Hex, "FFF"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(static_cast<int>(&r - rows));
        MonitorState state;
        state.displayMode = r.before;
        state.frameCount = 41;
        state.min.fill(7);
        state.max.fill(9);
        test::RecordingWindow window;
        window.setBoxText(valueBox(3), "ABC");
        window.setLampColour(kLampComplete);
        if (r.press == Press::Reset)
            resetStatistics(state, window);
        else
            selectDisplayMode(state, window,
                              r.press == Press::Hex ? DisplayMode::Hex : DisplayMode::Dec);

        EXPECT_EQ(state.frameCount, 0);
        EXPECT_EQ(window.text(kCountBox), "0");
        EXPECT_EQ(window.text(valueBox(3)), "ABC");
        EXPECT_EQ(window.lamp, kLampComplete);
        for (int k = 0; k < kChannelCount; ++k) {
            EXPECT_EQ(state.range(k).min, kReadingMax);
            EXPECT_EQ(state.range(k).max, 0);
            EXPECT_EQ(window.text(minBox(k)), r.minText);
            EXPECT_EQ(window.text(maxBox(k)), "0");
        }
    }
}

} // namespace
} // namespace adc
