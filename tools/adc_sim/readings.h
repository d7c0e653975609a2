#pragma once

#include <array>
#include <cstdint>

namespace adc::sim {

/// Channels of the converter, AD0..AD7.
inline constexpr int kChannels = 8;

/// Highest 12-bit reading.
inline constexpr std::uint16_t kFullScale = 0xFFF;

/// One frame's worth of readings, channel AD0 first; each 0..kFullScale.
using Readings = std::array<std::uint16_t, kChannels>;

} // namespace adc::sim
