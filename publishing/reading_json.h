#pragma once

#include "monitor/readings_observer.h"
#include "profile/channel_profile.h"
#include "profile/value_table.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace adc {

/// Writes a frame as the flat JSON object that dashboards read:
/// {"time":"2026-12-08T14:03:07.125+01:00","frame":123,"AD0":2048,...,"AD7":17}, the readings
/// in decimal and null for a field that was malformed. With a profile, each channel with a
/// calibration follows under its name with its value at its decimals.
class ReadingJson
{
public:
    /// `table` holds the values of `profile`; both outlive this, or are null together.
    explicit ReadingJson(const Profile* profile = nullptr, const ValueTable* table = nullptr);

    /// Appends the object of the frame counted `frame`, received at `localTime` (as
    /// isoLocalTime gives it), to `out`.
    void append(std::string& out, std::string_view localTime, std::int64_t frame,
                const FrameReadings& readings) const;

    /// The key channel k's value goes under: its name, or "AD3_value" when it has none or
    /// one the object already uses ("time", "frame").
    static std::string valueKey(const Profile& profile, int k);

private:
    const Profile* m_profile;
    const ValueTable* m_table;
    // ,"Battery": for each channel with a calibration; empty for the others.
    std::array<std::string, kChannelCount> m_valueKeys;
};

} // namespace adc
