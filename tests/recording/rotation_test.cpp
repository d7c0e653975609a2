#include "common/rotation_setting.h"
#include "readings/csv_format.h"
#include "recording/frame_recorder.h"
#include "recording/posix_output_file.h"
#include "recording/record_output.h"
#include "recording/rotation.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <unistd.h>

namespace adc {
namespace {

// 2026-12-08T13:59:58.500Z, 14:59:58.500 in a zone an hour ahead of UTC.
constexpr std::int64_t kStartMs = 1'796'738'398'500;

struct FakeClock : Clock
{
    std::int64_t monotonicNs() const override { return unix * 1'000'000; }
    std::int64_t unixMs() const override { return unix; }
    int utcOffsetSeconds(std::int64_t at) const override
    {
        return changeAt >= 0 && at >= changeAt ? offsetAfter : offset;
    }

    std::int64_t unix = kStartMs;
    int offset = 3600;
    std::int64_t changeAt = -1; // when the offset becomes offsetAfter
    int offsetAfter = 0;
};

/// Files in memory, by name; a name may be made to fail when opened.
struct FakeFolder
{
    struct File : OutputFile
    {
        explicit File(std::string& content) : content(content) {}
        std::size_t write(std::string_view bytes, int& error) override
        {
            if (room < bytes.size()) {
                content.append(bytes.substr(0, room));
                error = ENOSPC;
                return std::exchange(room, 0);
            }
            room -= bytes.size();
            content.append(bytes);
            return bytes.size();
        }
        void truncateTo(std::uint64_t written) override { content.resize(written); }
        bool startedEmpty() const override { return true; }
        bool created() const override { return true; }

        std::string& content;
        std::size_t room = SIZE_MAX;
    };

    RotatingFiles::Opener opener()
    {
        return [this](const std::string& path, int& error) -> std::unique_ptr<OutputFile> {
            if (failing.count(path) != 0) {
                error = failing[path];
                return nullptr;
            }
            if (files.count(path) != 0) {
                error = EEXIST;
                return nullptr;
            }
            order.push_back(path);
            auto file = std::make_unique<File>(files[path]);
            opened[path] = file.get();
            return file;
        };
    }

    /// An output of lines, or of bytes, that rotates into this folder, its first file open.
    std::unique_ptr<RecordOutput> output(const std::string& path, const Rotation& rotation,
                                         const Clock& clock, bool lines)
    {
        auto rotating = std::make_unique<RotatingFiles>(path, rotation, clock, opener());
        int error = 0;
        auto out = std::make_unique<RecordOutput>(rotating->openNext(error), lines);
        out->setRotation(std::move(rotating));
        return out;
    }

