#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace adc {

/// Base 10, a leading "-" for negatives, no padding: 0 -> "0", 4095 -> "4095".
std::string decimalText(std::int64_t value);

/// Base 16 with upper-case digits, no prefix, no padding: 10 -> "A", 4095 -> "FFF".
/// A negative value gets a leading "-" before the digits of its magnitude.
std::string hexText(std::int64_t value);

/// The number a received field stands for, read as a hexadecimal literal.
///
/// Blanks, tabs and line feeds are skipped wherever they stand; then the longest run of
/// hexadecimal digits (either case) is read, stopping at the first other character. No digits
/// gives 0. "0A3" -> 163, "fff" -> 4095, " 5F" -> 95, "12x" -> 18, "" -> 0. Values past
/// INT32_MAX, possible only for fields longer than a reading, saturate.
std::int32_t readingValue(std::string_view field);

} // namespace adc
