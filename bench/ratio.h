#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace adc::bench {

/// One figure of cost, a share of a core, taken by a measurement; nothing when it failed.
using Measurement = std::function<std::optional<double>()>;

/// A cost judged against a reference measured beside it: the median of `pairs` ratios, each of
/// a measurement and the reference measurement taken straight before it, so that a machine
/// that gets busier or quieter during the run moves both sides of a pair alike.
struct Ratio
{
    double median = 0;    ///< the median of the pairs' ratios
    double measured = 0;  ///< the median of the measured figures, for the table
    double reference = 0; ///< the median of the reference figures, for the table
};

/// Takes `pairs` alternating pairs: reference, measured, reference, measured... Nothing when
/// one measurement fails or a reference is not above zero.
std::optional<Ratio> alternatedRatio(const Measurement& measured, const Measurement& reference,
                                     int pairs = 3);

/// Takes `pairs` pairs of the figures that `measuredCommand` and `referenceCommand` print (as
/// referenceFigureOf() reads them), both commands of a pair running at the same time: for a
/// cost small beside what the machine's moods do to a wake-up, so that both sides of each
/// ratio live through the same moments. Nothing when a command fails.
std::optional<Ratio> simultaneousRatio(const std::string& measuredCommand,
                                       const std::string& referenceCommand, int pairs);

/// Runs `command` through the shell and returns the value of the first figure it prints with
/// no target (a `name|value|unit|-|ref` line); what else it prints on stdout goes to stderr.
/// Nothing when it prints no such figure or exits with a failure.
std::optional<double> referenceFigureOf(const std::string& command);

/// Prints the ratio as a row with its target (met when at most `target`), and the two
/// medians beside it as references. Returns whether the target was met.
bool printRatioRows(std::string_view name, std::string_view measuredName,
                    std::string_view referenceName, const Ratio& ratio, double target);

} // namespace adc::bench
