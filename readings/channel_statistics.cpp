#include "readings/channel_statistics.h"

#include <algorithm>
#include <cmath>

namespace adc {

void ChannelStatistics::add(std::int32_t reading)
{
    ++m_count;
    m_min = std::min(m_min, reading);
    m_max = std::max(m_max, reading);
    const double delta = reading - m_mean;
    m_mean += delta / static_cast<double>(m_count);
    m_squares += delta * (reading - m_mean);
}

double ChannelStatistics::standardDeviation() const
{
    return m_count < 2 ? 0.0 : std::sqrt(m_squares / static_cast<double>(m_count - 1));
}

} // namespace adc
