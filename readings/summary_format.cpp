#include "readings/summary_format.h"

#include <array>
#include <charconv>
#include <string_view>

namespace adc {

namespace {

// The table's columns, as column() takes their widths; the last one is not padded.
constexpr std::array<int, 12> kColumnWidths = {-7, 10, 9, 6, 7, 6, 7, 10, 9, 6, -12, 0};

// `text` in a column `width` wide: right-aligned, or left-aligned for a negative width. A longer
// text widens its column instead of being cut.
std::string column(std::string_view text, int width)
{
    const std::size_t room = static_cast<std::size_t>(width < 0 ? -width : width);
    const std::string blanks(room > text.size() ? room - text.size() : 0, ' ');
    return width < 0 ? std::string(text) + blanks : blanks + std::string(text);
}

std::string tableLine(const std::array<std::string, kColumnWidths.size()>& cells)
{
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i)
        line += (i > 0 ? " " : "") + column(cells[i], kColumnWidths[i]);
    return line + '\n';
}

// Fixed-point text without the C library's locale: a program that has set the user's locale
// would otherwise write "2047,500" into JSON and CSV.
std::string fixed(double value, int decimals)
{
    std::string text(32, '\0');
    for (;;) {
        const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), value,
                                                std::chars_format::fixed, decimals);
        if (error == std::errc()) {
            text.resize(static_cast<std::size_t>(end - text.data()));
            return text;
        }
        text.resize(text.size() * 2);
    }
}

double seconds(const RunTotals& totals)
{
    return static_cast<double>(totals.durationNs) / 1e9;
}

double framesPerSecond(const RunStatistics& stats, const RunTotals& totals)
{
    return totals.durationNs > 0 ? static_cast<double>(stats.frames()) / seconds(totals) : 0.0;
}

// "0x" and at least three upper-case digits; a negative value shows its 32-bit pattern.
std::string hex(std::int32_t value)
{
    constexpr char kDigits[] = "0123456789ABCDEF";
    auto bits = static_cast<std::uint32_t>(value);
    std::string digits;
    do {
        digits.insert(digits.begin(), kDigits[bits & 0xF]);
        bits >>= 4;
    } while (bits != 0);
    return "0x" + std::string(digits.size() < 3 ? 3 - digits.size() : 0, '0') + digits;
}

std::string limitText(const ChannelLimit& limit)
{
    return limit.checked ? std::to_string(limit.lo) + ".." + std::to_string(limit.hi) : "-";
}

const char* resultText(const RunStatistics& stats, int k)
{
    if (!stats.limit(k).checked)
        return "-";
    return stats.channelPassed(k) ? "PASS" : "FAIL";
}

// Why the run fails, for the last line of the table.
std::string verdict(const RunStatistics& stats)
{
    if (stats.frames() == 0)
        return "FAIL (no frames received)";
    std::string why;
    for (int k = 0; k < kChannelCount; ++k) {
        if (stats.limitMet(k))
            continue;
        why += (why.empty() ? "AD" : ", AD") + std::to_string(k) +
               (stats.withinLimits(k) ? " had no well-formed reading"
                                      : " outside " + limitText(stats.limit(k)));
    }
    if (!stats.malformedWithinBound())
        why += (why.empty() ? "" : ", ") + std::to_string(stats.malformedFrames()) +
               " malformed frames, more than " + std::to_string(*stats.maxMalformed());
    return why.empty() ? "PASS" : "FAIL (" + why + ")";
}

} // namespace

bool runPassed(const RunStatistics& stats)
{
    return stats.frames() > 0 && stats.allLimitsMet() && stats.malformedWithinBound();
}

std::string summaryText(const RunStatistics& stats, const RunTotals& totals)
{
    std::string text = tableLine({"channel", "frames", "malformed", "min", "(hex)", "max", "(hex)",
                                  "mean", "stddev", "p-p", "limit", "result"});
    for (int k = 0; k < kChannelCount; ++k) {
        const ChannelStatistics& c = stats.channel(k);
        const std::string name = "AD" + std::to_string(k);
        const std::string malformed = std::to_string(stats.malformedFields(k));
        if (c.count() == 0) {
            text += tableLine({name, "0", malformed, "-", "", "-", "", "-", "-", "-",
                               limitText(stats.limit(k)), resultText(stats, k)});
            continue;
        }
        text += tableLine({name, std::to_string(c.count()), malformed, std::to_string(c.min()),
                           "(" + hex(c.min()) + ")", std::to_string(c.max()),
                           "(" + hex(c.max()) + ")", fixed(c.mean(), 3),
                           fixed(c.standardDeviation(), 3), std::to_string(c.peakToPeak()),
                           limitText(stats.limit(k)), resultText(stats, k)});
    }
    text += "\nframes " + std::to_string(stats.frames()) + ", " +
            std::to_string(stats.malformedFrames()) + " malformed, " +
            fixed(framesPerSecond(stats, totals), 2) + " frames/s, " +
            std::to_string(totals.bytesReceived) + " bytes received, " +
            std::to_string(totals.bytesOutsideFrames) + " bytes outside frames, " +
            fixed(seconds(totals), 3) + " s\n";
    text += "result: " + verdict(stats) + "\n";
    return text;
}

