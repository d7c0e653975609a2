#include "monitor/frame_decoder.h"
#include "monitor/pending_display.h"
#include "tests/support/recording_window.h"

#include <gtest/gtest.h>

namespace adc {
namespace {

using test::RecordingWindow;

void flushInto(PendingDisplay& pending, RecordingWindow& window)
{
    pending.flush([&](int box, std::string_view text) { window.setBoxText(box, text); },
                  [&](Colour colour) { window.setLampColour(colour); });
}

TEST(PendingDisplay, ShowsWhatDirectWritesWouldShowOncePerFlush)
{
    MonitorState direct, coalesced;
    RecordingWindow directWindow, shown;
    PendingDisplay pending;
    resetStatistics(direct, directWindow);
    resetStatistics(coalesced, pending);
    for (const char* frame : {"001 002 003 004 005 006 007 008\r",
                              "FFF 000 7FF 800 123 456 789 ABC\r", "010 020 030 040 050 060\r"}) {
        decodeFrame(frame, direct, directWindow);
        decodeFrame(frame, coalesced, pending);
        directWindow.setLampColour(kLampComplete);
        pending.setLampColour(kLampComplete);
    }
    flushInto(pending, shown);
    EXPECT_EQ(shown.boxes, directWindow.boxes);
    EXPECT_EQ(shown.lamp, kLampComplete);
    EXPECT_EQ(shown.calls.size(), kBoxCount + 1u) << "each box and the lamp once";

    // Only what was written since the last flush is applied; a box written again with the same
    // text is applied again, so that text typed over it is replaced.
    shown.calls.clear();
    flushInto(pending, shown);
    EXPECT_TRUE(shown.calls.empty());
    pending.setBoxText(valueBox(2), shown.text(valueBox(2)));
    flushInto(pending, shown);
    EXPECT_EQ(shown.calls,
              (std::vector<RecordingWindow::Call>{{valueBox(2), shown.text(valueBox(2)), 0}}));
    EXPECT_THROW(pending.setBoxText(kBoxCount + 1, "x"), std::out_of_range);
    EXPECT_THROW(pending.setBoxText(0, "x"), std::out_of_range);
}

} // namespace
} // namespace adc
