#include "platform/ProgramPaths.h"

#include <windows.h>
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <vector>

std::filesystem::path ProgramFilePath()
{
    // Long paths may exceed MAX_PATH: grow the buffer until the name fits.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) return std::filesystem::path(std::wstring(buffer.data(), length));
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<std::filesystem::path> DocumentsFolder()
{
    PWSTR folder = nullptr;
    const HRESULT result = SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &folder);
    std::optional<std::filesystem::path> path;
    if (SUCCEEDED(result) && folder != nullptr && *folder != L'\0') path = std::filesystem::path(folder);
    CoTaskMemFree(folder);  // also when the call failed: it may still hand back memory
    return path;
}
