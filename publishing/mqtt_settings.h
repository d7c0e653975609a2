#pragma once

#include "publishing/broker_url.h"
#include "publishing/reading_publisher.h"

#include <cstdint>
#include <string>

namespace adc {

/// What a connection to a broker needs besides its URL.
struct BrokerAccess
{
    BrokerUrl url;
    /// Empty: none is given.
    std::string password;
    /// The certificate authorities a TLS broker's certificate must be signed by; empty: the
    /// system's.
    std::string caFile;
    /// Set by the broker, retained, when the connection ends without a goodbye.
    std::string willTopic;
    std::string willPayload;
};

/// Everything --mqtt and its options ask for.
struct MqttSettings
{
    BrokerAccess access;
    PublishSettings publish;
    /// How often the retained summary is renewed.
    std::int64_t summaryEveryMs = 10'000;
};

} // namespace adc