    std::map<std::string, std::string> files;
    std::map<std::string, File*> opened; // while its output lives
    std::map<std::string, int> failing;
    std::vector<std::string> order; // as opened
};

// Everything the files hold after their first line, one after another.
std::string rowsOf(const FakeFolder& folder, std::size_t headerLines = 1)
{
    std::string rows;
    for (const std::string& path : folder.order) {
        std::string content = folder.files.at(path);
        for (std::size_t i = 0; i < headerLines; ++i)
            content.erase(0, content.find('\n') + 1);
        rows += content;
    }
    return rows;
}

// Field `index` of a CSV row without quotes.
std::string field(const std::string& row, int index)
{
    std::size_t start = 0;
    for (int i = 0; i < index; ++i)
        start = row.find(',', start) + 1;
    return row.substr(start, row.find(',', start) - start);
}

TEST(Rotation, SizesAndTimesAreReadAsPeopleWriteThem)
{
    EXPECT_EQ(parseByteSize("100M"), 100u << 20);
    EXPECT_EQ(parseByteSize("64k"), 64u << 10);
    EXPECT_EQ(parseByteSize("2G"), 2ull << 30);
    EXPECT_EQ(parseByteSize("4096"), 4096u);
    EXPECT_EQ(parseByteSize("4294967296G"), 1ull << 62) << "the largest";
    for (const char* wrong : {"", "M", "0k", "1.5M", "-1M", "10x", "10MB", "4294967297G"})
        EXPECT_FALSE(parseByteSize(wrong)) << wrong;

    EXPECT_EQ(parseIntervalMs("250ms"), 250);
    EXPECT_EQ(parseIntervalMs("30s"), 30'000);
    EXPECT_EQ(parseIntervalMs("5m"), 300'000);
    EXPECT_EQ(parseIntervalMs("1h"), 3'600'000);
    EXPECT_EQ(parseIntervalMs("1d"), 86'400'000);
    EXPECT_EQ(parseIntervalMs("3650d"), 3650LL * 86'400'000) << "ten years, the longest";
    for (const char* wrong : {"", "s", "0s", "1.5h", "-1h", "1w", "1 h", "h1", "3651d"})
        EXPECT_FALSE(parseIntervalMs(wrong)) << wrong;

    std::string error;
    EXPECT_EQ(parseRotation("1h", error)->intervalMs, 3'600'000);
    EXPECT_EQ(parseRotation("1k", error)->maxBytes, 1024u);
    for (const auto& [wrong, said] :
         {std::pair("500ms", "whole seconds"), std::pair("1500ms", "whole seconds"),
          std::pair("1000", "at least 1k"), std::pair("often", "such as 100M")}) {
        EXPECT_FALSE(parseRotation(wrong, error)) << wrong;
        EXPECT_NE(error.find(said), std::string::npos) << error;
    }
}

TEST(Rotation, FilesAreNamedFromTheLocalTimeOfTheirFirstRow)
{
    EXPECT_EQ(rotatedPath("run.csv", kStartMs, 3600), "run-20261208T145958.csv");
    EXPECT_EQ(rotatedPath("/var/lib/rig7/run.csv", kStartMs, 0, 2),
              "/var/lib/rig7/run-20261208T135958-2.csv");
    EXPECT_EQ(rotatedPath("capture", kStartMs, -5 * 3600), "capture-20261208T085958");

    // On the local hour, at local midnight, and every 7 minutes from midnight with the day's
    // last piece cut short by midnight.
    FakeClock clock;
    const std::int64_t localMidnight = kStartMs + 9 * 3600'000 + 1'500; // 00:00 on the 9th
    EXPECT_EQ(nextSwitchMs(kStartMs, 3'600'000, clock), kStartMs + 1'500);
    EXPECT_EQ(nextSwitchMs(kStartMs + 1'500, 3'600'000, clock), kStartMs + 1'500 + 3'600'000);
    EXPECT_EQ(nextSwitchMs(kStartMs, 86'400'000, clock), localMidnight);
    EXPECT_EQ(nextSwitchMs(kStartMs, 1000, clock), kStartMs + 500);
    EXPECT_EQ(nextSwitchMs(localMidnight - 60'000, 7 * 60'000, clock), localMidnight);
    // Summer time ends before midnight: the switch is still at local midnight, an hour later
    // on the UTC clock.
    clock.changeAt = kStartMs + 3'600'000;
    clock.offsetAfter = 0;
    EXPECT_EQ(nextSwitchMs(kStartMs, 86'400'000, clock), localMidnight + 3'600'000);
}

// A recording split by size and by time holds, over all its files, exactly the rows one file
// would hold: none lost, doubled, split or reordered, each file starting with the header.
TEST(Rotation, ARecordingSplitsBetweenRowsAndEachFileStartsWithTheHeader)
{
    for (const bool bySize : {true, false}) {
        SCOPED_TRACE(bySize ? "by size" : "by time");
        FakeClock clock;
        FakeFolder folder;
        Rotation rotation;
        if (bySize)
            rotation.maxBytes = 1024;
        else
            rotation.intervalMs = 1000;
        const auto out = folder.output("/rig/run.csv", rotation, clock, true);
        int switches = 0;
        out->setOnSwitched([&] { ++switches; });
        FrameRecorder recorder(*out, clock);
        std::string expected;
        for (std::int64_t frame = 1; frame <= 200; ++frame) {
            clock.unix += 37; // 27 frames a second
            recorder.frameDecoded({1, 2, 3, 4, 5, 6, 7, static_cast<std::int32_t>(frame)}, frame);
        }
        ASSERT_TRUE(out->flush());
        EXPECT_GT(switches, 5);
        EXPECT_EQ(folder.order.size(), std::size_t(switches) + 1);
        for (const std::string& path : folder.order) {
            const std::string& content = folder.files.at(path);
            EXPECT_EQ(content.rfind(kCsvHeader, 0), 0u) << path;
            EXPECT_EQ(content.back(), '\n') << path;
            if (bySize) {
                EXPECT_LE(content.size(), 1024u) << path;
            }
        }
        // Every row, in order, once: the frame counts run 1..200.
        std::istringstream rows(rowsOf(folder));
        std::string row;
        std::int64_t next = 1;
        while (std::getline(rows, row))
            EXPECT_EQ(field(row, 2), std::to_string(next++));
        EXPECT_EQ(next, 201);
        if (!bySize) {
            // Each file's rows lie within one second of the local clock, the one in its name.
            for (const std::string& path : folder.order) {
                const std::string stamp = path.substr(path.find('T') + 1, 6);
                std::istringstream lines(folder.files.at(path));
                std::getline(lines, row);
                while (std::getline(lines, row))
                    EXPECT_EQ(row.substr(11, 8), stamp.substr(0, 2) + ":" + stamp.substr(2, 2) +
                                                     ":" + stamp.substr(4, 2))
                        << path;
            }
        }
    }
}

// A capture goes on in the next file after the CR that ends a frame, whatever the pieces the
// bytes come in.
TEST(Rotation, ACaptureSplitsAfterTheEndOfAFrame)
{
    FakeClock clock;
    FakeFolder folder;
    Rotation rotation;
    rotation.maxBytes = 1024;
    const auto out = folder.output("cap.bin", rotation, clock, false);
    std::string all;
    for (int i = 0; i < 300; ++i)
        all += "\x02"
               "123 456 789 ABC DEF 000 111 " +
               std::to_string(100 + i % 900) + "\r";
    // Pieces of 1 to 97 bytes, and one of 5000.
    std::size_t at = 0;
    for (std::size_t piece = 1; at < all.size(); piece = piece * 7 % 97 + 1) {
        const std::size_t n = at == 3000 ? 5000 : piece;
        out->append(std::string_view(all).substr(at, n));
        at += std::min(n, all.size() - at);
    }
    ASSERT_TRUE(out->flush());
    ASSERT_GT(folder.order.size(), 5u);
    std::string joined;
    for (const std::string& path : folder.order) {
        const std::string& content = folder.files.at(path);
        EXPECT_EQ(content.front(), '\x02') << path;
        if (path != folder.order.back()) {
            EXPECT_EQ(content.back(), '\r') << path;
        }
        joined += content;
    }
    EXPECT_EQ(joined, all);
}

// Two switches in one second: the second file gets a counter. A file that cannot be opened
// ends the output, naming that file, with every row before it kept.
TEST(Rotation, ClashesGetACounterAndAFileThatCannotBeOpenedEndsTheOutput)
{
    FakeClock clock;
    FakeFolder folder;
    Rotation rotation;
    rotation.maxBytes = 1024;
    const auto owned = folder.output("run.csv", rotation, clock, true);
    RecordOutput& out = *owned;
    const RotatingFiles& files = *out.rotation();
    int failures = 0;
    out.setOnFailed([&] { ++failures; });
    out.setHeader("h\n");
    const std::string row(600, 'r');
    out.append(row + "\n");
    out.append(row + "\n");
    EXPECT_EQ(files.path(), "run-20261208T145958-2.csv");
    folder.failing["run-20261208T145958-3.csv"] = ENOSPC;
    out.append(row + "\n");
    EXPECT_TRUE(out.failed());
    EXPECT_EQ(out.errorNumber(), ENOSPC);
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(files.path(), "run-20261208T145958-3.csv");
    EXPECT_EQ(rowsOf(folder), row + "\n" + row + "\n");
    out.append(row + "\n");
    EXPECT_EQ(failures, 1) << "once";

    // A disk that fills while the second file is written: what went in whole stays in it.
    FakeFolder filling;
    const auto out2 = filling.output("run.csv", rotation, clock, true);
    out2->setHeader("h\n");
    out2->append(row + "\n");
    out2->append(row + "\n");
    ASSERT_TRUE(out2->flush());
    const std::string second = out2->rotation()->path();
    filling.opened[second]->room = 4; // the disk fills 4 bytes into the next row
    out2->append(std::string(300, 's') + "\n");
    EXPECT_FALSE(out2->flush());
    EXPECT_EQ(filling.files[second], "h\n" + row + "\n")
        << "cut back to the last whole row of this file";
}

class RotationFolder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = std::filesystem::temp_directory_path() /
                ("rotation-test-" + std::to_string(::getpid()));
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string path(const std::string& name) const { return (m_dir / name).string(); }
    void touch(const std::string& name) const { std::ofstream(path(name)) << "x"; }

    std::filesystem::path m_dir;
};

// --keep deletes the oldest files of the recording, of earlier runs too, never the open one nor
// anything that only looks like one of its files; a deletion that fails is reported.
TEST_F(RotationFolder, KeepDeletesTheOldestFilesOfTheRecordingOnly)
{
    for (const char* name :
         {"run-20261207T100000.csv", "run-20261207T110000.csv", "run-20261207T110000-2.csv",
          "run-20261207T110000-10.csv", "run.csv", "run-20261207T09000.csv", "run-x.csv",
          "run-20261207T080000.bin", "walk-20261207T080000.csv", "run-20261207T080000-1.csv"})
        touch(name);
    FakeClock clock;
    Rotation rotation;
    rotation.intervalMs = 3'600'000;
    rotation.keep = 3;
    RotatingFiles files(path("run.csv"), rotation, clock,
                        [](const std::string& name, int& error) -> std::unique_ptr<OutputFile> {
                            return PosixOutputFile::open(name, OpenMode::Create, error);
                        });
    int error = 0;
    ASSERT_TRUE(files.openNext(error));
    EXPECT_EQ(files.files(), (std::vector<std::string>{path("run-20261207T100000.csv"),
                                                       path("run-20261207T110000.csv"),
                                                       path("run-20261207T110000-2.csv"),
                                                       path("run-20261207T110000-10.csv"),
                                                       path("run-20261208T145958.csv")}));
    std::vector<std::string> asked;
    const auto failures = files.prune([&](const std::string& name) {
        asked.push_back(name);
        return name.ends_with("100000.csv") ? EACCES : ::unlink(name.c_str());
    });
    EXPECT_EQ(asked, (std::vector<std::string>{path("run-20261207T100000.csv"),
                                               path("run-20261207T110000.csv")}));
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0], std::pair(path("run-20261207T100000.csv"), EACCES));
    for (const char* kept :
         {"run-20261207T110000-2.csv", "run-20261207T110000-10.csv", "run-20261208T145958.csv",
          "run.csv", "run-20261207T09000.csv", "run-x.csv", "run-20261207T080000.bin",
          "walk-20261207T080000.csv", "run-20261207T080000-1.csv"})
        EXPECT_TRUE(std::filesystem::exists(path(kept))) << kept;
}

} // namespace
} // namespace adc
