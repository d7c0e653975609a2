#pragma once

#include "monitor/readings_observer.h"

#include <array>
#include <cstdint>
#include <vector>

namespace adc {

/// The lowest and highest reading of each channel over a stretch of time.
struct ReadingRange
{
    /// False when no frame fell in the stretch; `low` and `high` then mean nothing.
    bool any = false;
    /// Per channel; low above high where frames fell but none had a reading of that channel.
    std::array<std::uint16_t, kChannelCount> low{};
    std::array<std::uint16_t, kChannelCount> high{};

    /// True when channel k has a reading in the stretch.
    bool has(int k) const
    {
        return any && low[static_cast<std::size_t>(k)] <= high[static_cast<std::size_t>(k)];
    }
    /// Widens the range to take in `other`.
    void merge(const ReadingRange& other);
};

/// The readings of the last span of time, kept as the lowest and highest reading of each
/// channel in each of a fixed number of equal slices, so that memory does not grow with the
/// rate or the run time and no reading, however short-lived, is lost from view.
///
/// Times are nanoseconds on a clock that never jumps back; a time older than the newest one
/// taken is counted with the newest slice.
class StripBuffer
{
public:
    /// Slices in a span: more than the pixels of any screen's width.
    static constexpr int kDefaultSlices = 4096;

    /// Keeps at least `spanNs` (at least one nanosecond per slice) in `slices` slices.
    explicit StripBuffer(std::int64_t spanNs, int slices = kDefaultSlices);

    /// Takes one frame's readings, received at `timeNs`; a kNoReading is left out.
    void add(std::int64_t timeNs, const FrameReadings& readings);

    /// The range of each of `columns` stretches of `columnNs` from `startNs` on, oldest first,
    /// counting only slices still within the span; each slice in the stretch its start falls in.
    void ranges(std::int64_t startNs, std::int64_t columnNs, int columns,
                std::vector<ReadingRange>& out) const;

    /// Forgets every reading.
    void clear();

    std::int64_t spanNs() const { return m_sliceNs * static_cast<std::int64_t>(m_slices.size()); }
    std::int64_t sliceNs() const { return m_sliceNs; }
    /// The time of the newest reading taken, or -1 before the first.
    std::int64_t newestNs() const { return m_newestNs; }

private:
    struct Slice
    {
        std::int64_t index = -1; // which slice of time it holds; -1 for none yet
        ReadingRange range;
    };

    std::int64_t m_sliceNs;
    std::vector<Slice> m_slices;
    std::int64_t m_newestNs = -1;
};

} // namespace adc
