#pragma once

#include "monitor/window_ops.h"

#include <array>
#include <string>
#include <string_view>

namespace adc {

/// Holds the newest text of every box and the newest lamp colour until they are shown.
///
/// At high frame rates the boxes are written far more often than anyone can see; recording the
/// writes and applying them once per display update makes the cost of showing them per update,
/// not per frame. A box that was written is applied even when its text is unchanged, so that
/// text the operator typed into it is replaced exactly as a direct write would replace it.
class PendingDisplay final : public WindowOps
{
public:
    /// Records `text` as what box `box` (1..25) is to show; throws std::out_of_range otherwise.
    void setBoxText(int box, std::string_view text) override;

    /// Records `colour` as the lamp's fill.
    void setLampColour(Colour colour) override;

    /// True when something was written since the last flush.
    bool hasPending() const { return m_anyPending; }

    /// Calls `applyBox(box, text)` once for every box written since the last flush, in box
    /// order, with its newest text; then `applyLamp(colour)` if the lamp was set. Forgets them.
    template <typename ApplyBox, typename ApplyLamp>
    void flush(ApplyBox&& applyBox, ApplyLamp&& applyLamp)
    {
        if (!m_anyPending)
            return;
        m_anyPending = false;
        for (int i = 0; i < kBoxCount; ++i) {
            if (m_boxPending[i]) {
                m_boxPending[i] = false;
                applyBox(i + 1, std::string_view(m_text[i]));
            }
        }
        if (m_lampPending) {
            m_lampPending = false;
            applyLamp(m_lamp);
        }
    }

private:
    std::array<std::string, kBoxCount> m_text{};
    std::array<bool, kBoxCount> m_boxPending{};
    Colour m_lamp = kLampBlack;
    bool m_lampPending = false;
    bool m_anyPending = false;
};

} // namespace adc
