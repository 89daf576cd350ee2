// The authoring examples that readers copy must work the first time: the
// example project packs, verifies and plays every picture and sound it holds;
// the commands of its README run as written; and every manifest and scenario
// shown in the README and in docs/ packs with --strict and verifies cleanly.
//
// In the Markdown files, a ```toml block is a complete manifest and a
// ```scenario block a complete scenario text (docs/manifest.md says so for
// writers). A manifest is packed with the scenario block that follows it
// before the next manifest, if any, else with a scenario that shows each of
// its pictures and plays each of its sounds; every scenario block is also
// packed on its own, with a picture for every id it shows and a sound for
// every id it plays. The files a manifest names come from examples/minimal
// when it has them, else the example's file of the same kind stands in.

#include "scenario/ScenarioRecord.h"
#include "tests/support/ScrtoolRun.h"
#include "tools/authoring/Manifest.h"
#include "tools/authoring/ScenarioText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path SourceDir = KAMISHIBAI_SOURCE_DIR;

fs::path ExampleDir()
{
    return SourceDir / "examples" / "minimal";
}

void WriteText(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream output(path, std::ios::binary);
    output << text;
}

struct CodeBlock {
    std::string where;  // "README.md:58", the line of the opening fence
    std::string info;   // the fence's info string
    std::string text;
};

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The fenced code blocks of a Markdown file: a line that starts (after at
// most three spaces) with ``` opens one, with the rest of the line as its
// info string, and the next line that is ``` alone closes it.
std::vector<CodeBlock> FencedBlocks(const std::string& name, const std::string& markdown)
{
    std::vector<CodeBlock> blocks;
    std::istringstream lines(markdown);
    std::string line;
    int number = 0;
    bool open = false;
    while (std::getline(lines, line)) {
        ++number;
        const size_t indent = line.find_first_not_of(' ');
        const bool fence = indent != std::string::npos && indent <= 3 && line.compare(indent, 3, "```") == 0;
        if (!open && fence) {
            blocks.push_back({name + ":" + std::to_string(number), Trimmed(line.substr(indent + 3)), ""});
            open = true;
        } else if (open && fence && Trimmed(line) == "```") {
            open = false;
        } else if (open) {
            blocks.back().text += line + "\n";
        }
    }
    EXPECT_FALSE(open) << name << ": a code block is not closed";
    return blocks;
}

// A file from the example project for one that a snippet names: the same
// file when the example has it, else one of the same kind.
fs::path StandIn(const std::string& given)
{
    const fs::path same = ExampleDir() / given;
    if (fs::is_regular_file(same)) return same;
    std::string extension = fs::path(given).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == ".png") return ExampleDir() / "pictures" / "dawn.png";
    if (extension == ".jpg" || extension == ".jpeg") return ExampleDir() / "pictures" / "sea.jpg";
    if (extension == ".wav") return ExampleDir() / "sounds" / "chime.wav";
    return {};
}

struct NamedIds {
    std::set<int32_t> pictures;
    std::set<int32_t> sounds;
};

// The pictures a scenario shows and the sounds it plays by id (a sound taken
// from the settings names a slot, not a sound).
NamedIds IdsNamedBy(const Scenario& scenario)
{
    NamedIds ids;
    for (const ScenarioRecord& record : scenario.Records) {
        if (record.Code == ScenarioCode::ShowPicture) {
            ids.pictures.insert(record.Values[0]);
            for (size_t slot = 1; slot <= 3 && record.Values[slot] != 0; ++slot) ids.sounds.insert(record.Values[slot]);
        } else if (record.Code == ScenarioCode::PlaySound && !(record.ValueFlags & ScenarioValue0FromSettings)) {
            ids.sounds.insert(record.Values[0]);
        }
    }
    return ids;
}

std::vector<fs::path> Documents()
{
    std::vector<fs::path> documents = {"README.md"};
    for (const char* folder : {"docs", "examples"}) {
        std::vector<fs::path> found;
        for (const auto& item : fs::recursive_directory_iterator(SourceDir / folder))
            if (item.is_regular_file() && item.path().extension() == ".md")
                found.push_back(fs::relative(item.path(), SourceDir));
        std::sort(found.begin(), found.end());
        documents.insert(documents.end(), found.begin(), found.end());
    }
    return documents;
}

