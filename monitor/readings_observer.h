#pragma once

#include "monitor/frame_format.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace adc {

/// The eight readings of one frame, channel AD0 first; kNoReading where the frame did not
/// carry one well formed.
using FrameReadings = std::array<std::int32_t, kChannelCount>;

/// Stands in FrameReadings for a field that was not three hexadecimal digits, and for every
/// field of a frame that the next frame's STX cut short: the window shows what such a field
/// reads as, but nothing that keeps or judges readings may take it for one.
inline constexpr std::int32_t kNoReading = -1;

/// True when the frame lacks a well-formed reading.
inline bool isMalformed(const FrameReadings& readings)
{
    return std::any_of(readings.begin(), readings.end(),
                       [](std::int32_t reading) { return reading == kNoReading; });
}

/// Gets each decoded frame's readings, once per frame, from the same decoding that fills the
/// boxes, so that whatever records or summarises them can never disagree with the display.
class ReadingsObserver
{
public:
    virtual ~ReadingsObserver() = default;

    /// A frame was decoded into `readings`; `frame` is the count the window shows for it
    /// (it starts again from 1 after a reset).
    virtual void frameDecoded(const FrameReadings& readings, std::int64_t frame) = 0;
};

/// Hands each frame's readings on to every observer added, in the order they were added.
class ReadingsFanOut final : public ReadingsObserver
{
public:
    void add(ReadingsObserver* observer) { m_observers.push_back(observer); }
    /// Not from within frameDecoded().
    void remove(ReadingsObserver* observer) { std::erase(m_observers, observer); }
    bool empty() const { return m_observers.empty(); }

    void frameDecoded(const FrameReadings& readings, std::int64_t frame) override
    {
        for (ReadingsObserver* observer : m_observers)
            observer->frameDecoded(readings, frame);
    }

private:
    std::vector<ReadingsObserver*> m_observers;
};

/// Gets every received byte, exactly as it arrived, before it is cut into frames.
class ByteSink
{
public:
    virtual ~ByteSink() = default;

    virtual void bytesReceived(std::string_view bytes) = 0;
};

} // namespace adc
