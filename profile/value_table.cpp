#include "profile/value_table.h"

#include <limits>

namespace adc {

ValueTable::ValueTable(const Profile& profile)
{
    for (int k = 0; k < kChannelCount; ++k) {
        const ChannelProfile& channel = profile.channel(k);
        if (!channel.calibration)
            continue;
        std::vector<double>& values = m_values[static_cast<std::size_t>(k)];
        values.resize(kReadingMax + 1);
        for (std::int32_t raw = 0; raw <= kReadingMax; ++raw)
            values[static_cast<std::size_t>(raw)] = channel.calibration->apply(raw);
    }
}

void ValueTable::compute(const FrameReadings& readings, ChannelValues& values) const
{
    for (int k = 0; k < kChannelCount; ++k) {
        const std::int32_t raw = readings[static_cast<std::size_t>(k)];
        values[static_cast<std::size_t>(k)] =
            raw == kNoReading ? std::numeric_limits<double>::quiet_NaN() : value(k, raw);
    }
}

} // namespace adc