class AuthoringExamplesTest : public ScrtoolFixture {
protected:
    // Packs PROJECT/manifest.toml with --strict and verifies the archive:
    // both must be silent about problems and warnings alike.
    void ExpectPacksAndVerifiesCleanly(const fs::path& project)
    {
        const RunResult packed = Run({"pack", "manifest.toml", "-o", "show.brsc", "--strict"}, project);
        EXPECT_EQ(packed.exitCode, 0) << packed.err;
        EXPECT_EQ(packed.err, "");
        if (packed.exitCode != 0) return;
        const RunResult verified = Run({"verify", "show.brsc"}, project);
        EXPECT_EQ(verified.exitCode, 0) << verified.err;
        EXPECT_TRUE(verified.out.ends_with(", 0 problems, 0 warnings\n")) << verified.out;
    }

    // Copies the stand-in for a file the manifest names into the project.
    void ProvideFile(const fs::path& project, const ManifestFile& file)
    {
        ASSERT_TRUE(fs::path(file.given).is_relative())
            << file.given << ": examples should name files relative to the manifest";
        const fs::path source = StandIn(file.given);
        ASSERT_FALSE(source.empty()) << file.given << ": no stand-in for this kind of file";
        fs::create_directories((project / file.given).parent_path());
        fs::copy_file(source, project / file.given, fs::copy_options::overwrite_existing);
    }

    // A project for a manifest block, with its scenario when one is paired
    // with it.
    void CheckManifest(const CodeBlock& block, const CodeBlock* scenario, const fs::path& project)
    {
        SCOPED_TRACE(block.where + (scenario ? " with the scenario at " + scenario->where : ""));
        WriteText(project / "manifest.toml", block.text);
        Manifest manifest;
        try {
            manifest = ParseManifest(block.text, project / "manifest.toml");
        } catch (const ManifestError& error) {
            ADD_FAILURE() << error.what();
            return;
        }
        for (const ManifestPicture& picture : manifest.pictures) ProvideFile(project, picture.file);
        for (const ManifestSound& sound : manifest.sounds) ProvideFile(project, sound.file);
        if (manifest.scenario) {
            std::string text;
            if (scenario) {
                text = scenario->text;
            } else {
                for (const ManifestPicture& picture : manifest.pictures)
                    text += "show " + std::to_string(picture.id) + "\nwait 1\n";
                for (const ManifestSound& sound : manifest.sounds) text += "sound " + std::to_string(sound.id) + "\n";
                if (text.empty()) text = "wait 1\n";
            }
            WriteText(project / manifest.scenario->file.given, text);
        }
        ExpectPacksAndVerifiesCleanly(project);
    }

    // A project for a scenario block on its own.
    void CheckScenario(const CodeBlock& block, const fs::path& project)
    {
        SCOPED_TRACE(block.where);
        Scenario scenario;
        try {
            scenario = CompileScenarioText(block.text);
        } catch (const ScenarioTextError& error) {
            ADD_FAILURE() << error.what();
            return;
        }
        const NamedIds ids = IdsNamedBy(scenario);
        std::string manifest = "[scenario]\nfile = \"scenario.txt\"\n";
        for (const int32_t id : ids.pictures)
            manifest += "\n[[picture]]\nid = " + std::to_string(id) + "\nfile = \"pictures/dawn.png\"\n";
        for (const int32_t id : ids.sounds)
            manifest += "\n[[sound]]\nid = " + std::to_string(id) + "\nfile = \"sounds/chime.wav\"\n";
        WriteText(project / "manifest.toml", manifest);
        WriteText(project / "scenario.txt", block.text);
        fs::create_directories(project / "pictures");
        fs::create_directories(project / "sounds");
        fs::copy_file(ExampleDir() / "pictures" / "dawn.png", project / "pictures" / "dawn.png");
        fs::copy_file(ExampleDir() / "sounds" / "chime.wav", project / "sounds" / "chime.wav");
        ExpectPacksAndVerifiesCleanly(project);
    }
};

