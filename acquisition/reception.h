#pragma once

#include "monitor/frame_decoder.h"
#include "monitor/frame_format.h"
#include "monitor/monitor_state.h"
#include "monitor/window_ops.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace adc {

/// Cuts the received character stream into frames, counts them, drives the lamp and hands each
/// complete frame to the decoder.
///
/// Fed bytes as they arrive, in batches of any size: a frame split over many batches, or many
/// frames in one batch, behave exactly as one character at a time. Characters before an STX are
/// dropped; at STX the lamp turns light yellow and the count goes up and is shown; everything up
/// to and including the CR is collected (a second STX too); at CR the lamp turns green and the
/// frame is decoded with the display mode that holds then. A frame with a second STX is shown
/// like any other, but its readings reach the observers as kNoReading.
///
/// Only the characters decoding looks at are kept, so a stream whose CR never comes cannot grow
/// memory. Anything that changes the state between two feed() calls (reset, mode change) acts
/// between two characters, never inside a decode.
class Reception
{
public:
    Reception(MonitorState& state, WindowOps& window) : m_state(state), m_window(window) {}

    /// Processes `bytes` in order, one byte per character.
    void feed(std::string_view bytes);

    /// Forgets a half-received frame and waits for the next STX, as at the start of reception.
    void restart();

    /// Hands every decoded frame's readings to `observer` from now on, after those added before.
    void addObserver(ReadingsObserver* observer) { m_observers.add(observer); }
    /// Stops handing readings to `observer`.
    void removeObserver(ReadingsObserver* observer) { m_observers.remove(observer); }

    /// Hands every byte fed to `sink` from now on, before it is looked at; nullptr for none.
    void setByteSink(ByteSink* sink) { m_byteSink = sink; }

    /// Bytes fed since construction.
    std::int64_t bytesReceived() const { return m_bytesReceived; }
    /// Frames decoded since construction.
    std::int64_t framesDecoded() const { return m_framesDecoded; }
    /// Bytes fed that belonged to no frame: those before an STX.
    std::int64_t bytesOutsideFrames() const { return m_bytesOutsideFrames; }

    /// True between a frame's STX and its CR.
    bool inFrame() const { return m_inFrame; }

    /// The stored start of the current frame (at most kFramePayloadLength characters).
    std::string_view frameText() const { return {m_frame.data(), m_length}; }

private:
    MonitorState& m_state;
    WindowOps& m_window;
    ReadingsFanOut m_observers;
    ByteSink* m_byteSink = nullptr;
    std::int64_t m_bytesReceived = 0;
    std::int64_t m_bytesOutsideFrames = 0;
    std::int64_t m_framesDecoded = 0;
    bool m_inFrame = false;
    bool m_cutShort = false; // an STX came after the frame's own
    std::size_t m_length = 0;
    std::array<char, kFramePayloadLength> m_frame{};
};

} // namespace adc
