#pragma once

#include "monitor/readings_observer.h"
#include "profile/value_table.h"

#include <array>
#include <cstdint>
#include <vector>

namespace adc {

/// What one channel's values in its unit came to, and how they kept to its limits.
struct ChannelValueStatistics
{
    /// Values taken: the channel's well-formed readings.
    std::int64_t count = 0;
    /// Lowest, highest, mean, sample standard deviation and highest minus lowest; 0 without
    /// values (the deviation also with one).
    double min = 0;
    double max = 0;
    double mean = 0;
    double standardDeviation = 0;
    double peakToPeak = 0;
    /// Values outside the limits.
    std::int64_t outside = 0;
    /// When the first and the last of those came, in nanoseconds since reception started;
    /// -1 before the first.
    std::int64_t firstExcursionNs = -1;
    std::int64_t lastExcursionNs = -1;
    /// Readings beyond the ends of the channel's calibration table.
    std::int64_t extrapolated = 0;
};

/// Every well-formed reading of a profile's channels, summed up in their units and checked
/// against their limits; each excursion counted and timed.
///
/// A frame costs a few additions a channel, whatever the calibration: what is kept is how often
/// each reading came, and the values' statistics are worked out from that when asked for. The
/// limits are a range of readings, since a calibration's values rise or fall throughout.
class ValueStatistics final : public ReadingsObserver
{
public:
    /// `profile` gives the limits, `table` the values; both must outlive the statistics.
    ValueStatistics(const Profile& profile, const ValueTable& table);

    void frameDecoded(const FrameReadings& readings, std::int64_t frame) override;
    /// Dates the excursions among the frames taken since the last call: they came `elapsedNs`
    /// after reception started.
    void stamp(std::int64_t elapsedNs);

    /// Forgets every value but the newest, which the value boxes go on showing: what RESET
    /// starts again.
    void reset();

    /// Channel k's values since the last reset, worked out now.
    ChannelValueStatistics channel(int k) const;
    /// Values of channel k outside its limits since the last reset.
    std::int64_t outside(int k) const { return m_outside[static_cast<std::size_t>(k)]; }
    /// Whether channel k has had a well-formed reading, even before the last reset.
    bool hasLatest(int k) const { return m_latest[static_cast<std::size_t>(k)] >= 0; }
    /// The value of channel k's newest well-formed reading; 0 without one.
    double latest(int k) const;

    const Profile& profile() const { return m_profile; }
    /// True when channel k has limits.
    bool checked(int k) const { return m_profile.channel(k).limits.has_value(); }
    /// False when a checked channel had a value outside its limits.
    bool withinLimits(int k) const { return outside(k) == 0; }
    /// False when a checked channel went outside its limits, or had not one well-formed
    /// reading although `frames` frames came.
    bool limitMet(int k, std::int64_t frames) const;

private:
    // One more than the readings: where a field without one is counted, so that a frame is
    // taken without a branch.
    static constexpr std::size_t kBins = kReadingMax + 2;

    std::int64_t times(int k, std::int32_t raw) const
    {
        return m_histogram[static_cast<std::size_t>(k) * kBins + static_cast<std::size_t>(raw)];
    }

    const Profile& m_profile;
    const ValueTable& m_table;
    // How often each reading came, channel after channel.
    std::vector<std::int64_t> m_histogram = std::vector<std::int64_t>(kChannelCount * kBins);
    // Readings from insideFrom on, insideCount of them, lie within the limits.
    std::array<std::int32_t, kChannelCount> m_insideFrom{};
    std::array<std::uint32_t, kChannelCount> m_insideCount{};
    std::array<std::int64_t, kChannelCount> m_outside{};
    std::array<std::int64_t, kChannelCount> m_outsideDated{}; // as of the last stamp()
    std::array<std::int64_t, kChannelCount> m_firstExcursionNs{};
    std::array<std::int64_t, kChannelCount> m_lastExcursionNs{};
    std::array<std::int32_t, kChannelCount> m_latest{};
};

} // namespace adc
