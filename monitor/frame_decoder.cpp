#include "monitor/frame_decoder.h"

#include "monitor/number_format.h"

namespace adc {

std::string_view fieldText(std::string_view frameText, int k)
{
    const std::size_t start = kFieldPitch * static_cast<std::size_t>(k);
    if (start >= frameText.size())
        return {};
    return frameText.substr(start, kFieldWidth);
}

namespace {

// One loop per display mode, so that the mode is not tested for every field. In Dec mode a
// reading's text is made once and shown in every box that changes.
template <bool decimal>
void decodeInto(std::string_view frameText, MonitorState& state, WindowOps& window,
                FrameReadings& readings)
{
    for (int k = 0; k < kChannelCount; ++k) {
        const std::string_view field = fieldText(frameText, k);
        const std::int32_t whole = wholeReading(field);
        const std::int32_t v = whole >= 0 ? whole : readingValue(field);
        readings[static_cast<std::size_t>(k)] = whole >= 0 ? whole : kNoReading;
        const bool newMin = v < state.min[k];
        const bool newMax = v > state.max[k];
        if constexpr (decimal) {
            const NumberText text = decimalText(v);
            window.setBoxText(valueBox(k), text);
            if (newMin)
                window.setBoxText(minBox(k), text);
            if (newMax)
                window.setBoxText(maxBox(k), text);
        } else {
            window.setBoxText(valueBox(k), field);
            if (newMin)
                window.setBoxText(minBox(k), hexText(v));
            if (newMax)
                window.setBoxText(maxBox(k), hexText(v));
        }
        if (newMin)
            state.min[k] = v;
        if (newMax)
            state.max[k] = v;
    }
}

} // namespace

void decodeFrame(std::string_view frameText, MonitorState& state, WindowOps& window,
                 ReadingsObserver* observer, bool cutShort)
{
    FrameReadings readings;
    if (state.isDecimal())
        decodeInto<true>(frameText, state, window, readings);
    else
        decodeInto<false>(frameText, state, window, readings);
    // Its fields may belong to two frames: none of them can be trusted to its channel.
    if (cutShort)
        readings.fill(kNoReading);
    if (observer)
        observer->frameDecoded(readings, state.frameCount);
}

} // namespace adc
