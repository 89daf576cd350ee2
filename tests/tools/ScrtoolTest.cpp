// scrtool as its users run it: the built program (path in $SCRTOOL) on
// archives that the writer puts into a temporary folder, with stdout and
// stderr captured in files.

#include "tools/authoring/ArchiveWriter.h"

#include "ZULResourceUtilLib/LittleEndian.h"
#include "ZULResourceUtilLib/ResArchive.h"
#include "tests/support/ArchiveTestSupport.h"
#include "tests/support/ScrtoolRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr uint32_t KeySeed = 0x00C0FFEEu;

std::string AsString(const std::vector<uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

class ScrtoolTest : public ScrtoolFixture {
protected:
    // The line for an archive that does not open: what is wrong, in words,
    // and the check that refused it where one did.
    static std::string OpenError(const std::string& path, const std::string& problem,
                                 ResOpenFailure failure = ResOpenFailure::None)
    {
        std::string line = "scrtool: " + path + ": " + problem;
        if (failure != ResOpenFailure::None) line += std::string(" (") + ResOpenFailureText(failure) + ")";
        return line + "\n";
    }
};

// Entries in several groups, with prefixes and suffixes, every mode, and the
// same id in two groups.
ArchiveWriter MixedArchive(uint32_t keySeed)
{
    ArchiveOptions options;
    options.keySeed = keySeed;
    options.blockShift = 0;
    options.interleaveShift = 1;
    ArchiveWriter writer(options);
    writer.Add({ResTagScenario, 1000, 3, PatternBytes(520, 1), {}, {}});
    writer.Add({ResTagPicture, 5, 0, PatternBytes(3000, 2), PatternBytes(12, 3), {}});
    writer.Add({ResTagPicture, 2, 1, PatternBytes(2048, 4), {}, PatternBytes(9, 5)});
    writer.Add({ResTagSound, 7, 2, PatternBytes(4099, 6), PatternBytes(100, 7), PatternBytes(255, 8)});
    writer.Add({ResTagInformation, 1000, 1, PatternBytes(256, 9), {}, {}});
    writer.Add({ResTagPicture, 4294967295u, 3, {}, {}, {}});
    return writer;
}

const char* const MixedListing =
    "SSSc\t1000\t520\t3\n"
    "SGBm\t5\t3000\t0\n"
    "SGBm\t2\t2048\t1\n"
    "SGBm\t4294967295\t0\t3\n"
    "SSWv\t7\t4099\t2\n"
    "SSIf\t1000\t256\t1\n";

TEST_F(ScrtoolTest, ListPrintsEveryEntryInIndexOrder)
{
    for (uint32_t keySeed : {0u, KeySeed}) {
        const std::string path = Write("mixed.brsc", MixedArchive(keySeed).Build());
        const RunResult result = Run({"list", path});
        EXPECT_EQ(result.exitCode, 0) << keySeed;
        EXPECT_EQ(result.out, MixedListing) << keySeed;
        EXPECT_EQ(result.err, "") << keySeed;
    }
}

TEST_F(ScrtoolTest, CatWritesTheDecryptedDataOfEveryMode)
{
    ArchiveWriter writer = MixedArchive(KeySeed);
    // Large entries pass through many pieces of the stream and, in mode 2,
    // many encrypted and plain blocks.
    writer.Add({ResTagPicture, 100, 2, PatternBytes(1536 * 1024 + 77, 10), PatternBytes(3, 1), PatternBytes(5, 1)});
    writer.Add({ResTagSound, 100, 1, PatternBytes(1100 * 1024, 11), {}, {}});
    writer.Add({ResTagSound, 101, 3, PatternBytes(1024 * 1024 + 1, 12), {}, {}});
    const std::string path = Write("mixed.brsc", writer.Build());

    struct Case {
        const char* tag;
        uint32_t id;
        std::vector<uint8_t> data;
    } const cases[] = {
        {"SSSc", 1000, PatternBytes(520, 1)},
        {"SGBm", 5, PatternBytes(3000, 2)},
        {"SGBm", 2, PatternBytes(2048, 4)},
        {"SSWv", 7, PatternBytes(4099, 6)},
        {"SSIf", 1000, PatternBytes(256, 9)},
        {"SGBm", 4294967295u, {}},
        {"SGBm", 100, PatternBytes(1536 * 1024 + 77, 10)},
        {"SSWv", 100, PatternBytes(1100 * 1024, 11)},
        {"SSWv", 101, PatternBytes(1024 * 1024 + 1, 12)},
    };
    for (const Case& c : cases) {
        const RunResult result = Run({"cat", path, c.tag, std::to_string(c.id)});
        EXPECT_EQ(result.exitCode, 0) << c.tag << " " << c.id;
        EXPECT_TRUE(result.out == AsString(c.data)) << c.tag << " " << c.id << ": " << result.out.size() << " bytes";
        EXPECT_EQ(result.err, "") << c.tag << " " << c.id;
    }
}

TEST_F(ScrtoolTest, ReadsAnArchiveAppendedToAProgram)
{
    ArchiveOptions options;
    options.keySeed = KeySeed;
    ArchiveWriter writer(options);
    writer.Add({ResTagScenario, 1000, 3, PatternBytes(700, 1), {}, {}});
    writer.Add({ResTagPicture, 1, 2, PatternBytes(9000, 2), {}, {}});
    std::vector<uint8_t> program = {'M', 'Z', 0x90, 0};
    program.resize(1500, 0xCC);
    const std::string path = Write("saver.scr", writer.BuildBehind(program));

    const RunResult list = Run({"list", path});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_EQ(list.out, "SSSc\t1000\t700\t3\nSGBm\t1\t9000\t2\n");
    const RunResult cat = Run({"cat", path, "SGBm", "1"});
    EXPECT_EQ(cat.exitCode, 0);
    EXPECT_TRUE(cat.out == AsString(PatternBytes(9000, 2)));
}

// The reader alone would look for a bare name beside the program; the tool
// means the current directory.
TEST_F(ScrtoolTest, BareFileNameIsTakenFromTheCurrentDirectory)
{
    Write("here.brsc", MixedArchive(KeySeed).Build());
    const RunResult list = Run({"list", "here.brsc"}, folder_);
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_EQ(list.out, MixedListing);
    const RunResult cat = Run({"cat", "here.brsc", "SSIf", "1000"}, folder_);
    EXPECT_TRUE(cat.out == AsString(PatternBytes(256, 9)));
}

// A tag with bytes outside printable ASCII is listed escaped, and the listed
// text names it again for cat.
TEST_F(ScrtoolTest, TagsOutsidePrintableAsciiAreEscapedBothWays)
{
    const uint32_t tag = 0x01u | uint32_t{'a'} << 8 | uint32_t{'\\'} << 16 | 0xFFu << 24;
    ArchiveWriter writer;
    writer.Add({tag, 3, 0, PatternBytes(10, 1), {}, {}});
    const std::string path = Write("odd.brsc", writer.Build());
    const RunResult list = Run({"list", path});
    EXPECT_EQ(list.out, "\\x01a\\x5c\\xff\t3\t10\t0\n");
    const RunResult cat = Run({"cat", path, "\\x01a\\x5c\\xFF", "3"});
    EXPECT_EQ(cat.exitCode, 0) << cat.err;
    EXPECT_TRUE(cat.out == AsString(PatternBytes(10, 1)));
}

TEST_F(ScrtoolTest, ArchivesThatCannotBeOpenedGiveOneLineAndStatus1)
{
    ArchiveOptions failing;
    failing.checkWord = CheckWordChoice::Failing;
    ArchiveWriter failingWriter(failing);
    failingWriter.Add({ResTagScenario, 1000, 0, PatternBytes(64, 1), {}, {}});
    ArchiveOptions unchecked;
    unchecked.checkWord = CheckWordChoice::None;
    ArchiveWriter uncheckedWriter(unchecked);
    uncheckedWriter.Add({ResTagScenario, 1000, 0, PatternBytes(64, 1), {}, {}});
    fs::create_directories(folder_ / "folder.brsc");

    struct Case {
        std::string path;
        std::string problem;
        ResOpenFailure failure;
    } const cases[] = {
        {(folder_ / "missing.brsc").string(), "no such file", ResOpenFailure::None},
        {Write("garbage.brsc", PatternBytes(5000, 3)), "truncated or not an archive",
         ResOpenFailure::IndexLengthOutsideFile},
        {Write("tiny.brsc", PatternBytes(119, 4)), "truncated or not an archive", ResOpenFailure::TooShort},
        {Write("empty.brsc", {}), "is empty, not an archive", ResOpenFailure::None},
        {Write("failing.scr", failingWriter.BuildBehind(PatternBytes(100, 5))), "damaged archive",
         ResOpenFailure::CheckWordMismatch},
        {Write("unchecked.scr", uncheckedWriter.BuildBehind(PatternBytes(100, 5))), "damaged archive",
         ResOpenFailure::CheckWordMissing},
        {(folder_ / "folder.brsc").string(), "is a directory, not an archive", ResOpenFailure::None},
    };
    for (const Case& c : cases) {
        for (const std::vector<std::string>& arguments :
             {std::vector<std::string>{"list", c.path}, std::vector<std::string>{"cat", c.path, "SSSc", "1000"}}) {
            const RunResult result = Run(arguments);
            EXPECT_EQ(result.exitCode, 1) << arguments[0] << " " << c.path;
            EXPECT_EQ(result.out, "") << arguments[0] << " " << c.path;
            EXPECT_EQ(result.err, OpenError(c.path, c.problem, c.failure)) << arguments[0];
        }
    }
}

// The checks an author meets most, in the words list and verify print.
TEST_F(ScrtoolTest, ListAndVerifySayWhichCheckOfTheArchiveFailed)
{
    ArchiveOptions failing;
    failing.checkWord = CheckWordChoice::Failing;
    ArchiveWriter failingWriter(failing);
    failingWriter.Add({ResTagScenario, 1000, 0, PatternBytes(64, 1), {}, {}});

    ArchiveWriter writer;
    writer.Add({ResTagPicture, 1, 0, PatternBytes(10, 1), {}, {}});
    const std::vector<uint8_t> good = writer.Build();
    const PlainArchiveLayout layout = LocatePlainArchive(good);
    std::vector<uint8_t> groups = good;
    WriteLe32(&groups[layout.indexBlock + ArchiveLayout::IndexHeader::GroupCount], 500);
    std::vector<uint8_t> entry = good;
    WriteLe64(&entry[layout.entryRecord(1, 0) + ArchiveLayout::Entry::Offset], 1000000);
    std::vector<uint8_t> kind = good;
    kind[layout.trailer + ArchiveLayout::Trailer::IdentificationB] ^= 1;

    struct Case {
        std::string path;
        const char* problem;
        const char* detail;
    } const cases[] = {
        {Write("failing.scr", failingWriter.BuildBehind(PatternBytes(100, 5))), "damaged archive",
         "the trailer's check word does not match the archive header"},
        {Write("groups.brsc", groups), "damaged archive",
         "the index's group table runs past the index (a damaged index, or a wrong key seed in the trailer)"},
        {Write("entry.brsc", entry), "damaged archive", "an entry's stored bytes lie outside the file"},
        {Write("kind.brsc", kind), "an archive for another program",
         "the archive kind read from the trailer and the archive header is not this program's"},
    };
    for (const Case& c : cases) {
        for (const char* command : {"list", "verify"}) {
            const RunResult result = Run({command, c.path});
            EXPECT_EQ(result.exitCode, 1) << command << " " << c.path;
            EXPECT_EQ(result.out, "") << command << " " << c.path;
            EXPECT_EQ(result.err, "scrtool: " + c.path + ": " + c.problem + " (" + c.detail + ")\n") << command;
        }
    }
}

#ifndef _WIN32
// A FIFO that no one writes, a folder or a device given as ARCHIVE: every
// subcommand refuses it at once. The time limit turns a tool that would
// wait on the FIFO for ever into a failure.
TEST_F(ScrtoolTest, EverySubcommandRefusesFoldersPipesAndDevicesAtOnce)
{
    const std::string fifo = (folder_ / "SC_TEST.brsc").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string out = (folder_ / "out.png").string();
    const std::string unpacked = (folder_ / "unpacked").string();
    std::vector<std::pair<std::string, std::string>> archives = {{fifo, "is a pipe, not an archive file"},
                                                                  {folder_.string(), "is a directory, not an archive"}};
    if (fs::exists("/dev/zero")) archives.emplace_back("/dev/zero", "is a device, not an archive file");

    for (const auto& [archive, problem] : archives) {
        const std::vector<std::vector<std::string>> commands = {
            {"list", archive},
            {"cat", archive, "SSSc", "1000"},
            {"verify", archive},
            {"wav", archive, "1"},
            {"picture", archive, "1", out},
            {"play", archive, "--size", "8x8", "--until", "100"},
            {"transition", archive, "--from", "1", "--to", "2", "--effect", "1", "--speed", "0", "--at", "5",
             "--size", "8x8", out},
            {"unpack", archive, unpacked},
        };
        for (const std::vector<std::string>& arguments : commands) {
            const RunResult result = Run(arguments, {}, 60);
            EXPECT_FALSE(result.timedOut) << arguments[0] << " " << archive << " waited";
            EXPECT_EQ(result.exitCode, 1) << arguments[0] << " " << archive;
            EXPECT_EQ(result.out, "") << arguments[0] << " " << archive;
            EXPECT_EQ(result.err, OpenError(archive, problem)) << arguments[0] << " " << archive;
        }
    }
    EXPECT_FALSE(fs::exists(out));
}
#endif

TEST_F(ScrtoolTest, MissingGroupOrEntryNamesFileTagAndId)
{
    const std::string path = Write("mixed.brsc", MixedArchive(KeySeed).Build());
    struct Case {
        const char* tag;
        const char* id;
        std::string expected;
    } const cases[] = {
        {"SGBm", "77", "scrtool: " + path + ": no entry SGBm 77 (SGBm ids: 2, 5, 4294967295)\n"},
        {"SSSc", "7", "scrtool: " + path + ": no entry SSSc 7 (SSSc ids: 1000)\n"},
        {"ABCD", "1000", "scrtool: " + path + ": no group ABCD (groups: SSSc, SGBm, SSWv, SSIf)\n"},
    };
    for (const Case& c : cases) {
        const RunResult result = Run({"cat", path, c.tag, c.id});
        EXPECT_EQ(result.exitCode, 1) << c.tag << " " << c.id;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, c.expected);
    }
}

