#pragma once

#include "profile/channel_profile.h"

#include <optional>
#include <string>
#include <string_view>

namespace adc {

/// A profile read, or why it could not be.
struct ProfileRead
{
    std::optional<Profile> profile;
    /// When there is no profile: "rig.toml:12:9: AD3: limits: lower bound 12.6 above upper
    /// bound 11.5": the file, where in it, the channel, the key and what is wrong.
    std::string error;
};

/// Reads a profile from the TOML text `text`; `fileName` names it in messages.
///
/// Optional global keys `port` (text), `reconnect` (true or false), `record` and `capture`
/// (file names), and a table per channel, [AD0] .. [AD7], each key optional: `name`, `unit`,
/// `decimals`, one calibration (`raw` and `value`: two points; `gain` and `offset`; or
/// `table`: points of ascending readings), and `limits` = [lo, hi] in the unit. Anything else,
/// a value of the wrong kind or out of range, and a number that is not finite are mistakes.
ProfileRead parseProfile(std::string_view text, std::string_view fileName);

/// Reads the profile in the file at `path`.
ProfileRead readProfile(const std::string& path);

} // namespace adc
