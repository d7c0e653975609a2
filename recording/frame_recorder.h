#pragma once

#include "monitor/readings_observer.h"
#include "profile/values_observer.h"
#include "recording/clock.h"
#include "recording/record_output.h"

#include <cstdint>

namespace adc {

/// Writes each decoded frame as a row of a CSV recording: the local time of its CR, the
/// seconds since recording started, the count the window shows and the eight readings; with a
/// profile, the values of its calibrated channels after them.
class FrameRecorder final : public ReadingsObserver, public ValuesObserver
{
public:
    /// Recording starts now; the header goes first unless `output` adds to a file that has
    /// rows already, and starts each file of a rotation. With `profile`, which must outlive the
    /// recorder, rows come through frameValued().
    FrameRecorder(RecordOutput& output, const Clock& clock, const Profile* profile = nullptr);

    void frameDecoded(const FrameReadings& readings, std::int64_t frame) override;
    void frameValued(const FrameReadings& readings, const ChannelValues& values,
                     std::int64_t frame) override;

    /// Rows written so far.
    std::int64_t rows() const { return m_rows; }

private:
    /// The time cells of a row now.
    std::string localTime();

    RecordOutput& m_output;
    const Clock& m_clock;
    const Profile* m_profile;
    std::int64_t m_startNs = 0;
    std::int64_t m_rows = 0;
    // The UTC offset is looked up once a second: it changes with the time zone's rules only.
    std::int64_t m_offsetSecond = -1;
    int m_utcOffset = 0;
};

} // namespace adc
