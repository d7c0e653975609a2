#include "session/monitor_session.h"

namespace adc {

MonitorSession::MonitorSession(Face face, QObject* parent) : QObject(parent)
{
    // A child named after the control it replaces, so that tools can find it.
    m_link.setObjectName(QStringLiteral("Comm1"));
    m_link.setPortChoice(face == Face::Window ? PortChoice::WindowOrCommandLine
                                              : PortChoice::CommandLine);
    m_reception.addObserver(this);
    m_reception.setByteSink(&m_recording);
    m_consumers.add(&m_statistics);
    m_consumers.add(&m_recording);

    connect(&m_link, &SerialLink::receivingStarted, this, &MonitorSession::receivingStarted);
    connect(&m_link, &SerialLink::stopped, this, [this] {
        m_stopNs = m_clock.monotonicNs();
        emit stopped();
    });
    connect(&m_link, &SerialLink::batchProcessed, this, [this] {
        // A batch's frames arrived together: the clock is read once for all of them.
        if (m_valueStatistics)
            m_valueStatistics->stamp(m_clock.monotonicNs() - m_startNs);
        emit batchProcessed();
    });
    connect(&m_link, &SerialLink::failed, this, &MonitorSession::portFailed);
    connect(&m_link, &SerialLink::reconnecting, this, &MonitorSession::reconnecting);
    connect(&m_link, &SerialLink::hungUp, this, &MonitorSession::hungUp);
    connect(&m_link, &SerialLink::reconnected, this,
            [this] { emit reconnected(m_link.portName()); });
    // A lost device or a failed start leaves every row received in the file.
    connect(&m_link, &SerialLink::stopped, &m_recording, &RecordingSession::flush);
    connect(&m_recording, &RecordingSession::failed, this, &MonitorSession::recordingFailed);
    connect(&m_recording, &RecordingSession::recordingChanged, this,
            &MonitorSession::recordingChanged);
}

MonitorSession::~MonitorSession()
{
    // Nothing may reach a consumer that its owner is taking apart; the link and the recording
    // close quietly as they go.
    m_taking = false;
}

void MonitorSession::setProfile(const Profile& profile)
{
    m_profile = profile;
    m_valueTable = std::make_unique<ValueTable>(*m_profile);
    m_valueStatistics = std::make_unique<ValueStatistics>(*m_profile, *m_valueTable);
    m_consumers.add(m_valueStatistics.get());
    // The recording's rows then carry the values too, so it takes them instead of the readings.
    m_consumers.remove(&m_recording);
    m_recording.setProfile(&*m_profile);
    m_valueConsumers.add(&m_recording);
}

void MonitorSession::reset()
{
    resetStatistics(m_state, m_display);
    if (m_valueStatistics)
        m_valueStatistics->reset();
}

void MonitorSession::setPortName(const QString& portName)
{
    if (!isReceiving())
        m_portName = portName;
}

bool MonitorSession::start()
{
    if (isReceiving())
        return true;
    if (!m_link.start(m_portName))
        return false;
    m_startNs = m_clock.monotonicNs();
    m_stopNs = -1;
    // The files asked for are made once the port is open, so that a run that cannot receive
    // leaves none behind.
    if (const QString problem = m_recording.startArmed(); !problem.isEmpty()) {
        m_link.stop();
        emit recordingFailed(problem);
        return false;
    }
    return true;
}

RunTotals MonitorSession::totals() const
{
    RunTotals totals;
    if (m_startNs != 0)
        totals.durationNs = (m_stopNs < 0 ? m_clock.monotonicNs() : m_stopNs) - m_startNs;
    totals.bytesReceived = m_reception.bytesReceived();
    totals.bytesOutsideFrames = m_reception.bytesOutsideFrames();
    return totals;
}

void MonitorSession::stop()
{
    // Frees the port for another program at once; a frame that is half received is dropped
    // with it. The rows received are written out when the link says it has stopped.
    m_link.stop();
}

void MonitorSession::endRun()
{
    m_taking = false;
}

void MonitorSession::close()
{
    m_link.stop();
    m_recording.stopRecording();
    m_recording.stopCapture();
}

void MonitorSession::frameDecoded(const FrameReadings& readings, std::int64_t frame)
{
    if (!m_taking)
        return;
    m_consumers.frameDecoded(readings, frame);
    if (m_valueTable && (m_otherValueConsumers > 0 || m_recording.isRecording())) {
        m_valueTable->compute(readings, m_values);
        m_valueConsumers.frameValued(readings, m_values, frame);
    }
}

} // namespace adc
