// scrtool pack's check of the archive it built: what verify would warn about
// or refuse comes out as warning lines that point at the scenario text's
// line, the archive is written all the same, and --strict makes any warning
// a failure that leaves OUT as it was.

#include "tests/support/PngFiles.h"
#include "tests/support/ScrtoolRun.h"
#include "tests/support/WaveFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream output(path, std::ios::binary);
    output.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const fs::path& path, const std::string& text)
{
    WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

// An 8 x 6 RGB picture of two colours.
std::vector<uint8_t> SmallPng()
{
    using namespace png_files;
    std::vector<Bytes> rows;
    for (int y = 0; y < 6; ++y) {
        Bytes row;
        for (int x = 0; x < 8; ++x)
            row.insert(row.end(), {static_cast<uint8_t>(x < 4 ? 200 : 20), 90, static_cast<uint8_t>(y * 40)});
        rows.push_back(row);
    }
    Bytes data;
    AppendFiltered(data, rows, 3, {0});
    return PngFile({{"IHDR", HeaderData(8, 6, 8, 2)}, {"IDAT", Deflate(data)}, {"IEND", {}}});
}

std::vector<uint8_t> ShortWave()
{
    return WaveEntry().Format(PcmFormat(1, 8000, 8)).Data(std::vector<uint8_t>(400, 0x80)).Bytes();
}

// Picture 1 and sound 7; the scenario is the case's.
const char* const BaseManifest =
    "[scenario]\n"
    "file = \"scenario.txt\"\n"
    "\n"
    "[[picture]]\n"
    "id = 1\n"
    "file = \"one.png\"\n"
    "\n"
    "[[sound]]\n"
    "id = 7\n"
    "file = \"chime.wav\"\n";

class PackWarningsTest : public ScrtoolFixture {
protected:
    // A project in `folder` (relative to the test folder, "" for the folder
    // itself) with this manifest and scenario text.
    void WriteProject(const std::string& folder, const std::string& manifest, const std::string& scenario)
    {
        const fs::path project = folder_ / folder;
        WriteText(project / "manifest.toml", manifest);
        WriteText(project / "scenario.txt", scenario);
        WriteBytes(project / "one.png", SmallPng());
        WriteBytes(project / "chime.wav", ShortWave());
    }

    RunResult RunHere(const std::vector<std::string>& arguments) { return Run(arguments, folder_); }
};

// Each warning line as pack prints it, with the scenario text's line (not
// the record number alone), and verify's count of the same findings.
TEST_F(PackWarningsTest, WarningsPointAtTheScenarioLineAndTheArchiveIsStillWritten)
{
    struct Case {
        const char* name;
        std::string folder;  // of the project, relative to where pack runs
        std::string manifest;
        std::string scenario;
        std::vector<std::string> warnings;  // pack's stderr lines, in order
        std::string verifySummary;          // the end of verify's total line; "" when verify cannot open it
    };
    const std::string picture2 = "warning: record 1: shows picture 2, which the archive does not hold";
    const Case cases[] = {
        {"everything there", "", BaseManifest, "show 1 speed 2 sound 7\nwait 1\nsound 7\n", {},
         "0 problems, 0 warnings"},
        {"picture missing", "", BaseManifest, "# opening\nshow 1\n\nshow 2\n",
         {"scrtool: scenario.txt:4: " + picture2}, "0 problems, 1 warning"},
        {"sound after a picture missing", "", BaseManifest, "show 1 sound 7 8\n",
         {"scrtool: scenario.txt:1: warning: record 0: names sound 8, which the archive does not hold"},
         "0 problems, 1 warning"},
        {"looping sound missing", "", BaseManifest, "start:\n  show 1\n  sound 9 delay 500\n",
         {"scrtool: scenario.txt:3: warning: record 1: names sound 9, which the archive does not hold"},
         "0 problems, 1 warning"},
        {"raw jump out of range", "", BaseManifest, "show 1\nwait 1\nraw 9 v0=5\n",
         {"scrtool: scenario.txt:3: warning: record 2: jump target 5 is not a record (0 to 2) (scrtool verify fails "
          "on this)"},
         "1 problem, 0 warnings"},
        {"raw random jump out of range, after a label line", "", BaseManifest,
         "top:\n\n  show 1\nnext:\n  raw 11 arg1=2 v0=top v1=9\n",
         {"scrtool: scenario.txt:5: warning: record 1: jump target 9 is not a record (0 to 1) (scrtool verify fails "
          "on this)"},
         "1 problem, 0 warnings"},
        // The builder skips a byte-order mark; the lines must still count
        // from the first.
        {"byte-order mark", "", BaseManifest, "\xEF\xBB\xBFshow 1\nshow 2\n",
         {"scrtool: scenario.txt:2: warning: record 1: shows picture 2, which the archive does not hold"},
         "0 problems, 1 warning"},
        // Problems first, then warnings, as verify lists them.
        {"several", "", BaseManifest, "show 3\nshow 1 sound 4\nraw 9 v0=-1\n",
         {"scrtool: scenario.txt:3: warning: record 2: jump target -1 is not a record (0 to 2) (scrtool verify "
          "fails on this)",
          "scrtool: scenario.txt:1: warning: record 0: shows picture 3, which the archive does not hold",
          "scrtool: scenario.txt:2: warning: record 1: names sound 4, which the archive does not hold"},
         "1 problem, 2 warnings"},
        // The scenario named as the builder names it: from where pack runs.
        {"project in a folder", "shows/first", BaseManifest, "show 1\nshow 2\n",
         {"scrtool: shows/first/scenario.txt:2: " + picture2}, "0 problems, 1 warning"},
        {"no scenario", "", "[[picture]]\nid = 1\nfile = \"one.png\"\n", "",
         {"scrtool: manifest.toml: warning: no scenario: the saver shows its banner instead of pictures"},
         "0 problems, 1 warning"},
        {"identification the saver does not open", "", std::string("[archive]\nidentification = 5\n") + BaseManifest,
         "show 1\n",
         {"scrtool: manifest.toml: warning: archive.identification is 5, but the saver and scrtool verify open only "
          "archives of identification 0 and kind 0x8CB9AFB2"},
         ""},
        {"kind the saver does not open", "", std::string("[archive]\nkind = 0x12345678\n") + BaseManifest, "show 1\n",
         {"scrtool: manifest.toml: warning: archive.kind is 0x12345678, but the saver and scrtool verify open only "
          "archives of identification 0 and kind 0x8CB9AFB2"},
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteProject(c.folder, c.manifest, c.scenario);
        const std::string manifest = c.folder.empty() ? "manifest.toml" : c.folder + "/manifest.toml";
        const std::string out = "out-" + std::to_string(&c - cases) + ".brsc";

        const RunResult packed = RunHere({"pack", manifest, "-o", out});
        EXPECT_EQ(packed.exitCode, 0) << packed.err;
        EXPECT_EQ(packed.out, "");
        std::string expected;
        for (const std::string& line : c.warnings) expected += line + "\n";
        EXPECT_EQ(packed.err, expected);
        ASSERT_TRUE(fs::exists(folder_ / out));

        const RunResult verified = RunHere({"verify", out});
        if (c.verifySummary.empty()) {
            EXPECT_EQ(verified.exitCode, 1);
            EXPECT_NE(verified.err.find(": an archive for another program ("), std::string::npos) << verified.err;
        } else {
            EXPECT_TRUE(verified.out.ends_with(c.verifySummary + "\n")) << verified.out;
        }

        // --strict: the same lines, then the failure; nothing written.
        const std::string strictOut = "strict-" + out;
        const RunResult strict = RunHere({"pack", manifest, "-o", strictOut, "--strict"});
        if (c.warnings.empty()) {
            EXPECT_EQ(strict.exitCode, 0) << strict.err;
            EXPECT_EQ(strict.err, "");
            EXPECT_TRUE(ReadFileBytes(folder_ / strictOut) == ReadFileBytes(folder_ / out));
        } else {
            EXPECT_EQ(strict.exitCode, 1);
            const std::string count =
                std::to_string(c.warnings.size()) + (c.warnings.size() == 1 ? " warning" : " warnings");
            EXPECT_EQ(strict.err, expected + "scrtool: " + strictOut + ": not written: --strict, and " + count + "\n");
            EXPECT_FALSE(fs::exists(folder_ / strictOut));
        }
    }
}

// A failed --strict pack leaves OUT as it was, even when OUT is the program
// the archive was to be appended to; --strict takes no value.
TEST_F(PackWarningsTest, StrictFailureLeavesAnExistingOutputAlone)
{
    WriteProject("", BaseManifest, "show 1\nshow 2\n");
    const std::vector<uint8_t> program(5000, 0x4D);
    WriteBytes(folder_ / "saver.scr", program);
    WriteText(folder_ / "show.brsc", "the old archive");

    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        const char* file;  // that must be unchanged
        std::vector<uint8_t> before;
    } const cases[] = {
        {"side file", {"pack", "manifest.toml", "-o", "show.brsc", "--strict"}, "show.brsc",
         {'t', 'h', 'e', ' ', 'o', 'l', 'd', ' ', 'a', 'r', 'c', 'h', 'i', 'v', 'e'}},
        {"appended to the program itself",
         {"pack", "manifest.toml", "--strict", "-o", "saver.scr", "--append-to", "saver.scr"},
         "saver.scr", program},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RunResult result = RunHere(c.arguments);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_NE(result.err.find("warning: record 1: shows picture 2"), std::string::npos) << result.err;
        EXPECT_TRUE(ReadFileBytes(folder_ / c.file) == c.before);
    }
    // No temporary file either (stdout.bin and stderr.txt are the fixture's).
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(folder_)) names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"chime.wav", "manifest.toml", "one.png", "saver.scr", "scenario.txt",
                                               "show.brsc", "stderr.txt", "stdout.bin"}));

    // Without --strict the same program gets its archive, and the copy still
    // opens and verifies (the check ran on the appended archive).
    const RunResult appended = RunHere({"pack", "manifest.toml", "-o", "my.scr", "--append-to", "saver.scr"});
    EXPECT_EQ(appended.exitCode, 0) << appended.err;
    const RunResult verified = RunHere({"verify", "my.scr"});
    EXPECT_EQ(verified.exitCode, 0) << verified.err;
    EXPECT_TRUE(verified.out.ends_with("0 problems, 1 warning\n")) << verified.out;

    const RunResult valued = RunHere({"pack", "manifest.toml", "-o", "x.brsc", "--strict=yes"});
    EXPECT_EQ(valued.exitCode, 2);
    EXPECT_NE(valued.err.find("takes no value"), std::string::npos) << valued.err;
    EXPECT_FALSE(fs::exists(folder_ / "x.brsc"));

    const RunResult help = RunHere({"pack", "--help"});
    EXPECT_NE(help.out.find("--strict"), std::string::npos);
}

}  // namespace
