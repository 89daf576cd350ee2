#include "platform/StandardStreams.h"

#include <unistd.h>

void SetStandardOutputBinary() {}

bool StandardErrorIsTerminal()
{
    return ::isatty(STDERR_FILENO) != 0;
}
