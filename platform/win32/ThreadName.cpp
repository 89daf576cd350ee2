#include "platform/ThreadName.h"

#include <windows.h>

#include <string>

void SetCurrentThreadName(const char* name)
{
    // SetThreadDescription exists from Windows 10 1607 on: look it up, so
    // that the program still starts on older systems.
    using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) return;
    const auto setDescription =
        reinterpret_cast<SetDescription>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetThreadDescription")));
    if (setDescription == nullptr) return;
    std::wstring wide;
    for (const char* c = name; *c != '\0'; ++c) wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*c)));
    setDescription(GetCurrentThread(), wide.c_str());
}
