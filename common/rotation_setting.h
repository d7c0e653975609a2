#pragma once

#include "common/quantity.h"
#include "common/text.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace adc {

/// How a recording is split into files: by size, by the local clock, or not at all; and how
/// many of its files are kept.
struct Rotation
{
    /// The smallest size a file may be given: a header and a few rows.
    static constexpr std::uint64_t kMinBytes = 1024;
    /// The shortest time a file may be given.
    static constexpr std::int64_t kMinIntervalMs = 1000;

    /// A file takes no more bytes than this, unless one row alone is more; 0: any number.
    std::uint64_t maxBytes = 0;
    /// A file holds what arrives between two multiples of this on the local clock, counted
    /// from midnight; 0: any time.
    std::int64_t intervalMs = 0;
    /// The newest files of the recording that are kept, the one being written among them;
    /// older ones are deleted. 0: all are kept.
    int keep = 0;

    bool rotates() const { return maxBytes > 0 || intervalMs > 0; }
};

/// "100M" (a size, see parseByteSize) or "1h" (a time in whole seconds, see parseIntervalMs)
/// as a rotation; nothing, with `error` saying why, for anything else or less than the least.
inline std::optional<Rotation> parseRotation(std::string_view text, std::string& error)
{
    Rotation rotation;
    if (const std::optional<std::int64_t> ms = parseIntervalMs(text)) {
        if (*ms < Rotation::kMinIntervalMs || *ms % 1000 != 0) {
            error = "invalid rotation " + quoted(text) + " (a time in whole seconds, at least 1s)";
            return std::nullopt;
        }
        rotation.intervalMs = *ms;
        return rotation;
    }
    if (const std::optional<std::uint64_t> bytes = parseByteSize(text)) {
        if (*bytes < Rotation::kMinBytes) {
            error = "invalid rotation " + quoted(text) + " (a size of at least 1k)";
            return std::nullopt;
        }
        rotation.maxBytes = *bytes;
        return rotation;
    }
    error = "invalid rotation " + quoted(text) +
            " (a size such as 100M, with k, M or G, or a time such as 1h, with s, m, h or d)";
    return std::nullopt;
}

} // namespace adc
