#include "readings/value_statistics.h"

#include <algorithm>
#include <cmath>

namespace adc {

ValueStatistics::ValueStatistics(const Profile& profile, const ValueTable& table)
    : m_profile(profile), m_table(table)
{
    for (int k = 0; k < kChannelCount; ++k) {
        const ChannelProfile& p = profile.channel(k);
        Channel& c = m_channels[static_cast<std::size_t>(k)];
        if (!p.limits)
            continue;
        // The values rise or fall throughout, so the readings within the limits are a run.
        std::int32_t first = -1;
        std::int32_t last = -2;
        for (std::int32_t raw = 0; raw <= kReadingMax; ++raw)
            if (p.limits->contains(table.value(k, raw))) {
                first = first < 0 ? raw : first;
                last = raw;
            }
        c.insideFrom = std::max(first, 0);
        c.insideCount = static_cast<std::uint32_t>(last - first + 1);
    }
}

void ValueStatistics::frameDecoded(const FrameReadings& readings, std::int64_t)
{
    for (std::size_t k = 0; k < readings.size(); ++k) {
        const std::int32_t raw = readings[k];
        if (raw == kNoReading)
            continue;
        Channel& c = m_channels[k];
        ++c.count;
        ++c.histogram[static_cast<std::size_t>(raw)];
        c.outside += static_cast<std::uint32_t>(raw - c.insideFrom) >= c.insideCount;
        c.latest = raw;
    }
}

void ValueStatistics::stamp(std::int64_t elapsedNs)
{
    for (Channel& c : m_channels) {
        if (c.outside == c.outsideDated)
            continue;
        if (c.firstExcursionNs < 0)
            c.firstExcursionNs = elapsedNs;
        c.lastExcursionNs = elapsedNs;
        c.outsideDated = c.outside;
    }
}

void ValueStatistics::reset()
{
    for (Channel& c : m_channels) {
        std::fill(c.histogram.begin(), c.histogram.end(), 0);
        c.count = 0;
        c.outside = 0;
        c.outsideDated = 0;
        c.firstExcursionNs = -1;
        c.lastExcursionNs = -1;
    }
}

double ValueStatistics::latest(int k) const
{
    const std::int32_t raw = m_channels[static_cast<std::size_t>(k)].latest;
    return raw < 0 ? 0.0 : m_table.value(k, raw);
}

bool ValueStatistics::limitMet(int k, std::int64_t frames) const
{
    return !checked(k) ||
           (withinLimits(k) && (m_channels[static_cast<std::size_t>(k)].count > 0 || frames == 0));
}

ChannelValueStatistics ValueStatistics::channel(int k) const
{
    const Channel& c = m_channels[static_cast<std::size_t>(k)];
    ChannelValueStatistics s;
    s.count = c.count;
    s.outside = c.outside;
    s.firstExcursionNs = c.firstExcursionNs;
    s.lastExcursionNs = c.lastExcursionNs;
    if (c.count == 0)
        return s;
    const auto times = [&c](std::int32_t raw) {
        return c.histogram[static_cast<std::size_t>(raw)];
    };
    std::int32_t low = 0;
    while (times(low) == 0)
        ++low;
    std::int32_t high = kReadingMax;
    while (times(high) == 0)
        --high;
    const double a = m_table.value(k, low);
    const double b = m_table.value(k, high);
    s.min = std::min(a, b);
    s.max = std::max(a, b);
    s.peakToPeak = s.max - s.min;

    // Two passes over the readings that came: the mean, then the spread about it, which keeps
    // the digits of a small noise on a large level.
    const Calibration* calibration =
        m_profile.channel(k).calibration ? &*m_profile.channel(k).calibration : nullptr;
    double sum = 0;
    for (std::int32_t raw = low; raw <= high; ++raw) {
        sum += static_cast<double>(times(raw)) * m_table.value(k, raw);
        if (calibration != nullptr && calibration->extrapolated(raw))
            s.extrapolated += times(raw);
    }
    const double n = static_cast<double>(c.count);
    s.mean = sum / n;
    if (c.count > 1) {
        double squares = 0;
        for (std::int32_t raw = low; raw <= high; ++raw) {
            const double d = m_table.value(k, raw) - s.mean;
            squares += static_cast<double>(times(raw)) * d * d;
        }
        s.standardDeviation = std::sqrt(squares / (n - 1));
    }
    return s;
}

} // namespace adc
