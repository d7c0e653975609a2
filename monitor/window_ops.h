#pragma once

#include "monitor/frame_format.h"

#include <cstdint>
#include <string_view>

namespace adc {

/// The 25 display boxes are numbered 1..25, as the window names them (Text1..Text25).
inline constexpr int kBoxCount = 25;

/// Box showing the latest reading of channel k (0..7).
constexpr int valueBox(int k)
{
    return k + 1;
}
/// Box showing the highest reading of channel k since the last reset.
constexpr int maxBox(int k)
{
    return 9 + k;
}
/// Box showing the lowest reading of channel k since the last reset.
constexpr int minBox(int k)
{
    return 17 + k;
}
/// Box showing the frame count.
inline constexpr int kCountBox = 25;

/// Lamp colours are 24-bit values with red in the low byte.
using Colour = std::uint32_t;
inline constexpr Colour kLampBlack = 0x000000;
inline constexpr Colour kLampReceiving = 0x80FFFF; // light yellow: a frame is arriving
inline constexpr Colour kLampComplete = 0x00FF00;  // green: the frame is complete

/// The two things the monitor's logic does to the window.
///
/// Implemented by the main window, and by recording fakes in tests. Calls come from the
/// window's one thread, in the order the logic makes them.
class WindowOps
{
public:
    virtual ~WindowOps() = default;

    /// Makes box `box` (1..25) show exactly `text` (Latin-1, one byte per character).
    virtual void setBoxText(int box, std::string_view text) = 0;

    /// Fills the activity lamp with `colour` from now on.
    virtual void setLampColour(Colour colour) = 0;
};

} // namespace adc
