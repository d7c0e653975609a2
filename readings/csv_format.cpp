#include "readings/csv_format.h"

#include "common/text.h"
#include "monitor/number_format.h"

#include <chrono>
#include <cstdio>

namespace adc {

namespace {

// Floor division, so that moments before 1970 fall on the right day and millisecond.
constexpr std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

} // namespace

std::string isoLocalTime(std::int64_t unixMs, int utcOffsetSeconds)
{
    using namespace std::chrono;
    constexpr std::int64_t kMsPerDay = 86'400'000;
    const std::int64_t localMs = unixMs + std::int64_t{utcOffsetSeconds} * 1000;
    const std::int64_t day = floorDiv(localMs, kMsPerDay);
    const std::int64_t inDay = localMs - day * kMsPerDay;
    const year_month_day date{sys_days{days{day}}};
    const int offset = utcOffsetSeconds < 0 ? -utcOffsetSeconds : utcOffsetSeconds;

    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03d%c%02d:%02d",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(inDay / 3'600'000),
                  static_cast<int>(inDay / 60'000 % 60), static_cast<int>(inDay / 1000 % 60),
                  static_cast<int>(inDay % 1000), utcOffsetSeconds < 0 ? '-' : '+', offset / 3600,
                  offset / 60 % 60);
    return text;
}

namespace {

// The row's cells up to AD7, without its line end.
std::string rowCells(std::string_view localTime, std::int64_t elapsedNs, std::int64_t frame,
                     const FrameReadings& readings)
{
    const std::int64_t elapsedMs = (elapsedNs + 500'000) / 1'000'000;
    std::string row(localTime);
    row += ',';
    row += decimalText(elapsedMs / 1000).view();
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(elapsedMs % 1000));
    row += fraction;
    row += ',';
    row += decimalText(frame).view();
    for (std::int32_t reading : readings) {
        row += ',';
        if (reading != kNoReading)
            row += decimalText(reading).view();
    }
    return row;
}

} // namespace

std::string csvRow(std::string_view localTime, std::int64_t elapsedNs, std::int64_t frame,
                   const FrameReadings& readings)
{
    return rowCells(localTime, elapsedNs, frame, readings) + "\r\n";
}

std::string csvHeader(const Profile& profile)
{
    std::string header(kCsvHeader.substr(0, kCsvHeader.size() - 2));
    for (int k = 0; k < kChannelCount; ++k) {
        const ChannelProfile& channel = profile.channel(k);
        if (!channel.calibration)
            continue;
        header += ',';
        header += csvField(profile.channelName(k) +
                           (channel.unit.empty() ? "" : " [" + channel.unit + "]"));
    }
    return header + "\r\n";
}

std::string csvRow(std::string_view localTime, std::int64_t elapsedNs, std::int64_t frame,
                   const FrameReadings& readings, const Profile& profile,
                   const ChannelValues& values)
{
    std::string row = rowCells(localTime, elapsedNs, frame, readings);
    for (int k = 0; k < kChannelCount; ++k) {
        const ChannelProfile& channel = profile.channel(k);
        if (!channel.calibration)
            continue;
        row += ',';
        if (readings[static_cast<std::size_t>(k)] != kNoReading)
            row += fixedText(values[static_cast<std::size_t>(k)], channel.shownDecimals());
    }
    return row + "\r\n";
}

} // namespace adc
