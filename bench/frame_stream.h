#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace adc::bench {

/// Builds a byte stream of `frames` converter frames whose readings move like real signals:
/// each channel takes a random walk of small steps and now and then jumps to a new level, so
/// that min and max keep changing. Fields mix upper- and lower-case digits as senders do.
/// The same `seed` gives the same stream.
std::string makeFrameStream(std::size_t frames, std::uint32_t seed);

} // namespace adc::bench
