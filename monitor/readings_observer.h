#pragma once

#include "frame_format.h"

#include <array>
#include <cstdint>

namespace adc {

/// The eight readings of one frame, channel AD0 first.
using FrameReadings = std::array<std::int32_t, kChannelCount>;

/// Gets each decoded frame's readings, once per frame, from the same decoding that fills the
/// boxes, so that whatever records or summarises them can never disagree with the display.
class ReadingsObserver
{
public:
    virtual ~ReadingsObserver() = default;

    /// A frame was decoded into `readings`; `frame` is the count the window shows for it
    /// (it starts again from 1 after a reset).
    virtual void frameDecoded(const FrameReadings& readings, std::int64_t frame) = 0;
};

} // namespace adc
