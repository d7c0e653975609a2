#pragma once

#include "monitor/frame_format.h"
#include "monitor/monitor_state.h"
#include "monitor/readings_observer.h"
#include "monitor/window_ops.h"

#include <string_view>

namespace adc {

/// Channel k's field: up to kFieldWidth characters from position kFieldPitch * k of `frameText`
/// (0-based); shorter or empty when the frame ends first. The CR may be part of it.
std::string_view fieldText(std::string_view frameText, int k);

/// Reads the eight readings out of one frame (the characters after STX, up to and including
/// CR), shows each in its value box, and updates and shows every min and max that changes.
///
/// The display mode is read once, at the start. In Hex mode value boxes show the field exactly
/// as received; min and max boxes are written only when their value changes. Then `observer`,
/// if any, gets the frame's readings, each field that is not three hexadecimal digits as
/// kNoReading, and all of them so when `cutShort` (an STX came before the frame's CR).
void decodeFrame(std::string_view frameText, MonitorState& state, WindowOps& window,
                 ReadingsObserver* observer = nullptr, bool cutShort = false);

} // namespace adc
