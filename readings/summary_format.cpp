#include "readings/summary_format.h"

#include "common/text.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace adc {

namespace {

// The tables' columns, as column() takes their widths; the last one is not padded.
constexpr std::array<int, 12> kColumnWidths = {-7, 10, 9, 6, 7, 6, 7, 10, 9, 6, -12, 0};
constexpr std::array<int, 14> kValueColumnWidths = {-7, -12, -6, 10, 10, 11, 10,
                                                    10, -20, 8,  10, 10, 8,  0};

// `text` in a column `width` wide: right-aligned, or left-aligned for a negative width. A longer
// text widens its column instead of being cut.
std::string column(std::string_view text, int width)
{
    const std::size_t room = static_cast<std::size_t>(width < 0 ? -width : width);
    // Characters, not bytes: a unit such as "°C" takes two places in UTF-8's three bytes.
    const auto shown = static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
    const std::string blanks(room > shown ? room - shown : 0, ' ');
    return width < 0 ? std::string(text) + blanks : blanks + std::string(text);
}

template <std::size_t N>
std::string tableLine(const std::array<std::string, N>& cells, const std::array<int, N>& widths)
{
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0)
            line += ' ';
        line += column(cells[i], widths[i]);
    }
    return line + '\n';
}

std::string tableLine(const std::array<std::string, kColumnWidths.size()>& cells)
{
    return tableLine(cells, kColumnWidths);
}

std::string fixed(double value, int decimals)
{
    return fixedText(value, decimals);
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

// A channel's value at its shown digits.
std::string valueText(const ValueStatistics& values, int k, double value, int extraDecimals = 0)
{
    return fixed(value, values.profile().channel(k).shownDecimals() + extraDecimals);
}

std::string valueLimitText(const ValueStatistics& values, int k)
{
    const ChannelProfile& channel = values.profile().channel(k);
    if (!channel.limits)
        return "-";
    return valueText(values, k, channel.limits->lo) + ".." +
           valueText(values, k, channel.limits->hi);
}

bool channelMet(const RunStatistics& stats, const ValueStatistics* values, int k)
{
    return stats.limitMet(k) && (!values || values->limitMet(k, stats.frames()));
}

// PASS or FAIL for a channel with limits in counts or in its unit; "-" for one without.
const char* overallResult(const RunStatistics& stats, const ValueStatistics* values, int k)
{
    if (!stats.limit(k).checked && !(values && values->checked(k)))
        return "-";
    return channelMet(stats, values, k) && stats.channel(k).count() > 0 ? "PASS" : "FAIL";
}

// Why the run fails, for the last line of the table.
std::string verdict(const RunStatistics& stats, const ValueStatistics* values)
{
    if (stats.frames() == 0)
        return "FAIL (no frames received)";
    std::string why;
    const auto add = [&why](const std::string& reason) {
        why += (why.empty() ? "" : ", ") + reason;
    };
    for (int k = 0; k < kChannelCount; ++k) {
        if (!stats.limitMet(k))
            add("AD" + std::to_string(k) +
                (stats.withinLimits(k) ? " had no well-formed reading"
                                       : " outside " + limitText(stats.limit(k))));
        if (values && !values->limitMet(k, stats.frames()))
            add(values->profile().channelName(k) +
                (values->withinLimits(k)
                     ? " had no well-formed reading"
                     : " outside " + values->profile().channel(k).limitsText()));
    }
    if (!stats.malformedWithinBound())
        add(std::to_string(stats.malformedFrames()) + " malformed frames, more than " +
            std::to_string(*stats.maxMalformed()));
    return why.empty() ? "PASS" : "FAIL (" + why + ")";
}

std::string seconds(std::int64_t ns)
{
    return ns < 0 ? std::string() : fixed(static_cast<double>(ns) / 1e9, 3);
}

// The second table: each channel by name, its values in the unit against its limits.
std::string valueTable(const RunStatistics& stats, const ValueStatistics& values)
{
    std::string text =
        tableLine<14>({"channel", "name", "unit", "min", "max", "mean", "stddev", "p-p", "limit",
                       "outside", "first (s)", "last (s)", "extrap.", "result"},
                      kValueColumnWidths);
    for (int k = 0; k < kChannelCount; ++k) {
        const ChannelValueStatistics c = values.channel(k);
        const ChannelProfile& profile = values.profile().channel(k);
        const bool any = c.count > 0;
        const std::string first = seconds(c.firstExcursionNs);
        const std::string last = seconds(c.lastExcursionNs);
        text += tableLine<14>(
            {"AD" + std::to_string(k), values.profile().channelName(k),
             profile.unit.empty() ? "-" : profile.unit, any ? valueText(values, k, c.min) : "-",
             any ? valueText(values, k, c.max) : "-", any ? valueText(values, k, c.mean, 1) : "-",
             any ? valueText(values, k, c.standardDeviation, 1) : "-",
             any ? valueText(values, k, c.peakToPeak) : "-", valueLimitText(values, k),
             values.checked(k) ? std::to_string(c.outside) : "-", first.empty() ? "-" : first,
             last.empty() ? "-" : last, std::to_string(c.extrapolated),
             values.checked(k) ? (values.limitMet(k, stats.frames()) && any ? "PASS" : "FAIL")
                               : "-"},
            kValueColumnWidths);
    }
    return text;
}

} // namespace

