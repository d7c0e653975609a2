#pragma once

#include "monitor/readings_observer.h"
#include "readings/channel_limits.h"
#include "readings/channel_statistics.h"

#include <array>
#include <cstdint>

namespace adc {

/// Every reading of a run, summed up per channel and checked against the channels' limits.
class RunStatistics final : public ReadingsObserver
{
public:
    explicit RunStatistics(const ChannelLimits& limits = {}) : m_limits(limits) {}

    void frameDecoded(const FrameReadings& readings, std::int64_t frame) override;

    /// Frames whose readings were taken.
    std::int64_t frames() const { return m_channels[0].count(); }
    const ChannelStatistics& channel(int k) const
    {
        return m_channels[static_cast<std::size_t>(k)];
    }
    const ChannelLimit& limit(int k) const { return m_limits[static_cast<std::size_t>(k)]; }

    /// False when a checked channel had a reading outside its limit.
    bool withinLimits(int k) const;
    /// True when every channel had readings and every checked one stayed within its limit.
    bool channelPassed(int k) const { return channel(k).count() > 0 && withinLimits(k); }
    /// False when any checked channel went outside its limit.
    bool allWithinLimits() const;

private:
    ChannelLimits m_limits;
    std::array<ChannelStatistics, kChannelCount> m_channels;
};

} // namespace adc
