#include "monitor/number_format.h"

#include <array>
#include <cstring>
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

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233"
    "34353637383940414243444546474849505152535455565758596061626364656667"
    "6869707172737475767778798081828384858687888990919293949596979899";

} // namespace

NumberText decimalText(std::int64_t value)
{
    NumberText text;
    // Readings: up to four digits, written without a loop, as their lengths vary at random.
    if (value >= 0 && value < 10000) {
        const auto v = static_cast<unsigned>(value);
        std::memcpy(&text.m_chars[NumberText::kCapacity - 4], &kDigitPairs[2 * (v / 100)], 2);
        std::memcpy(&text.m_chars[NumberText::kCapacity - 2], &kDigitPairs[2 * (v % 100)], 2);
        const unsigned digits = 1 + (v >= 10) + (v >= 100) + (v >= 1000);
        text.m_start = static_cast<std::uint8_t>(NumberText::kCapacity - digits);
        return text;
    }
    // Two digits per step for the rest: the count box grows past a million within hours.
    std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::size_t p = NumberText::kCapacity;
    while (magnitude >= 100) {
        p -= 2;
        std::memcpy(&text.m_chars[p], &kDigitPairs[2 * (magnitude % 100)], 2);
        magnitude /= 100;
    }
    if (magnitude >= 10) {
        p -= 2;
        std::memcpy(&text.m_chars[p], &kDigitPairs[2 * magnitude], 2);
    } else {
        text.m_chars[--p] = static_cast<char>('0' + magnitude);
    }
    if (value < 0)
        text.m_chars[--p] = '-';
    text.m_start = static_cast<std::uint8_t>(p);
    return text;
}

NumberText hexText(std::int64_t value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    NumberText text;
    std::size_t p = NumberText::kCapacity;
    do {
        text.m_chars[--p] = kDigits[magnitude % 16];
        magnitude /= 16;
    } while (magnitude != 0);
    if (value < 0)
        text.m_chars[--p] = '-';
    text.m_start = static_cast<std::uint8_t>(p);
    return text;
}

std::int32_t wholeReading(std::string_view field)
{
    if (field.size() != 3)
        return -1;
    const unsigned d0 = kCharClasses[static_cast<unsigned char>(field[0])];
    const unsigned d1 = kCharClasses[static_cast<unsigned char>(field[1])];
    const unsigned d2 = kCharClasses[static_cast<unsigned char>(field[2])];
    return (d0 | d1 | d2) < 16 ? static_cast<std::int32_t>(d0 << 8 | d1 << 4 | d2) : -1;
}

std::int32_t readingValue(std::string_view field)
{
    // The usual field: three digits, nothing to skip.
    if (const std::int32_t whole = wholeReading(field); whole >= 0)
        return whole;
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
