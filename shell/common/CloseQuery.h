// CloseQuery: whether the saver may close when input asks it to.
//
// Systems of the NT family guard the screen-saver password themselves (the
// platform id 2 says so), and a preview never asks. On the older systems the
// saver asks the system's password dialog itself, but only when the user's
// desktop settings say that a password is in use.
//
// The machine's side is the ScreenSaverPassword seam: the Windows shell reads
// "ScreenSaveUsePassword" under "control panel\desktop" of the current user
// and calls the system's VerifyScreenSavePwd; tests use a fake.
#pragma once

#include <cstdint>
#include <optional>

constexpr uint32_t PlatformIdNt = 2;

enum class PasswordVerdict {
    NoLibrary,     // the system's password library is missing: no password
    NoEntryPoint,  // the library has no verifier: no password
    Accepted,
    Refused,
};

class ScreenSaverPassword {
public:
    virtual ~ScreenSaverPassword() = default;
    // The "ScreenSaveUsePassword" value; nothing when the key does not open
    // or the value cannot be read as a number (both mean: no password).
    virtual std::optional<int64_t> UsePasswordValue() = 0;
    // Shows the system's dialog and says what the user answered.
    virtual PasswordVerdict Verify() = 0;
};

enum class CloseAnswer {
    Allow,
    AllowAfterPassword,  // the user typed the right password
    Refuse,              // the password was wrong: the show goes on
};

// Asks `password` only where the rules above say so; on NT or in preview
// the password value is never read.
CloseAnswer DecideClose(bool previewMode, uint32_t platformId, ScreenSaverPassword& password);