TEST_F(ScrtoolTest, WrongCommandLinesGiveOneLineWithAHintAndStatus2)
{
    const std::string path = Write("mixed.brsc", MixedArchive(0).Build());
    const std::vector<std::vector<std::string>> cases = {
        {"frobnicate"},
        {"--verbose"},
        {"list"},
        {"list", path, path},
        {"list", "--long", path},
        {"list", ""},
        {"cat", path, "SGBm"},
        {"cat", path, "SGBm", "1", "2"},
        {"cat", path, "SGB", "1"},
        {"cat", path, "SGBmX", "1"},
        {"cat", path, "\\x4", "1"},
        {"cat", path, "SGBm", "-1"},
        {"cat", path, "SGBm", "4294967296"},
        {"cat", path, "SGBm", "12x"},
        {"cat", path, "SGBm", " 1"},
        {"cat", path, "SGBm", ""},
    };
    for (const auto& arguments : cases) {
        std::string shown;
        for (const auto& argument : arguments) shown += "[" + argument + "]";
        const RunResult result = Run(arguments);
        EXPECT_EQ(result.exitCode, 2) << shown;
        EXPECT_EQ(result.out, "") << shown;
        EXPECT_EQ(LineCount(result.err), 1u) << shown << ": " << result.err;
        EXPECT_NE(result.err.find("--help"), std::string::npos) << shown << ": " << result.err;
    }
}

