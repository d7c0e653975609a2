#pragma once

#include <cstddef>
#include <cstdint>

namespace adc {

// What the converter sends, once for every program that reads, writes or checks frames:
// STX, eight readings of three hexadecimal digits at a pitch of four characters, CR.

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

} // namespace adc
