#include "platform/StandardStreams.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

namespace {

// A console, not merely a character device: _isatty is also true for NUL,
// and output sent there on purpose must not be refused as if a person read it.
bool IsConsole(FILE* stream)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

}  // namespace

void SetStandardOutputBinary()
{
    _setmode(_fileno(stdout), _O_BINARY);
}

bool StandardOutputIsTerminal()
{
    return IsConsole(stdout);
}

bool StandardErrorIsTerminal()
{
    return IsConsole(stderr);
}
