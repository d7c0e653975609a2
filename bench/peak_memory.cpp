#include "peak_memory.h"

#include <cstdio>
#include <cstring>
#include <sys/resource.h>

namespace adc::bench {

std::int64_t peakResidentKiB()
{
    if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        long long kib = -1;
        while (std::fgets(line, sizeof line, status) != nullptr) {
            if (std::strncmp(line, "VmHWM:", 6) == 0) {
                std::sscanf(line + 6, "%lld", &kib);
                break;
            }
        }
        std::fclose(status);
        if (kib >= 0)
            return kib;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss; // KiB on Linux
}

} // namespace adc::bench
