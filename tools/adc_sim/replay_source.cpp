#include "tools/adc_sim/replay_source.h"

#include "common/text.h"
#include "monitor/frame_format.h"
#include "readings/csv_format.h"
#include "tools/adc_sim/parse_number.h"
#include "tools/adc_sim/readings.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace adc::sim {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
// The header line without its line end, which may be CR LF or LF.
constexpr std::string_view kHeader = kCsvHeader.substr(0, kCsvHeader.find_first_of("\r\n"));
constexpr std::size_t kRowFields = 3 + kChannelCount;
constexpr std::int64_t kNsPerSecond = 1'000'000'000;
// Keeps every deadline within a signed 64-bit count of nanoseconds.
constexpr std::uint64_t kMaxSeconds = 9'000'000'000;
// A field quoted in an error message is cut to this, in case the line is no CSV at all.
constexpr std::size_t kQuotedMax = 32;

// Splits the record at the start of `text` into `fields` and drops it, with its line end, from
// `text`; adds the line breaks inside quoted fields to `breaks`. A quoted field comes without its
// quotes but with doubled quotes left doubled: no field the replay reads may hold one anyway.
// False when a quoted field is not closed properly.
bool nextRecord(std::string_view& text, std::vector<std::string_view>& fields, std::size_t& breaks)
{
    fields.clear();
    for (;;) {
        std::string_view field;
        if (text.starts_with('"')) {
            std::size_t close = 1;
            while ((close = text.find('"', close)) != std::string_view::npos &&
                   close + 1 < text.size() && text[close + 1] == '"')
                close += 2;
            if (close == std::string_view::npos)
                return false;
            field = text.substr(1, close - 1);
            breaks += static_cast<std::size_t>(std::count(field.begin(), field.end(), '\n'));
            text.remove_prefix(close + 1);
            if (!text.empty() && text[0] != ',' && text[0] != '\n' && !text.starts_with("\r\n"))
                return false;
        } else {
            field = text.substr(0, std::min(text.find_first_of(",\n"), text.size()));
            text.remove_prefix(field.size());
            if (!text.starts_with(',') && field.ends_with('\r'))
                field.remove_suffix(1);
        }
        fields.push_back(field);
        if (!text.starts_with(','))
            break;
        text.remove_prefix(1);
    }
    if (text.starts_with("\r\n"))
        text.remove_prefix(2);
    else if (text.starts_with('\n'))
        text.remove_prefix(1);
    return true;
}

// The rows of a recording, what follows its header line, and the fields each row has: the
// columns a profile adds after AD7 come along and are left unread. Nothing when `text` is no
// recording.
std::optional<std::pair<std::string_view, std::size_t>> rowsAfterHeader(std::string_view text)
{
    if (text.starts_with(kBom))
        text.remove_prefix(kBom.size());
    if (!text.starts_with(kHeader))
        return std::nullopt;
    std::vector<std::string_view> fields;
    std::size_t breaks = 0;
    if (!nextRecord(text, fields, breaks) || breaks != 0 || fields.size() < kRowFields ||
        fields[kRowFields - 1] != "AD7")
        return std::nullopt;
    return std::pair(text, fields.size());
}

