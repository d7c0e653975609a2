#pragma once

#include "recording/output_file.h"

#include <memory>
#include <string>

namespace adc {

/// What to do with a regular file that exists already. Devices and pipes are written as they
/// are, whatever the mode.
enum class OpenMode
{
    /// Refuse it (EEXIST): a recording is never overwritten by mistake.
    Create,
    /// Add to its end.
    Append,
    /// Empty it first, after the operator has agreed to replace it.
    Replace,
};

/// An OutputFile on a POSIX file descriptor.
class PosixOutputFile final : public OutputFile
{
public:
    /// The path that stands for standard output.
    static constexpr std::string_view kStandardOutput = "-";

    /// Opens `path` ("-": standard output) for writing as `mode` says. Returns nullptr with
    /// `error` set to the system's error number when that fails; EEXIST when `mode` refuses an
    /// existing file, ENXIO for a pipe that nothing reads from.
    static std::unique_ptr<PosixOutputFile> open(const std::string& path, OpenMode mode,
                                                 int& error);

    ~PosixOutputFile() override;
    PosixOutputFile(const PosixOutputFile&) = delete;
    PosixOutputFile& operator=(const PosixOutputFile&) = delete;

    std::size_t write(std::string_view bytes, int& error) override;
    void truncateTo(std::uint64_t written) override;
    bool startedEmpty() const override { return m_startedEmpty; }
    bool created() const override { return m_created; }

private:
    PosixOutputFile(int fd, bool owned);

    int m_fd = -1;
    bool m_owned = true;
    bool m_regular = false;
    bool m_startedEmpty = true;
    bool m_created = false;
    std::uint64_t m_start = 0; // where this session's bytes begin in a regular file
};

} // namespace adc
