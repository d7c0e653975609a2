#pragma once

#include "common/rotation_setting.h"
#include "recording/clock.h"
#include "recording/output_file.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace adc {

/// The first moment after `unixMs` at which a rotation every `intervalMs` switches: the next
/// multiple of the interval since local midnight (an interval of a day or more: since the
/// local start of 1970), or the next midnight, whichever comes first. A change of the UTC
/// offset (summer time) is honoured: "1d" switches at midnight on both sides of it.
std::int64_t nextSwitchMs(std::int64_t unixMs, std::int64_t intervalMs, const Clock& clock);

/// The name of one file of a rotation: `path` with the local time of its first row before its
/// extension, and `counter` after that when it is 2 or more: "run.csv" at 14:00:00 on
/// 2026-12-08 gives "run-20261208T140000.csv", with counter 2 "run-20261208T140000-2.csv".
std::string rotatedPath(const std::string& path, std::int64_t unixMs, int utcOffsetSeconds,
                        int counter = 1);

/// The files of a rotation of `path`: its name, a local time and an extension, one after
/// another. Opens each one as its time comes, and deletes the oldest beyond the number kept.
class RotatingFiles
{
public:
    /// Opens a file that must not exist yet; nullptr with `error` set to the system's error
    /// number otherwise (EEXIST when it exists). Tests put a fake in its place.
    using Opener = std::function<std::unique_ptr<OutputFile>(const std::string& path, int& error)>;
    /// Deletes a file; returns the system's error number, 0 when it is gone.
    using Remover = std::function<int(const std::string& path)>;

    /// The files of `path` as `rotation` says, timed by `clock`, which must outlive this.
    RotatingFiles(std::string path, Rotation rotation, const Clock& clock, Opener opener);

    /// Opens the file that starts now, named from the local time; a counter is added when a
    /// file of that name exists. Nothing, with `error` set, when it cannot be opened.
    std::unique_ptr<OutputFile> openNext(int& error);

    /// The file opened last, or the one that could not be opened.
    const std::string& path() const { return m_path; }

    /// True when `size` more bytes would take a file that holds `held` bytes past its size.
    bool wouldOverfill(std::uint64_t held, std::uint64_t size) const
    {
        return m_rotation.maxBytes > 0 && held + size > m_rotation.maxBytes;
    }
    /// The bytes the file may still take after `held`; the most there is without a size.
    std::uint64_t room(std::uint64_t held) const;
    /// True once the local clock has passed the end of the open file's time.
    bool isTimeUp() const { return m_switchAtMs >= 0 && m_clock.unixMs() >= m_switchAtMs; }

    /// The files of this rotation in the folder, the oldest first: those of earlier runs too.
    std::vector<std::string> files() const;

    /// Deletes the oldest files beyond the number kept, never the open one. Returns those that
    /// could not be deleted, each with the system's error number.
    std::vector<std::pair<std::string, int>> prune(const Remover& remove) const;

private:
    std::string m_template;
    Rotation m_rotation;
    const Clock& m_clock;
    Opener m_opener;
    std::string m_path;
    std::int64_t m_switchAtMs = -1;
};

} // namespace adc
