#include "app/journal_stream.h"

#include <cinttypes>
#include <cstdio>
#include <sys/stat.h>

namespace adc {

bool isJournalStream(int fd, const char* journalStream)
{
    if (journalStream == nullptr)
        return false;
    std::uintmax_t device = 0;
    std::uintmax_t inode = 0;
    int end = 0;
    if (std::sscanf(journalStream, "%" SCNuMAX ":%" SCNuMAX "%n", &device, &inode, &end) != 2 ||
        journalStream[end] != '\0')
        return false;
    struct stat info
    {};
    return ::fstat(fd, &info) == 0 && std::uintmax_t(info.st_dev) == device &&
           std::uintmax_t(info.st_ino) == inode;
}

std::string messageLine(Priority priority, std::string_view text, bool journal)
{
    if (!journal)
        return "adc-monitor: " + std::string(text) + "\n";
    // The journal takes each line as an entry of its own: each one carries the priority.
    const std::string prefix = "<" + std::to_string(static_cast<int>(priority)) + ">";
    std::string lines = prefix;
    for (const char c : text) {
        lines += c;
        if (c == '\n')
            lines += prefix;
    }
    return lines + "\n";
}

} // namespace adc
