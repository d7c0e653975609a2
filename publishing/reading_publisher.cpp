#include "publishing/reading_publisher.h"

#include "readings/csv_format.h"

#include <algorithm>

namespace adc {

namespace {

// A batch is a JSON array of frames; this many bytes of it in flight are enough to keep any
// broker busy, and bound what a lost connection leaves to send again.
constexpr std::size_t kWindowBytes = 4 << 20;

constexpr std::int64_t kNsPerMs = 1'000'000;
// About what a frame's object takes, to make room for a batch at once.
constexpr std::size_t kObjectBytes = 160;

} // namespace

ReadingPublisher::ReadingPublisher(PublishSettings settings, BrokerClient& client,
                                   const Clock& clock, const Profile* profile,
                                   const ValueTable* table)
    : m_settings(std::move(settings)), m_client(client), m_clock(clock), m_json(profile, table),
      m_readingsTopic(m_settings.prefix + "/readings"),
      m_statusTopic(m_settings.prefix + "/status"), m_summaryTopic(m_settings.prefix + "/summary"),
      m_nextCutMs(clock.monotonicNs() / kNsPerMs + m_settings.everyMs.value_or(0)),
      m_nextTickMs(clock.monotonicNs() / kNsPerMs + tickMs())
{
    m_slotIds.fill(-1);
}

std::int64_t ReadingPublisher::tickMs() const
{
    if (m_settings.everyMs)
        return std::min(*m_settings.everyMs, kIdleTickMs);
    return m_fast ? kTickMs : kIdleTickMs;
}

bool ReadingPublisher::windowFull() const
{
    return m_inFlight.size() >= static_cast<std::size_t>(kWindow) ||
           m_inFlightBytes >= kWindowBytes;
}

void ReadingPublisher::frameDecoded(const FrameReadings& readings, std::int64_t frame)
{
    // While frames come, the tick that is due comes with the first of them, before it joins a
    // batch: a wake-up of its own would cost as much as the frame's.
    const std::int64_t nowMs = m_clock.monotonicNs() / kNsPerMs;
    if (nowMs >= m_nextTickMs)
        tick();
    HeldFrame held{m_clock.unixMs(), nowMs, frame, {}};
    for (int k = 0; k < kChannelCount; ++k)
        held.readings[static_cast<std::size_t>(k)] =
            static_cast<std::int16_t>(readings[static_cast<std::size_t>(k)]);
    dropExpired();
    m_frames.push_back(held);
    // Faster than the limit within a tenth of a second, frames go in batches from now on.
    const std::int64_t slot = held.monotonicMs / kTickMs;
    const std::size_t index = static_cast<std::size_t>(slot % std::int64_t(m_slotIds.size()));
    if (m_slotIds[index] != slot) {
        m_slotIds[index] = slot;
        m_slotCounts[index] = 0;
    }
    if (++m_slotCounts[index] > kPerFrameRate * kTickMs / 1000 && !m_fast) {
        m_fast = true;
        m_nextTickMs = std::min(m_nextTickMs, held.monotonicMs + kTickMs);
    }
    if (batching()) {
        ++m_openFrames;
        return;
    }
    if (!m_cuts.empty() && !m_cuts.back().array)
        ++m_cuts.back().frames;
    else
        m_cuts.push_back({1, false});
    // A frame's message goes with those of the frames before it, many at a time.
    if (held.monotonicMs - m_lastSendMs >= kGatherMs || m_cuts.back().frames >= kGatherFrames)
        pump();
}

void ReadingPublisher::tick()
{
    const std::int64_t nowMs = m_clock.monotonicNs() / kNsPerMs;
    if (m_settings.everyMs) {
        if (nowMs >= m_nextCutMs) {
            cutBatch();
            m_nextCutMs += *m_settings.everyMs * ((nowMs - m_nextCutMs) / *m_settings.everyMs + 1);
        }
    } else {
        cutBatch();
        // Back to a message per frame once every tenth of the last second kept to the limit.
        const std::int64_t slot = nowMs / kTickMs;
        m_fast = false;
        for (std::size_t i = 0; i < m_slotIds.size(); ++i)
            m_fast |= m_slotIds[i] > slot - std::int64_t(m_slotIds.size()) &&
                      m_slotCounts[i] > kPerFrameRate * kTickMs / 1000;
    }
    dropExpired();
    reportDrops();
    pump();
    m_nextTickMs =
        m_settings.everyMs ? std::min(m_nextCutMs, nowMs + kIdleTickMs) : nowMs + tickMs();
    m_ticked = true;
}

void ReadingPublisher::cutBatch()
{
    if (m_openFrames == 0)
        return;
    m_cuts.push_back({m_openFrames, true});
    m_openFrames = 0;
}

void ReadingPublisher::dropExpired()
{
    // Frames that only wait to be gathered are the broker's to take.
    if (m_connected && !windowFull())
        return;
    const std::int64_t oldest = m_clock.monotonicNs() / kNsPerMs - m_settings.bufferMs;
    while (!m_frames.empty() && m_frames.front().monotonicMs < oldest) {
        m_frames.pop_front();
        ++m_dropped;
        if (m_cuts.empty()) {
            --m_openFrames;
        } else if (--m_cuts.front().frames == 0) {
            m_cuts.pop_front();
        }
    }
}

void ReadingPublisher::reportDrops()
{
    const std::int64_t before = std::exchange(m_droppedAtTick, m_dropped);
    if (m_dropped > before && !m_dropping) {
        m_dropping = true;
        notice("the broker has not taken the readings for as long as the buffer holds them (" +
               std::to_string(m_settings.bufferMs / 1000) +
               " s, --mqtt-buffer); dropping the oldest frames");
    } else if (m_dropped == before && m_dropping) {
        m_dropping = false;
        notice(std::to_string(m_dropped - m_droppedReported) +
               " frames were dropped; the rest were kept and are being sent");
        m_droppedReported = m_dropped;
    }
}

void ReadingPublisher::connected()
{
    m_connected = true;
    m_urgent.push_front({&m_statusTopic, "online", 1, true});
    pump();
}

void ReadingPublisher::disconnected()
{
    m_connected = false;
    // Sent again in their order, ahead of the rest; a new connection says "online" itself.
    for (auto it = m_inFlight.rbegin(); it != m_inFlight.rend(); ++it) {
        Message& message = it->message;
        if (message.topic == &m_statusTopic && message.payload == "online")
            continue;
        if (message.topic == &m_summaryTopic && m_summary)
            continue;
        m_urgent.push_front(std::move(message));
    }
    m_inFlight.clear();
    m_inFlightBytes = 0;
}

void ReadingPublisher::completed(int id)
{
    const auto it = std::find_if(m_inFlight.begin(), m_inFlight.end(),
                                 [id](const InFlight& entry) { return entry.id == id; });
    if (it == m_inFlight.end())
        return;
    m_messageFrames -= it->message.frames;
    m_inFlightBytes -= it->message.payload.size();
    // A batch's buffer serves the next: at high rates, allocating it anew each time costs
    // more than filling it.
    if (it->message.payload.capacity() > m_spare.capacity())
        m_spare = std::move(it->message.payload);
    m_inFlight.erase(it);
    m_delivered = true;
    pump();
}

void ReadingPublisher::publishSummary(std::string json)
{
    m_summary = Message{&m_summaryTopic, std::move(json), 1, true};
    pump();
}

void ReadingPublisher::finish(std::string json)
{
    cutBatch();
    m_final = Message{&m_statusTopic, "offline", 1, true};
    publishSummary(std::move(json));
}

bool ReadingPublisher::drained() const
{
    return m_frames.empty() && m_urgent.empty() && !m_summary && m_inFlight.empty() && !m_final;
}

void ReadingPublisher::pump()
{
    if (!m_connected)
        return;
    m_lastSendMs = m_clock.monotonicNs() / kNsPerMs;
    while (!windowFull() || m_inFlight.empty()) {
        Message message;
        if (!m_urgent.empty()) {
            message = std::move(m_urgent.front());
            m_urgent.pop_front();
        } else if (m_summary) {
            message = std::move(*m_summary);
            m_summary.reset();
        } else if (!m_cuts.empty()) {
            message = readingsMessage(m_cuts.front());
        } else if (m_final && m_frames.empty()) {
            message = std::move(*m_final);
            m_final.reset();
        } else {
            break;
        }
        if (!send(std::move(message)))
            break;
    }
}

bool ReadingPublisher::send(Message message)
{
    const std::optional<int> id =
        m_client.publish(*message.topic, message.payload, message.qos, message.retain);
    if (!id) {
        m_urgent.push_front(std::move(message));
        return false;
    }
    m_inFlightBytes += message.payload.size();
    m_sent = true;
    m_inFlight.push_back({*id, std::move(message)});
    return true;
}

ReadingPublisher::Message ReadingPublisher::readingsMessage(const Cut& cut)
{
    Message message{&m_readingsTopic, {}, m_settings.qos, false, cut.array ? cut.frames : 1};
    m_messageFrames += message.frames;
    std::string& payload = message.payload;
    payload = std::move(m_spare);
    payload.clear();
    m_spare = std::string();
    payload.reserve(static_cast<std::size_t>(message.frames) * kObjectBytes + 2);
    if (cut.array)
        payload += '[';
    for (std::int64_t i = 0; i < message.frames; ++i) {
        const HeldFrame& held = m_frames.front();
        FrameReadings readings;
        for (int k = 0; k < kChannelCount; ++k)
            readings[static_cast<std::size_t>(k)] = held.readings[static_cast<std::size_t>(k)];
        if (i > 0)
            payload += ',';
        m_json.append(payload, localTime(held.unixMs), held.frame, readings);
        m_frames.pop_front();
    }
    if (cut.array)
        payload += ']';
    if (cut.array || --m_cuts.front().frames == 0)
        m_cuts.pop_front();
    return message;
}

const std::string& ReadingPublisher::localTime(std::int64_t unixMs)
{
    if (unixMs == m_timeMs)
        return m_time;
    const std::int64_t second = unixMs / 1000;
    if (second != m_timeSecond) {
        m_timeSecond = second;
        m_utcOffset = m_clock.utcOffsetSeconds(unixMs);
    }
    m_timeMs = unixMs;
    m_time = isoLocalTime(unixMs, m_utcOffset);
    return m_time;
}

void ReadingPublisher::notice(const std::string& text)
{
    if (m_notice)
        m_notice(text);
}

} // namespace adc
