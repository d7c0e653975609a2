#include "mqtt/mqtt_publisher.h"

#include <QEventLoop>
#include <algorithm>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace adc {

namespace {

// While the last messages go out at the end, the broker's answers are read this often.
constexpr int kFinishServiceMs = 5;
// Frames held beyond this many are a backlog whose memory is handed back when it has gone.
constexpr std::int64_t kBacklogFrames = 10'000;
// While the broker keeps the window full, its answers are read at most this often.
constexpr std::int64_t kFullServiceNs = 10'000'000;
constexpr std::int64_t kNsPerMs = 1'000'000;

BrokerAccess withWill(BrokerAccess access, const std::string& prefix)
{
    access.willTopic = prefix + "/status";
    access.willPayload = "offline";
    return access;
}

} // namespace

std::string MqttPublisher::summary() const
{
    // One JSON document per message; the line feed that ends it on a terminal is not part.
    std::string json = m_summary();
    while (!json.empty() && json.back() == '\n')
        json.pop_back();
    return json;
}

MqttPublisher::MqttPublisher(MqttSettings settings, MonitorSession& session,
                             std::function<std::string()> makeSummary, QObject* parent)
    : QObject(parent), m_settings(std::move(settings)), m_session(session),
      m_summary(std::move(makeSummary)),
      m_client(withWill(m_settings.access, m_settings.publish.prefix), this),
      m_publisher(m_settings.publish, m_client, m_clock, session.profile(), session.valueTable())
{
    m_publisher.setNoticeHandler([this](const std::string& text) {
        emit notice(QStringLiteral("MQTT: ") + QString::fromStdString(text));
    });
    connect(&m_client, &MosquittoClient::connected, this, &MqttPublisher::onConnected);
    connect(&m_client, &MosquittoClient::disconnected, this, &MqttPublisher::onDisconnected);
    connect(&m_client, &MosquittoClient::completed, this, [this](int id) {
        m_publisher.completed(id);
        sendGathered();
    });
    connect(&m_tickTimer, &QTimer::timeout, this, [this] {
        m_publisher.tick();
        afterTick();
    });
    m_summaryTimer.setInterval(static_cast<int>(m_settings.summaryEveryMs));
    connect(&m_summaryTimer, &QTimer::timeout, this,
            [this] { m_publisher.publishSummary(summary()); });
}

MqttPublisher::~MqttPublisher()
{
    if (m_started)
        m_session.removeConsumer(this);
}

void MqttPublisher::start()
{
    if (m_started)
        return;
    m_started = true;
    m_session.addConsumer(this);
    m_publisher.tick();
    afterTick();
    m_summaryTimer.start();
    m_client.start();
}

void MqttPublisher::finish(int timeoutMs)
{
    if (!m_started)
        return;
    m_started = false;
    m_session.removeConsumer(this);
    m_tickTimer.stop();
    m_summaryTimer.stop();
    // The last messages leave at once.
    m_client.setCorked(false);
    m_publisher.finish(summary());
    if (m_publisher.isConnected() && !m_publisher.drained()) {
        // The broker's acknowledgements are read often now: nothing else is left to do.
        QEventLoop loop;
        QTimer deadline;
        deadline.setSingleShot(true);
        connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        QTimer serve;
        connect(&serve, &QTimer::timeout, &loop, [this] { m_client.service(); });
        connect(&m_client, &MosquittoClient::completed, &loop, [this, &loop] {
            if (m_publisher.drained())
                loop.quit();
        });
        connect(&m_client, &MosquittoClient::disconnected, &loop, &QEventLoop::quit);
        deadline.start(timeoutMs);
        serve.start(kFinishServiceMs);
        loop.exec();
    }
    m_client.stop();
    m_unsent = m_publisher.held();
    if (m_unsent > 0)
        emit notice(tr("MQTT: %1 frames could not be published before the end").arg(m_unsent));
}

void MqttPublisher::frameDecoded(const FrameReadings& readings, std::int64_t frame)
{
    m_publisher.frameDecoded(readings, frame);
    if (m_publisher.takeTicked()) {
        afterTick();
        return;
    }
    // A broker slower than the frames: its acknowledgements are read now, not at the tick, but
    // not at every frame.
    if (m_publisher.windowFull()) {
        const std::int64_t now = m_clock.monotonicNs();
        if (now - m_lastServiceNs >= kFullServiceNs) {
            m_lastServiceNs = now;
            m_client.service();
        }
    }
    sendGathered();
}

void MqttPublisher::afterTick()
{
    // The connection is served in the tick's wake-up, whether a frame or the timer brought it.
    m_publisher.takeTicked();
    m_client.service();
    sendGathered();
    giveBackBacklog();
    // Fires only when no frame has come to do the tick in time.
    const std::int64_t wait = m_publisher.nextTickMs() - m_clock.monotonicNs() / kNsPerMs;
    m_tickTimer.start(static_cast<int>(std::max<std::int64_t>(wait, 0) + m_publisher.tickMs() / 2));
}

void MqttPublisher::giveBackBacklog()
{
    // What the frames held through an outage took is free once they have gone, but scattered
    // over the heap; it is handed back to the system once, not kept for the next outage.
    if (m_publisher.held() > kBacklogFrames)
        m_backlog = true;
    else if (m_backlog && m_publisher.held() < kBacklogFrames / 10) {
        m_backlog = false;
#ifdef __GLIBC__
        ::malloc_trim(0);
#endif
    }
}

void MqttPublisher::sendGathered()
{
    if (m_publisher.takeSent())
        m_client.push();
}

void MqttPublisher::onConnected()
{
    const QString broker = QString::fromStdString(m_settings.access.url.endpoint());
    if (!m_everConnected)
        emit notice(tr("MQTT: publishing to %1 under %2/")
                        .arg(broker, QString::fromStdString(m_settings.publish.prefix)));
    else
        emit notice(tr("MQTT: connected again to %1").arg(broker));
    m_everConnected = true;
    m_wasConnected = true;
    m_publisher.connected();
    sendGathered();
}

void MqttPublisher::onDisconnected(const QString& reason)
{
    m_publisher.disconnected();
    const bool lost = m_wasConnected;
    m_wasConnected = false;
    if (reason == m_lastReason && !lost)
        return;
    m_lastReason = reason;
    const QString broker = QString::fromStdString(m_settings.access.url.endpoint());
    if (lost)
        emit problem(tr("MQTT: lost the connection to %1 (%2); holding the readings and trying "
                        "again")
                         .arg(broker, reason));
    else
        emit problem(tr("MQTT: cannot connect to %1: %2; trying again").arg(broker, reason));
}

} // namespace adc
