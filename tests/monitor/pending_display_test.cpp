#include "frame_decoder.h"
#include "pending_display.h"
#include "recording_window.h"

#include <gtest/gtest.h>

namespace adc {
namespace {

using test::RecordingWindow;

void flushInto(PendingDisplay& pending, RecordingWindow& window)
{
    pending.flush([&](int box, std::string_view text) { window.setBoxText(box, text); },
                  [&](Colour colour) { window.setLampColour(colour); });
}

TEST(PendingDisplay, ShowsWhatDirectWritesWouldShow)
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
}

TEST(PendingDisplay, AppliesOnlyWhatWasWrittenSinceTheLastFlush)
{
    PendingDisplay pending;
    RecordingWindow window;
    pending.setBoxText(valueBox(2), "A");
    flushInto(pending, window);
    window.calls.clear();
    flushInto(pending, window);
    EXPECT_TRUE(window.calls.empty());

    // Written again with the same text: applied again, so that typed text is replaced.
    pending.setBoxText(valueBox(2), "A");
    flushInto(pending, window);
    EXPECT_EQ(window.writesTo(valueBox(2)), 1);
    EXPECT_THROW(pending.setBoxText(kBoxCount + 1, "x"), std::out_of_range);
    EXPECT_THROW(pending.setBoxText(0, "x"), std::out_of_range);
}

} // namespace
} // namespace adc
