#pragma once

#include <charconv>
#include <optional>
#include <string_view>

namespace adc::sim {

/// `text` as a number of type T when all of it is one, in the C locale's plain form (no
/// blanks, no sign for unsigned types); nothing otherwise.
template <typename T> std::optional<T> parseNumber(std::string_view text)
{
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace adc::sim
