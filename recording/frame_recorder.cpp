#include "recording/frame_recorder.h"

#include "readings/csv_format.h"

namespace adc {

FrameRecorder::FrameRecorder(RecordOutput& output, const Clock& clock)
    : m_output(output), m_clock(clock), m_startNs(clock.monotonicNs())
{
    if (m_output.startedEmpty())
        m_output.append(kCsvHeader);
}

void FrameRecorder::frameDecoded(const FrameReadings& readings, std::int64_t frame)
{
    const std::int64_t unixMs = m_clock.unixMs();
    const std::int64_t second = unixMs / 1000;
    if (second != m_offsetSecond) {
        m_offsetSecond = second;
        m_utcOffset = m_clock.utcOffsetSeconds(unixMs);
    }
    m_output.append(csvRow(isoLocalTime(unixMs, m_utcOffset), m_clock.monotonicNs() - m_startNs,
                           frame, readings));
    ++m_rows;
}

} // namespace adc
