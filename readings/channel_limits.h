#pragma once

#include "monitor/frame_format.h"
#include "profile/channel_profile.h"

#include <array>
#include <cstdint>
#include <optional>
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

/// With a profile: adds the expectation `text`, "NAME=LO..HI", as the limits of the channel
/// called NAME in `profile` (in either case), LO and HI in its unit. `given` marks the channels
/// the command line has given limits so far; a channel given two is a mistake.
///
/// Returns none when NAME is not a channel's name, so that `text` is for addExpectation; what
/// is wrong with `text`, in one phrase; or an empty text when it was added.
std::optional<std::string> addNamedExpectation(std::string_view text, Profile& profile,
                                               std::array<bool, kChannelCount>& given);

} // namespace adc
