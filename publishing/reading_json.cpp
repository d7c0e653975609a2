#include "publishing/reading_json.h"

#include "common/text.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace adc {

namespace {

constexpr std::array<std::string_view, kChannelCount> kReadingKeys = {
    ",\"AD0\":", ",\"AD1\":", ",\"AD2\":", ",\"AD3\":",
    ",\"AD4\":", ",\"AD5\":", ",\"AD6\":", ",\"AD7\":"};

// The longest object without a profile's values: the time, a 64-bit count and eight readings.
constexpr std::size_t kLongestObject = 256;

char* put(char* at, std::string_view text)
{
    std::memcpy(at, text.data(), text.size());
    return at + text.size();
}

char* putInteger(char* at, std::int64_t value)
{
    return std::to_chars(at, at + 24, value).ptr;
}

} // namespace

ReadingJson::ReadingJson(const Profile* profile, const ValueTable* table)
    : m_profile(profile), m_table(table)
{
    if (!m_profile || !m_table)
        return;
    for (int k = 0; k < kChannelCount; ++k)
        if (m_profile->channel(k).calibration)
            m_valueKeys[static_cast<std::size_t>(k)] =
                "," + jsonString(valueKey(*m_profile, k)) + ":";
}

std::string ReadingJson::valueKey(const Profile& profile, int k)
{
    const std::string& name = profile.channel(k).name;
    if (name.empty() || name == "time" || name == "frame")
        return "AD" + std::to_string(k) + "_value";
    return name;
}

void ReadingJson::append(std::string& out, std::string_view localTime, std::int64_t frame,
                         const FrameReadings& readings) const
{
    // Formed in one piece and added at once: a frame is many small parts, and at tens of
    // thousands of frames a second each append of its own costs more than the part.
    char object[kLongestObject];
    char* at = put(object, "{\"time\":\"");
    at = put(at, localTime.substr(0, 64));
    at = put(at, "\",\"frame\":");
    at = putInteger(at, frame);
    for (int k = 0; k < kChannelCount; ++k) {
        at = put(at, kReadingKeys[static_cast<std::size_t>(k)]);
        const std::int32_t reading = readings[static_cast<std::size_t>(k)];
        at = reading == kNoReading ? put(at, "null") : putInteger(at, reading);
    }
    out.append(object, static_cast<std::size_t>(at - object));
    for (int k = 0; k < kChannelCount; ++k) {
        const std::string& key = m_valueKeys[static_cast<std::size_t>(k)];
        if (key.empty())
            continue;
        out += key;
        const std::int32_t reading = readings[static_cast<std::size_t>(k)];
        const double value = reading == kNoReading ? NAN : m_table->value(k, reading);
        if (std::isfinite(value))
            out += fixedText(value, m_profile->channel(k).shownDecimals());
        else
            out += "null";
    }
    out += '}';
}

} // namespace adc
