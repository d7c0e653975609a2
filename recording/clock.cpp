#include "recording/clock.h"

#include <chrono>
#include <ctime>

namespace adc {

SystemClock::SystemClock()
{
    // localtime_r() need not read the time zone itself.
    tzset();
}

std::int64_t SystemClock::monotonicNs() const
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int64_t SystemClock::unixMs() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

int SystemClock::utcOffsetSeconds(std::int64_t unixMs) const
{
    const std::time_t seconds = static_cast<std::time_t>(unixMs / 1000);
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr)
        return 0;
    return static_cast<int>(local.tm_gmtoff);
}

} // namespace adc
