#pragma once

#include "monitor/window_ops.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace adc::test {

/// A window that keeps every call in order, and what each box and the lamp show now.
class RecordingWindow : public WindowOps
{
public:
    struct Call
    {
        int box = 0; // 0 for a lamp call
        std::string text;
        Colour colour = 0;
        bool operator==(const Call&) const = default;
    };

    void setBoxText(int box, std::string_view text) override
    {
        calls.push_back({box, std::string(text), 0});
        boxes.at(box) = text;
    }
    void setLampColour(Colour colour) override
    {
        calls.push_back({0, {}, colour});
        lamp = colour;
    }

    /// Text box `box` shows now.
    const std::string& text(int box) const { return boxes.at(box); }

    std::vector<Call> calls;
    std::array<std::string, kBoxCount + 1> boxes{};
    Colour lamp = kLampBlack;
};

} // namespace adc::test
