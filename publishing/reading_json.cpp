#include "publishing/reading_json.h"

#include "common/text.h"

#include <charconv>
#include <cmath>

namespace adc {

namespace {

constexpr std::array<std::string_view, kChannelCount> kReadingKeys = {
    ",\"AD0\":", ",\"AD1\":", ",\"AD2\":", ",\"AD3\":",
    ",\"AD4\":", ",\"AD5\":", ",\"AD6\":", ",\"AD7\":"};

void appendInteger(std::string& out, std::int64_t value)
{
    char digits[24];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, end);
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
    out += "{\"time\":\"";
    out += localTime;
    out += "\",\"frame\":";
    appendInteger(out, frame);
    for (int k = 0; k < kChannelCount; ++k) {
        out += kReadingKeys[static_cast<std::size_t>(k)];
        const std::int32_t reading = readings[static_cast<std::size_t>(k)];
        if (reading == kNoReading)
            out += "null";
        else
            appendInteger(out, reading);
    }
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
