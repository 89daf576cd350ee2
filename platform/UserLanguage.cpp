#include "platform/UserLanguage.h"

#include <string_view>

namespace {

constexpr uint16_t PrimaryLanguageMask = 0x03FF;
constexpr uint16_t PrimaryLanguageJapanese = 0x0011;

}  // namespace

UserLanguage UserLanguageOfLocaleVariables(const EnvironmentLookup& lookup)
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = lookup(name);
        if (value == nullptr || *value == '\0') continue;
        return std::string_view(value).starts_with("ja") ? UserLanguage::Japanese : UserLanguage::English;
    }
    return UserLanguage::English;
}

UserLanguage UserLanguageOfLanguageId(uint16_t languageId)
{
    return (languageId & PrimaryLanguageMask) == PrimaryLanguageJapanese ? UserLanguage::Japanese
                                                                         : UserLanguage::English;
}
