#include "readings/channel_limits.h"

#include "common/text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>

namespace adc {

namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

std::optional<std::int32_t> parseReading(std::string_view text)
{
    int base = 10;
    if (startsWithNoCase(text, "0x")) {
        text.remove_prefix(2);
        base = 16;
    }
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 0 ||
        value > kReadingMax)
        return std::nullopt;
    return value;
}

std::optional<int> parseChannel(std::string_view text)
{
    if (!startsWithNoCase(text, "AD") || text.size() != 3 || text[2] < '0' ||
        text[2] >= '0' + kChannelCount)
        return std::nullopt;
    return text[2] - '0';
}

std::optional<double> parseValue(std::string_view text)
{
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

std::optional<std::string> addNamedExpectation(std::string_view text, Profile& profile,
                                               std::array<bool, kChannelCount>& given)
{
    // A name may hold what a list of channels would be cut at; '=' it cannot.
    const std::size_t equals = text.rfind('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    const std::string_view name = text.substr(0, equals);
    int k = 0;
    while (k < kChannelCount && !(profile.channel(k).name.size() == name.size() &&
                                  startsWithNoCase(profile.channel(k).name, name)))
        ++k;
    if (k == kChannelCount)
        return std::nullopt;

    const std::string_view range = text.substr(equals + 1);
    const std::string& unit = profile.channel(k).unit;
    // The first ".." after the first character, so that "-5..60" is read as from -5.
    const std::size_t dots = range.find("..", 1);
    const auto lo = parseValue(range.substr(0, dots));
    const auto hi =
        dots == std::string_view::npos ? std::nullopt : parseValue(range.substr(dots + 2));
    if (!lo || !hi)
        return "invalid range " + quoted(range) + " in " + quoted(text) + " (LO..HI in " +
               (unit.empty() ? std::string("the channel's values") : unit) +
               ", such as 11.5..12.6)";
    if (*lo > *hi)
        return "range " + quoted(range) + " in " + quoted(text) + " is empty (LO above HI)";
    if (given[static_cast<std::size_t>(k)])
        return "channel AD" + std::to_string(k) + " (" + profile.channel(k).name +
               ") is given two ranges; give it one";
    given[static_cast<std::size_t>(k)] = true;
    profile.channel(k).limits = ValueRange{*lo, *hi};
    return std::string();
}

std::string addExpectation(std::string_view text, ChannelLimits& limits)
{
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos)
        return "expectation " + quoted(text) + " needs the form CHANNELS=LO..HI";
    const std::string_view channels = text.substr(0, equals);
    const std::string_view range = text.substr(equals + 1);

    std::array<bool, kChannelCount> named{};
    if (startsWithNoCase(channels, "all") && channels.size() == 3) {
        named.fill(true);
    } else {
        std::string_view rest = channels;
        while (true) {
            const std::size_t comma = rest.find(',');
            const std::string_view item = rest.substr(0, comma);
            const std::size_t dash = item.find('-');
            const auto first = parseChannel(item.substr(0, dash));
            const auto last =
                dash == std::string_view::npos ? first : parseChannel(item.substr(dash + 1));
            if (!first || !last)
                return "unknown channel " + quoted(item) + " in " + quoted(text) +
                       " (AD0..AD7, a span such as AD0-AD3, a comma list, or all)";
            if (*first > *last)
                return "channel span " + quoted(item) + " runs backwards";
            for (int k = *first; k <= *last; ++k) {
                if (named[static_cast<std::size_t>(k)])
                    return "channel AD" + std::to_string(k) + " is named twice in " + quoted(text);
                named[static_cast<std::size_t>(k)] = true;
            }
            if (comma == std::string_view::npos)
                break;
            rest.remove_prefix(comma + 1);
        }
    }

    const std::size_t dots = range.find("..");
    const auto lo = parseReading(range.substr(0, dots));
    const auto hi =
        dots == std::string_view::npos ? std::nullopt : parseReading(range.substr(dots + 2));
    if (!lo || !hi)
        return "invalid range " + quoted(range) + " in " + quoted(text) +
               " (LO..HI, each 0..4095 in decimal or 0x000..0xFFF)";
    if (*lo > *hi)
        return "range " + quoted(range) + " in " + quoted(text) + " is empty (LO above HI)";

    // A second range for a channel could mean either, or both: ask for one.
    for (int k = 0; k < kChannelCount; ++k) {
        const ChannelLimit& limit = limits[static_cast<std::size_t>(k)];
        if (named[static_cast<std::size_t>(k)] && limit.checked)
            return "channel AD" + std::to_string(k) + " has two ranges, " +
                   std::to_string(limit.lo) + ".." + std::to_string(limit.hi) + " and " +
                   std::to_string(*lo) + ".." + std::to_string(*hi) + "; give it one";
    }
    for (int k = 0; k < kChannelCount; ++k)
        if (named[static_cast<std::size_t>(k)])
            limits[static_cast<std::size_t>(k)] = ChannelLimit{true, *lo, *hi};
    return {};
}

} // namespace adc
