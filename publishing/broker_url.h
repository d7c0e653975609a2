#pragma once

#include <string>
#include <string_view>
#include <variant>

namespace adc {

/// Where the readings are published: a broker and the topic prefix under which they go.
struct BrokerUrl
{
    /// mqtts: the connection is encrypted and the broker's certificate checked.
    bool tls = false;
    /// A name or an address; an IPv6 address without its brackets.
    std::string host;
    int port = 1883;
    /// Empty: the broker is asked without a user name.
    std::string user;
    /// Every topic starts with it: "lab/rig3" gives "lab/rig3/readings".
    std::string prefix;

    /// "host:port", as messages name the broker; an IPv6 address in brackets.
    std::string endpoint() const;
};

/// Reads `mqtt://[user@]host[:port]/PREFIX` or `mqtts://...` (port 1883 or 8883 unless given).
/// A password in the URL is refused, since every user can read a command line; so are a
/// missing prefix and one holding the wildcards + or #, or an empty level. On failure, the
/// text says what is wrong.
std::variant<BrokerUrl, std::string> parseBrokerUrl(std::string_view text);

} // namespace adc
