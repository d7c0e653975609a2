#include "mqtt/mqtt_publisher.h"

#include <QDeadlineTimer>
#include <QEventLoop>

namespace adc {

namespace {

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
    connect(&m_client, &MosquittoClient::completed, this,
            [this](int id) { m_publisher.completed(id); });
    m_tickTimer.setInterval(static_cast<int>(m_publisher.tickMs()));
    connect(&m_tickTimer, &QTimer::timeout, this, [this] { m_publisher.tick(); });
    m_summaryTimer.setInterval(static_cast<int>(m_settings.summaryEveryMs));
    connect(&m_summaryTimer, &QTimer::timeout, this,
            [this] { m_publisher.publishSummary(summary()); });
}

MqttPublisher::~MqttPublisher()
{
    if (m_started)
        m_session.removeConsumer(&m_publisher);
}

void MqttPublisher::start()
{
    if (m_started)
        return;
    m_started = true;
    m_session.addConsumer(&m_publisher);
    m_tickTimer.start();
    m_summaryTimer.start();
    m_client.start();
}

void MqttPublisher::finish(int timeoutMs)
{
    if (!m_started)
        return;
    m_started = false;
    m_session.removeConsumer(&m_publisher);
    m_tickTimer.stop();
    m_summaryTimer.stop();
    m_publisher.finish(summary());
    if (m_publisher.isConnected() && !m_publisher.drained()) {
        QEventLoop loop;
        QTimer deadline;
        deadline.setSingleShot(true);
        connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        connect(&m_client, &MosquittoClient::completed, &loop, [this, &loop] {
            if (m_publisher.drained())
                loop.quit();
        });
        connect(&m_client, &MosquittoClient::disconnected, &loop, &QEventLoop::quit);
        deadline.start(timeoutMs);
        loop.exec();
    }
    m_client.stop();
    m_unsent = m_publisher.held();
    if (m_unsent > 0)
        emit notice(tr("MQTT: %1 frames could not be published before the end").arg(m_unsent));
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
    m_lastReason.clear();
    m_publisher.connected();
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
