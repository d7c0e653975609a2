#pragma once

#include "tools/adc_sim/readings.h"

#include <cstdint>
#include <optional>
#include <random>
#include <string_view>

namespace adc::sim {

/// The signal shapes the simulator can put on its channels.
enum class WaveKind
{
    Sine,
    Ramp,
    Noise,
    Constant,
};

/// A signal shape, and for Constant the level every channel reads.
struct WaveShape
{
    WaveKind kind = WaveKind::Sine;
    std::uint16_t level = 0;

    bool operator==(const WaveShape&) const = default;
};

/// Reads "sine", "ramp", "noise" or "const:HEX" (one to three hexadecimal digits, either case,
/// at most FFF); nothing for anything else.
std::optional<WaveShape> parseWaveShape(std::string_view text);

/// Produces the readings of successive frames.
///
/// Sine and ramp repeat every kPeriodFrames frames, and each channel is shifted by an eighth of
/// a period against the one before it, so the eight channels always differ. Noise draws every
/// reading independently from a generator seeded with `seed`, so a seed repeats a run exactly.
class Waveform
{
public:
    /// Frames in one period of the sine and the ramp: about nine seconds at 9600 baud.
    static constexpr int kPeriodFrames = 256;

    explicit Waveform(WaveShape shape, std::uint64_t seed = 0) : m_shape(shape), m_noise(seed) {}

    /// The readings of the next frame.
    Readings next();

    /// Frames produced so far.
    std::uint64_t frameIndex() const { return m_frame; }

private:
    WaveShape m_shape;
    std::uint64_t m_frame = 0;
    std::mt19937_64 m_noise;
};

} // namespace adc::sim
