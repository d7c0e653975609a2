#pragma once

#include "readings/run_statistics.h"

#include <cstdint>
#include <string>

namespace adc {

/// What an unattended run took in, besides the readings.
struct RunTotals
{
    /// From the start of reception to its end.
    std::int64_t durationNs = 0;
    /// Every byte received, frames or not.
    std::int64_t bytesReceived = 0;
    /// Bytes that were not part of a frame: anything between a CR and the next STX.
    std::int64_t bytesOutsideFrames = 0;
};

/// How the summary of a run is written.
enum class SummaryFormat
{
    Text,
    Csv,
    Json,
};

/// True when the run passes: frames came in, and no checked channel left its limit.
bool runPassed(const RunStatistics& stats);

/// The summary as an aligned table, a channel per line, then the totals and the verdict.
std::string summaryText(const RunStatistics& stats, const RunTotals& totals);

/// The summary as CSV (RFC 4180): a row per channel, then a row "all" with the totals.
std::string summaryCsv(const RunStatistics& stats, const RunTotals& totals);

/// The summary as one JSON object, ended by a line feed.
std::string summaryJson(const RunStatistics& stats, const RunTotals& totals);

/// The summary in `format`.
std::string formatSummary(SummaryFormat format, const RunStatistics& stats,
                          const RunTotals& totals);

} // namespace adc
