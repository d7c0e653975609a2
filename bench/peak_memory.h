#pragma once

#include <cstdint>

namespace adc::bench {

/// The process's peak resident set size so far, in KiB (VmHWM; getrusage where /proc is
/// missing).
std::int64_t peakResidentKiB();

} // namespace adc::bench
