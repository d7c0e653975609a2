#include "frame_decoder.h"

#include "number_format.h"

namespace adc {

std::string_view fieldText(std::string_view frameText, int k)
{
    const std::size_t start = 4 * static_cast<std::size_t>(k);
    if (start >= frameText.size())
        return {};
    return frameText.substr(start, 3);
}

void decodeFrame(std::string_view frameText, MonitorState& state, WindowOps& window)
{
    const bool decimal = state.isDecimal();
    const auto format = decimal ? decimalText : hexText;
    for (int k = 0; k < kChannelCount; ++k) {
        const std::string_view field = fieldText(frameText, k);
        const std::int32_t v = readingValue(field);
        if (decimal)
            window.setBoxText(valueBox(k), decimalText(v));
        else
            window.setBoxText(valueBox(k), field);
        if (v < state.min[k]) {
            state.min[k] = v;
            window.setBoxText(minBox(k), format(v));
        }
        if (v > state.max[k]) {
            state.max[k] = v;
            window.setBoxText(maxBox(k), format(v));
        }
    }
}

} // namespace adc
