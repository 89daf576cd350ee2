#include "platform/ProgramPaths.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

struct UserDirsCase {
    const char* name;
    std::string text;
    std::filesystem::path expected;
};

class DocumentsFolderTest : public testing::TestWithParam<UserDirsCase> {};

TEST_P(DocumentsFolderTest, ReadsUserDirsAsXdgUserDirDoes)
{
    EXPECT_EQ(DocumentsFolderFromUserDirs(GetParam().text, "/home/u"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, DocumentsFolderTest,
    testing::Values(
        UserDirsCase{"NoFile", "", "/home/u/Documents"},
        UserDirsCase{"UnderHome",
                     "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n",
                     "/home/u/Dokumente"},
        UserDirsCase{"Absolute", "XDG_DOCUMENTS_DIR=\"/data/docs\"", "/data/docs"},
        UserDirsCase{"HomeItself", "XDG_DOCUMENTS_DIR=\"$HOME/\"\n", "/home/u"},
        UserDirsCase{"LastLineWins", "XDG_DOCUMENTS_DIR=\"$HOME/a\"\nXDG_DOCUMENTS_DIR=\"$HOME/b\"\n", "/home/u/b"},
        UserDirsCase{"Escapes", "XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\"\"\r\n", "/home/u/My \"Docs\""},
        UserDirsCase{"RelativeIgnored", "XDG_DOCUMENTS_DIR=\"docs\"\n", "/home/u/Documents"},
        UserDirsCase{"OtherVariableIgnored", "XDG_DOCUMENTS_DIRX=\"$HOME/x\"\n", "/home/u/Documents"},
        UserDirsCase{"HomePrefixOnlyAsWord", "XDG_DOCUMENTS_DIR=\"$HOMEx\"\n", "/home/u/Documents"},
        UserDirsCase{"UnclosedQuote", "XDG_DOCUMENTS_DIR=\"$HOME/x\n", "/home/u/Documents"},
        UserDirsCase{"TextAfterQuote", "XDG_DOCUMENTS_DIR=\"$HOME/x\" y\n", "/home/u/Documents"},
        UserDirsCase{"TrailingBackslash", "XDG_DOCUMENTS_DIR=\"$HOME/x\\", "/home/u/Documents"},
        UserDirsCase{"StrayBytes", "\0\xFF\nXDG_DOCUMENTS_DIR=\"$HOME/\xE6\x96\x87\"\n\xFE"s, "/home/u/\xE6\x96\x87"}),
    [](const testing::TestParamInfo<UserDirsCase>& info) { return std::string(info.param.name); });

}  // namespace
