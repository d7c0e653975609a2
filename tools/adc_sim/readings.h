#pragma once

#include "monitor/frame_format.h"

#include <array>
#include <cstdint>

namespace adc::sim {

/// The highest reading, in the type the readings are held in.
inline constexpr auto kFullScale = static_cast<std::uint16_t>(kReadingMax);

/// One frame's worth of readings, channel AD0 first; each 0..kFullScale.
using Readings = FrameValues;

} // namespace adc::sim