TEST_F(ScrtoolTest, HelpGoesToStdoutForTheToolAndEachCommand)
{
    const std::vector<std::vector<std::string>> cases = {
        {"--help"}, {"-h"}, {"help"}, {"list", "--help"}, {"cat", "-h"}, {"cat", "archive", "--help"},
    };
    for (const auto& arguments : cases) {
        const RunResult result = Run(arguments);
        EXPECT_EQ(result.exitCode, 0) << arguments.back();
        EXPECT_EQ(result.out.rfind("usage: scrtool ", 0), 0u) << arguments.back() << ": " << result.out;
        EXPECT_EQ(result.err, "");
    }
    EXPECT_NE(Run({"--help"}).out.find("cat"), std::string::npos);
    // "--" ends the options: a file named "--help" is an archive like any other.
    const RunResult literal = Run({"list", "--", "--help"}, folder_);
    EXPECT_EQ(literal.exitCode, 1);
    EXPECT_EQ(literal.err, OpenError("--help", "no such file"));
}

// An entry whose prefix and suffix exceed its stored size: listed with its
// (negative) data length, refused by cat with one line.
TEST_F(ScrtoolTest, EntryWithInconsistentSizesIsListedAndRefusedByCat)
{
    ArchiveWriter writer;
    writer.Add({ResTagPicture, 1, 0, PatternBytes(10, 1), {}, {}});
    std::vector<uint8_t> file = writer.Build();
    const PlainArchiveLayout layout = LocatePlainArchive(file);
    WriteLe16(&file[layout.entryRecord(1, 0) + ArchiveLayout::Entry::PrefixLength], 30);  // prefix length 30 > stored size 10
    const std::string path = Write("inconsistent.brsc", file);

    const RunResult list = Run({"list", path});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_EQ(list.out, "SGBm\t1\t-20\t0\n");
    const RunResult cat = Run({"cat", path, "SGBm", "1"});
    EXPECT_EQ(cat.exitCode, 1);
    EXPECT_EQ(cat.out, "");
    EXPECT_EQ(cat.err, "scrtool: " + path + ": cannot read entry SGBm 1: its prefix and suffix are longer than its "
                       "stored bytes\n");
}

