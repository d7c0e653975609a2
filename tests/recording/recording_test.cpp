#include "recording/clock.h"
#include "recording/frame_recorder.h"
#include "recording/posix_output_file.h"
#include "recording/record_output.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <poll.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace adc {
namespace {

/// A file that takes `room` bytes, then fails with ENOSPC.
struct FakeFile : OutputFile
{
    std::size_t write(std::string_view bytes, int& error) override
    {
        const std::size_t n = std::min(bytes.size(), room - std::min(room, content.size()));
        content.append(bytes.substr(0, n));
        if (n < bytes.size())
            error = ENOSPC;
        return n;
    }
    void truncateTo(std::uint64_t written) override { content.resize(written); }
    bool startedEmpty() const override { return empty; }
    bool created() const override { return false; }

    std::string content;
    std::size_t room = SIZE_MAX;
    bool empty = true;
};

struct FakeClock : Clock
{
    std::int64_t monotonicNs() const override { return mono; }
    std::int64_t unixMs() const override { return unix; }
    int utcOffsetSeconds(std::int64_t) const override
    {
        ++offsetLookups;
        return offset;
    }

    std::int64_t mono = 5'000'000'000;
    std::int64_t unix = 1'796'738'587'125; // 2026-12-08T14:03:07.125Z
    int offset = 3600;
    mutable int offsetLookups = 0;
};

TEST(RecordOutput, CollectsUntilFlushOrAFullChunkAndAFailedWriteKeepsWholeLines)
{
    auto owned = std::make_unique<FakeFile>();
    FakeFile& file = *owned;
    RecordOutput out(std::move(owned), true);
    int pendingCalls = 0, failures = 0;
    out.setOnPending([&] { ++pendingCalls; });
    out.setOnFailed([&] { ++failures; });
    out.append("a\n");
    out.append("b\n");
    EXPECT_EQ(file.content, "");
    EXPECT_EQ(pendingCalls, 1) << "only when bytes start to wait";
    EXPECT_TRUE(out.flush());
    EXPECT_EQ(file.content, "a\nb\n");
    const std::string chunk(RecordOutput::kChunkSize, 'x');
    out.append(chunk);
    EXPECT_EQ(file.content, "a\nb\n" + chunk) << "a full chunk goes at once";
    EXPECT_FALSE(out.hasPending());

    // "row1\nrow2" fits, then the disk is full: the half row is cut back, the output ends.
    file.room = file.content.size() + 9;
    out.append("row1\nrow2\n");
    EXPECT_FALSE(out.flush());
    EXPECT_EQ(file.content, "a\nb\n" + chunk + "row1\n");
    EXPECT_EQ(out.errorNumber(), ENOSPC);
    out.append("row3\n");
    EXPECT_FALSE(out.hasPending()) << "nothing more is kept";
    EXPECT_FALSE(out.flush());
    EXPECT_EQ(file.content, "a\nb\n" + chunk + "row1\n");
    EXPECT_EQ(failures, 1);

    // Raw bytes have no lines: what was written stays.
    auto raw = std::make_unique<FakeFile>();
    FakeFile& rawFile = *raw;
    rawFile.room = 3;
    RecordOutput capture(std::move(raw), false);
    capture.append("\x02"
                   "0A");
    capture.append("3 ");
    EXPECT_FALSE(capture.flush());
    EXPECT_EQ(rawFile.content, "\x02"
                               "0A");
}

TEST(FrameRecorder, RowsCarryLocalTimeElapsedSecondsAndTheShownCount)
{
    FakeClock clock;
    auto owned = std::make_unique<FakeFile>();
    FakeFile& file = *owned;
    RecordOutput out(std::move(owned), true);
    FrameRecorder recorder(out, clock);
    // Elapsed seconds are rounded to the millisecond, also where that carries into the second.
    clock.mono += 999'600'000;
    recorder.frameDecoded({1, 2, 3, 4, 5, 6, 7, 4095}, 1);
    clock.unix += 500;
    clock.mono += 234'900'000;
    recorder.frameDecoded({0, 0, 0, 0, 0, 0, 0, 0}, 1); // after a reset the count starts again
    clock.unix += 500;
    clock.mono += 11'111'178'900;
    recorder.frameDecoded({9, 9, 9, 9, 9, 9, 9, 2048}, 2);
    out.flush();
    EXPECT_EQ(file.content, "time,elapsed_s,frame,AD0,AD1,AD2,AD3,AD4,AD5,AD6,AD7\r\n"
                            "2026-12-08T15:03:07.125+01:00,1.000,1,1,2,3,4,5,6,7,4095\r\n"
                            "2026-12-08T15:03:07.625+01:00,1.235,1,0,0,0,0,0,0,0,0\r\n"
                            "2026-12-08T15:03:08.125+01:00,12.346,2,9,9,9,9,9,9,9,2048\r\n");
    EXPECT_EQ(clock.offsetLookups, 2) << "the offset is looked up once a second";
    EXPECT_EQ(recorder.rows(), 3);

    // Added to a file with rows already: no second header.
    auto more = std::make_unique<FakeFile>();
    more->empty = false;
    FakeFile& moreFile = *more;
    RecordOutput appended(std::move(more), true);
    FrameRecorder again(appended, clock);
    again.frameDecoded({}, 7);
    appended.flush();
    EXPECT_EQ(moreFile.content.rfind("2026-12-08T15:03:08.125+01:00,0.000,7,", 0), 0u);
}

TEST(SystemClock, LocalTimeFollowsTheTimeZone)
{
    const char* saved = std::getenv("TZ");
    ::setenv("TZ", "XYZ-2", 1); // two hours ahead of UTC all year
    SystemClock clock;
    EXPECT_EQ(clock.utcOffsetSeconds(clock.unixMs()), 7200);
    saved ? ::setenv("TZ", saved, 1) : ::unsetenv("TZ");
    ::tzset();
    const std::int64_t before = clock.monotonicNs();
    EXPECT_GT(clock.monotonicNs(), before);
}

class PosixOutputFileTest : public ::testing::Test
{
protected:
    void TearDown() override { ::unlink(path.c_str()); }
    std::string contents() const
    {
        std::ifstream in(path);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    const std::string path = ::testing::TempDir() + "adc-output-" + std::to_string(::getpid());
};

TEST_F(PosixOutputFileTest, FilesNeedAModeToBeReusedDevicesAndPipesAreWrittenAsTheyAre)
{
    int error = 0;
    {
        auto file = PosixOutputFile::open(path, OpenMode::Create, error);
        ASSERT_TRUE(file);
        EXPECT_TRUE(file->startedEmpty());
        EXPECT_EQ(file->write("one\n", error), 4u);
    }
    EXPECT_FALSE(PosixOutputFile::open(path, OpenMode::Create, error));
    EXPECT_EQ(error, EEXIST);
    EXPECT_EQ(contents(), "one\n");
    {
        auto file = PosixOutputFile::open(path, OpenMode::Append, error);
        ASSERT_TRUE(file);
        EXPECT_FALSE(file->startedEmpty());
        file->write("two\nthr", error);
        file->truncateTo(4); // of this session's bytes
    }
    EXPECT_EQ(contents(), "one\ntwo\n");
    {
        auto file = PosixOutputFile::open(path, OpenMode::Replace, error);
        ASSERT_TRUE(file);
        EXPECT_TRUE(file->startedEmpty());
    }
    EXPECT_EQ(contents(), "");

    // Devices and pipes are written as they are.
    ::unlink(path.c_str());
    auto full = PosixOutputFile::open("/dev/full", OpenMode::Create, error);
    ASSERT_TRUE(full);
    EXPECT_EQ(full->write("row\n", error), 0u);
    EXPECT_EQ(error, ENOSPC);

    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_FALSE(PosixOutputFile::open(path, OpenMode::Create, error)) << "nobody reads it";
    EXPECT_EQ(error, ENXIO);
    const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    auto pipe = PosixOutputFile::open(path, OpenMode::Create, error);
    ASSERT_TRUE(pipe);
    // More than the pipe holds: the writer waits for the reader instead of failing.
    const std::string lots(1 << 20, 'x');
    std::size_t drained = 0;
    std::thread drain([&] {
        char buffer[65536];
        pollfd p{reader, POLLIN, 0};
        while (drained < lots.size() && ::poll(&p, 1, 5000) > 0)
            if (const ssize_t n = ::read(reader, buffer, sizeof buffer); n > 0)
                drained += static_cast<std::size_t>(n);
    });
    EXPECT_EQ(pipe->write(lots, error), lots.size());
    drain.join();
    EXPECT_EQ(drained, lots.size());
    ::close(reader);
    std::signal(SIGPIPE, SIG_IGN); // as adc-monitor does
    EXPECT_EQ(pipe->write("lost", error), 0u) << "the reader has gone";
    EXPECT_EQ(error, EPIPE);
}

} // namespace
} // namespace adc
