#pragma once

#include "tools/adc_sim/readings.h"

#include <cstddef>
#include <string>

namespace adc::sim {

/// Appends the frame for `readings` to `out`: STX, each reading as three upper-case hexadecimal
/// digits with leading zeros, separated by single blanks, then CR.
void appendFrame(std::string& out, const Readings& readings);

/// The frame for `readings` on its own.
std::string formatFrame(const Readings& readings);

/// The readings as one log line, without the line end: the frame's 31 payload characters.
std::string logLine(const Readings& readings);

} // namespace adc::sim
