#include "recording/rotation.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <limits>
#include <tuple>

namespace adc {

namespace {

constexpr std::int64_t kDayMs = 86'400'000;
// Clashes within one second beyond this are not a clock's doing.
constexpr int kMostCounters = 1000;
constexpr std::size_t kStampLength = 15; // 20261208T140000

std::int64_t floorDivide(std::int64_t a, std::int64_t b)
{
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

struct NameParts
{
    std::filesystem::path folder;
    std::string stem;
    std::string extension;
};

NameParts partsOf(const std::string& path)
{
    const std::filesystem::path p(path);
    return {p.parent_path(), p.stem().string(), p.extension().string()};
}

bool allDigits(std::string_view text)
{
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The stamp and counter of a file name of the rotation, if it is one.
std::optional<std::pair<std::string, int>> rotatedParts(const NameParts& parts,
                                                        std::string_view name)
{
    const std::string prefix = parts.stem + "-";
    if (!name.starts_with(prefix) || !name.ends_with(parts.extension))
        return std::nullopt;
    name.remove_prefix(prefix.size());
    name.remove_suffix(parts.extension.size());
    if (name.size() < kStampLength)
        return std::nullopt;
    const std::string_view stamp = name.substr(0, kStampLength);
    if (!allDigits(stamp.substr(0, 8)) || stamp[8] != 'T' || !allDigits(stamp.substr(9)))
        return std::nullopt;
    name.remove_prefix(kStampLength);
    int counter = 1;
    if (!name.empty()) {
        if (name[0] != '-' || !allDigits(name.substr(1)) || name.size() > 8)
            return std::nullopt;
        counter = std::stoi(std::string(name.substr(1)));
        if (counter < 2)
            return std::nullopt;
    }
    return std::pair(std::string(stamp), counter);
}

} // namespace

std::int64_t nextSwitchMs(std::int64_t unixMs, std::int64_t intervalMs, const Clock& clock)
{
    const std::int64_t offsetMs = std::int64_t(clock.utcOffsetSeconds(unixMs)) * 1000;
    const std::int64_t local = unixMs + offsetMs;
    std::int64_t next = 0;
    if (intervalMs >= kDayMs) {
        next = (floorDivide(local, intervalMs) + 1) * intervalMs;
    } else {
        const std::int64_t midnight = floorDivide(local, kDayMs) * kDayMs;
        next = std::min(midnight + (floorDivide(local - midnight, intervalMs) + 1) * intervalMs,
                        midnight + kDayMs);
    }
    // The offset that holds at the switch, which summer time may have changed since now.
    const std::int64_t atSwitch =
        next - std::int64_t(clock.utcOffsetSeconds(next - offsetMs)) * 1000;
    return atSwitch > unixMs ? atSwitch : next - offsetMs;
}

std::string rotatedPath(const std::string& path, std::int64_t unixMs, int utcOffsetSeconds,
                        int counter)
{
    const std::time_t seconds =
        static_cast<std::time_t>(floorDivide(unixMs, 1000) + utcOffsetSeconds);
    std::tm local{};
    gmtime_r(&seconds, &local);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02dT%02d%02d%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    const NameParts parts = partsOf(path);
    std::string name = parts.stem + "-" + stamp;
    if (counter >= 2)
        name += "-" + std::to_string(counter);
    return (parts.folder / (name + parts.extension)).string();
}

RotatingFiles::RotatingFiles(std::string path, Rotation rotation, const Clock& clock, Opener opener)
    : m_template(std::move(path)), m_rotation(rotation), m_clock(clock), m_opener(std::move(opener))
{}

std::unique_ptr<OutputFile> RotatingFiles::openNext(int& error)
{
    const std::int64_t now = m_clock.unixMs();
    const int offset = m_clock.utcOffsetSeconds(now);
    std::unique_ptr<OutputFile> file;
    for (int counter = 1; !file && counter <= kMostCounters; ++counter) {
        m_path = rotatedPath(m_template, now, offset, counter);
        error = 0;
        file = m_opener(m_path, error);
        if (!file && error != EEXIST)
            return nullptr;
    }
    if (!file)
        return nullptr;
    m_switchAtMs =
        m_rotation.intervalMs > 0 ? nextSwitchMs(now, m_rotation.intervalMs, m_clock) : -1;
    return file;
}

std::uint64_t RotatingFiles::room(std::uint64_t held) const
{
    if (m_rotation.maxBytes == 0)
        return std::numeric_limits<std::uint64_t>::max();
    return held >= m_rotation.maxBytes ? 0 : m_rotation.maxBytes - held;
}

std::vector<std::string> RotatingFiles::files() const
{
    const NameParts parts = partsOf(m_template);
    const std::filesystem::path folder = parts.folder.empty() ? "." : parts.folder;
    std::vector<std::tuple<std::string, int, std::string>> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (const auto stamp = rotatedParts(parts, name))
            found.emplace_back(stamp->first, stamp->second, (parts.folder / name).string());
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> paths;
    paths.reserve(found.size());
    for (auto& [stamp, counter, path] : found)
        paths.push_back(std::move(path));
    return paths;
}

std::vector<std::pair<std::string, int>> RotatingFiles::prune(const Remover& remove) const
{
    std::vector<std::pair<std::string, int>> failures;
    if (m_rotation.keep <= 0)
        return failures;
    std::vector<std::string> older = files();
    std::erase(older, m_path);
    // The open file is one of those kept.
    const std::size_t kept = static_cast<std::size_t>(m_rotation.keep - 1);
    if (older.size() <= kept)
        return failures;
    for (std::size_t i = 0; i < older.size() - kept; ++i)
        if (const int error = remove(older[i]); error != 0)
            failures.emplace_back(older[i], error);
    return failures;
}

} // namespace adc
