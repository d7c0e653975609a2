#include "bench/measure.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <string>
#include <sys/resource.h>

namespace adc::bench {

namespace {

std::int64_t statusKiB(const char* key, const std::string& process = "self")
{
    long long kib = -1;
    if (std::FILE* status = std::fopen(("/proc/" + process + "/status").c_str(), "r")) {
        char line[256];
        const std::size_t length = std::strlen(key);
        while (std::fgets(line, sizeof line, status) != nullptr) {
            if (std::strncmp(line, key, length) == 0 && line[length] == ':') {
                std::sscanf(line + length + 1, "%lld", &kib);
                break;
            }
        }
        std::fclose(status);
    }
    return kib;
}

} // namespace

std::int64_t monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::int64_t processCpuNs(long pid)
{
    std::error_code error;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    std::int64_t total = 0;
    bool any = false;
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        std::ifstream schedstat(task.path() / "schedstat");
        long long ns = 0;
        if (schedstat >> ns) {
            total += ns;
            any = true;
        }
    }
    return any ? total : -1;
}

std::int64_t peakResidentKiB()
{
    if (const std::int64_t kib = statusKiB("VmHWM"); kib >= 0)
        return kib;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss; // KiB on Linux
}

std::int64_t residentKiB()
{
    return statusKiB("VmRSS");
}

std::int64_t processResidentKiB(long pid)
{
    return statusKiB("VmRSS", std::to_string(pid));
}

} // namespace adc::bench
