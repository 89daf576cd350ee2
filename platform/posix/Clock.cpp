#include "platform/Clock.h"

#include <cerrno>
#include <time.h>

uint32_t TimeGetTime()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    // Truncation to 32 bits is the point: callers work with wrapping differences.
    const uint64_t milliseconds = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(milliseconds);
}

TimerResolutionHold::TimerResolutionHold() = default;
TimerResolutionHold::~TimerResolutionHold() = default;

void SleepMilliseconds(uint32_t milliseconds)
{
    timespec pause{};
    pause.tv_sec = static_cast<time_t>(milliseconds / 1000u);
    pause.tv_nsec = static_cast<long>(milliseconds % 1000u) * 1000000L;
    // Interrupted by a signal: sleep the rest.
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}
