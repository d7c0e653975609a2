#pragma once

#include "acquisition/reception.h"
#include "acquisition/serial_link.h"
#include "monitor/monitor_state.h"
#include "monitor/pending_display.h"
#include "monitor/readings_observer.h"
#include "profile/value_table.h"
#include "profile/values_observer.h"
#include "readings/channel_limits.h"
#include "readings/run_statistics.h"
#include "readings/summary_format.h"
#include "readings/value_statistics.h"
#include "recording/clock.h"
#include "recording/recording_session.h"

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace adc {

/// One monitoring session, whichever face shows it: the window or the unattended run.
///
/// Owns the monitor's state, the reception of the character stream, the serial link, the
/// recording and capture, the run's statistics and the list of everything else that takes the
/// readings. Every decoded frame reaches each of them once, in the order they were added, from
/// the decoding that fills the boxes. An output added here is had by both faces.
///
/// What the boxes and the lamp are to show collects in display(); the window shows it at the
/// screen's pace, an unattended run never, and only the newest of each is kept either way.
class MonitorSession final : public QObject, private ReadingsObserver
{
    Q_OBJECT

public:
    /// Who is in front of the session, so that a message names only what they can do.
    enum class Face
    {
        Window,
        Unattended,
    };

    explicit MonitorSession(Face face, QObject* parent = nullptr);
    ~MonitorSession() override;

    /// The port start() opens.
    QString portName() const { return m_portName; }
    /// Makes start() open `portName` from now on; ignored while receiving.
    void setPortName(const QString& portName);
    /// When on, a device that goes away is opened again as soon as it is back, with the state
    /// kept; meanwhile reconnecting() has said so and the session counts as receiving.
    void setReconnect(bool reconnect) { m_link.setReconnect(reconnect); }
    /// When on, a device that hangs up has ended its input: hungUp() says so instead of
    /// portFailed().
    void setEndOnHangup(bool end) { m_link.setEndOnHangup(end); }
    /// The limits the run's statistics check every reading against, and how many malformed
    /// frames the run may have (none given: any number).
    void setLimits(const ChannelLimits& limits,
                   std::optional<std::int64_t> maxMalformed = std::nullopt)
    {
        m_statistics = RunStatistics(limits, maxMalformed);
    }

    /// Names the channels, turns their readings into values in their units and checks those
    /// against their limits, as `profile` says: from now on every frame goes to the statistics
    /// in units, its values to the recording's extra columns and to the consumers added with
    /// addValuesConsumer(). Set once, before the first start().
    void setProfile(const Profile& profile);
    /// The profile set; null when none.
    const Profile* profile() const { return m_profile ? &*m_profile : nullptr; }
    /// When reception last started, on the clock the values' excursions are timed by
    /// (SystemClock's monotonic nanoseconds).
    std::int64_t startedNs() const { return m_startNs; }
    /// Every reading's value on each channel; null without a profile.
    const ValueTable* valueTable() const { return m_valueTable.get(); }
    /// What reception took in besides the readings, from its last start until now, or until it
    /// stopped.
    RunTotals totals() const;
    /// The values' statistics since the last reset; null without a profile.
    const ValueStatistics* valueStatistics() const { return m_valueStatistics.get(); }

    /// Opens the port, then starts the recording and capture armed in recording(), and
    /// receives until stop() or a failure of the line. Returns whether reception runs;
    /// portFailed() or recordingFailed() has said why not.
    bool start();
    /// Closes the port, releasing it for other programs, and writes out what was recorded.
    void stop();
    /// Ends the run: no frame decoded from now on reaches a consumer, also the rest of the
    /// batch being decoded, so that a consumer may call it. The port stays open until close().
    void endRun();
    /// Closes the port and ends the recording and the capture with everything written.
    void close();

    /// Restarts the ranges, the frame count and the statistics in units.
    void reset();
    /// Switches the number format, then resets.
    void selectMode(DisplayMode mode) { selectDisplayMode(m_state, m_display, mode); }

    /// Hands every decoded frame's readings to `consumer` from now on, after those added
    /// before; it must outlive the session or be removed first.
    void addConsumer(ReadingsObserver* consumer) { m_consumers.add(consumer); }
    /// Not from within a consumer's frameDecoded().
    void removeConsumer(ReadingsObserver* consumer) { m_consumers.remove(consumer); }
    /// With a profile: hands every decoded frame's values to `consumer` from now on, after the
    /// readings' consumers; it must outlive the session or be removed first.
    void addValuesConsumer(ValuesObserver* consumer)
    {
        m_valueConsumers.add(consumer);
        ++m_otherValueConsumers;
    }
    /// Not from within a consumer's frameValued().
    void removeValuesConsumer(ValuesObserver* consumer)
    {
        m_valueConsumers.remove(consumer);
        --m_otherValueConsumers;
    }

    /// True while the port is open and frames are received, also while reconnecting.
    bool isReceiving() const { return m_link.isReceiving(); }
    const MonitorState& state() const { return m_state; }
    /// What the boxes and the lamp are to show, written since its last flush.
    PendingDisplay& display() { return m_display; }
    const Reception& reception() const { return m_reception; }
    const RunStatistics& statistics() const { return m_statistics; }
    RecordingSession& recording() { return m_recording; }
    const RecordingSession& recording() const { return m_recording; }
    /// The serial link, for the window's tools that look for it by name.
    const SerialLink& link() const { return m_link; }

signals:
    /// Reception runs.
    void receivingStarted();
    /// Reception has ended, after stop() or a failure.
    void stopped();
    /// A batch of received bytes has been taken in.
    void batchProcessed();
    /// The port could not be opened, or the device went away; reception has stopped.
    void portFailed(const QString& message);
    /// The device went away and is looked for again.
    void reconnecting(const QString& message);
    /// With setEndOnHangup(): the device hung up; reception has stopped.
    void hungUp(const QString& message);
    /// The device is back and reception has resumed on `portName`.
    void reconnected(const QString& portName);
    /// A recording or a capture could not be written and has stopped.
    void recordingFailed(const QString& message);
    /// A recording started or stopped.
    void recordingChanged();

private:
    void frameDecoded(const FrameReadings& readings, std::int64_t frame) override;

    QString m_portName = SerialLink::defaultPortName();
    MonitorState m_state;
    PendingDisplay m_display;
    Reception m_reception{m_state, m_display};
    SerialLink m_link{m_reception, this};
    RunStatistics m_statistics;
    RecordingSession m_recording{this};
    ReadingsFanOut m_consumers;
    std::optional<Profile> m_profile;
    std::unique_ptr<ValueTable> m_valueTable;
    std::unique_ptr<ValueStatistics> m_valueStatistics;
    ValuesFanOut m_valueConsumers;
    ChannelValues m_values{};
    // Values are worked out only while something takes them: a recording, or another consumer.
    int m_otherValueConsumers = 0;
    SystemClock m_clock;
    std::int64_t m_startNs = 0;
    std::int64_t m_stopNs = -1;
    bool m_taking = true;
};

} // namespace adc
