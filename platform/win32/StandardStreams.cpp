#include "platform/StandardStreams.h"

#include <conio.h>
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

bool ConsoleOpenedForThisProgram()
{
    // A console shared with no other process was made for this one (a
    // command prompt would be attached to it as well).
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

void WaitForKeyPress()
{
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input != INVALID_HANDLE_VALUE) FlushConsoleInputBuffer(input);
    _getch();
}
