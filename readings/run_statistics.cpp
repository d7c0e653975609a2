#include "readings/run_statistics.h"

namespace adc {

void RunStatistics::frameDecoded(const FrameReadings& readings, std::int64_t)
{
    ++m_frames;
    bool malformed = false;
    for (std::size_t k = 0; k < readings.size(); ++k) {
        if (readings[k] == kNoReading) {
            ++m_malformedFields[k];
            malformed = true;
        } else {
            m_channels[k].add(readings[k]);
        }
    }
    m_malformedFrames += malformed;
}

bool RunStatistics::withinLimits(int k) const
{
    const ChannelLimit& l = limit(k);
    // The extremes decide: every reading lies between them.
    return !l.checked || channel(k).count() == 0 ||
           (channel(k).min() >= l.lo && channel(k).max() <= l.hi);
}

bool RunStatistics::limitMet(int k) const
{
    // Line noise alone proves nothing about a checked channel.
    return withinLimits(k) && (!limit(k).checked || channel(k).count() > 0 || m_frames == 0);
}

bool RunStatistics::allLimitsMet() const
{
    for (int k = 0; k < kChannelCount; ++k)
        if (!limitMet(k))
            return false;
    return true;
}

} // namespace adc
