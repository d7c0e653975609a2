#pragma once

#include "common/rotation_setting.h"
#include "monitor/frame_format.h"
#include "profile/calibration.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace adc {

/// The range a channel's values must stay in, in its unit; both ends belong to it.
struct ValueRange
{
    double lo = 0;
    double hi = 0;

    bool contains(double value) const { return value >= lo && value <= hi; }
};

/// What a rig's owner says about one channel: what it is called, its unit, how its readings
/// turn into values and the range those must stay in. Every part may be left out.
struct ChannelProfile
{
    /// Empty: the channel goes by its designation, "AD3".
    std::string name;
    std::string unit;
    /// None: values are the readings themselves.
    std::optional<Calibration> calibration;
    /// Digits after the decimal point of a shown or recorded value; none: as many as resolve
    /// one count.
    std::optional<int> decimals;
    /// In the unit; none: not checked.
    std::optional<ValueRange> limits;

    /// The value of `raw`.
    double value(std::int32_t raw) const
    {
        return calibration ? calibration->apply(raw) : static_cast<double>(raw);
    }
    /// The digits a value is shown and recorded with.
    int shownDecimals() const;
    /// `value` at the shown digits: "12.31".
    std::string format(double value) const;
    /// The same with the unit: "12.31 V".
    std::string formatWithUnit(double value) const;
    /// The limits at the shown digits, with the unit: "11.50..12.60 V"; empty without limits.
    std::string limitsText() const;
};

/// A rig's description: its channels and the settings it always runs with. What the command
/// line gives wins over it.
struct Profile
{
    std::array<ChannelProfile, kChannelCount> channels;
    std::optional<std::string> port;
    std::optional<bool> reconnect;
    std::optional<std::string> record;
    std::optional<std::string> capture;
    /// When the recording and the capture go on in a new file, and how many are kept.
    std::optional<Rotation> rotate;
    std::optional<int> keep;

    const ChannelProfile& channel(int k) const { return channels[static_cast<std::size_t>(k)]; }
    ChannelProfile& channel(int k) { return channels[static_cast<std::size_t>(k)]; }
    /// What channel k is called: its name, or its designation "AD3".
    std::string channelName(int k) const;
};

/// The readings of one frame in their channels' units, AD0 first; a value of a channel without
/// a calibration is its reading; NaN where the frame had no reading.
using ChannelValues = std::array<double, kChannelCount>;

} // namespace adc
