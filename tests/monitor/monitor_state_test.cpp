#include "monitor/monitor_state.h"
#include "tests/support/recording_window.h"

#include <gtest/gtest.h>
#include <optional>
#include <tuple>

namespace adc {
namespace {

// RESET keeps the mode, HEX and DEC choose theirs; every one restarts ranges and count, also
// when the mode was already the one chosen, and leaves the value boxes and the lamp alone.
TEST(Reset, EveryButtonRestartsTheStatisticsInItsMode)
{
    // The mode before, the button (none for RESET), and the min boxes' text after.
    const std::tuple<DisplayMode, std::optional<DisplayMode>, const char*> rows[] = {
        {DisplayMode::Hex, std::nullopt, "FFF"},      {DisplayMode::Dec, std::nullopt, "4095"},
        {DisplayMode::Hex, DisplayMode::Dec, "4095"}, {DisplayMode::Dec, DisplayMode::Dec, "4095"},
        {DisplayMode::Hex, DisplayMode::Hex, "FFF"},  {DisplayMode::Dec, DisplayMode::Hex, "FFF"}};
    for (const auto& [before, press, minText] : rows) {
        SCOPED_TRACE(testing::Message() << int(before) << " " << (press ? int(*press) : -1));
        MonitorState state;
        state.displayMode = before;
        state.frameCount = 41;
        state.min.fill(7);
        state.max.fill(9);
        test::RecordingWindow window;
        window.setBoxText(valueBox(3), "ABC");
        window.setLampColour(kLampComplete);
        press ? selectDisplayMode(state, window, *press) : resetStatistics(state, window);

        EXPECT_EQ(state.frameCount, 0);
        EXPECT_EQ(window.text(kCountBox), "0");
        EXPECT_EQ(window.text(valueBox(3)), "ABC");
        EXPECT_EQ(window.lamp, kLampComplete);
        for (int k = 0; k < kChannelCount; ++k) {
            EXPECT_EQ(state.range(k).min, kReadingMax);
            EXPECT_EQ(state.range(k).max, 0);
            EXPECT_EQ(window.text(minBox(k)), minText);
            EXPECT_EQ(window.text(maxBox(k)), "0");
        }
    }
}

} // namespace
} // namespace adc
