#include "readings/summary_format.h"

#include <charconv>
#include <cstdarg>
#include <cstdio>

namespace adc {

namespace {

std::string textf(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

std::string textf(const char* pattern, ...)
{
    char text[256];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    return text;
}

// Fixed-point text without the C library's locale: a program that has set the user's locale
// would otherwise write "2047,500" into JSON and CSV.
std::string fixed(double value, int decimals)
{
    char text[64];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return std::string(text, result.ptr);
}

double seconds(const RunTotals& totals)
{
    return static_cast<double>(totals.durationNs) / 1e9;
}

double framesPerSecond(const RunStatistics& stats, const RunTotals& totals)
{
    return totals.durationNs > 0 ? static_cast<double>(stats.frames()) / seconds(totals) : 0.0;
}

std::string hex(std::int32_t value)
{
    return textf("0x%03X", static_cast<unsigned>(value));
}

std::string limitText(const ChannelLimit& limit)
{
    return limit.checked ? textf("%d..%d", limit.lo, limit.hi) : "-";
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
    std::string outside;
    for (int k = 0; k < kChannelCount; ++k)
        if (!stats.withinLimits(k))
            outside += textf("%sAD%d outside %s", outside.empty() ? "" : ", ", k,
                             limitText(stats.limit(k)).c_str());
    return outside.empty() ? "PASS" : "FAIL (" + outside + ")";
}

} // namespace

bool runPassed(const RunStatistics& stats)
{
    return stats.frames() > 0 && stats.allWithinLimits();
}

std::string summaryText(const RunStatistics& stats, const RunTotals& totals)
{
    std::string text =
        textf("%-7s %10s %6s %7s %6s %7s %10s %9s %6s %-12s %s\n", "channel", "frames", "min",
              "(hex)", "max", "(hex)", "mean", "stddev", "p-p", "limit", "result");
    for (int k = 0; k < kChannelCount; ++k) {
        const ChannelStatistics& c = stats.channel(k);
        const std::string name = textf("AD%d", k);
        if (c.count() == 0) {
            text += textf("%-7s %10d %6s %7s %6s %7s %10s %9s %6s %-12s %s\n", name.c_str(), 0, "-",
                          "", "-", "", "-", "-", "-", limitText(stats.limit(k)).c_str(),
                          resultText(stats, k));
            continue;
        }
        text +=
            textf("%-7s %10lld %6d %7s %6d %7s %10s %9s %6d %-12s %s\n", name.c_str(),
                  static_cast<long long>(c.count()), c.min(), ("(" + hex(c.min()) + ")").c_str(),
                  c.max(), ("(" + hex(c.max()) + ")").c_str(), fixed(c.mean(), 3).c_str(),
                  fixed(c.standardDeviation(), 3).c_str(), c.peakToPeak(),
                  limitText(stats.limit(k)).c_str(), resultText(stats, k));
    }
    text += textf(
        "\nframes %lld, %s frames/s, %lld bytes received, %lld bytes outside "
        "frames, %s s\n",
        static_cast<long long>(stats.frames()), fixed(framesPerSecond(stats, totals), 2).c_str(),
        static_cast<long long>(totals.bytesReceived),
        static_cast<long long>(totals.bytesOutsideFrames), fixed(seconds(totals), 3).c_str());
    text += "result: " + verdict(stats) + "\n";
    return text;
}

std::string summaryCsv(const RunStatistics& stats, const RunTotals& totals)
{
    std::string text = "channel,frames,min,min_hex,max,max_hex,mean,stddev,peak_to_peak,lo,hi,"
                       "result,duration_s,frames_per_s,bytes_received,bytes_outside_frames\r\n";
    for (int k = 0; k < kChannelCount; ++k) {
        const ChannelStatistics& c = stats.channel(k);
        const ChannelLimit& l = stats.limit(k);
        text += textf("AD%d,%lld", k, static_cast<long long>(c.count()));
        if (c.count() > 0)
            text += textf(",%d,%s,%d,%s,%s,%s,%d", c.min(), hex(c.min()).c_str(), c.max(),
                          hex(c.max()).c_str(), fixed(c.mean(), 4).c_str(),
                          fixed(c.standardDeviation(), 4).c_str(), c.peakToPeak());
        else
            text += ",,,,,,,";
        text += l.checked ? textf(",%d,%d,%s", l.lo, l.hi, resultText(stats, k)) : ",,,";
        text += ",,,,\r\n";
    }
    text +=
        textf("all,%lld,,,,,,,,,,%s,%s,%s,%lld,%lld\r\n", static_cast<long long>(stats.frames()),
              runPassed(stats) ? "PASS" : "FAIL", fixed(seconds(totals), 3).c_str(),
              fixed(framesPerSecond(stats, totals), 3).c_str(),
              static_cast<long long>(totals.bytesReceived),
              static_cast<long long>(totals.bytesOutsideFrames));
    return text;
}

std::string summaryJson(const RunStatistics& stats, const RunTotals& totals)
{
    std::string text =
        textf("{\"frames\":%lld,\"duration_s\":%s,\"frames_per_s\":%s,"
              "\"bytes_received\":%lld,\"bytes_outside_frames\":%lld,"
              "\"channels\":[",
              static_cast<long long>(stats.frames()), fixed(seconds(totals), 3).c_str(),
              fixed(framesPerSecond(stats, totals), 3).c_str(),
              static_cast<long long>(totals.bytesReceived),
              static_cast<long long>(totals.bytesOutsideFrames));
    for (int k = 0; k < kChannelCount; ++k) {
        const ChannelStatistics& c = stats.channel(k);
        const ChannelLimit& l = stats.limit(k);
        text += textf("%s{\"name\":\"AD%d\",\"frames\":%lld,", k ? "," : "", k,
                      static_cast<long long>(c.count()));
        if (c.count() > 0)
            text += textf("\"min\":%d,\"min_hex\":\"%s\",\"max\":%d,\"max_hex\":\"%s\","
                          "\"mean\":%s,\"stddev\":%s,\"peak_to_peak\":%d,",
                          c.min(), hex(c.min()).c_str(), c.max(), hex(c.max()).c_str(),
                          fixed(c.mean(), 4).c_str(), fixed(c.standardDeviation(), 4).c_str(),
                          c.peakToPeak());
        else
            text += "\"min\":null,\"min_hex\":null,\"max\":null,\"max_hex\":null,\"mean\":null,"
                    "\"stddev\":null,\"peak_to_peak\":null,";
        text += l.checked ? textf("\"limit\":{\"lo\":%d,\"hi\":%d},", l.lo, l.hi)
                          : std::string("\"limit\":null,");
        text += textf("\"pass\":%s}", stats.channelPassed(k) ? "true" : "false");
    }
    text += textf("],\"pass\":%s}\n", runPassed(stats) ? "true" : "false");
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