// The example as its README tells readers to use it, from the top of the
// source tree: packed with --strict, verified, and played long enough to
// show every picture it holds and play every sound.
TEST_F(AuthoringExamplesTest, MinimalExamplePacksVerifiesAndPlaysEverything)
{
    const std::string archive = (folder_ / "my.brsc").string();
    const RunResult packed = Run({"pack", "examples/minimal/manifest.toml", "-o", archive, "--strict"}, SourceDir);
    ASSERT_EQ(packed.exitCode, 0) << packed.err;
    EXPECT_EQ(packed.out, "");
    EXPECT_EQ(packed.err, "");

    const RunResult verified = Run({"verify", archive});
    EXPECT_EQ(verified.exitCode, 0) << verified.err;
    EXPECT_TRUE(verified.out.ends_with(", 0 problems, 0 warnings\n")) << verified.out;

    const RunResult played = Run({"play", archive, "--size", "320x240", "--until", "60000", "--wait", "2"});
    ASSERT_EQ(played.exitCode, 0) << played.err;
    EXPECT_EQ(played.err, "");  // every sound it tried to play was playable
    std::set<int64_t> shown, sounded;
    std::istringstream events(played.out);
    std::string line;
    while (std::getline(events, line)) {
        std::istringstream words(line);
        std::string time, event;
        int64_t id = 0;
        int loaded = 0;
        if (!(words >> time >> event >> id)) continue;
        if (event == "show" && words >> loaded && loaded == 1) shown.insert(id);
        if (event == "sound") sounded.insert(id);
    }
    const Manifest manifest = ReadManifestFile(ExampleDir() / "manifest.toml");
    EXPECT_GE(manifest.pictures.size(), 2u);
    EXPECT_GE(manifest.sounds.size(), 1u);
    ASSERT_TRUE(manifest.information.has_value());
    EXPECT_NE(manifest.information->texts.aboutPicture, 0u);
    for (const ManifestPicture& picture : manifest.pictures)
        EXPECT_EQ(shown.count(picture.id), 1u) << "picture " << picture.id << " is never shown";
    for (const ManifestSound& sound : manifest.sounds)
        EXPECT_EQ(sounded.count(sound.id), 1u) << "sound " << sound.id << " is never played";
}

// Every `scrtool` line of the example README's ```sh blocks, run as written
// in a copy of the source tree's examples folder (a program that --append-to
// names, which a plain build does not have, is stood in for by a few bytes).
TEST_F(AuthoringExamplesTest, ExampleReadmeCommandsRunAsWritten)
{
    fs::create_directories(folder_ / "examples");
    fs::copy(ExampleDir(), folder_ / "examples" / "minimal", fs::copy_options::recursive);
    int commands = 0;
    const std::string readme = ReadTextFile(ExampleDir() / "README.md");
    for (const CodeBlock& block : FencedBlocks("examples/minimal/README.md", readme)) {
        if (block.info != "sh") continue;
        std::istringstream lines(block.text);
        std::string line;
        while (std::getline(lines, line)) {
            const std::string command = Trimmed(line.substr(0, line.find(" #")));
            if (!command.starts_with("scrtool ")) continue;
            SCOPED_TRACE(command);
            std::istringstream words(command.substr(8));
            std::vector<std::string> arguments;
            for (std::string word; words >> word;) arguments.push_back(word);
            for (size_t i = 0; i + 1 < arguments.size(); ++i)
                if (arguments[i] == "--append-to" && !fs::exists(folder_ / arguments[i + 1]))
                    WriteText(folder_ / arguments[i + 1], std::string(4096, 'M'));
            const RunResult result = Run(arguments, folder_);
            EXPECT_EQ(result.exitCode, 0) << result.err;
            EXPECT_EQ(result.err, "");
            ++commands;
        }
    }
    EXPECT_GE(commands, 3);  // pack, verify, play at least
}

// Every manifest and scenario in the README and in docs/ (and any in
// examples/), each in a project of its own.
TEST_F(AuthoringExamplesTest, EveryManifestAndScenarioInTheDocumentsPacksAndVerifies)
{
    // The least each page shows, so that a change of fence marker cannot
    // leave them unchecked.
    struct Least {
        const char* document;
        size_t manifests;
        size_t scenarios;
    } const least[] = {
        {"README.md", 1, 1},
        {"docs/manifest.md", 1, 1},
        {"docs/scenario-text.md", 0, 3},
    };
    struct Counts {
        size_t manifests = 0;
        size_t scenarios = 0;
    };
    std::map<std::string, Counts> counts;
    int project = 0;
    for (const fs::path& document : Documents()) {
        const std::string text = ReadTextFile(SourceDir / document);
        const std::vector<CodeBlock> blocks = FencedBlocks(document.generic_string(), text);
        size_t& manifests = counts[document.generic_string()].manifests;
        size_t& scenarios = counts[document.generic_string()].scenarios;
        for (size_t i = 0; i < blocks.size(); ++i) {
            if (blocks[i].info == "scenario") {
                ++scenarios;
                CheckScenario(blocks[i], folder_ / ("project" + std::to_string(++project)));
            } else if (blocks[i].info == "toml") {
                ++manifests;
                const CodeBlock* paired = nullptr;
                for (size_t j = i + 1; j < blocks.size() && blocks[j].info != "toml" && !paired; ++j)
                    if (blocks[j].info == "scenario") paired = &blocks[j];
                CheckManifest(blocks[i], paired, folder_ / ("project" + std::to_string(++project)));
            }
        }
    }
    for (const Least& l : least) {
        EXPECT_GE(counts[l.document].manifests, l.manifests) << l.document;
        EXPECT_GE(counts[l.document].scenarios, l.scenarios) << l.document;
    }
}

}  // namespace
