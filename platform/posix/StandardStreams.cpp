#include "platform/StandardStreams.h"

#include <unistd.h>

void SetStandardOutputBinary() {}

bool StandardOutputIsTerminal()
{
    return ::isatty(STDOUT_FILENO) != 0;
}

bool StandardErrorIsTerminal()
{
    return ::isatty(STDERR_FILENO) != 0;
}

bool ConsoleOpenedForThisProgram()
{
    return false;
}

void WaitForKeyPress() {}
