#pragma once

#include "monitor/readings_observer.h"
#include "profile/channel_profile.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace adc {

/// The first line of a recording (RFC 4180: fields by commas, lines ended by CR LF).
inline constexpr std::string_view kCsvHeader =
    "time,elapsed_s,frame,AD0,AD1,AD2,AD3,AD4,AD5,AD6,AD7\r\n";

/// A moment as ISO 8601 local time with milliseconds and the UTC offset:
/// "2026-12-08T14:03:07.125+01:00". `unixMs` is milliseconds since 1970-01-01 UTC; the local
/// time is `utcOffsetSeconds` ahead of UTC.
std::string isoLocalTime(std::int64_t unixMs, int utcOffsetSeconds);

/// One row of a recording: the frame's local time (as isoLocalTime gives it), the seconds
/// since recording started with three decimals, the frame count the window shows, and the
/// eight readings in decimal, an empty cell for each kNoReading.
std::string csvRow(std::string_view localTime, std::int64_t elapsedNs, std::int64_t frame,
                   const FrameReadings& readings);

/// The header of a recording with `profile`: kCsvHeader's columns, then one for each channel
/// with a calibration, "Name [unit]", in channel order.
std::string csvHeader(const Profile& profile);

/// A row of a recording with `profile`: csvRow's cells, then the value of each channel with a
/// calibration at its decimals; an empty cell where the frame had no reading.
std::string csvRow(std::string_view localTime, std::int64_t elapsedNs, std::int64_t frame,
                   const FrameReadings& readings, const Profile& profile,
                   const ChannelValues& values);

} // namespace adc