// Seconds with up to nine decimals, as nanoseconds; integer arithmetic, so nothing is rounded.
std::optional<std::int64_t> parseSeconds(std::string_view text)
{
    const std::size_t dot = text.find('.');
    const auto whole = parseNumber<std::uint64_t>(text.substr(0, dot));
    std::int64_t ns = 0;
    if (dot != std::string_view::npos) {
        const std::string_view fraction = text.substr(dot + 1);
        if (fraction.empty() || fraction.size() > 9 ||
            !std::all_of(fraction.begin(), fraction.end(),
                         [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        for (std::size_t i = 0; i < 9; ++i)
            ns = ns * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
    }
    if (!whole || *whole > kMaxSeconds)
        return std::nullopt;
    return static_cast<std::int64_t>(*whole) * kNsPerSecond + ns;
}

// Reads all of `fd` into `contents`; the error number, 0 when done, EINTR for a stop, EFBIG
// beyond kMaxReplayBytes.
int readAll(int fd, const StopSignals& stop, std::string& contents)
{
    struct stat info = {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        if (static_cast<std::uint64_t>(info.st_size) > kMaxReplayBytes)
            return EFBIG;
        contents.reserve(static_cast<std::size_t>(info.st_size));
    }
    char buffer[1 << 16];
    for (;;) {
        if (stop.requested())
            return EINTR;
        const ssize_t n = stop.interruptible([&] { return ::read(fd, buffer, sizeof buffer); });
        if (n == 0)
            return 0;
        if (n < 0 && errno != EINTR)
            return errno;
        if (n < 0)
            continue;
        if (contents.size() + static_cast<std::size_t>(n) > kMaxReplayBytes)
            return EFBIG;
        contents.append(buffer, static_cast<std::size_t>(n));
    }
}

} // namespace

std::size_t chunkLength(std::string_view bytes)
{
    const std::size_t cr = bytes.find(kCr);
    return cr == std::string_view::npos ? bytes.size() : cr + 1;
}

std::optional<std::string_view> framePayload(std::string_view chunk)
{
    if (chunk.size() < kFrameLength || chunk.back() != kCr ||
        chunk[chunk.size() - kFrameLength] != kStx)
        return std::nullopt;
    const std::string_view payload = chunk.substr(chunk.size() - kFrameLength + 1,
                                                  static_cast<std::size_t>(kFramePayloadLength));
    if (!std::all_of(payload.begin(), payload.end(), [](char c) { return c >= ' ' && c <= '~'; }))
        return std::nullopt;
    return payload;
}

std::optional<ReplaySource> ReplaySource::load(const std::string& path, const StopSignals& stop,
                                               std::string& error)
{
    error.clear();
    int fd = -1;
    while (fd < 0 && !stop.requested()) {
        // A named pipe blocks here until someone writes to it.
        fd = stop.interruptible([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); });
        if (fd < 0 && errno != EINTR) {
            error = "cannot read " + path + ": " + std::strerror(errno);
            return std::nullopt;
        }
    }
    if (fd < 0)
        return std::nullopt;
    std::string contents;
    const int status = readAll(fd, stop, contents);
    ::close(fd);
    if (status == EFBIG)
        error = "cannot read " + path + ": larger than the 1 GiB a replay may have";
    else if (status != 0 && status != EINTR)
        error = "cannot read " + path + ": " + std::strerror(status);
    if (status != 0)
        return std::nullopt;
    return fromContents(std::move(contents), path, error);
}

std::optional<ReplaySource> ReplaySource::fromContents(std::string contents, std::string_view name,
                                                       std::string& error)
{
    ReplaySource source;
    if (const auto rows = rowsAfterHeader(contents)) {
        source.m_recording = true;
        if (!source.parseRecording(rows->first, rows->second, name, error))
            return std::nullopt;
        source.m_chunks = source.m_dueNs.size();
    } else {
        source.m_bytes = std::move(contents);
        const std::string& bytes = source.m_bytes;
        source.m_chunks = static_cast<std::uint64_t>(std::count(bytes.begin(), bytes.end(), kCr)) +
                          (!bytes.empty() && bytes.back() != kCr);
    }
    return source;
}

bool ReplaySource::parseRecording(std::string_view text, std::size_t rowFields,
                                  std::string_view name, std::string& error)
{
    const std::size_t rows = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    m_bytes.reserve((rows + 1) * kFrameLength);
    m_dueNs.reserve(rows + 1);

    std::vector<std::string_view> fields;
    std::size_t line = 2; // after the header
    std::int64_t first = 0;
    std::int64_t previous = 0;
    const auto fail = [&](std::size_t at, const std::string& what) {
        error = std::string(name) + ":" + std::to_string(at) + ": " + what;
        return false;
    };
    while (!text.empty()) {
        const std::size_t at = line;
        std::size_t breaks = 0;
        if (!nextRecord(text, fields, breaks))
            return fail(at, "a quoted field is not closed properly");
        line += 1 + breaks;
        if (fields.size() != rowFields)
            return fail(at, std::to_string(fields.size()) + " fields where a row has " +
                                std::to_string(rowFields));
        const auto elapsed = parseSeconds(fields[1]);
        if (!elapsed)
            return fail(at, "elapsed_s " + quoted(fields[1], kQuotedMax) +
                                " is not a number of seconds");
        if (m_dueNs.empty())
            first = previous = *elapsed;
        if (*elapsed < previous)
            return fail(at, "elapsed_s " + quoted(fields[1], kQuotedMax) +
                                " is earlier than the row before");
        previous = *elapsed;

        Readings readings{};
        for (int k = 0; k < kChannelCount; ++k) {
            const std::string_view field = fields[3 + static_cast<std::size_t>(k)];
            const auto reading = parseNumber<std::uint16_t>(field);
            if (!reading || *reading > kFullScale)
                return fail(at, "AD" + std::to_string(k) + " " + quoted(field, kQuotedMax) +
                                    " is not a reading from 0 to " + std::to_string(kReadingMax));
            readings[static_cast<std::size_t>(k)] = *reading;
        }
        appendFrame(m_bytes, readings);
        m_dueNs.push_back(*elapsed - first);
    }
    return true;
}

} // namespace adc::sim
