#include "number_format.h"

#include <limits>

namespace adc {

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Digits of |value| in the given base, most significant first. Works on the unsigned
// magnitude so that INT64_MIN is handled too.
std::string formatInBase(std::int64_t value, unsigned base)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value)
                                        : static_cast<std::uint64_t>(value);
    char buffer[24];
    char* end = buffer + sizeof buffer;
    char* p = end;
    do {
        *--p = kDigits[magnitude % base];
        magnitude /= base;
    } while (magnitude != 0);
    if (value < 0)
        *--p = '-';
    return std::string(p, end);
}

} // namespace

std::string decimalText(std::int64_t value) { return formatInBase(value, 10); }

std::string hexText(std::int64_t value) { return formatInBase(value, 16); }

std::int32_t readingValue(std::string_view field)
{
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    std::int64_t value = 0;
    for (char c : field) {
        if (c == ' ' || c == '\t' || c == '\n')
            continue;
        const int digit = hexDigit(c);
        if (digit < 0)
            break;
        value = value * 16 + digit;
        if (value > kMax)
            value = kMax;
    }
    return static_cast<std::int32_t>(value);
}

} // namespace adc
