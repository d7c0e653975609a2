#pragma once

#include "monitor/readings_observer.h"
#include "profile/channel_profile.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace adc {

/// Gets each decoded frame's readings together with their values in the channels' units,
/// computed once per frame from the decoding that fills the boxes, so that every output that
/// speaks in units shows the same value.
class ValuesObserver
{
public:
    virtual ~ValuesObserver() = default;

    /// A frame was decoded into `readings`, worth `values`; `frame` is the count the window
    /// shows.
    virtual void frameValued(const FrameReadings& readings, const ChannelValues& values,
                             std::int64_t frame) = 0;
};

/// Hands each frame's values on to every observer added, in the order they were added.
class ValuesFanOut final : public ValuesObserver
{
public:
    void add(ValuesObserver* observer) { m_observers.push_back(observer); }
    /// Not from within frameValued().
    void remove(ValuesObserver* observer) { std::erase(m_observers, observer); }

    void frameValued(const FrameReadings& readings, const ChannelValues& values,
                     std::int64_t frame) override
    {
        for (ValuesObserver* observer : m_observers)
            observer->frameValued(readings, values, frame);
    }

private:
    std::vector<ValuesObserver*> m_observers;
};

} // namespace adc
