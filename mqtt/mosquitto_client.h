#pragma once

#include "publishing/broker_client.h"
#include "publishing/mqtt_settings.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct mosquitto;

namespace adc {

/// A connection to an MQTT broker through libmosquitto, kept up by a thread of its own: name
/// look-up, connecting and TLS handshakes block in libmosquitto, and none of them may hold up
/// reception. A connection that fails or is lost is tried again after 1 s, doubling to 30 s.
/// What happens is reported on the thread that made the client, in order.
class MosquittoClient final : public QObject, public BrokerClient
{
    Q_OBJECT

public:
    explicit MosquittoClient(BrokerAccess access, QObject* parent = nullptr);
    /// Stops as stop() does.
    ~MosquittoClient() override;

    /// Starts connecting.
    void start();
    /// Says goodbye to the broker, so that the will is not sent, and ends the thread.
    void stop();

    std::optional<int> publish(const std::string& topic, const std::string& payload, int qos,
                               bool retain) override;

signals:
    /// The broker accepted the connection.
    void connected();
    /// The connection is lost, or could not be made; `reason` says why.
    void disconnected(const QString& reason);
    /// Message `id` is delivered: written at QoS 0, acknowledged at QoS 1.
    void completed(int id);

private:
    enum class EventType
    {
        Connected,
        Disconnected,
        Completed,
    };
    struct Event
    {
        EventType type;
        int id = 0;
        std::string text;
    };

    void run();
    mosquitto* create();
    void post(Event event);
    void deliver();
    bool waitBeforeRetry(int seconds);
    void noteFailure(const std::string& reason);

    static void onConnect(mosquitto*, void* self, int rc);
    static void onDisconnect(mosquitto*, void* self, int rc);
    static void onPublish(mosquitto*, void* self, int id);
    static void onLog(mosquitto*, void* self, int level, const char* text);

    BrokerAccess m_access;
    std::thread m_thread;

    // Guards m_mosq against its destruction while the client's owner publishes.
    std::mutex m_mutex;
    mosquitto* m_mosq = nullptr;
    std::atomic<bool> m_connected = false;
    std::atomic<bool> m_stopping = false;
    std::condition_variable m_wake;

    std::mutex m_eventMutex;
    std::vector<Event> m_events;
    bool m_deliveryPosted = false;

    // The thread's own: why the current attempt failed, first cause first.
    std::string m_failure;
    bool m_accepted = false;
};

} // namespace adc
