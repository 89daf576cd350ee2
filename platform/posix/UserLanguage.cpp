#include "platform/UserLanguage.h"

#include <cstdlib>

UserLanguage CurrentUserLanguage()
{
    static const UserLanguage language =
        UserLanguageOfLocaleVariables([](const char* name) { return std::getenv(name); });
    return language;
}