std::string summaryCsv(const RunStatistics& stats, const RunTotals& totals)
{
    std::string text =
        "channel,frames,min,min_hex,max,max_hex,mean,stddev,peak_to_peak,lo,hi,"
        "result,duration_s,frames_per_s,bytes_received,bytes_outside_frames,malformed\r\n";
    for (int k = 0; k < kChannelCount; ++k) {
        const ChannelStatistics& c = stats.channel(k);
        const ChannelLimit& l = stats.limit(k);
        text += "AD" + std::to_string(k) + "," + std::to_string(c.count());
        if (c.count() > 0)
            text += "," + std::to_string(c.min()) + "," + hex(c.min()) + "," +
                    std::to_string(c.max()) + "," + hex(c.max()) + "," + fixed(c.mean(), 4) + "," +
                    fixed(c.standardDeviation(), 4) + "," + std::to_string(c.peakToPeak());
        else
            text += ",,,,,,,";
        text += l.checked ? "," + std::to_string(l.lo) + "," + std::to_string(l.hi) + "," +
                                resultText(stats, k)
                          : ",,,";
        text += ",,,,," + std::to_string(stats.malformedFields(k)) + "\r\n";
    }
    text += "all," + std::to_string(stats.frames()) + ",,,,,,,,,," +
            (runPassed(stats) ? "PASS" : "FAIL") + "," + fixed(seconds(totals), 3) + "," +
            fixed(framesPerSecond(stats, totals), 3) + "," + std::to_string(totals.bytesReceived) +
            "," + std::to_string(totals.bytesOutsideFrames) + "," +
            std::to_string(stats.malformedFrames()) + "\r\n";
    return text;
}

std::string summaryJson(const RunStatistics& stats, const RunTotals& totals)
{
    std::string text = "{\"frames\":" + std::to_string(stats.frames()) +
                       ",\"malformed_frames\":" + std::to_string(stats.malformedFrames()) +
                       ",\"duration_s\":" + fixed(seconds(totals), 3) +
                       ",\"frames_per_s\":" + fixed(framesPerSecond(stats, totals), 3) +
                       ",\"bytes_received\":" + std::to_string(totals.bytesReceived) +
                       ",\"bytes_outside_frames\":" + std::to_string(totals.bytesOutsideFrames) +
                       ",\"channels\":[";
    for (int k = 0; k < kChannelCount; ++k) {
        const ChannelStatistics& c = stats.channel(k);
        const ChannelLimit& l = stats.limit(k);
        text += (k ? ",{\"name\":\"AD" : "{\"name\":\"AD") + std::to_string(k) +
                "\",\"frames\":" + std::to_string(c.count()) +
                ",\"malformed\":" + std::to_string(stats.malformedFields(k)) + ",";
        if (c.count() > 0)
            text += "\"min\":" + std::to_string(c.min()) + ",\"min_hex\":\"" + hex(c.min()) +
                    "\",\"max\":" + std::to_string(c.max()) + ",\"max_hex\":\"" + hex(c.max()) +
                    "\",\"mean\":" + fixed(c.mean(), 4) +
                    ",\"stddev\":" + fixed(c.standardDeviation(), 4) +
                    ",\"peak_to_peak\":" + std::to_string(c.peakToPeak()) + ",";
        else
            text += "\"min\":null,\"min_hex\":null,\"max\":null,\"max_hex\":null,\"mean\":null,"
                    "\"stddev\":null,\"peak_to_peak\":null,";
        text += l.checked ? "\"limit\":{\"lo\":" + std::to_string(l.lo) +
                                ",\"hi\":" + std::to_string(l.hi) + "},"
                          : std::string("\"limit\":null,");
        text += stats.channelPassed(k) ? "\"pass\":true}" : "\"pass\":false}";
    }
    text += runPassed(stats) ? "],\"pass\":true}\n" : "],\"pass\":false}\n";
    return text;
}

std::string formatSummary(SummaryFormat format, const RunStatistics& stats, const RunTotals& totals)
{
    switch (format) {
    case SummaryFormat::Csv:
        return summaryCsv(stats, totals);
    case SummaryFormat::Json:
        return summaryJson(stats, totals);
    case SummaryFormat::Text:
        break;
    }
    return summaryText(stats, totals);
}

} // namespace adc
