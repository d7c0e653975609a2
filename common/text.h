#pragma once

#include <cstddef>
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

} // namespace adc
