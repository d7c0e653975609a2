#include "pty_pair.h"
#include "reception.h"
#include "recording_window.h"

#include <gtest/gtest.h>
#include <string>

namespace adc {
namespace {

using test::frame;
using test::RecordingWindow;

const std::string kZeros = frame("000", "000", "000", "000", "000", "000", "000", "000");
const std::string kMixed = frame("001", "7FF", "FFF", "800", "0A3", "123", "456", "ABC");

class ReceptionTest : public ::testing::Test
{
protected:
    void SetUp() override { resetStatistics(state, window); }

    std::string values() const
    {
        std::string s;
        for (int k = 0; k < kChannelCount; ++k)
            s += window.text(valueBox(k)) + (k + 1 < kChannelCount ? " " : "");
        return s;
    }

    MonitorState state;
    RecordingWindow window;
    Reception reception{state, window};
};

TEST_F(ReceptionTest, DropsNoiseBeforeStxAndDecodesTheFrame)
{
    window.calls.clear();
    reception.feed("xyz" + kZeros);
    EXPECT_EQ(state.frameCount, 1);
    EXPECT_EQ(window.text(kCountBox), "1");
    EXPECT_EQ(values(), "000 000 000 000 000 000 000 000");
    EXPECT_EQ(window.lamp, kLampComplete);
    // The lamp turns yellow and the count shows before any box of the frame is written.
    ASSERT_GE(window.calls.size(), 3u);
    EXPECT_EQ(window.calls[0], (RecordingWindow::Call{0, "", kLampReceiving}));
    EXPECT_EQ(window.calls[1].box, kCountBox);
    EXPECT_EQ(window.calls[2], (RecordingWindow::Call{0, "", kLampComplete}));
    EXPECT_FALSE(reception.inFrame());
}

TEST_F(ReceptionTest, BackToBackFramesAndSilenceAfterStx)
{
    reception.feed(kZeros + kMixed);
    EXPECT_EQ(state.frameCount, 2);
    EXPECT_EQ(values(), "001 7FF FFF 800 0A3 123 456 ABC");
    EXPECT_EQ(window.text(minBox(0)), "0");
    EXPECT_EQ(window.text(maxBox(2)), "FFF");

    reception.feed("\x02");
    EXPECT_EQ(state.frameCount, 3);
    EXPECT_EQ(window.text(kCountBox), "3");
    EXPECT_EQ(window.lamp, kLampReceiving);
    EXPECT_EQ(values(), "001 7FF FFF 800 0A3 123 456 ABC") << "nothing decoded without a CR";
}

TEST_F(ReceptionTest, SecondStxAndNulAreFrameCharacters)
{
    // The second STX is collected as a character, shifting every field by one.
    reception.feed("\x02"
                   "0\x02"
                   "12 456 789 ABC DEF 012 345 678\r");
    EXPECT_EQ(state.frameCount, 1);
    EXPECT_EQ(window.text(valueBox(0)), std::string("0\x02"
                                                    "1",
                                                    3));
    EXPECT_EQ(window.text(valueBox(1)), " 45");

    // NUL outside a frame is dropped; inside it is a character like any other.
    reception.feed(std::string("\0\0", 2) +
                   "\x02"
                   "0" +
                   std::string("\0", 1) + "1\r");
    EXPECT_EQ(state.frameCount, 2);
    EXPECT_EQ(window.text(valueBox(0)), std::string("0\0"
                                                    "1",
                                                    3));
}

TEST_F(ReceptionTest, ResetBetweenCharactersOfAFrame)
{
    reception.feed(kMixed);
    reception.feed(kZeros.substr(0, 10));
    EXPECT_EQ(state.frameCount, 2);
    selectDisplayMode(state, window, DisplayMode::Dec);
    EXPECT_EQ(window.text(kCountBox), "0");
    reception.feed(kZeros.substr(10));
    // The frame is still decoded, in the new mode, against the fresh ranges.
    EXPECT_EQ(state.frameCount, 0);
    EXPECT_EQ(values(), "0 0 0 0 0 0 0 0");
    EXPECT_EQ(window.text(maxBox(3)), "0");
    EXPECT_EQ(window.text(minBox(3)), "0");
    EXPECT_EQ(state.min[7], 0);
}

TEST(ReceptionSplit, EverySplitMatchesWholeAndBytewiseFeeding)
{
    const std::string stream = "junk" + kMixed +
                               "\x02"
                               "0" +
                               std::string("\0", 1) + "F 1\r" + kZeros +
                               "\x02"
                               "FFF FFF";
    MonitorState wholeState;
    RecordingWindow whole;
    Reception(wholeState, whole).feed(stream);

    MonitorState byteState;
    RecordingWindow bytewise;
    Reception byByte(byteState, bytewise);
    for (char c : stream)
        byByte.feed(std::string_view(&c, 1));
    EXPECT_EQ(bytewise.calls, whole.calls);

    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        MonitorState s;
        RecordingWindow w;
        Reception r(s, w);
        r.feed(std::string_view(stream).substr(0, cut));
        r.feed(std::string_view(stream).substr(cut));
        ASSERT_EQ(w.calls, whole.calls) << "split at " << cut;
        ASSERT_EQ(s.frameCount, wholeState.frameCount);
        ASSERT_EQ(s.min, wholeState.min);
        ASSERT_EQ(s.max, wholeState.max);
    }
}

TEST(ReceptionVolume, TenThousandFramesInOneBatchLoseNothing)
{
    std::string stream;
    for (int i = 0; i < 10000; ++i) {
        char field[4];
        std::snprintf(field, sizeof field, "%03X", i % 4096);
        stream += frame(field, "000", "000", "000", "000", "000", "000", field);
    }
    MonitorState state;
    RecordingWindow window;
    Reception(state, window).feed(stream);
    EXPECT_EQ(state.frameCount, 10000);
    EXPECT_EQ(window.text(kCountBox), "10000");
    EXPECT_EQ(window.text(valueBox(0)), "70F"); // 9999 % 4096 = 0x70F
    EXPECT_EQ(state.max[0], 4095);
    EXPECT_EQ(state.min[7], 0);
}

TEST(ReceptionVolume, EndlessFrameKeepsOnlyWhatDecodingReads)
{
    MonitorState state;
    RecordingWindow window;
    Reception reception(state, window);
    reception.feed("\x02"
                   "123 456 789 ABC DEF 012 345 678 ");
    const std::string chunk(1 << 20, 'A');
    for (int i = 0; i < 100; ++i) // 100 MB with no CR
        reception.feed(chunk);
    EXPECT_TRUE(reception.inFrame());
    EXPECT_EQ(reception.frameText().size(), static_cast<std::size_t>(kFramePayloadLength));
    reception.feed("\r");
    EXPECT_EQ(window.text(valueBox(7)), "678");
    EXPECT_EQ(state.frameCount, 1);
}

} // namespace
} // namespace adc
