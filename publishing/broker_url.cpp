#include "publishing/broker_url.h"

#include "common/text.h"

#include <charconv>

namespace adc {

std::string BrokerUrl::endpoint() const
{
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

namespace {

// %XX escapes, as a user name with an @ or a colon must be written.
bool percentDecode(std::string_view text, std::string& decoded)
{
    decoded.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            decoded += text[i];
            continue;
        }
        unsigned value = 0;
        if (i + 2 >= text.size())
            return false;
        const auto [end, error] =
            std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16);
        if (error != std::errc() || end != text.data() + i + 3)
            return false;
        decoded += static_cast<char>(value);
        i += 2;
    }
    return true;
}

} // namespace

std::variant<BrokerUrl, std::string> parseBrokerUrl(std::string_view text)
{
    BrokerUrl url;
    const std::string shown = quoted(text, 80);
    if (text.starts_with("mqtts://")) {
        url.tls = true;
        url.port = 8883;
        text.remove_prefix(8);
    } else if (text.starts_with("mqtt://")) {
        text.remove_prefix(7);
    } else {
        return "invalid MQTT URL " + shown + ": it starts with mqtt:// or mqtts://";
    }

    const std::size_t slash = text.find('/');
    std::string_view authority = text.substr(0, slash);
    const std::string_view prefix =
        slash == std::string_view::npos ? std::string_view() : text.substr(slash + 1);

    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        const std::string_view user = authority.substr(0, at);
        if (user.find(':') != std::string_view::npos)
            return "invalid MQTT URL: no password in the URL, where every user of the machine "
                   "can read it; use --mqtt-password-file or ADC_MQTT_PASSWORD";
        if (user.empty() || !percentDecode(user, url.user))
            return "invalid MQTT URL " + shown + ": invalid user name";
        authority.remove_prefix(at + 1);
    }

    std::string_view portText;
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos)
            return "invalid MQTT URL " + shown + ": unclosed [ in the address";
        url.host = authority.substr(1, close - 1);
        const std::string_view rest = authority.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':'))
            return "invalid MQTT URL " + shown + ": invalid address";
        portText = rest.empty() ? rest : rest.substr(1);
        if (!rest.empty() && portText.empty())
            return "invalid MQTT URL " + shown + ": empty port";
    } else {
        const std::size_t colon = authority.find(':');
        url.host = authority.substr(0, colon);
        if (colon != std::string_view::npos) {
            portText = authority.substr(colon + 1);
            if (portText.empty())
                return "invalid MQTT URL " + shown + ": empty port";
        }
    }
    if (url.host.empty())
        return "invalid MQTT URL " + shown + ": no broker named";
    if (!portText.empty()) {
        const auto [end, error] =
            std::from_chars(portText.data(), portText.data() + portText.size(), url.port);
        if (error != std::errc() || end != portText.data() + portText.size() || url.port < 1 ||
            url.port > 65535)
            return "invalid MQTT URL " + shown + ": invalid port " + quoted(portText, 20);
    }

    if (!percentDecode(prefix, url.prefix) || url.prefix.find('\0') != std::string::npos)
        return "invalid MQTT URL " + shown + ": invalid topic prefix";
    if (url.prefix.empty())
        return "invalid MQTT URL " + shown +
               ": give the topic prefix after the broker, as in mqtt://broker/lab/rig3";
    if (url.prefix.find_first_of("+#") != std::string::npos)
        return "invalid MQTT URL " + shown + ": the topic prefix may not hold + or #";
    if (url.prefix.front() == '/' || url.prefix.back() == '/' ||
        url.prefix.find("//") != std::string::npos)
        return "invalid MQTT URL " + shown + ": the topic prefix has an empty level";
    return url;
}

} // namespace adc
