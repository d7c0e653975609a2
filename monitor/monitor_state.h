#pragma once

#include "monitor/window_ops.h"

#include <array>
#include <cstdint>

namespace adc {

/// How readings are shown. Any value other than Hex counts as Dec.
enum class DisplayMode : std::int16_t
{
    Hex = 0,
    Dec = 1,
};

/// Running minimum and maximum of one channel.
struct ChannelRange
{
    std::int32_t min = 0;
    std::int32_t max = 0;
};

/// The window's own variables: display mode, per-channel ranges and the frame count.
///
/// Zero-initialised, so a fresh state is in Hex mode; a reset gives the ranges their start
/// values. The count is 64-bit so that counting frames can never overflow in practice.
struct MonitorState
{
    DisplayMode displayMode = DisplayMode::Hex;
    std::array<std::int32_t, kChannelCount> min{};
    std::array<std::int32_t, kChannelCount> max{};
    std::int64_t frameCount = 0;

    /// Channel k's range (0..7).
    ChannelRange range(int k) const { return {min[k], max[k]}; }
    /// True when readings are shown in decimal.
    bool isDecimal() const { return displayMode != DisplayMode::Hex; }
};

/// Restarts the statistics: every max 0, every min 4095, count 0, and shows them.
///
/// Writes the max boxes, then the min boxes in decimal, then the count; in Hex mode the min
/// boxes are then rewritten as "FFF". Value boxes and the lamp are left alone.
void resetStatistics(MonitorState& state, WindowOps& window);

/// Switches to `mode` and resets, also when `mode` is already the current one.
void selectDisplayMode(MonitorState& state, WindowOps& window, DisplayMode mode);

} // namespace adc
