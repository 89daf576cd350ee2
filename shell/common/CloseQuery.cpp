#include "shell/common/CloseQuery.h"

CloseAnswer DecideClose(bool previewMode, uint32_t platformId, ScreenSaverPassword& password)
{
    if (previewMode || platformId == PlatformIdNt) return CloseAnswer::Allow;
    const std::optional<int64_t> usePassword = password.UsePasswordValue();
    if (!usePassword || *usePassword == 0) return CloseAnswer::Allow;
    switch (password.Verify()) {
    case PasswordVerdict::Accepted: return CloseAnswer::AllowAfterPassword;
    case PasswordVerdict::Refused: return CloseAnswer::Refuse;
    case PasswordVerdict::NoLibrary:
    case PasswordVerdict::NoEntryPoint: break;
    }
    return CloseAnswer::Allow;
}
