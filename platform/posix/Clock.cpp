#include "platform/Clock.h"

#include <time.h>

uint32_t TimeGetTime()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    // Truncation to 32 bits is the point: callers work with wrapping differences.
    const uint64_t milliseconds = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(milliseconds);
}
