// scrtool's command line as a whole: the command table against what each
// command's help says, the overview, --version, the messages for archives and
// entries that are not there, the range of every numeric option, and "-" as
// standard output. Commands run as the built program ($SCRTOOL); the table
// itself is read in this process.

#include "tools/scrtool/ToolSupport.h"

#include "tools/authoring/ArchiveWriter.h"
#include "tests/support/ScrtoolRun.h"
#include "tests/support/SlideShowFixtures.h"
#include "tests/support/TestBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#endif

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string Shown(const std::vector<std::string>& arguments)
{
    std::string shown;
    for (const std::string& argument : arguments) shown += "[" + argument + "]";
    return shown;
}

// Whether `word` stands in the text as an option name of its own: not as
// the start of a longer name ("--to" in "--tolerance") nor inside a word.
bool MentionsOption(const std::string& text, const std::string& word)
{
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        const char before = at == 0 ? ' ' : text[at - 1];
        const char after = at + word.size() < text.size() ? text[at + word.size()] : ' ';
        const bool startsWord = before == ' ' || before == '[' || before == '\n' || before == '\'' || before == '(';
        const bool endsWord = !(std::isalnum(static_cast<unsigned char>(after)) || after == '-' || after == '_');
        if (startsWord && endsWord) return true;
    }
    return false;
}

