#pragma once

#include <cstdint>

namespace adc {

/// The clocks a recording is stamped with. Tests put a fake in its place to set the time.
class Clock
{
public:
    virtual ~Clock() = default;

    /// Nanoseconds on a clock that never jumps, for elapsed times.
    virtual std::int64_t monotonicNs() const = 0;
    /// Milliseconds since 1970-01-01 UTC, for the time of day.
    virtual std::int64_t unixMs() const = 0;
    /// How far local time is ahead of UTC at `unixMs`, in seconds.
    virtual int utcOffsetSeconds(std::int64_t unixMs) const = 0;
};

/// The system's clocks and time zone.
class SystemClock final : public Clock
{
public:
    SystemClock();

    std::int64_t monotonicNs() const override;
    std::int64_t unixMs() const override;
    int utcOffsetSeconds(std::int64_t unixMs) const override;
};

} // namespace adc
