#include "platform/ThreadName.h"

#include <pthread.h>

#include <cstring>

void SetCurrentThreadName(const char* name)
{
    char kept[16] = {};
    std::strncpy(kept, name, sizeof kept - 1);
    pthread_setname_np(pthread_self(), kept);
}
