// StartupValues: what the entry learns before any window exists (the string
// table's names and the command line) and hands to the window it makes.
// Written once at start-up, only read afterwards.
#pragma once

#include "platform/UserLanguage.h"
#include "settings/PreferenceEnvironment.h"

#include <windows.h>

#include <string>

struct StartupValues {
    std::string SaverName;         // string-table entry 1, UTF-8
    std::string SettingsFileName;  // string-table entry 1001, UTF-8
    bool PreviewMode = false;
    bool NoTopmost = false;
    HWND PreviewParent = nullptr;
    RECT PreviewRect{};  // the preview window's window rectangle, screen coordinates
    HWND ConfigOwner = nullptr;
    // Where the settings live for this build (ini file or registry).
    PreferenceEnvironment Preferences;
    // The language of the dialog's texts, the user's (CurrentUserLanguage).
    UserLanguage Language = UserLanguage::Japanese;
};

// The caption of the saver's message boxes (the application's title).
constexpr wchar_t ApplicationTitle[] = L"SCRUN";

// Entry `id` of the program's string table, or `fallback` when it is missing
// or empty. Entries are read as the saver always kept them: at most 39
// characters.
std::string LoadStringOr(HINSTANCE instance, UINT id, const char* fallback);

// One message box with `text`, owned by `owner` (may be null), as the
// application shows an error that reached it.
void ShowErrorBox(HWND owner, const std::string& text);
