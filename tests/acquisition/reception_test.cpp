#include "acquisition/reception.h"
#include "tests/support/pty_pair.h"
#include "tests/support/recording_window.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace adc {
namespace {

using test::frame;
using test::RecordingWindow;
using namespace std::string_literals;

const std::string kZeros = frame("000 000 000 000 000 000 000 000");
const std::string kMixed = frame("001 7FF FFF 800 0A3 123 456 ABC");

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

TEST_F(ReceptionTest, FramesAreCountedAtStxAndDecodedAtCrAlsoAcrossAReset)
{
    reception.feed("xyz" + kZeros + kMixed);
    EXPECT_EQ(state.frameCount, 2);
    EXPECT_EQ(window.text(kCountBox), "2");
    EXPECT_EQ(values(), "001 7FF FFF 800 0A3 123 456 ABC");
    EXPECT_EQ(window.text(minBox(0)), "0");
    EXPECT_EQ(window.text(maxBox(2)), "FFF");
    EXPECT_EQ(window.lamp, kLampComplete);

    // Counted and yellow at its STX, nothing decoded until its CR.
    reception.feed("\x02"
                   "123 456");
    EXPECT_EQ(window.text(kCountBox), "3");
    EXPECT_EQ(window.lamp, kLampReceiving);
    EXPECT_TRUE(reception.inFrame());
    EXPECT_EQ(values(), "001 7FF FFF 800 0A3 123 456 ABC");
    reception.feed(" 789\r");
    EXPECT_EQ(values(), "123 456 789     ");
    EXPECT_EQ(window.lamp, kLampComplete);

    // A reset between characters of a frame: it is still decoded, in the new mode, against the
    // fresh ranges, and the count starts again.
    reception.feed(kZeros.substr(0, 10));
    selectDisplayMode(state, window, DisplayMode::Dec);
    EXPECT_EQ(window.text(kCountBox), "0");
    reception.feed(kZeros.substr(10));
    EXPECT_EQ(state.frameCount, 0);
    EXPECT_EQ(values(), "0 0 0 0 0 0 0 0");
    EXPECT_EQ(window.text(maxBox(3)), "0");
    EXPECT_EQ(window.text(minBox(3)), "0");
}

TEST_F(ReceptionTest, EverythingUpToTheCrBelongsToTheFrameButOnlyItsStartIsKept)
{
    // A second STX is a character of the frame and shifts every later field by one.
    reception.feed("\x02"
                   "0\x02"
                   "12 456 789 ABC DEF 012 345 678\r");
    EXPECT_EQ(state.frameCount, 1);
    EXPECT_EQ(window.text(valueBox(0)), "0\x02"
                                        "1");
    EXPECT_EQ(window.text(valueBox(1)), " 45");
    // NUL outside a frame is dropped, inside it is a character; the CR of a short frame is
    // part of its last field.
    reception.feed("\0\0\x02"
                   "0\0"
                   "1 5\r"s);
    EXPECT_EQ(state.frameCount, 2);
    EXPECT_EQ(window.text(valueBox(0)), "0\0"
                                        "1"s);
    EXPECT_EQ(window.text(valueBox(1)), "5\r");

    // A frame without its CR for 100 MB: only what decoding reads is kept.
    reception.feed("\x02"
                   "123 456 789 ABC DEF 012 345 678 ");
    const std::string chunk(1 << 20, 'A');
    for (int i = 0; i < 100; ++i)
        reception.feed(chunk);
    EXPECT_EQ(reception.frameText().size(), static_cast<std::size_t>(kFramePayloadLength));
    reception.feed("\r");
    EXPECT_EQ(window.text(valueBox(7)), "678");
    EXPECT_EQ(state.frameCount, 3);
}

// However the bytes are cut in two, the window sees the same calls as for one batch (feeding
// byte by byte and random cuts are checked by the fuzz harness).
// A frame that another STX cut short is shown like any other, but none of its readings can be
// trusted to its channel: wherever that STX stands, they reach the consumers as kNoReading,
// and the next frame is whole again.
TEST_F(ReceptionTest, AFrameCutShortByAnotherStxCarriesNoReadings)
{
    struct : ReadingsObserver
    {
        std::vector<FrameReadings> got;
        void frameDecoded(const FrameReadings& r, std::int64_t) override { got.push_back(r); }
    } observer;
    reception.addObserver(&observer);
    FrameReadings none;
    none.fill(kNoReading);
    const FrameReadings mixed = {0x001, 0x7FF, 0xFFF, 0x800, 0x0A3, 0x123, 0x456, 0xABC};
    const std::string fields = "001 7FF FFF 800 0A3 123 456 ABC";
    // In a separator, where no field sees it; after the last field; in a later batch.
    for (const std::string& cut : {"\x02" + fields.substr(0, 3) + "\x02" + fields.substr(4) + "\r",
                                   "\x02" + fields + " \x02\r"}) {
        SCOPED_TRACE(testing::PrintToString(cut));
        observer.got.clear();
        reception.feed(cut + kMixed);
        ASSERT_EQ(observer.got.size(), 2u);
        EXPECT_EQ(observer.got[0], none);
        EXPECT_EQ(observer.got[1], mixed);
    }
    EXPECT_EQ(values(), "001 7FF FFF 800 0A3 123 456 ABC");
    observer.got.clear();
    reception.feed("\x02" + fields);
    reception.feed("\x02");
    reception.feed("\r" + kMixed);
    ASSERT_EQ(observer.got.size(), 2u);
    EXPECT_EQ(observer.got[0], none);
    EXPECT_EQ(observer.got[1], mixed);
}

TEST(ReceptionSplit, EverySplitMatchesWholeFeeding)
{
    const std::string stream = "junk" + kMixed + "\x02" + "0\x02" + "F 1\0 7\r"s + kZeros +
                               "\x02"
                               "0A3 5\r\x02"
                               "FFF FFF";
    MonitorState wholeState;
    RecordingWindow whole;
    Reception(wholeState, whole).feed(stream);
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        MonitorState s;
        RecordingWindow w;
        Reception r(s, w);
        r.feed(std::string_view(stream).substr(0, cut));
        r.feed(std::string_view(stream).substr(cut));
        ASSERT_EQ(w.calls, whole.calls) << "split at " << cut;
    }
}

} // namespace
} // namespace adc
