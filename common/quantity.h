#pragma once

#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

namespace adc {

/// A size as people write it: a whole number of bytes, or followed by k, M or G for KiB, MiB
/// or GiB ("64k", "100M", "1G"). Nothing for anything else, zero or more than 2^62 bytes.
inline std::optional<std::uint64_t> parseByteSize(std::string_view text)
{
    std::uint64_t unit = 1;
    if (!text.empty()) {
        switch (text.back()) {
        case 'k':
        case 'K':
            unit = std::uint64_t(1) << 10;
            break;
        case 'M':
            unit = std::uint64_t(1) << 20;
            break;
        case 'G':
            unit = std::uint64_t(1) << 30;
            break;
        default:
            break;
        }
        if (unit != 1)
            text.remove_suffix(1);
    }
    std::uint64_t count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    constexpr std::uint64_t kLargest = std::uint64_t(1) << 62;
    if (error != std::errc() || end != text.data() + text.size() || count == 0 ||
        count > kLargest / unit)
        return std::nullopt;
    return count * unit;
}

/// A time as people write it, in milliseconds: a whole number followed by ms, s, m, h or d
/// ("250ms", "30s", "5m", "1h", "1d"). Nothing for anything else, zero or more than ten years.
inline std::optional<std::int64_t> parseIntervalMs(std::string_view text)
{
    struct Unit
    {
        std::string_view suffix;
        std::int64_t ms;
    };
    // "ms" before "m" and "s", which it ends like.
    constexpr Unit kUnits[] = {
        {"ms", 1}, {"s", 1000}, {"m", 60'000}, {"h", 3'600'000}, {"d", 86'400'000}};
    for (const Unit& unit : kUnits) {
        if (text.size() <= unit.suffix.size() || !text.ends_with(unit.suffix))
            continue;
        const std::string_view digits = text.substr(0, text.size() - unit.suffix.size());
        std::int64_t count = 0;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), count);
        constexpr std::int64_t kLongestMs = 3650LL * 86'400'000;
        if (error != std::errc() || end != digits.data() + digits.size() || count <= 0 ||
            count > kLongestMs / unit.ms)
            return std::nullopt;
        return count * unit.ms;
    }
    return std::nullopt;
}

} // namespace adc
