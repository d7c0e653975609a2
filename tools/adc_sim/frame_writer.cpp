#include "tools/adc_sim/frame_writer.h"

namespace adc::sim {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void appendFields(std::string& out, const Readings& readings)
{
    for (int k = 0; k < kChannelCount; ++k) {
        const unsigned v = readings[k] & kFullScale;
        if (k > 0)
            out += ' ';
        out += kHexDigits[(v >> 8) & 0xF];
        out += kHexDigits[(v >> 4) & 0xF];
        out += kHexDigits[v & 0xF];
    }
}

} // namespace

void appendFrame(std::string& out, const Readings& readings)
{
    out += kStx;
    appendFields(out, readings);
    out += kCr;
}

std::string formatFrame(const Readings& readings)
{
    std::string frame;
    frame.reserve(kFrameLength);
    appendFrame(frame, readings);
    return frame;
}

std::string logLine(const Readings& readings)
{
    std::string line;
    line.reserve(kFramePayloadLength);
    appendFields(line, readings);
    return line;
}

} // namespace adc::sim
