#include "platform/UserLanguage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

namespace {

struct Environment {
    std::map<std::string, std::string> values;
    EnvironmentLookup Lookup() const
    {
        return [this](const char* name) -> const char* {
            const auto found = values.find(name);
            return found == values.end() ? nullptr : found->second.c_str();
        };
    }
};

constexpr UserLanguage Ja = UserLanguage::Japanese;
constexpr UserLanguage En = UserLanguage::English;

TEST(UserLanguageOfLocaleVariables, TheFirstSetAndNonEmptyOfLcAllLcMessagesLangDecides)
{
    const struct {
        const char* name;
        std::map<std::string, std::string> values;
        UserLanguage expected;
    } cases[] = {
        {"nothing set", {}, En},
        {"LANG Japanese", {{"LANG", "ja_JP.UTF-8"}}, Ja},
        {"LANG bare ja", {{"LANG", "ja"}}, Ja},
        {"LANG EUC-JP", {{"LANG", "ja_JP.eucJP"}}, Ja},
        {"LANG English", {{"LANG", "en_US.UTF-8"}}, En},
        {"LANG German", {{"LANG", "de_DE.UTF-8"}}, En},
        {"LANG C", {{"LANG", "C"}}, En},
        {"LANG POSIX", {{"LANG", "POSIX"}}, En},
        {"LANG C.UTF-8", {{"LANG", "C.UTF-8"}}, En},
        {"LANG empty", {{"LANG", ""}}, En},
        {"upper case is another value", {{"LANG", "JA_JP.UTF-8"}}, En},
        {"ja only inside", {{"LANG", "en_JA"}}, En},
        {"LC_MESSAGES before LANG", {{"LC_MESSAGES", "en_GB.UTF-8"}, {"LANG", "ja_JP.UTF-8"}}, En},
        {"LC_MESSAGES Japanese", {{"LC_MESSAGES", "ja_JP.UTF-8"}, {"LANG", "en_US.UTF-8"}}, Ja},
        {"LC_ALL before both", {{"LC_ALL", "ja_JP.UTF-8"}, {"LC_MESSAGES", "en_US"}, {"LANG", "en_US"}}, Ja},
        {"LC_ALL C wins over Japanese", {{"LC_ALL", "C"}, {"LANG", "ja_JP.UTF-8"}}, En},
        {"empty LC_ALL is skipped", {{"LC_ALL", ""}, {"LANG", "ja_JP.UTF-8"}}, Ja},
        {"empty LC_ALL and LC_MESSAGES", {{"LC_ALL", ""}, {"LC_MESSAGES", ""}, {"LANG", "ja_JP.UTF-8"}}, Ja},
        {"other categories do not count", {{"LC_CTYPE", "ja_JP.UTF-8"}, {"LANGUAGE", "ja"}}, En},
    };
    for (const auto& c : cases) {
        const Environment environment{c.values};
        EXPECT_EQ(UserLanguageOfLocaleVariables(environment.Lookup()), c.expected) << c.name;
    }
}

TEST(UserLanguageOfLanguageId, JapaneseIsThePrimaryLanguageOfAnySublanguage)
{
    const struct {
        uint16_t id;
        UserLanguage expected;
    } cases[] = {
        {0x0411, Ja},  // Japanese (Japan)
        {0x0011, Ja},  // Japanese, neutral
        {0x7C11, Ja},  // another sublanguage: only the low 10 bits are the language
        {0x0409, En},  // English (United States)
        {0x0809, En},  // English (United Kingdom)
        {0x0407, En},  // German
        {0x0412, En},  // Korean
        {0x0000, En},  // neutral
        {0x0111, En},  // primary language 0x111, not Japanese
    };
    for (const auto& c : cases) EXPECT_EQ(UserLanguageOfLanguageId(c.id), c.expected) << std::hex << c.id;
}

#ifndef _WIN32
TEST(CurrentUserLanguage, KeepsItsFirstAnswer)
{
    const UserLanguage first = CurrentUserLanguage();
    const char* before = std::getenv("LC_ALL");
    const std::string kept = before != nullptr ? before : "";
    setenv("LC_ALL", first == Ja ? "C" : "ja_JP.UTF-8", 1);
    const UserLanguage second = CurrentUserLanguage();
    if (before != nullptr)
        setenv("LC_ALL", kept.c_str(), 1);
    else
        unsetenv("LC_ALL");
    EXPECT_EQ(second, first);
}
#endif

}  // namespace
