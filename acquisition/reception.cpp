#include "acquisition/reception.h"

#include "monitor/number_format.h"

#include <algorithm>
#include <cstring>

namespace adc {

void Reception::feed(std::string_view bytes)
{
    if (m_byteSink != nullptr)
        m_byteSink->bytesReceived(bytes);
    m_bytesReceived += static_cast<std::int64_t>(bytes.size());
    ReadingsObserver* const observer = m_observers.empty() ? nullptr : &m_observers;
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    while (p != end) {
        if (!m_inFrame) {
            // Everything before an STX is dropped.
            const char* stx =
                static_cast<const char*>(std::memchr(p, kStx, static_cast<std::size_t>(end - p)));
            m_bytesOutsideFrames += (stx != nullptr ? stx : end) - p;
            if (stx == nullptr)
                return;
            p = stx + 1;
            m_inFrame = true;
            m_cutShort = false;
            m_length = 0;
            m_window.setLampColour(kLampReceiving);
            ++m_state.frameCount;
            m_window.setBoxText(kCountBox, decimalText(m_state.frameCount));
            continue;
        }
        const char* cr =
            static_cast<const char*>(std::memchr(p, kCr, static_cast<std::size_t>(end - p)));
        const char* const stop = cr != nullptr ? cr + 1 : end;
        // Keep only what decoding looks at; the rest of a long frame is read and forgotten.
        const std::size_t room = m_frame.size() - m_length;
        const std::size_t take = std::min(room, static_cast<std::size_t>(stop - p));
        std::memcpy(m_frame.data() + m_length, p, take);
        m_length += take;
        // Collected like any character, but the frame was cut short by the line.
        if (!m_cutShort && std::memchr(p, kStx, static_cast<std::size_t>(stop - p)) != nullptr)
            m_cutShort = true;
        p = stop;
        if (cr != nullptr) {
            m_window.setLampColour(kLampComplete);
            decodeFrame(frameText(), m_state, m_window, observer, m_cutShort);
            ++m_framesDecoded;
            m_inFrame = false;
            m_length = 0;
        }
    }
}

void Reception::restart()
{
    m_inFrame = false;
    m_length = 0;
}

} // namespace adc
