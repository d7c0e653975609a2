#include "readings/run_statistics.h"

namespace adc {

void RunStatistics::frameDecoded(const FrameReadings& readings, std::int64_t)
{
    for (std::size_t k = 0; k < readings.size(); ++k)
        m_channels[k].add(readings[k]);
}

bool RunStatistics::withinLimits(int k) const
{
    const ChannelLimit& l = limit(k);
    // The extremes decide: every reading lies between them.
    return !l.checked || channel(k).count() == 0 ||
           (channel(k).min() >= l.lo && channel(k).max() <= l.hi);
}

bool RunStatistics::allWithinLimits() const
{
    for (int k = 0; k < kChannelCount; ++k)
        if (!withinLimits(k))
            return false;
    return true;
}

} // namespace adc
