#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace adc {

// What the converter sends, once for every program that reads, writes or checks frames:
// STX, eight readings of three hexadecimal digits at a pitch of four characters, CR; and the
// one way the simulator, the benchmarks and the tests write it.

/// Starts a frame.
inline constexpr char kStx = '\x02';
/// Ends a frame; it belongs to the frame's text.
inline constexpr char kCr = '\r';

/// Number of converter channels, AD0..AD7.
inline constexpr int kChannelCount = 8;
/// Characters of one reading's field.
inline constexpr int kFieldWidth = 3;
/// Distance from one field's start to the next; the character between is a separator.
inline constexpr int kFieldPitch = 4;

/// Highest 12-bit reading (full scale), "FFF".
inline constexpr std::int32_t kReadingMax = 4095;

/// Characters after STX that decoding looks at: up to the end of the last field.
inline constexpr int kFramePayloadLength = kFieldPitch * (kChannelCount - 1) + kFieldWidth;

/// Bytes of a whole frame as the converter sends it: STX, the payload, CR.
inline constexpr std::size_t kFrameLength = 1 + kFramePayloadLength + 1;

/// The readings one frame carries, AD0 first, as whatever sends frames holds them.
using FrameValues = std::array<std::uint16_t, kChannelCount>;

/// Appends the frame for `values` to `out`: STX, each value's low 12 bits as three upper-case
/// hexadecimal digits with leading zeros, separated by single blanks, then CR.
inline void appendFrame(std::string& out, const FrameValues& values)
{
    constexpr char kDigits[] = "0123456789ABCDEF";
    out += kStx;
    for (int k = 0; k < kChannelCount; ++k) {
        const unsigned v = values[static_cast<std::size_t>(k)];
        if (k > 0)
            out += ' ';
        out += kDigits[(v >> 8) & 0xF];
        out += kDigits[(v >> 4) & 0xF];
        out += kDigits[v & 0xF];
    }
    out += kCr;
}

/// The frame for `values` on its own.
inline std::string formatFrame(const FrameValues& values)
{
    std::string frame;
    frame.reserve(kFrameLength);
    appendFrame(frame, values);
    return frame;
}

} // namespace adc
