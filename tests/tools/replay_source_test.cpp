#include "monitor/frame_format.h"
#include "tools/adc_sim/readings.h"
#include "tools/adc_sim/replay_source.h"
#include "tools/adc_sim/stop_signals.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <numeric>
#include <string>
#include <unistd.h>
#include <vector>

namespace adc::sim {
namespace {

const std::string kHeader = "time,elapsed_s,frame,AD0,AD1,AD2,AD3,AD4,AD5,AD6,AD7";
const std::string kFrame = formatFrame({0, 1, 2, 3, 4, 5, 6, kFullScale});

std::vector<std::string> chunksOf(const ReplaySource& source)
{
    std::vector<std::string> chunks;
    for (std::string_view rest = source.bytes(); !rest.empty();
         rest.remove_prefix(chunks.back().size()))
        chunks.emplace_back(rest.substr(0, chunkLength(rest)));
    return chunks;
}

TEST(ReplaySourceTest, CutsACaptureAfterEachCrKeepingEveryByte)
{
    const std::vector<std::vector<std::string>> captures = {
        {},
        {"\r", "\r"},
        {"tail"},
        {"7 FFF\r", kFrame, "\xff\n" + kFrame, kFrame.substr(0, 3)},
        {std::string("\0\r", 2), "\n"},
        // Neither is a recording: the first line must hold the header's columns, whole.
        {kHeader + "X\r", "\n"},
        {"\xEF\xBB\xBFt,0,1\r", "\n"},
    };
    for (const auto& chunks : captures) {
        const std::string bytes = std::accumulate(chunks.begin(), chunks.end(), std::string());
        std::string error;
        const auto source = ReplaySource::fromContents(bytes, "c", error);
        ASSERT_TRUE(source) << error;
        EXPECT_FALSE(source->isRecording());
        EXPECT_EQ(chunksOf(*source), chunks);
        EXPECT_EQ(source->chunkCount(), chunks.size()) << bytes;
    }
}

TEST(ReplaySourceTest, TurnsEachRowOfARecordingIntoAFrameDueAtItsTime)
{
    const std::string text = "\xEF\xBB\xBF" + kHeader +
                             "\r\n"
                             "2026-12-08T14:03:07.125+01:00,12.345,17,0,4095,2048,1,2,3,4,5\r\n"
                             "\"14:03,\"\"7\"\"\",12.345,18,1,1,1,1,1,1,1,1\n"
                             "x,13.4,19,0007,0,0,0,0,0,0,4095";
    std::string error;
    const auto source = ReplaySource::fromContents(text, "r.csv", error);
    ASSERT_TRUE(source) << error;
    EXPECT_TRUE(source->isRecording());
    EXPECT_EQ(source->bytes(), formatFrame({0, 4095, 2048, 1, 2, 3, 4, 5}) +
                                   formatFrame({1, 1, 1, 1, 1, 1, 1, 1}) +
                                   formatFrame({7, 0, 0, 0, 0, 0, 0, 4095}));
    ASSERT_EQ(source->chunkCount(), 3u);
    EXPECT_EQ(source->dueNs(0), 0);
    EXPECT_EQ(source->dueNs(1), 0);
    EXPECT_EQ(source->dueNs(2), 1'055'000'000) << "times count from the first row";

    for (const std::string& empty : {kHeader, kHeader + "\n"}) {
        const auto none = ReplaySource::fromContents(empty, "r.csv", error);
        ASSERT_TRUE(none && none->isRecording());
        EXPECT_EQ(none->chunkCount(), 0u);
    }

    // The values a profile adds after AD7 are left unread; every row has them.
    const std::string profiled = kHeader + ",Battery [V],\"Chamber, inner [°C]\"\r\n";
    const auto values = ReplaySource::fromContents(
        profiled + "t,0.5,1,1,2,3,4,5,6,7,8,0.00,12.5\r\n", "r.csv", error);
    ASSERT_TRUE(values && values->isRecording()) << error;
    EXPECT_EQ(values->bytes(), formatFrame({1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_FALSE(
        ReplaySource::fromContents(profiled + "t,0.5,1,1,2,3,4,5,6,7,8\r\n", "r.csv", error));
    EXPECT_EQ(error, "r.csv:2: 11 fields where a row has 13");
}

TEST(ReplaySourceTest, RefusesAMalformedRecordingNamingTheLine)
{
    const std::string row = "t,1.000,1,0,0,0,0,0,0,0,0\r\n";
    const std::pair<std::string, std::string> cases[] = {
        {"t,1.000,1,0,0,0,0,0,0,0\r\n", "2: 10 fields where a row has 11"},
        {row + "\r\n" + row, "3: 1 fields where a row has 11"},
        {row + "t,1.000,1,0,0,0,0,0,0,0,4096", "3: AD7 '4096' is not a reading from 0 to 4095"},
        {"t,1,1,-1,0,0,0,0,0,0,0\n", "2: AD0 '-1' is not a reading from 0 to 4095"},
        {"t,1,1,0, 5,0,0,0,0,0,0\n", "2: AD1 ' 5' is not a reading from 0 to 4095"},
        {"t,1.5x,1,0,0,0,0,0,0,0,0\n", "2: elapsed_s '1.5x' is not a number of seconds"},
        {"t,-1,1,0,0,0,0,0,0,0,0\n", "2: elapsed_s '-1' is not a number of seconds"},
        {"t,99999999999,1,0,0,0,0,0,0,0,0\n",
         "2: elapsed_s '99999999999' is not a number of seconds"},
        {"t," + std::string(40, '9') + "x,1,0,0,0,0,0,0,0,0\n",
         "2: elapsed_s '" + std::string(32, '9') + "...' is not a number of seconds"},
        {row + "t,0.999,2,0,0,0,0,0,0,0,0\r\n",
         "3: elapsed_s '0.999' is earlier than the row before"},
        {"\"t,1,1,0,0,0,0,0,0,0,0\r\n", "2: a quoted field is not closed properly"},
        {"\"a\r\nb\",1,1,0,0,0,0,0,0,0,0\r\n" + row + "t,1,1,0,0,0,0,0,0,0,x",
         "5: AD7 'x' is not a reading from 0 to 4095"},
    };
    for (const auto& [rows, expected] : cases) {
        std::string error;
        EXPECT_FALSE(ReplaySource::fromContents(kHeader + "\r\n" + rows, "r.csv", error));
        EXPECT_EQ(error, "r.csv:" + expected);
    }
}

// A file is read whole, up to its limit: a larger one is refused before it fills the memory.
TEST(ReplaySourceTest, LoadsAFileAndRefusesOneBeyondItsLimit)
{
    char path[] = "/tmp/adc-replay-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    const std::string capture = kFrame + kFrame;
    ASSERT_EQ(::write(fd, capture.data(), capture.size()), ssize_t(capture.size()));
    const StopSignals stop;
    std::string error;
    const auto source = ReplaySource::load(path, stop, error);
    ASSERT_TRUE(source) << error;
    EXPECT_EQ(source->bytes(), capture);

    // Sparse: no disk space taken.
    ASSERT_EQ(::ftruncate(fd, off_t(kMaxReplayBytes) + 1), 0);
    ::close(fd);
    EXPECT_FALSE(ReplaySource::load(path, stop, error));
    EXPECT_EQ(error,
              std::string("cannot read ") + path + ": larger than the 1 GiB a replay may have");
    std::remove(path);
}

} // namespace
} // namespace adc::sim
