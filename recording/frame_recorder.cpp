#include "recording/frame_recorder.h"

#include "readings/csv_format.h"

namespace adc {

FrameRecorder::FrameRecorder(RecordOutput& output, const Clock& clock, const Profile* profile)
    : m_output(output), m_clock(clock), m_profile(profile), m_startNs(clock.monotonicNs())
{
    m_output.setHeader(m_profile ? csvHeader(*m_profile) : std::string(kCsvHeader));
}

std::string FrameRecorder::localTime()
{
    const std::int64_t unixMs = m_clock.unixMs();
    const std::int64_t second = unixMs / 1000;
    if (second != m_offsetSecond) {
        m_offsetSecond = second;
        m_utcOffset = m_clock.utcOffsetSeconds(unixMs);
    }
    return isoLocalTime(unixMs, m_utcOffset);
}

void FrameRecorder::frameDecoded(const FrameReadings& readings, std::int64_t frame)
{
    const std::string time = localTime();
    m_output.append(csvRow(time, m_clock.monotonicNs() - m_startNs, frame, readings));
    ++m_rows;
}

void FrameRecorder::frameValued(const FrameReadings& readings, const ChannelValues& values,
                                std::int64_t frame)
{
    const std::string time = localTime();
    m_output.append(
        csvRow(time, m_clock.monotonicNs() - m_startNs, frame, readings, *m_profile, values));
    ++m_rows;
}

} // namespace adc
