#include "platform/ProcessMemory.h"

#include <unistd.h>

#include <cstdio>

std::optional<uint64_t> ResidentMemoryBytes()
{
    // statm: total and resident pages, then more fields.
    std::FILE* file = std::fopen("/proc/self/statm", "r");
    if (file == nullptr) return std::nullopt;
    unsigned long long total = 0, resident = 0;
    const bool read = std::fscanf(file, "%llu %llu", &total, &resident) == 2;
    std::fclose(file);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (!read || pageSize <= 0) return std::nullopt;
    return static_cast<uint64_t>(resident) * static_cast<uint64_t>(pageSize);
}
