#include "monitor/monitor_state.h"

#include "monitor/number_format.h"

namespace adc {

void resetStatistics(MonitorState& state, WindowOps& window)
{
    state.max.fill(0);
    state.min.fill(kReadingMax);
    for (int k = 0; k < kChannelCount; ++k)
        window.setBoxText(maxBox(k), decimalText(state.max[k]));
    for (int k = 0; k < kChannelCount; ++k)
        window.setBoxText(minBox(k), decimalText(state.min[k]));
    state.frameCount = 0;
    window.setBoxText(kCountBox, "0");
    if (!state.isDecimal()) {
        for (int k = 0; k < kChannelCount; ++k)
            window.setBoxText(minBox(k), "FFF");
    }
}

void selectDisplayMode(MonitorState& state, WindowOps& window, DisplayMode mode)
{
    state.displayMode = mode;
    resetStatistics(state, window);
}

} // namespace adc
