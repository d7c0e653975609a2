#include "profile/channel_profile.h"

#include "common/text.h"

#include <algorithm>
#include <cmath>

namespace adc {

int ChannelProfile::shownDecimals() const
{
    if (decimals)
        return *decimals;
    if (!calibration)
        return 0;
    // Enough digits that a change of one count shows, and no more.
    const double step = calibration->finestStep();
    if (!(step > 0) || !std::isfinite(step))
        return 0;
    return std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 6);
}

std::string ChannelProfile::format(double value) const
{
    return fixedText(value, shownDecimals());
}

std::string ChannelProfile::formatWithUnit(double value) const
{
    return unit.empty() ? format(value) : format(value) + " " + unit;
}

std::string ChannelProfile::limitsText() const
{
    if (!limits)
        return {};
    const std::string range = format(limits->lo) + ".." + format(limits->hi);
    return unit.empty() ? range : range + " " + unit;
}

std::string Profile::channelName(int k) const
{
    const std::string& name = channel(k).name;
    return name.empty() ? "AD" + std::to_string(k) : name;
}

} // namespace adc
