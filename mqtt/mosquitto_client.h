#pragma once

#include "publishing/broker_client.h"
#include "publishing/mqtt_settings.h"

#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct mosquitto;

namespace adc {

/// A connection to an MQTT broker through libmosquitto, driven from Qt's event loop.
///
/// Connecting blocks in libmosquitto (the name's look-up, the TLS handshake), so a thread of
/// the client's own makes each connection and hands it over once the broker has accepted it;
/// from then on the connection is used on the thread that made the client, and reception
/// never waits for the network. Messages are written as they are published; what the broker
/// sends back (acknowledgements, its pings) is read when service() is called, so that a
/// message costs no wake-up of its own. A connection that fails or is lost is tried again after
/// 1 s, doubling to 30 s.
class MosquittoClient final : public QObject, public BrokerClient
{
    Q_OBJECT

public:
    explicit MosquittoClient(BrokerAccess access, QObject* parent = nullptr);
    /// Stops as stop() does.
    ~MosquittoClient() override;

    /// Starts connecting.
    void start();
    /// Says goodbye to the broker, so that its will is not published, and ends the thread.
    void stop();
    /// Reads what the broker has sent, keeps the connection alive and writes what waits; due
    /// at least every few seconds while connected.
    void service();
    /// Corked (from the connection on), what is written leaves once a segment is full or within
    /// 0.2 s; uncorked, at once and from now on.
    void setCorked(bool corked);
    /// Sends what the kernel holds now, and gathers again.
    void push();

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
    void run();
    mosquitto* create();
    mosquitto* connectOnce();
    void takeConnection();
    void afterCall(int rc);
    void finishLoss();
    void deliverCompletions();
    void watchWrites();
    bool waitBeforeRetry(int seconds);
    void noteFailure(const std::string& reason);

    static void onConnect(mosquitto*, void* self, int rc);
    static void onPublish(mosquitto*, void* self, int id);
    static void onLog(mosquitto*, void* self, int level, const char* text);

    BrokerAccess m_access;
    std::thread m_thread;

    // The connection in use, on the client's own thread only.
    mosquitto* m_mosq = nullptr;
    std::unique_ptr<QSocketNotifier> m_writable;
    std::vector<int> m_completions;
    bool m_deliveryPosted = false;
    bool m_losing = false;
    std::string m_lossReason;

    // Between the two threads.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    mosquitto* m_handed = nullptr;
    bool m_wanted = true;
    int m_delay = 0;
    std::atomic<bool> m_stopping = false;

    // The connecting thread's own: why the attempt failed, first cause first.
    std::string m_failure;
    bool m_accepted = false;
};

} // namespace adc
