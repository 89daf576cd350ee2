#include "platform/StandardStreams.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

void SetStandardOutputBinary()
{
    _setmode(_fileno(stdout), _O_BINARY);
}

bool StandardErrorIsTerminal()
{
    return _isatty(_fileno(stderr)) != 0;
}