bool limitsMet(const RunStatistics& stats, const ValueStatistics* values)
{
    for (int k = 0; k < kChannelCount; ++k)
        if (!channelMet(stats, values, k))
            return false;
    return true;
}

bool runPassed(const RunStatistics& stats, const ValueStatistics* values)
{
    return stats.frames() > 0 && limitsMet(stats, values) && stats.malformedWithinBound();
}

std::string summaryText(const RunStatistics& stats, const RunTotals& totals,
                        const ValueStatistics* values)
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
    if (values)
        text += "\n" + valueTable(stats, *values);
    text += "\nframes " + std::to_string(stats.frames()) + ", " +
            std::to_string(stats.malformedFrames()) + " malformed, " +
            fixed(framesPerSecond(stats, totals), 2) + " frames/s, " +
            std::to_string(totals.bytesReceived) + " bytes received, " +
            std::to_string(totals.bytesOutsideFrames) + " bytes outside frames, " +
            fixed(seconds(totals), 3) + " s\n";
    if (totals.mqttDropped)
        text += std::to_string(*totals.mqttDropped) + " frames not published (MQTT buffer full)\n";
    text += "result: " + verdict(stats, values) + "\n";
    return text;
}

namespace {

// The columns a profile adds to channel k's row of the CSV summary; empty cells for "all".
std::string valueCells(const ValueStatistics* values, int k)
{
    if (!values)
        return {};
    if (k < 0)
        return std::string(13, ',');
    const ChannelValueStatistics c = values->channel(k);
    const ChannelProfile& profile = values->profile().channel(k);
    std::string cells =
        "," + csvField(values->profile().channelName(k)) + "," + csvField(profile.unit);
    if (c.count > 0)
        cells += "," + valueText(*values, k, c.min) + "," + valueText(*values, k, c.max) + "," +
                 valueText(*values, k, c.mean, 1) + "," +
                 valueText(*values, k, c.standardDeviation, 1) + "," +
                 valueText(*values, k, c.peakToPeak);
    else
        cells += ",,,,,";
    if (profile.limits)
        cells += "," + valueText(*values, k, profile.limits->lo) + "," +
                 valueText(*values, k, profile.limits->hi) + "," + std::to_string(c.outside);
    else
        cells += ",,,";
    return cells + "," + seconds(c.firstExcursionNs) + "," + seconds(c.lastExcursionNs) + "," +
           std::to_string(c.extrapolated);
}

std::string valueJson(const ValueStatistics& values, int k)
{
    const ChannelValueStatistics c = values.channel(k);
    const ChannelProfile& profile = values.profile().channel(k);
    std::string json = "\"label\":" + jsonString(values.profile().channelName(k)) +
                       ",\"unit\":" + jsonString(profile.unit) + ",\"value\":{";
    if (c.count > 0)
        json += "\"min\":" + valueText(values, k, c.min) +
                ",\"max\":" + valueText(values, k, c.max) +
                ",\"mean\":" + valueText(values, k, c.mean, 1) +
                ",\"stddev\":" + valueText(values, k, c.standardDeviation, 1) +
                ",\"peak_to_peak\":" + valueText(values, k, c.peakToPeak);
    else
        json += "\"min\":null,\"max\":null,\"mean\":null,\"stddev\":null,\"peak_to_peak\":null";
    json += profile.limits ? ",\"limit\":{\"lo\":" + valueText(values, k, profile.limits->lo) +
                                 ",\"hi\":" + valueText(values, k, profile.limits->hi) + "}"
                           : std::string(",\"limit\":null");
    const auto time = [](std::int64_t ns) { return ns < 0 ? std::string("null") : seconds(ns); };
    return json + ",\"outside\":" + std::to_string(c.outside) +
           ",\"first_excursion_s\":" + time(c.firstExcursionNs) +
           ",\"last_excursion_s\":" + time(c.lastExcursionNs) +
           ",\"extrapolated\":" + std::to_string(c.extrapolated) + "},";
}

} // namespace

