#pragma once

#include <algorithm>
#include <cstdint>

namespace adc {

/// Keeps something that is asked for often (a repaint, a look at the screen) to at most once
/// per interval. Times are nanoseconds of any monotonic clock the caller reads.
class Throttle
{
public:
    explicit Throttle(std::int64_t intervalNs) : m_intervalNs(intervalNs) {}

    std::int64_t intervalNs() const { return m_intervalNs; }
    void setIntervalNs(std::int64_t intervalNs) { m_intervalNs = intervalNs; }

    /// True when it was never done, or a whole interval has passed since it was last done.
    bool due(std::int64_t nowNs) const { return untilDueNs(nowNs) == 0; }
    /// Nanoseconds until due(); 0 when it is.
    std::int64_t untilDueNs(std::int64_t nowNs) const
    {
        return m_done ? std::max<std::int64_t>(0, m_lastNs + m_intervalNs - nowNs) : 0;
    }
    /// It was done at `nowNs`.
    void done(std::int64_t nowNs)
    {
        m_lastNs = nowNs;
        m_done = true;
    }

private:
    std::int64_t m_intervalNs;
    std::int64_t m_lastNs = 0;
    bool m_done = false;
};

} // namespace adc
