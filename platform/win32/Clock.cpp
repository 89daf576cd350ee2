#include "platform/Clock.h"

#include <windows.h>
#include <mmsystem.h>

uint32_t TimeGetTime()
{
    return static_cast<uint32_t>(timeGetTime());
}

TimerResolutionHold::TimerResolutionHold()
{
    timeBeginPeriod(1);
}

TimerResolutionHold::~TimerResolutionHold()
{
    timeEndPeriod(1);
}

void SleepMilliseconds(uint32_t milliseconds)
{
    Sleep(milliseconds);
}
