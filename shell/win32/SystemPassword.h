// SystemPassword: the screen-saver password of the older Windows systems,
// which left it to the saver, and the password-change dialog.
//
// The use-password setting is "ScreenSaveUsePassword" under
// HKEY_CURRENT_USER\control panel\desktop; it was written as text or as a
// number depending on the system version, so a number, a text holding a
// number and a 4-byte binary value are all read; anything else counts as
// no password, so that the saver can always be closed. The check and the
// change are the system's own dialogs, found at run time in PASSWORD.CPL
// (VerifyScreenSavePwd) and MPR.DLL (PwdChangePasswordA) in the system
// folder; a missing library or entry point means there is nothing to ask.
#pragma once

#include "shell/common/CloseQuery.h"

#include <windows.h>

#include <functional>

class SystemPassword final : public ScreenSaverPassword {
public:
    // `beforeDialog` runs just before the system's dialog shows (the viewer
    // shows its cursor for it).
    SystemPassword(HWND window, std::function<void()> beforeDialog);

    std::optional<int64_t> UsePasswordValue() override;
    PasswordVerdict Verify() override;

private:
    HWND window_;
    std::function<void()> beforeDialog_;
};

// The system's password-change dialog for screen savers, owned by `owner`.
// Does nothing where the system has none.
void ChangeScreenSaverPassword(HWND owner);
