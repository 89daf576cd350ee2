#include "platform/ProgramArguments.h"

#include "platform/win32/WideText.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdlib>

namespace {

UINT consoleCodePage = 0;

void RestoreConsoleCodePage()
{
    if (consoleCodePage != 0) SetConsoleOutputCP(consoleCodePage);
}

}  // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv)
{
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        // Without the wide command line, the narrow one is all there is.
        if (argc < 1 || argv == nullptr) return {};
        return std::vector<std::string>(argv + 1, argv + argc);
    }
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(Utf8Of(wide[i]));
    LocalFree(wide);
    return arguments;
}

void UseUtf8Console()
{
    const UINT current = GetConsoleOutputCP();
    if (current == 0 || current == CP_UTF8) return;  // no console, or already UTF-8
    if (SetConsoleOutputCP(CP_UTF8) && consoleCodePage == 0) {
        consoleCodePage = current;
        std::atexit(RestoreConsoleCodePage);
    }
}
