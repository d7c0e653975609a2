#pragma once

#include <cstdint>

namespace adc::bench {

/// CLOCK_MONOTONIC now, in nanoseconds: the clock adc-sim stamps its log with.
std::int64_t monotonicNs();

/// CPU time this process has used so far, user and system, all threads, in seconds.
double cpuSeconds();

/// The process's peak resident set size so far, in KiB (VmHWM; getrusage where /proc is
/// missing).
std::int64_t peakResidentKiB();

/// The process's resident set size now, in KiB (VmRSS); -1 where /proc is missing.
std::int64_t residentKiB();

} // namespace adc::bench
