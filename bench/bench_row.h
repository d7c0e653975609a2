#pragma once

#include <cstdio>
#include <string_view>

namespace adc::bench {

/// Prints one figure in the form bench/run-bench reads: `name|value|unit|target|ok`, where
/// ok is "ok" or "MISS". Returns `met`, so a program can fold its rows into its exit code.
inline bool printRow(std::string_view name, double value, int decimals, std::string_view unit,
                     std::string_view target, bool met)
{
    std::printf("%.*s|%.*f|%.*s|%.*s|%s\n", static_cast<int>(name.size()), name.data(), decimals,
                value, static_cast<int>(unit.size()), unit.data(), static_cast<int>(target.size()),
                target.data(), met ? "ok" : "MISS");
    std::fflush(stdout);
    return met;
}

/// Prints a figure that has no target of its own, measured to put the others in proportion:
/// `name|value|unit|-|ref`.
inline void printReference(std::string_view name, double value, int decimals, std::string_view unit)
{
    std::printf("%.*s|%.*f|%.*s|-|ref\n", static_cast<int>(name.size()), name.data(), decimals,
                value, static_cast<int>(unit.size()), unit.data());
    std::fflush(stdout);
}

} // namespace adc::bench