std::string summaryCsv(const RunStatistics& stats, const RunTotals& totals,
                       const ValueStatistics* values)
{
    std::string text =
        "channel,frames,min,min_hex,max,max_hex,mean,stddev,peak_to_peak,lo,hi,"
        "result,duration_s,frames_per_s,bytes_received,bytes_outside_frames,malformed";
    text += values ? ",name,unit,value_min,value_max,value_mean,value_stddev,value_peak_to_peak,"
                     "value_lo,value_hi,outside,first_excursion_s,last_excursion_s,"
                     "extrapolated\r\n"
                   : "\r\n";
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
        text += l.checked ? "," + std::to_string(l.lo) + "," + std::to_string(l.hi) : ",,";
        const std::string_view result = overallResult(stats, values, k);
        text += ',';
        text += result == "-" ? std::string_view() : result;
        text += ",,,,," + std::to_string(stats.malformedFields(k)) + valueCells(values, k) + "\r\n";
    }
    text += "all," + std::to_string(stats.frames()) + ",,,,,,,,,," +
            (runPassed(stats, values) ? "PASS" : "FAIL") + "," + fixed(seconds(totals), 3) + "," +
            fixed(framesPerSecond(stats, totals), 3) + "," + std::to_string(totals.bytesReceived) +
            "," + std::to_string(totals.bytesOutsideFrames) + "," +
            std::to_string(stats.malformedFrames()) + valueCells(values, -1) + "\r\n";
    return text;
}

std::string summaryJson(const RunStatistics& stats, const RunTotals& totals,
                        const ValueStatistics* values)
{
    std::string text = "{\"frames\":" + std::to_string(stats.frames()) +
                       ",\"malformed_frames\":" + std::to_string(stats.malformedFrames()) +
                       ",\"duration_s\":" + fixed(seconds(totals), 3) +
                       ",\"frames_per_s\":" + fixed(framesPerSecond(stats, totals), 3) +
                       ",\"bytes_received\":" + std::to_string(totals.bytesReceived) +
                       ",\"bytes_outside_frames\":" + std::to_string(totals.bytesOutsideFrames) +
                       (totals.mqttDropped
                            ? ",\"mqtt_dropped\":" + std::to_string(*totals.mqttDropped)
                            : std::string()) +
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
        if (values)
            text += valueJson(*values, k);
        const bool passed =
            stats.channelPassed(k) && (!values || values->limitMet(k, stats.frames()));
        text += passed ? "\"pass\":true}" : "\"pass\":false}";
    }
    text += runPassed(stats, values) ? "],\"pass\":true}\n" : "],\"pass\":false}\n";
    return text;
}

std::string formatSummary(SummaryFormat format, const RunStatistics& stats, const RunTotals& totals,
                          const ValueStatistics* values)
{
    switch (format) {
    case SummaryFormat::Csv:
        return summaryCsv(stats, totals, values);
    case SummaryFormat::Json:
        return summaryJson(stats, totals, values);
    case SummaryFormat::Text:
        break;
    }
    return summaryText(stats, totals, values);
}

} // namespace adc
