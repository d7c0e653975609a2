#pragma once

#include <cstdint>
#include <limits>

namespace adc {

/// Count, lowest, highest, mean and standard deviation of one channel's readings.
///
/// The mean and the spread are kept with Welford's running method, which stays exact where
/// summing squares would lose the digits of a small noise on a large level.
class ChannelStatistics
{
public:
    /// Takes one more reading.
    void add(std::int32_t reading);

    std::int64_t count() const { return m_count; }
    /// The lowest and highest reading; both 0 before the first.
    std::int32_t min() const { return m_count ? m_min : 0; }
    std::int32_t max() const { return m_count ? m_max : 0; }
    /// Highest minus lowest.
    std::int32_t peakToPeak() const { return max() - min(); }
    /// The mean; 0 before the first reading.
    double mean() const { return m_mean; }
    /// The sample standard deviation (divided by count - 1); 0 for fewer than two readings.
    double standardDeviation() const;

private:
    std::int64_t m_count = 0;
    std::int32_t m_min = std::numeric_limits<std::int32_t>::max();
    std::int32_t m_max = std::numeric_limits<std::int32_t>::min();
    double m_mean = 0;
    double m_squares = 0; // sum of squared distances from the running mean
};

} // namespace adc
