#pragma once

#include <string>
#include <string_view>

namespace adc {

/// How much a message matters, as syslog and the journal number it.
enum class Priority
{
    Error = 3,
    Warning = 4,
    Notice = 5,
    Info = 6,
};

/// True when `fd` is the stream that the journal reads, which systemd names in JOURNAL_STREAM
/// as "device:inode" (`journalStream`, null when unset). A terminal or a file is not, even
/// when the variable was inherited from a service.
bool isJournalStream(int fd, const char* journalStream);

/// `text` as a message on standard error: "<3>text" for the journal, which files it at that
/// priority and names the program itself, each line of a longer text so marked; "adc-monitor:
/// text" otherwise.
std::string messageLine(Priority priority, std::string_view text, bool journal);

} // namespace adc
