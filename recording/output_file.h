#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace adc {

/// Where a recording's bytes go: a file, a device, a pipe or standard output. Tests put a fake
/// in its place to fail a write at any byte.
class OutputFile
{
public:
    virtual ~OutputFile() = default;

    /// Writes as much of `bytes` as the file takes; returns how much that was. When it is not
    /// all, `error` is set to the system's error number.
    virtual std::size_t write(std::string_view bytes, int& error) = 0;

    /// For a regular file, drops everything after the first `written` bytes of this session;
    /// elsewhere, what has gone cannot be taken back and nothing happens.
    virtual void truncateTo(std::uint64_t written) = 0;

    /// True when the file held nothing before this session: a new or empty file, or a device.
    virtual bool startedEmpty() const = 0;

    /// True when opening made the file, so that it may be removed again if nothing goes in.
    virtual bool created() const = 0;
};

} // namespace adc
