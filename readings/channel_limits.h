#pragma once

#include "monitor/frame_format.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace adc {

/// The range every reading of one channel must lie in, for an unattended run's verdict.
struct ChannelLimit
{
    /// False: the channel is not checked.
    bool checked = false;
    std::int32_t lo = 0;
    std::int32_t hi = kReadingMax;
};

/// One limit per channel, AD0 first.
using ChannelLimits = std::array<ChannelLimit, kChannelCount>;

/// Adds the expectation `text`, "CHANNELS=LO..HI", to `limits`. CHANNELS is one channel
/// ("AD3"), a span ("AD0-AD3"), a comma list of either ("AD0,AD2-AD4") or "all"; LO and HI
/// are readings in decimal or, after "0x", hexadecimal. Channel names and digits may be in
/// either case. A channel named twice, here or by an earlier expectation, is a mistake.
///
/// Returns what is wrong with `text`, in one phrase; empty when it was added. On a mistake
/// `limits` is left as it was.
std::string addExpectation(std::string_view text, ChannelLimits& limits);

} // namespace adc