// Every "--name" the text mentions.
std::set<std::string> LongOptionsIn(const std::string& text)
{
    std::set<std::string> found;
    static const std::regex option("(^|[\\s\\['(])(--[a-z][a-z-]*)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it)
        found.insert((*it)[2]);
    return found;
}

class ScrtoolCommandLineTest : public ScrtoolFixture {
protected:
    // Two small pictures, a sound and a scenario that shows them.
    std::string ShowArchive()
    {
        return Write("show.brsc", SlideShowArchive()
                                      .Scenario({ShowRecord(1, 0), WaitRecord(1), ShowRecord(2, 0), JumpRecord(0)})
                                      .Picture(1, 16, 12, 0xFFFF0000u)
                                      .Picture(2, 12, 16, 0xFF0000FFu)
                                      .Sound(7, 300)
                                      .Build());
    }
};

TEST_F(ScrtoolCommandLineTest, EveryCommandsHelpNamesEachOptionItAcceptsAndNoOther)
{
    ASSERT_FALSE(ToolCommands().empty());
    for (const ToolCommand& command : ToolCommands()) {
        SCOPED_TRACE(command.name);
        const RunResult help = Run({command.name, "--help"});
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_EQ(help.err, "");
        EXPECT_EQ(help.out.rfind(std::string("usage: scrtool ") + command.name + " ", 0), 0u) << help.out;
        // Laid out for an 80-column terminal: one blank line between
        // paragraphs, none at the end.
        for (const std::string& line : Lines(help.out)) EXPECT_LE(line.size(), 80u) << line;
        EXPECT_EQ(help.out.find("\n\n\n"), std::string::npos) << help.out;
        EXPECT_TRUE(help.out.ends_with("\n") && !help.out.ends_with("\n\n")) << help.out;
        for (const ToolOption& option : command.options)
            EXPECT_TRUE(MentionsOption(help.out, option.name)) << option.name << " is not in the help:\n" << help.out;
        // The other way round: an option the help describes must work.
        for (const std::string& mentioned : LongOptionsIn(help.out)) {
            const bool accepted = std::any_of(command.options.begin(), command.options.end(),
                                              [&](const ToolOption& option) { return mentioned == option.name; });
            EXPECT_TRUE(accepted || mentioned == "--help") << "the help names " << mentioned << ", which is refused";
        }
        // "scrtool help NAME" is the same text.
        const RunResult viaHelp = Run({"help", command.name});
        EXPECT_EQ(viaHelp.exitCode, 0);
        EXPECT_EQ(viaHelp.out, help.out);
    }
}

TEST_F(ScrtoolCommandLineTest, OverviewListsEveryCommandWithItsSummaryInAColumn)
{
    const RunResult overview = Run({"--help"});
    EXPECT_EQ(overview.exitCode, 0);
    EXPECT_EQ(overview.err, "");
    for (const std::vector<std::string>& same : {std::vector<std::string>{"help"}, std::vector<std::string>{"-h"},
                                                 std::vector<std::string>{"help", "--help"}}) {
        const RunResult again = Run(same);
        EXPECT_EQ(again.exitCode, 0) << Shown(same);
        EXPECT_EQ(again.out, overview.out) << Shown(same);
    }
    // Without a command: the same overview, but the command line was wrong.
    const RunResult bare = Run({});
    EXPECT_EQ(bare.exitCode, 2);
    EXPECT_EQ(bare.out, overview.out);

    std::set<size_t> summaryColumns;
    size_t listed = 0;
    for (const std::string& line : Lines(overview.out)) {
        for (const ToolCommand& command : ToolCommands()) {
            const std::string start = std::string("  ") + command.name + " ";
            if (line.rfind(start, 0) != 0) continue;
            ++listed;
            const size_t column = line.find_first_not_of(' ', start.size());
            ASSERT_NE(column, std::string::npos) << line;
            EXPECT_EQ(line.substr(column), command.summary) << line;
            summaryColumns.insert(column);
        }
    }
    EXPECT_EQ(listed, ToolCommands().size()) << overview.out;
    EXPECT_EQ(summaryColumns.size(), 1u) << overview.out;
}

TEST_F(ScrtoolCommandLineTest, VersionAndHelpOfWhatIsNotACommand)
{
    const RunResult version = Run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(std::regex_match(version.out, std::regex("scrtool [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << version.out;
    EXPECT_EQ(version.err, "");

    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    } const cases[] = {
        {{"help", "frobnicate"}, "scrtool: no command 'frobnicate' (try 'scrtool --help')\n"},
        {{"help", "cat", "list"}, "scrtool: 'help' takes at most one command name (try 'scrtool --help')\n"},
        {{"--version", "cat"}, "scrtool: '--version' takes no arguments (try 'scrtool --help')\n"},
        {{"--verbose"}, "scrtool: unknown option '--verbose' (try 'scrtool --help')\n"},
        {{"frobnicate"}, "scrtool: unknown command 'frobnicate' (try 'scrtool --help')\n"},
    };
    for (const Case& c : cases) {
        const RunResult result = Run(c.arguments);
        EXPECT_EQ(result.exitCode, 2) << Shown(c.arguments);
        EXPECT_EQ(result.out, "") << Shown(c.arguments);
        EXPECT_EQ(result.err, c.message) << Shown(c.arguments);
    }
}

// A file that is missing, a directory, cut short or empty, and an id the
// archive does not hold: every command that reads an archive says so in the
// same words, on one line, without the reader's error numbers.
TEST_F(ScrtoolCommandLineTest, ArchivesAndEntriesThatAreNotThereAreNamedInWords)
{
    const std::string archive = ShowArchive();
    const std::vector<uint8_t> whole = ReadFileBytes(archive);
    const std::string missing = (folder_ / "missing.brsc").string();
    const std::string directory = (folder_ / "folder.brsc").string();
    fs::create_directories(directory);
    const std::string truncated = Write("truncated.brsc", std::vector<uint8_t>(whole.begin(), whole.begin() + whole.size() / 2));
    const std::string empty = Write("empty.brsc", {});
    const std::string noSounds = Write("silent.brsc", SlideShowArchive().Picture(1, 4, 4, 0xFF00FF00u).Build());
    const std::string out = (folder_ / "out.png").string();
    const std::string unpacked = (folder_ / "unpacked").string();

    // The commands, each on ARCHIVE.
    const auto commands = [&](const std::string& path) {
        return std::vector<std::vector<std::string>>{
            {"list", path},
            {"cat", path, "SGBm", "1"},
            {"picture", path, "1", out},
            {"transition", path, "--from", "1", "--to", "2", "--effect", "1", "--speed", "0", "--at", "5", "--size",
             "8x8", out},
            {"unpack", path, unpacked},
            {"play", path, "--size", "8x8", "--until", "100"},
            {"wav", path, "7"},
            {"verify", path},
        };
    };
    struct Case {
        std::vector<std::string> arguments;
        std::string message;  // the whole line, or its start when it ends in "("
    };
    std::vector<Case> cases;
    for (const auto& [path, problem] : {std::pair{missing, std::string("no such file")},
                                        {directory, "is a directory, not an archive"},
                                        {truncated, "truncated or not an archive ("},
                                        {empty, "is empty, not an archive"}}) {
        for (const std::vector<std::string>& arguments : commands(path)) {
            const bool open = problem.back() == '(';
            cases.push_back({arguments, "scrtool: " + path + ": " + problem + (open ? "" : "\n")});
        }
    }
    const std::string in = "scrtool: " + archive + ": ";
    cases.push_back({{"cat", archive, "SGBm", "9"}, in + "no entry SGBm 9 (SGBm ids: 1, 2)\n"});
    cases.push_back({{"cat", archive, "ABCD", "1"}, in + "no group ABCD (groups: SSSc, SGBm, SSWv)\n"});
    cases.push_back({{"picture", archive, "9", out}, in + "no picture 9 (pictures: 1, 2)\n"});
    cases.push_back({{"picture", archive, "9", out, "--place", "8x8"}, in + "no picture 9 (pictures: 1, 2)\n"});
    cases.push_back({{"transition", archive, "--from", "9", "--to", "2", "--effect", "1", "--speed", "0", "--at", "5",
                      "--size", "8x8", out},
                     in + "no picture 9 (pictures: 1, 2)\n"});
    cases.push_back({{"transition", archive, "--from", "1", "--to", "3", "--effect", "1", "--speed", "0", "--at", "5",
                      "--size", "8x8", out},
                     in + "no picture 3 (pictures: 1, 2)\n"});
    cases.push_back({{"wav", archive, "8"}, in + "no sound 8 (sounds: 7)\n"});
    cases.push_back({{"wav", noSounds, "7"}, "scrtool: " + noSounds + ": no sound 7 (the archive has no sounds)\n"});

    for (const Case& c : cases) {
        const std::string shown = Shown(c.arguments);
        const RunResult result = Run(c.arguments);
        EXPECT_EQ(result.exitCode, 1) << shown;
        EXPECT_EQ(result.out, "") << shown;
        EXPECT_EQ(LineCount(result.err), 1u) << shown << ": " << result.err;
        if (c.message.back() == '(')
            EXPECT_EQ(result.err.rfind(c.message, 0), 0u) << shown << ": " << result.err;
        else
            EXPECT_EQ(result.err, c.message) << shown;
        EXPECT_FALSE(std::regex_search(result.err, std::regex("error [0-9]"))) << shown << ": " << result.err;
    }
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(unpacked));
}

// The ids an archive holds, as a missing picture's message lists them.
TEST_F(ScrtoolCommandLineTest, MissingIdMessagesListTheIdsCompactly)
{
    const auto odd = [](uint32_t count) {
        std::vector<uint32_t> ids;
        for (uint32_t i = 0; i < count; ++i) ids.push_back(2 * i + 1);
        return ids;
    };
    struct Case {
        std::vector<uint32_t> ids;
        std::string listed;
    } const cases[] = {
        {{1000, 1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009}, "1000-1009"},
        {{1, 2, 4}, "1, 2, 4"},
        {{5, 3, 1, 2, 3}, "1-3, 5"},
        {{0, 4294967295u}, "0, 4294967295"},
        {{4294967293u, 4294967294u, 4294967295u}, "4294967293-4294967295"},
        {{10, 11, 12, 20, 30, 31}, "10-12, 20, 30, 31"},
        {odd(12), "1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23"},
        {odd(13), "1, 3, 5, 7, 9, 11, 13, 15, 17, 19, ..., 25; 13 in all"},
        {odd(500), "1, 3, 5, 7, 9, 11, 13, 15, 17, 19, ..., 999; 500 in all"},
    };
    for (const Case& c : cases) {
        ArchiveWriter writer;
        for (uint32_t id : c.ids) writer.Add({ResTagPicture, id, 0, PatternBytes(4, id), {}, {}});
        const std::string archive = Write("ids.brsc", writer.Build());
        const RunResult result = Run({"picture", archive, "100000", (folder_ / "out.pam").string()});
        EXPECT_EQ(result.exitCode, 1) << c.listed;
        EXPECT_EQ(result.err, "scrtool: " + archive + ": no picture 100000 (pictures: " + c.listed + ")\n");
    }
}

// Every numeric option of every command, just outside what its help gives,
// is refused with the range in the message; the ends of each range work.
TEST_F(ScrtoolCommandLineTest, NumericOptionsAreHeldToTheirRanges)
{
    const std::string archive = ShowArchive();
    const std::string out = (folder_ / "frame.pam").string();
    const std::vector<std::string> play = {"play", archive, "--size", "8x8", "--until", "20"};
    const std::vector<std::string> transition = {"transition", archive, out, "--from", "1", "--to", "2", "--effect",
                                                 "1", "--speed", "0", "--at", "5", "--size", "8x8"};
    const std::vector<std::string> picture = {"picture", archive, "1", out};
    const auto with = [](std::vector<std::string> base, const std::string& option, const std::string& value) {
        base.push_back(option);
        base.push_back(value);
        return base;
    };
    const auto replacing = [](std::vector<std::string> base, const std::string& option, const std::string& value) {
        const auto at = std::find(base.begin(), base.end(), option);
        if (at == base.end()) {
            base.push_back(option);
            base.push_back(value);
        } else {
            *(at + 1) = value;
        }
        return base;
    };
    const std::string size = "WxH with W and H from 1 to 16384";
    const std::string ms = "milliseconds from 0 to 4294967295";
    struct Case {
        std::vector<std::string> arguments;
        std::string option;
        std::string value;
        std::string wanted;
    };
    const std::vector<Case> refused = {
        {play, "--size", "16385x8", size},
        {play, "--size", "8x0", size},
        {play, "--until", "4294967296", ms},
        {play, "--seed", "2147483648", "a number from 0 to 2147483647"},
        {play, "--clock-start", "4294967296", ms},
        {play, "--wait", "16", "a number from 0 to 15"},
        {play, "--effect", "5", "a number from 0 to 4"},
        {play, "--effect", "9", "a number from 0 to 4"},
        {play, "--speed", "5", "a number from 0 to 4"},
        {play, "--speed", "-1", "a number from 0 to 4"},
        {play, "--memory-every", "0", "milliseconds from 1 to 4294967295"},
        {play, "--memory-every", "4294967296", "milliseconds from 1 to 4294967295"},
        {play, "--snapshot", "4294967296:shot.png", "MS:OUT with MS in milliseconds from 0 to 4294967295"},
        {transition, "--from", "4294967296", "a picture id from 0 to 4294967295"},
        {transition, "--to", "-1", "a picture id from 0 to 4294967295"},
        {transition, "--effect", "5", "a number from 0 to 4"},
        {transition, "--speed", "5", "a number from 0 to 4"},
        {transition, "--at", "4294967296", ms},
        {transition, "--size", "0x8", size},
        {picture, "--place", "16385x8", size},
        {with(picture, "--place", "8x8"), "--area", "8x0", size},
    };
    for (const Case& c : refused) {
        const std::vector<std::string> arguments = replacing(c.arguments, c.option, c.value);
        const RunResult result = Run(arguments);
        EXPECT_EQ(result.exitCode, 2) << Shown(arguments);
        EXPECT_EQ(result.out, "") << Shown(arguments);
        EXPECT_EQ(result.err, "scrtool " + arguments[0] + ": option '" + c.option + "' needs " + c.wanted + ", got '" +
                                  c.value + "' (try 'scrtool " + arguments[0] + " --help')\n");
    }
    const std::vector<std::vector<std::string>> accepted = {
        replacing(replacing(replacing(play, "--wait", "15"), "--effect", "4"), "--speed", "4"),
        replacing(replacing(replacing(play, "--wait", "0"), "--effect", "0"), "--speed", "0"),
        replacing(replacing(play, "--seed", "2147483647"), "--clock-start", "4294967295"),
        replacing(play, "--memory-every", "10"),
        replacing(play, "--snapshot", "4294967295:" + (folder_ / "last.png").string()),
        replacing(replacing(transition, "--effect", "4"), "--speed", "4"),
        replacing(replacing(transition, "--effect", "0"), "--at", "4294967295"),
        with(with(picture, "--place", "16384x1"), "--area", "1x1"),
    };
    for (const std::vector<std::string>& arguments : accepted) {
        const RunResult result = Run(arguments);
        EXPECT_EQ(result.exitCode, 0) << Shown(arguments) << ": " << result.err;
    }
}

TEST_F(ScrtoolCommandLineTest, DashWritesToStandardOutputWhereThatMakesSense)
{
    const std::string archive = ShowArchive();
    const auto file = [this](const std::string& name) { return (folder_ / name).string(); };

    // cat: -o - is standard output, as without -o; -o FILE is the file alone.
    const RunResult plain = Run({"cat", archive, "SGBm", "1"});
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_EQ(Run({"cat", archive, "SGBm", "1", "-o", "-"}).out, plain.out);
    const RunResult toFile = Run({"cat", archive, "SGBm", "1", "--output", file("entry.bin")});
    EXPECT_EQ(toFile.exitCode, 0) << toFile.err;
    EXPECT_EQ(toFile.out, "");
    EXPECT_EQ(ReadTextFile(file("entry.bin")), plain.out);

    // picture and transition: OUT "-" holds what the file would, in the
    // format --format names, PNG without it.
    const std::vector<std::string> frame = {"--from", "1", "--to", "2", "--effect", "2", "--speed", "0", "--at", "300",
                                            "--size", "20x10"};
    const auto transition = [&](const std::string& out, std::vector<std::string> more) {
        std::vector<std::string> arguments = {"transition", archive, out};
        arguments.insert(arguments.end(), frame.begin(), frame.end());
        arguments.insert(arguments.end(), more.begin(), more.end());
        return Run(arguments);
    };
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> pairs = {
        {{"picture", archive, "1", file("p.pam")}, {"picture", archive, "1", "-", "--format", "pam"}},
        {{"picture", archive, "2", file("p.png"), "--place", "30x20"}, {"picture", archive, "2", "-", "--place", "30x20"}},
        {{"picture", archive, "2", file("p.bin"), "--format", "pam"}, {"picture", archive, "2", "-", "--format=pam"}},
    };
    for (const auto& [written, streamed] : pairs) {
        const RunResult toDisk = Run(written);
        ASSERT_EQ(toDisk.exitCode, 0) << Shown(written) << ": " << toDisk.err;
        const RunResult toOut = Run(streamed);
        EXPECT_EQ(toOut.exitCode, 0) << Shown(streamed) << ": " << toOut.err;
        EXPECT_EQ(toOut.err, "");
        EXPECT_TRUE(toOut.out == ReadTextFile(written[3])) << Shown(streamed);
    }
    ASSERT_EQ(transition(file("t.png"), {}).exitCode, 0);
    EXPECT_TRUE(transition("-", {}).out == ReadTextFile(file("t.png")));
    ASSERT_EQ(transition(file("t.pam"), {}).exitCode, 0);
    EXPECT_TRUE(transition("-", {"--format", "pam"}).out == ReadTextFile(file("t.pam")));

    // Where standard output cannot take it, or the names disagree: a usage
    // error, and nothing written.
    struct Refusal {
        std::vector<std::string> arguments;
        std::string message;
    } const refusals[] = {
        {{"play", archive, "--size", "8x8", "--until", "100", "--snapshot", "50:-"},
         "scrtool play: option '--snapshot' needs an OUT file: standard output carries the events, got '50:-'"},
        {{"unpack", archive, "-"}, "scrtool unpack: DIR '-' would be standard output, which cannot take a folder"},
        {{"picture", archive, "1", file("q.png"), "--format", "pam"},
         "scrtool picture: option '--format' says pam, but OUT '" + file("q.png") + "' ends in .png"},
        {{"picture", archive, "1", "-", "--format", "gif"}, "scrtool picture: option '--format' needs 'png' or 'pam'"},
        {{"picture", archive, "1", file("q.gif")}, "scrtool picture: OUT must end in .png or .pam (or give --format)"},
        {{"cat", archive, "SGBm", "1", "-o", "a", "--output", "b"}, "scrtool cat: the output (-o) is given twice"},
    };
    for (const Refusal& c : refusals) {
        const RunResult result = Run(c.arguments);
        EXPECT_EQ(result.exitCode, 2) << Shown(c.arguments);
        EXPECT_EQ(result.out, "") << Shown(c.arguments);
        EXPECT_EQ(LineCount(result.err), 1u) << result.err;
        EXPECT_EQ(result.err.rfind(c.message, 0), 0u) << Shown(c.arguments) << ": " << result.err;
    }
    EXPECT_FALSE(fs::exists(file("q.png")));
    EXPECT_FALSE(fs::exists(file("a")));
}

#ifdef KAMISHIBAI_SOURCE_DIR
TEST_F(ScrtoolCommandLineTest, PackToStandardOutputWritesTheArchiveTheFileWouldHold)
{
    const std::string manifest = (fs::path(KAMISHIBAI_SOURCE_DIR) / "examples/minimal/manifest.toml").string();
    const std::string archive = (folder_ / "minimal.brsc").string();
    const RunResult toFile = Run({"pack", manifest, "-o", archive});
    ASSERT_EQ(toFile.exitCode, 0) << toFile.err;
    const RunResult toOut = Run({"pack", manifest, "-o", "-"});
    EXPECT_EQ(toOut.exitCode, 0) << toOut.err;
    EXPECT_EQ(toOut.err, "");
    EXPECT_TRUE(toOut.out == ReadTextFile(archive)) << toOut.out.size() << " bytes";
}
#endif

#ifndef _WIN32
// Runs scrtool with standard output on a terminal of its own (a
// pseudo-terminal), standard error into a file; what reached the terminal
// comes back in `out`. The fixture's runner cannot give it a terminal.
RunResult RunOnTerminal(const std::string& tool, const std::vector<std::string>& arguments, const fs::path& folder)
{
    RunResult result;
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    if (terminal < 0 || grantpt(terminal) != 0 || unlockpt(terminal) != 0) {
        ADD_FAILURE() << "no pseudo-terminal";
        return result;
    }
    const std::string side = ptsname(terminal);
    const std::string err = (folder / "terminal-stderr.txt").string();
    std::vector<std::string> words{tool};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    const pid_t child = fork();
    if (child == 0) {
        setsid();
        const int output = open(side.c_str(), O_RDWR);
        const int errors = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (output < 0 || errors < 0 || dup2(output, 1) < 0 || dup2(errors, 2) < 0) _exit(125);
        close(terminal);
        execv(argv[0], argv.data());
        _exit(126);
    }
    // Read until the terminal's other side is closed by the child's exit.
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(terminal, buffer, sizeof buffer);
        if (got > 0) result.out.append(buffer, static_cast<size_t>(got));
        else if (got < 0 && errno == EINTR) continue;
        else break;
    }
    int status = 0;
    waitpid(child, &status, 0);
    close(terminal);
    result.crashed = !WIFEXITED(status);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = ReadTextFile(err);
    return result;
}

TEST_F(ScrtoolCommandLineTest, ArchivesAndPicturesAreNotWrittenToATerminal)
{
    const std::string archive = ShowArchive();
    const std::string manifest = Write("manifest.toml", {});
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    } const cases[] = {
        {{"pack", manifest, "-o", "-"}, "scrtool: refusing to write an archive to a terminal"},
        {{"picture", archive, "1", "-"}, "scrtool: refusing to write a picture to a terminal"},
        {{"transition", archive, "-", "--from", "1", "--to", "2", "--effect", "1", "--speed", "0", "--at", "5",
          "--size", "8x8"},
         "scrtool: refusing to write a picture to a terminal"},
    };
    for (const Case& c : cases) {
        const RunResult result = RunOnTerminal(tool_, c.arguments, folder_);
        EXPECT_EQ(result.exitCode, 1) << Shown(c.arguments) << ": " << result.err;
        EXPECT_EQ(result.out, "") << Shown(c.arguments);
        EXPECT_EQ(LineCount(result.err), 1u) << result.err;
        EXPECT_EQ(result.err.rfind(c.message, 0), 0u) << Shown(c.arguments) << ": " << result.err;
    }
    // What people read still goes to the terminal.
    const RunResult list = RunOnTerminal(tool_, {"list", archive}, folder_);
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_NE(list.out.find("SGBm"), std::string::npos) << list.out;
}
#endif

}  // namespace
