#pragma once

#include <optional>
#include <string>

namespace adc {

/// The connection to a broker, as the publisher uses it; tests put a fake in its place to
/// lose messages, refuse them or go away.
class BrokerClient
{
public:
    virtual ~BrokerClient() = default;

    /// Hands a message to the connection without waiting for the network. Returns the id its
    /// completion will be reported with, or nothing when the connection cannot take it now.
    virtual std::optional<int> publish(const std::string& topic, const std::string& payload,
                                       int qos, bool retain) = 0;
};

} // namespace adc