// Damaged archives: cut short, single bytes changed, hostile trailer fields.
// The tool either works or reports one line; it never crashes.
TEST_F(ScrtoolTest, DamagedArchivesNeverCrashTheTool)
{
    for (uint32_t keySeed : {0u, KeySeed}) {
        const std::vector<uint8_t> original = MixedArchive(keySeed).Build();
        const size_t size = original.size();
        std::vector<std::vector<uint8_t>> damaged;
        for (size_t cut : {size_t{1}, size_t{64}, size_t{65}, size / 2, size - 100}) {
            damaged.emplace_back(original.begin(), original.end() - static_cast<ptrdiff_t>(cut));
        }
        // From the end: key seed, block code, index length (low and high
        // byte), then inside the index block (group records, entry runs, the
        // index header's index offset and group count).
        for (size_t offsetFromEnd : {size_t{44}, size_t{18}, size_t{8}, size_t{2}, size_t{64 + 5}, size_t{64 + 100},
                                     size_t{64 + 150}, size_t{64 + 204}, size_t{64 + 212}}) {
            for (uint8_t value : {uint8_t{0x00}, uint8_t{0xFF}, uint8_t{0x80}}) {
                std::vector<uint8_t> bytes = original;
                bytes[size - offsetFromEnd] = value;
                damaged.push_back(bytes);
            }
        }
        std::vector<uint8_t> hugeIndex = original;
        WriteLe64(&hugeIndex[size - 8], 0xFFFFFFFFFFFFFF00ull);
        damaged.push_back(hugeIndex);

        for (size_t i = 0; i < damaged.size(); ++i) {
            const std::string path = Write("damaged.brsc", damaged[i]);
            for (const std::vector<std::string>& arguments :
                 {std::vector<std::string>{"list", path}, std::vector<std::string>{"cat", path, "SSWv", "7"}}) {
                const RunResult result = Run(arguments);
                ASSERT_FALSE(result.crashed) << arguments[0] << " on damaged archive " << i << " (seed " << keySeed << ")";
                EXPECT_TRUE(result.exitCode == 0 || result.exitCode == 1) << arguments[0] << " " << i;
                if (result.exitCode == 1) {
                    EXPECT_EQ(LineCount(result.err), 1u) << arguments[0] << " " << i << ": " << result.err;
                }
            }
        }
    }
}

}  // namespace
