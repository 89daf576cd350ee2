#include "shell/win32/StartupValues.h"

#include "platform/win32/WideText.h"

std::string LoadStringOr(HINSTANCE instance, UINT id, const char* fallback)
{
    wchar_t buffer[40] = {};
    const int length = LoadStringW(instance, id, buffer, 40);
    if (length <= 0) return fallback;
    return Utf8Of(std::wstring_view(buffer, static_cast<size_t>(length)));
}

void ShowErrorBox(HWND owner, const std::string& text)
{
    const std::wstring wide = Utf16Of(text);
    MessageBoxW(owner, wide.c_str(), ApplicationTitle, MB_OK | MB_ICONERROR | MB_TOPMOST | MB_SETFOREGROUND);
}
