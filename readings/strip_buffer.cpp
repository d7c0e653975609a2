#include "readings/strip_buffer.h"

#include <algorithm>

namespace adc {

void ReadingRange::merge(const ReadingRange& other)
{
    if (!other.any)
        return;
    if (!any) {
        *this = other;
        return;
    }
    for (std::size_t k = 0; k < low.size(); ++k) {
        low[k] = std::min(low[k], other.low[k]);
        high[k] = std::max(high[k], other.high[k]);
    }
}

StripBuffer::StripBuffer(std::int64_t spanNs, int slices)
    : m_sliceNs(
          std::max<std::int64_t>(1, (spanNs + std::max(1, slices) - 1) / std::max(1, slices))),
      m_slices(static_cast<std::size_t>(std::max(1, slices)))
{}

void StripBuffer::add(std::int64_t timeNs, const FrameReadings& readings)
{
    timeNs = std::max(timeNs, m_newestNs);
    m_newestNs = timeNs;
    const std::int64_t index = timeNs / m_sliceNs;
    Slice& slice = m_slices[static_cast<std::size_t>(index % std::int64_t(m_slices.size()))];
    ReadingRange& r = slice.range;
    if (slice.index != index) {
        // The place held a slice older than the span: start it afresh, every channel empty.
        slice.index = index;
        r.any = true;
        r.low.fill(0xFFFF);
        r.high.fill(0);
    }
    for (std::size_t k = 0; k < r.low.size(); ++k) {
        if (readings[k] == kNoReading)
            continue;
        const auto v = static_cast<std::uint16_t>(std::clamp(readings[k], 0, 0xFFFF));
        r.low[k] = std::min(r.low[k], v);
        r.high[k] = std::max(r.high[k], v);
    }
}

void StripBuffer::ranges(std::int64_t startNs, std::int64_t columnNs, int columns,
                         std::vector<ReadingRange>& out) const
{
    out.assign(static_cast<std::size_t>(std::max(0, columns)), ReadingRange{});
    if (columns <= 0 || columnNs <= 0)
        return;
    const std::int64_t endNs = startNs + columnNs * columns;
    for (const Slice& slice : m_slices) {
        const std::int64_t at = slice.index * m_sliceNs;
        if (slice.index < 0 || at < startNs || at >= endNs)
            continue;
        out[static_cast<std::size_t>((at - startNs) / columnNs)].merge(slice.range);
    }
}

void StripBuffer::clear()
{
    std::fill(m_slices.begin(), m_slices.end(), Slice{});
    m_newestNs = -1;
}

} // namespace adc
