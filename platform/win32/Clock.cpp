#include "platform/Clock.h"

#include <windows.h>
#include <mmsystem.h>

uint32_t TimeGetTime()
{
    return static_cast<uint32_t>(timeGetTime());
}
