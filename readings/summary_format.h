#pragma once

#include "readings/run_statistics.h"
#include "readings/value_statistics.h"

#include <cstdint>
#include <optional>
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
    /// Frames not published because the broker was away longer than the buffer held them;
    /// none when nothing is published.
    std::optional<std::int64_t> mqttDropped;
};

/// How the summary of a run is written.
enum class SummaryFormat
{
    Text,
    Csv,
    Json,
};

/// True when the run passes: frames came in, no checked channel left its limit, in counts
/// or, with `values` of a profile, in its unit, and the malformed frames stayed within bound.
bool runPassed(const RunStatistics& stats, const ValueStatistics* values = nullptr);

/// True when every checked channel kept to its limits, in counts and in its unit.
bool limitsMet(const RunStatistics& stats, const ValueStatistics* values);

/// The summary as an aligned table, a channel per line, then the totals and the verdict. With
/// `values`, a second table gives each channel's name and its values in the unit.
std::string summaryText(const RunStatistics& stats, const RunTotals& totals,
                        const ValueStatistics* values = nullptr);

/// The summary as CSV (RFC 4180): a row per channel, then a row "all" with the totals. With
/// `values`, columns for the name and the values in the unit follow the others.
std::string summaryCsv(const RunStatistics& stats, const RunTotals& totals,
                       const ValueStatistics* values = nullptr);

/// The summary as one JSON object, ended by a line feed. With `values`, each channel also has
/// its label, unit and an object of its values in the unit.
std::string summaryJson(const RunStatistics& stats, const RunTotals& totals,
                        const ValueStatistics* values = nullptr);

/// The summary in `format`.
std::string formatSummary(SummaryFormat format, const RunStatistics& stats, const RunTotals& totals,
                          const ValueStatistics* values = nullptr);

} // namespace adc
