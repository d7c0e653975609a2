#include "tools/adc_sim/waveform.h"

#include <charconv>
#include <cmath>
#include <numbers>

namespace adc::sim {

std::optional<WaveShape> parseWaveShape(std::string_view text)
{
    if (text == "sine")
        return WaveShape{WaveKind::Sine, 0};
    if (text == "ramp")
        return WaveShape{WaveKind::Ramp, 0};
    if (text == "noise")
        return WaveShape{WaveKind::Noise, 0};

    constexpr std::string_view kConstPrefix = "const:";
    if (!text.starts_with(kConstPrefix))
        return std::nullopt;
    const std::string_view digits = text.substr(kConstPrefix.size());
    if (digits.empty() || digits.size() > 3)
        return std::nullopt;
    unsigned level = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), level, 16);
    if (ec != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    return WaveShape{WaveKind::Constant, static_cast<std::uint16_t>(level)};
}

Readings Waveform::next()
{
    Readings readings{};
    const std::uint64_t frame = m_frame++;
    const std::uint64_t shift = kPeriodFrames / kChannelCount;

    for (int k = 0; k < kChannelCount; ++k) {
        const std::uint64_t step = (frame + shift * static_cast<std::uint64_t>(k)) % kPeriodFrames;
        switch (m_shape.kind) {
        case WaveKind::Sine: {
            const double angle = 2.0 * std::numbers::pi * static_cast<double>(step) / kPeriodFrames;
            const double half = kFullScale / 2.0;
            readings[k] = static_cast<std::uint16_t>(std::lround(half + half * std::sin(angle)));
            break;
        }
        case WaveKind::Ramp:
            readings[k] = static_cast<std::uint16_t>(step * kFullScale / (kPeriodFrames - 1));
            break;
        case WaveKind::Noise:
            // The generator's raw output is fixed by the standard, unlike its distributions, so
            // a seed gives the same readings with every library.
            readings[k] = static_cast<std::uint16_t>(m_noise() >> 52);
            break;
        case WaveKind::Constant:
            readings[k] = m_shape.level;
            break;
        }
    }
    return readings;
}

} // namespace adc::sim
