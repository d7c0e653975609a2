#include "readings/value_statistics.h"

#include <algorithm>
#include <cmath>

namespace adc {

ValueStatistics::ValueStatistics(const Profile& profile, const ValueTable& table)
    : m_profile(profile), m_table(table)
{
    m_insideCount.fill(kReadingMax + 1);
    m_latest.fill(-1);
    m_firstExcursionNs.fill(-1);
    m_lastExcursionNs.fill(-1);
    for (int k = 0; k < kChannelCount; ++k) {
        const ChannelProfile& p = profile.channel(k);
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
        m_insideFrom[static_cast<std::size_t>(k)] = std::max(first, 0);
        m_insideCount[static_cast<std::size_t>(k)] = static_cast<std::uint32_t>(last - first + 1);
    }
}

void ValueStatistics::frameDecoded(const FrameReadings& readings, std::int64_t)
{
    // Without a branch: this runs for every frame at any line speed.
    std::int64_t* histogram = m_histogram.data();
    for (std::size_t k = 0; k < readings.size(); ++k) {
        const std::int32_t raw = readings[k];
        const bool taken = raw != kNoReading;
        ++histogram[k * kBins + static_cast<std::size_t>(taken ? raw : kReadingMax + 1)];
        m_outside[k] +=
            taken && static_cast<std::uint32_t>(raw - m_insideFrom[k]) >= m_insideCount[k];
        m_latest[k] = taken ? raw : m_latest[k];
    }
}

void ValueStatistics::stamp(std::int64_t elapsedNs)
{
    for (std::size_t k = 0; k < m_outside.size(); ++k) {
        if (m_outside[k] == m_outsideDated[k])
            continue;
        if (m_firstExcursionNs[k] < 0)
            m_firstExcursionNs[k] = elapsedNs;
        m_lastExcursionNs[k] = elapsedNs;
        m_outsideDated[k] = m_outside[k];
    }
}

void ValueStatistics::reset()
{
    std::fill(m_histogram.begin(), m_histogram.end(), 0);
    m_outside.fill(0);
    m_outsideDated.fill(0);
    m_firstExcursionNs.fill(-1);
    m_lastExcursionNs.fill(-1);
}

double ValueStatistics::latest(int k) const
{
    const std::int32_t raw = m_latest[static_cast<std::size_t>(k)];
    return raw < 0 ? 0.0 : m_table.value(k, raw);
}

bool ValueStatistics::limitMet(int k, std::int64_t frames) const
{
    return !checked(k) || (withinLimits(k) && (channel(k).count > 0 || frames == 0));
}

ChannelValueStatistics ValueStatistics::channel(int k) const
{
    const auto i = static_cast<std::size_t>(k);
    ChannelValueStatistics s;
    s.outside = m_outside[i];
    s.firstExcursionNs = m_firstExcursionNs[i];
    s.lastExcursionNs = m_lastExcursionNs[i];
    std::int32_t low = 0;
    while (low <= kReadingMax && times(k, low) == 0)
        ++low;
    if (low > kReadingMax)
        return s;
    std::int32_t high = kReadingMax;
    while (times(k, high) == 0)
        --high;
    const double a = m_table.value(k, low);
    const double b = m_table.value(k, high);
    s.min = std::min(a, b);
    s.max = std::max(a, b);
    s.peakToPeak = s.max - s.min;

    // Two passes over the readings that came: the mean, then the spread about it, which keeps
    // the digits of a small noise on a large level.
    const ChannelProfile& profile = m_profile.channel(k);
    double sum = 0;
    for (std::int32_t raw = low; raw <= high; ++raw) {
        const std::int64_t n = times(k, raw);
        s.count += n;
        sum += static_cast<double>(n) * m_table.value(k, raw);
        if (profile.calibration && profile.calibration->extrapolated(raw))
            s.extrapolated += n;
    }
    const double n = static_cast<double>(s.count);
    s.mean = sum / n;
    if (s.count > 1) {
        double squares = 0;
        for (std::int32_t raw = low; raw <= high; ++raw) {
            const double d = m_table.value(k, raw) - s.mean;
            squares += static_cast<double>(times(k, raw)) * d * d;
        }
        s.standardDeviation = std::sqrt(squares / (n - 1));
    }
    return s;
}

} // namespace adc
