#include "number_format.h"

#include <array>
#include <limits>

namespace adc {

namespace {

// What each character means to a reading: its digit value, or one of the two markers below.
// A table, since this runs for every character of every field.
constexpr std::uint8_t kSkip = 16; // blank, tab, line feed: ignored wherever they stand
constexpr std::uint8_t kStop = 17; // anything else that is not a hexadecimal digit

constexpr std::array<std::uint8_t, 256> makeCharClasses()
{
    std::array<std::uint8_t, 256> classes{};
    classes.fill(kStop);
    for (int c = '0'; c <= '9'; ++c)
        classes[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c)
        classes[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c)
        classes[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c - 'a' + 10);
    classes[' '] = classes['\t'] = classes['\n'] = kSkip;
    return classes;
}

constexpr std::array<std::uint8_t, 256> kCharClasses = makeCharClasses();

// Digits of |value| in the given base, most significant first. Works on the unsigned
// magnitude so that INT64_MIN is handled too. The base is a template argument so that the
// divisions compile to multiplications: this runs several times for every frame.
template <unsigned base> std::string formatInBase(std::int64_t value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
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

std::string decimalText(std::int64_t value)
{
    return formatInBase<10>(value);
}

std::string hexText(std::int64_t value)
{
    return formatInBase<16>(value);
}

std::int32_t readingValue(std::string_view field)
{
    // The usual field: three digits, nothing to skip.
    if (field.size() == 3) {
        const unsigned d0 = kCharClasses[static_cast<unsigned char>(field[0])];
        const unsigned d1 = kCharClasses[static_cast<unsigned char>(field[1])];
        const unsigned d2 = kCharClasses[static_cast<unsigned char>(field[2])];
        if ((d0 | d1 | d2) < 16)
            return static_cast<std::int32_t>(d0 << 8 | d1 << 4 | d2);
    }
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    std::int64_t value = 0;
    for (char c : field) {
        const std::uint8_t digit = kCharClasses[static_cast<unsigned char>(c)];
        if (digit == kSkip)
            continue;
        if (digit == kStop)
            break;
        value = value * 16 + digit;
        if (value > kMax)
            value = kMax;
    }
    return static_cast<std::int32_t>(value);
}

} // namespace adc
