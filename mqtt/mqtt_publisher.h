#pragma once

#include "mqtt/mosquitto_client.h"
#include "publishing/reading_publisher.h"
#include "session/monitor_session.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <string>

namespace adc {

/// Publishes a monitoring session to an MQTT broker: every frame's readings, the status
/// ("online", "offline", and "offline" by the broker's will when the program or its network
/// dies) and the summary. Takes the frames from the session, whichever face drives it, and
/// never makes reception wait for the network.
class MqttPublisher final : public QObject, private ReadingsObserver
{
    Q_OBJECT

public:
    /// `makeSummary` gives the run's summary as JSON, every summaryEveryMs and at the end.
    MqttPublisher(MqttSettings settings, MonitorSession& session,
                  std::function<std::string()> makeSummary, QObject* parent = nullptr);
    ~MqttPublisher() override;

    /// Takes the session's frames from now on and starts connecting.
    void start();
    /// Takes no more frames, publishes the last summary and "offline", waits up to
    /// `timeoutMs` for the broker to take what is held, and disconnects.
    void finish(int timeoutMs = 3000);

    /// Frames not published: those the buffer could not hold, and after finish() those still
    /// held.
    std::int64_t dropped() const { return m_publisher.dropped() + m_unsent; }
    /// True once the broker has taken any message.
    bool delivered() const { return m_publisher.delivered(); }
    const ReadingPublisher& publisher() const { return m_publisher; }

signals:
    /// The broker cannot be reached, refused us, or a connection was lost.
    void problem(const QString& text);
    /// Publishing started or resumed, or frames were dropped.
    void notice(const QString& text);

private:
    void frameDecoded(const FrameReadings& readings, std::int64_t frame) override;
    void afterTick();
    void sendGathered();
    void giveBackBacklog();
    std::string summary() const;
    void onConnected();
    void onDisconnected(const QString& reason);

    MqttSettings m_settings;
    MonitorSession& m_session;
    std::function<std::string()> m_summary;
    SystemClock m_clock;
    MosquittoClient m_client;
    ReadingPublisher m_publisher;
    QTimer m_tickTimer;
    QTimer m_summaryTimer;
    QString m_lastReason;
    std::int64_t m_unsent = 0;
    std::int64_t m_lastServiceNs = 0;
    bool m_backlog = false;
    bool m_started = false;
    bool m_everConnected = false;
    bool m_wasConnected = false;
};

} // namespace adc
