#pragma once

#include "monitor/window_ops.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace adc::bench {

/// A window that only counts what it is asked to show and keeps each box's last text in a
/// fixed buffer, so that measuring the core measures the core and not a sink that allocates.
class CountingWindow final : public WindowOps
{
public:
    /// Longest text a box keeps; longer texts are cut (the count box never gets near it).
    static constexpr std::size_t kTextCapacity = 23;

    void setBoxText(int box, std::string_view text) override
    {
        ++m_boxWrites;
        Text& t = m_boxes[static_cast<std::size_t>(box)];
        t.length = text.size() < kTextCapacity ? text.size() : kTextCapacity;
        std::memcpy(t.chars.data(), text.data(), t.length);
    }
    void setLampColour(Colour colour) override
    {
        ++m_lampWrites;
        m_lamp = colour;
    }

    /// Number of setBoxText() calls so far.
    std::uint64_t boxWrites() const { return m_boxWrites; }
    /// Number of setLampColour() calls so far.
    std::uint64_t lampWrites() const { return m_lampWrites; }
    /// The last text written to box `box` (1..25).
    std::string_view text(int box) const
    {
        const Text& t = m_boxes[static_cast<std::size_t>(box)];
        return {t.chars.data(), t.length};
    }
    /// The lamp's last colour.
    Colour lamp() const { return m_lamp; }

private:
    struct Text
    {
        std::array<char, kTextCapacity> chars{};
        std::size_t length = 0;
    };

    std::array<Text, kBoxCount + 1> m_boxes{};
    std::uint64_t m_boxWrites = 0;
    std::uint64_t m_lampWrites = 0;
    Colour m_lamp = kLampBlack;
};

} // namespace adc::bench
