#pragma once

#include "monitor/readings_observer.h"
#include "publishing/broker_client.h"
#include "publishing/reading_json.h"
#include "recording/clock.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace adc {

/// How the readings are published.
struct PublishSettings
{
    /// Topics are PREFIX/readings, PREFIX/status and PREFIX/summary.
    std::string prefix;
    /// 0: at most once; 1: acknowledged by the broker.
    int qos = 0;
    /// Every frame of this many milliseconds goes out as one message, a JSON array. None: a
    /// message per frame up to kPerFrameRate frames a second, batches of kTickMs above.
    std::optional<std::int64_t> everyMs;
    /// Frames received this many milliseconds ago or longer are dropped while the broker
    /// cannot take them.
    std::int64_t bufferMs = 60'000;
};

/// Publishes every frame's readings, the run's status and its summary through a broker client,
/// never waiting for it: frames are held while the broker is away or slow and sent in order
/// when it takes them again; what the buffer cannot hold any more is dropped, oldest first, and
/// counted. Driven by the frames, which tick when a tick is due, by tick() when no frame
/// comes, and by what the client reports.
class ReadingPublisher final : public ReadingsObserver
{
public:
    /// Above this many frames a second, a message per frame gives way to batches.
    static constexpr std::int64_t kPerFrameRate = 1000;
    /// The batches' length at high rates.
    static constexpr std::int64_t kTickMs = 100;
    /// How often tick() is due when nothing asks for more: what is held is checked against the
    /// buffer's span, and the client's connection served.
    static constexpr std::int64_t kIdleTickMs = 1000;
    /// The longest a frame's own message waits for those of the frames after it, so that they
    /// go together: a sending costs the connection far more than a message in it.
    static constexpr std::int64_t kGatherMs = 1000;
    /// Gathered messages go at once when there are this many.
    static constexpr std::int64_t kGatherFrames = 100;
    /// Messages handed to the client and not yet reported complete, at most: two seconds of
    /// the fastest rate of a message per frame.
    static constexpr int kWindow = 2000;

    /// `profile` and `table` name and value the channels in the readings, or are null.
    ReadingPublisher(PublishSettings settings, BrokerClient& client, const Clock& clock,
                     const Profile* profile = nullptr, const ValueTable* table = nullptr);
    ReadingPublisher(const ReadingPublisher&) = delete;
    ReadingPublisher& operator=(const ReadingPublisher&) = delete;

    /// Called with what the publisher has to tell: frames dropped, and how many.
    void setNoticeHandler(std::function<void(const std::string&)> handler)
    {
        m_notice = std::move(handler);
    }

    void frameDecoded(const FrameReadings& readings, std::int64_t frame) override;
    /// Cuts the batch when it is due, drops what the buffer no longer holds, and sends what it
    /// can. A frame that finds a tick due ticks first itself.
    void tick();
    /// True when a tick came since the last call: the client's connection may then be served.
    bool takeTicked() { return std::exchange(m_ticked, false); }
    /// How often tick() is due now, in milliseconds: the batches' length while they are cut
    /// (at most kIdleTickMs), kIdleTickMs otherwise.
    std::int64_t tickMs() const;
    /// When the next tick is due, in milliseconds of the clock's monotonic time: at the next
    /// batch's end, or tickMs() after the last tick.
    std::int64_t nextTickMs() const { return m_nextTickMs; }
    /// True when no more messages may be handed to the client until some complete.
    bool windowFull() const;

    /// The client is connected: the status goes out as "online", then everything held.
    void connected();
    /// The client lost its connection: what it had not completed is sent again on the next.
    void disconnected();
    /// The client has delivered message `id` (written, or acknowledged at QoS 1).
    void completed(int id);

    /// Publishes `json` as the retained summary; only the newest waits while the broker is away.
    void publishSummary(std::string json);
    /// The run is ending: the summary `json` and the status "offline" go out after the rest.
    void finish(std::string json);

    /// Frames dropped because the buffer could not hold them.
    std::int64_t dropped() const { return m_dropped; }
    /// Frames held or in flight, not yet delivered.
    std::int64_t held() const
    {
        return static_cast<std::int64_t>(m_frames.size()) + m_messageFrames;
    }
    /// True once the broker has taken any message.
    bool delivered() const { return m_delivered; }
    /// True when nothing waits to go out or to be completed.
    bool drained() const;
    /// True while frames go out in batches.
    bool batching() const { return m_settings.everyMs || m_fast; }
    bool isConnected() const { return m_connected; }
    /// True when messages went to the client since the last call: the connection may then send
    /// what it has gathered.
    bool takeSent() { return std::exchange(m_sent, false); }

private:
    struct HeldFrame
    {
        std::int64_t unixMs;
        std::int64_t monotonicMs;
        std::int64_t frame;
        std::array<std::int16_t, kChannelCount> readings;
    };
    // A message's worth of the held frames, oldest first.
    struct Cut
    {
        std::int64_t frames;
        bool array;
    };
    struct Message
    {
        // One of the publisher's own topics: a message per frame copies no name.
        const std::string* topic = nullptr;
        std::string payload;
        int qos;
        bool retain;
        std::int64_t frames = 0;
    };
    struct InFlight
    {
        int id;
        Message message;
    };

    void cutBatch();
    void dropExpired();
    void reportDrops();
    void pump();
    bool send(Message message);
    Message readingsMessage(const Cut& cut);
    const std::string& localTime(std::int64_t unixMs);
    void notice(const std::string& text);

    PublishSettings m_settings;
    BrokerClient& m_client;
    const Clock& m_clock;
    ReadingJson m_json;
    std::string m_readingsTopic;
    std::string m_statusTopic;
    std::string m_summaryTopic;
    std::function<void(const std::string&)> m_notice;

    std::deque<HeldFrame> m_frames;
    std::deque<Cut> m_cuts;
    std::int64_t m_openFrames = 0;
    // Messages to send before anything else: the status, then what a lost connection left.
    std::deque<Message> m_urgent;
    std::optional<Message> m_summary;
    std::optional<Message> m_final;
    std::deque<InFlight> m_inFlight;
    std::string m_spare;
    // Frames in messages formed and not yet completed.
    std::int64_t m_messageFrames = 0;
    std::size_t m_inFlightBytes = 0;

    bool m_connected = false;
    bool m_sent = false;
    bool m_ticked = false;
    std::int64_t m_lastSendMs = std::numeric_limits<std::int64_t>::min() / 2;
    bool m_delivered = false;
    bool m_dropping = false;
    std::int64_t m_dropped = 0;
    std::int64_t m_droppedReported = 0;
    std::int64_t m_droppedAtTick = 0;

    // The frames of each tenth of the last second, to choose between frames and batches.
    std::array<std::int64_t, 10> m_slotIds{};
    std::array<std::int64_t, 10> m_slotCounts{};
    bool m_fast = false;
    std::int64_t m_nextCutMs = 0;
    std::int64_t m_nextTickMs = 0;

    std::int64_t m_timeSecond = -1;
    int m_utcOffset = 0;
    std::int64_t m_timeMs = -1;
    std::string m_time;
};

} // namespace adc
