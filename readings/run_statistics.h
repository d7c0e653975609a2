#pragma once

#include "monitor/readings_observer.h"
#include "readings/channel_limits.h"
#include "readings/channel_statistics.h"

#include <array>
#include <cstdint>
#include <optional>

namespace adc {

/// Every well-formed reading of a run, summed up per channel and checked against the
/// channels' limits; the malformed ones are counted, never taken as readings.
class RunStatistics final : public ReadingsObserver
{
public:
    /// More than `maxMalformed` malformed frames fail the run; none given: any number.
    explicit RunStatistics(const ChannelLimits& limits = {},
                           std::optional<std::int64_t> maxMalformed = std::nullopt)
        : m_limits(limits), m_maxMalformed(maxMalformed)
    {}

    void frameDecoded(const FrameReadings& readings, std::int64_t frame) override;

    /// Frames taken, well formed or not.
    std::int64_t frames() const { return m_frames; }
    /// Frames with at least one field that held no reading.
    std::int64_t malformedFrames() const { return m_malformedFrames; }
    /// Channel k's fields that held no reading.
    std::int64_t malformedFields(int k) const
    {
        return m_malformedFields[static_cast<std::size_t>(k)];
    }
    /// The well-formed readings of channel k.
    const ChannelStatistics& channel(int k) const
    {
        return m_channels[static_cast<std::size_t>(k)];
    }
    const ChannelLimit& limit(int k) const { return m_limits[static_cast<std::size_t>(k)]; }
    std::optional<std::int64_t> maxMalformed() const { return m_maxMalformed; }

    /// False when a checked channel had a reading outside its limit.
    bool withinLimits(int k) const;
    /// False when a checked channel went outside its limit, or had not one well-formed
    /// reading in a run that received frames.
    bool limitMet(int k) const;
    /// True when every channel had readings and every checked one stayed within its limit.
    bool channelPassed(int k) const { return channel(k).count() > 0 && withinLimits(k); }
    /// False when any checked channel missed its limit (limitMet).
    bool allLimitsMet() const;
    /// False when there were more malformed frames than allowed.
    bool malformedWithinBound() const
    {
        return !m_maxMalformed || m_malformedFrames <= *m_maxMalformed;
    }

private:
    ChannelLimits m_limits;
    std::optional<std::int64_t> m_maxMalformed;
    std::int64_t m_frames = 0;
    std::int64_t m_malformedFrames = 0;
    std::array<std::int64_t, kChannelCount> m_malformedFields{};
    std::array<ChannelStatistics, kChannelCount> m_channels;
};

} // namespace adc
