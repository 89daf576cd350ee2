// UserLanguage: the language the program's own texts are shown in: the
// settings dialog, its message box and the viewer's banner. Japanese for a
// user whose interface is Japanese, English for everyone else.
//
// Windows asks GetUserDefaultUILanguage (primary language Japanese means
// Japanese). Elsewhere the first of LC_ALL, LC_MESSAGES and LANG that is set
// and not empty decides: a value starting with "ja" means Japanese; none, "C",
// "POSIX" or any other value means English.
//
// CurrentUserLanguage decides once, on its first call, and keeps the answer
// for the life of the process: a dialog or banner must not come out half in
// one language and half in the other because a library changed the
// environment, or the user the system's language, while the program ran.
#pragma once

#include <cstdint>
#include <functional>

enum class UserLanguage { Japanese, English };

// The user's language, decided on the first call (see above).
UserLanguage CurrentUserLanguage();

// The value of an environment variable, or null when it is unset.
using EnvironmentLookup = std::function<const char*(const char* name)>;

// The POSIX rule on the variables `lookup` gives.
UserLanguage UserLanguageOfLocaleVariables(const EnvironmentLookup& lookup);

// The Windows rule on a language identifier (LANGID): its low 10 bits are
// the primary language, Japanese being 0x11.
UserLanguage UserLanguageOfLanguageId(uint16_t languageId);
