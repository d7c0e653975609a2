#pragma once

#include <cstdint>

namespace adc::bench {

/// CLOCK_MONOTONIC now, in nanoseconds: the clock adc-sim stamps its log with.
std::int64_t monotonicNs();

/// CPU time this process has used so far, user and system, all threads, in seconds.
double cpuSeconds();

/// CPU time the process `pid` has used so far, all its threads, in nanoseconds: the
/// scheduler's own account, fine enough to tell a tenth of a per cent of a core in seconds
/// (the tick counts of /proc/PID/stat are 10 ms coarse). -1 when the process is not there.
std::int64_t processCpuNs(long pid);

/// The process's peak resident set size so far, in KiB (VmHWM; getrusage where /proc is
/// missing).
std::int64_t peakResidentKiB();

/// The process's resident set size now, in KiB (VmRSS); -1 where /proc is missing.
std::int64_t residentKiB();

/// The resident set size of the process `pid` now, in KiB (VmRSS); -1 when it is not there.
std::int64_t processResidentKiB(long pid);

} // namespace adc::bench
