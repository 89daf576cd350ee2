#include "shell/win32/SaverWindowClass.h"

void RegisterSaverWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, HBRUSH background)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = name;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    RegisterClassExW(&windowClass);
}
