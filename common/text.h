#pragma once

#include <charconv>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace adc {

/// `text` in single quotes, as messages name a value: "invalid rate 'fast'". A text longer
/// than `longest` characters is cut to that many, followed by "..." inside the quotes.
inline std::string quoted(std::string_view text, std::size_t longest = std::string_view::npos)
{
    if (text.size() <= longest)
        return "'" + std::string(text) + "'";
    return "'" + std::string(text.substr(0, longest)) + "...'";
}

/// `value` with `decimals` digits after the point, never in the user's locale: a program that
/// has set it would otherwise write "2047,500" into JSON and CSV. A value that rounds to zero
/// has no minus sign.
inline std::string fixedText(double value, int decimals)
{
    std::string text(32, '\0');
    for (;;) {
        const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), value,
                                                std::chars_format::fixed, decimals);
        if (error == std::errc()) {
            text.resize(static_cast<std::size_t>(end - text.data()));
            break;
        }
        text.resize(text.size() * 2);
    }
    if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos)
        text.erase(0, 1);
    return text;
}

/// `text` as a JSON string, in double quotes, with what JSON cannot hold as it is escaped.
inline std::string jsonString(std::string_view text)
{
    std::string json = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            json += escape;
        } else {
            json += c;
        }
    }
    return json + '"';
}

/// `text` as one CSV field (RFC 4180): in double quotes, the quotes in it doubled, when it
/// holds a comma, a quote or a line break; as it is otherwise.
inline std::string csvField(std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string field = "\"";
    for (const char c : text) {
        if (c == '"')
            field += '"';
        field += c;
    }
    return field + '"';
}

} // namespace adc
