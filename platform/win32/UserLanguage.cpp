#include "platform/UserLanguage.h"

#include <windows.h>

UserLanguage CurrentUserLanguage()
{
    static const UserLanguage language = UserLanguageOfLanguageId(GetUserDefaultUILanguage());
    return language;
}
