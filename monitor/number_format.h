#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace adc {

/// The text of one number, held in place: formatting runs several times per frame and never
/// allocates. Converts to std::string_view; the view lives as long as this object.
class NumberText
{
public:
    /// Longest text: "-9223372036854775808".
    static constexpr std::size_t kCapacity = 20;

    /// The characters, without a terminator.
    std::string_view view() const { return {m_chars.data() + m_start, kCapacity - m_start}; }
    operator std::string_view() const { return view(); }
    friend bool operator==(const NumberText& a, std::string_view b) { return a.view() == b; }

private:
    friend NumberText decimalText(std::int64_t value);
    friend NumberText hexText(std::int64_t value);

    std::array<char, kCapacity> m_chars{};
    std::uint8_t m_start = kCapacity; // digits fill the buffer from the back
};

/// Base 10, a leading "-" for negatives, no padding: 0 -> "0", 4095 -> "4095".
NumberText decimalText(std::int64_t value);

/// Base 16 with upper-case digits, no prefix, no padding: 10 -> "A", 4095 -> "FFF".
/// A negative value gets a leading "-" before the digits of its magnitude.
NumberText hexText(std::int64_t value);

/// The number a received field stands for, read as a hexadecimal literal.
///
/// Blanks, tabs and line feeds are skipped wherever they stand; then the longest run of
/// hexadecimal digits (either case) is read, stopping at the first other character. No digits
/// gives 0. "0A3" -> 163, "fff" -> 4095, " 5F" -> 95, "12x" -> 18, "" -> 0. Values past
/// INT32_MAX, possible only for fields longer than a reading, saturate.
std::int32_t readingValue(std::string_view field);

/// The reading a well-formed field carries: exactly three hexadecimal digits (either case),
/// nothing else. -1 for any other field, so that a reading of 0 is never mistaken for a glitch.
std::int32_t wholeReading(std::string_view field);

} // namespace adc
