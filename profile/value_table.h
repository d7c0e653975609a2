#pragma once

#include "monitor/readings_observer.h"
#include "profile/channel_profile.h"

#include <array>
#include <cstdint>
#include <vector>

namespace adc {

/// Every reading's value on each channel of a profile, worked out once, so that turning a
/// frame's readings into values costs a look-up a channel at any line speed.
class ValueTable
{
public:
    explicit ValueTable(const Profile& profile);

    /// The value of `raw` (0..4095) on channel k.
    double value(int k, std::int32_t raw) const
    {
        const std::vector<double>& values = m_values[static_cast<std::size_t>(k)];
        return values.empty() ? static_cast<double>(raw) : values[static_cast<std::size_t>(raw)];
    }

    /// The values of a frame's readings; a kNoReading is worth NaN.
    void compute(const FrameReadings& readings, ChannelValues& values) const;

private:
    // Empty for a channel without a calibration, whose values are its readings.
    std::array<std::vector<double>, kChannelCount> m_values;
};

} // namespace adc
