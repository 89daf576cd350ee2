// Where the user's own show is kept: XDG_DATA_HOME when it is absolute,
// else under HOME, else nowhere; and the process's own environment is the
// one read by default.
#include "platform/UserShowArchive.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

namespace {

TEST(UserShowArchiveTest, FromXdgDataHomeElseHome)
{
    struct Case {
        const char* what;
        const char* dataHome;  // null: unset
        const char* home;
        std::optional<std::filesystem::path> expected;
    };
    const Case cases[] = {
        {"absolute XDG_DATA_HOME", "/x/data", "/home/u", "/x/data/kamishibai/show.brsc"},
        {"absolute XDG_DATA_HOME, no HOME", "/x/data", nullptr, "/x/data/kamishibai/show.brsc"},
        {"XDG_DATA_HOME with a trailing slash", "/x/data/", "/home/u", "/x/data/kamishibai/show.brsc"},
        {"relative XDG_DATA_HOME", "data", "/home/u", "/home/u/.local/share/kamishibai/show.brsc"},
        {"empty XDG_DATA_HOME", "", "/home/u", "/home/u/.local/share/kamishibai/show.brsc"},
        {"unset XDG_DATA_HOME", nullptr, "/home/u", "/home/u/.local/share/kamishibai/show.brsc"},
        {"nothing set", nullptr, nullptr, std::nullopt},
        {"relative XDG_DATA_HOME, empty HOME", "data", "", std::nullopt},
        {"relative HOME", nullptr, "home/u", std::nullopt},
    };
    for (const Case& c : cases) {
        const std::map<std::string, const char*> environment{{"XDG_DATA_HOME", c.dataHome}, {"HOME", c.home}};
        const auto lookup = [&environment](const char* name) -> const char* {
            const auto found = environment.find(name);
            return found != environment.end() ? found->second : nullptr;
        };
        const std::optional<std::filesystem::path> path = UserShowArchivePath(lookup);
        ASSERT_EQ(path.has_value(), c.expected.has_value()) << c.what;
        if (path) {
            EXPECT_EQ(path->lexically_normal(), *c.expected) << c.what;
        }
    }
}

TEST(UserShowArchiveTest, ReadsTheProcesssEnvironment)
{
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::optional<std::string> previous = saved ? std::optional<std::string>(saved) : std::nullopt;
    ::setenv("XDG_DATA_HOME", "/from/the/environment", 1);
    EXPECT_EQ(UserShowArchivePath(), std::filesystem::path("/from/the/environment/kamishibai/show.brsc"));
    if (previous)
        ::setenv("XDG_DATA_HOME", previous->c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");
}

}  // namespace
