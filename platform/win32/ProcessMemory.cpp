#include "platform/ProcessMemory.h"

#include <windows.h>
#include <psapi.h>

std::optional<uint64_t> ResidentMemoryBytes()
{
    // The kernel32 export, so that no psapi.dll link is needed.
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return std::nullopt;
    return static_cast<uint64_t>(counters.WorkingSetSize);
}
