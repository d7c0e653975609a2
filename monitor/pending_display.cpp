#include "monitor/pending_display.h"

#include <stdexcept>

namespace adc {

void PendingDisplay::setBoxText(int box, std::string_view text)
{
    if (box < 1 || box > kBoxCount)
        throw std::out_of_range("display box number out of range");
    m_text[box - 1].assign(text);
    m_boxPending[box - 1] = true;
    m_anyPending = true;
}

void PendingDisplay::setLampColour(Colour colour)
{
    m_lamp = colour;
    m_lampPending = true;
    m_anyPending = true;
}

} // namespace adc
