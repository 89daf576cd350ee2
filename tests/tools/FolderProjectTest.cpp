// A show made from a folder: the order of the names, the scenario and
// manifest texts it writes (narrations, sounds looping under the show, ids),
// and the name that fits the settings dialog.

#include "tools/authoring/FolderProject.h"
#include "tools/authoring/InformationBlock.h"
#include "tools/authoring/Manifest.h"
#include "tools/authoring/NaturalOrder.h"
#include "tools/authoring/PhotoFolder.h"
#include "tools/authoring/ScenarioText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

TEST(NaturalOrderTest, NumbersCountByValueAndLettersIgnoreCase)
{
    const std::vector<std::string> expected = {
        "img02.jpg",  "img2.jpg",  // equal by value: byte order decides
        "Img10.JPG",  "img10a.jpg", "img10b.jpg", "img100.jpg",
        "img9999999999999999999999.jpg", "img10000000000000000000000.jpg",  // longer than any integer type
        "IMG_0001.jpg",  // '_' comes after the digits
        "photo 1.jpg", "photo.jpg", "photo1.jpg",  // ' ' and '.' come before the digits, as in plain order
        "z.png",       "\xC3\xA9t\xC3\xA9.jpg",  // "été": bytes beyond ASCII after every ASCII letter
    };
    std::vector<std::string> names = expected;
    std::reverse(names.begin(), names.end());
    std::sort(names.begin(), names.end(), NaturalLess);
    EXPECT_EQ(names, expected);
}

TEST(NaturalOrderTest, IsATotalOrderOnNamesThatLookEqual)
{
    // Equal by runs, so plain byte order decides, and never both ways.
    const std::pair<std::string, std::string> pairs[] = {{"A.jpg", "a.jpg"}, {"img01", "img1"}, {"x007", "x7"}};
    for (const auto& [a, b] : pairs) {
        EXPECT_NE(NaturalLess(a, b), NaturalLess(b, a)) << a << " " << b;
        EXPECT_FALSE(NaturalLess(a, a));
    }
}

TEST(PhotoFolderTest, ExtensionsAndStemsIgnoreLetterCase)
{
    EXPECT_TRUE(HasExtensionAmong("IMG.JPEG", PhotoFileExtensions()));
    EXPECT_TRUE(HasExtensionAmong("a.Png", PhotoFileExtensions()));
    EXPECT_FALSE(HasExtensionAmong(".jpg", PhotoFileExtensions())) << "a name that is only an extension";
    EXPECT_FALSE(HasExtensionAmong("notes.txt", PhotoFileExtensions()));
    EXPECT_EQ(NameStem("beach.jpg"), "beach");
    EXPECT_EQ(NameStem("a.b.wav"), "a.b");
    EXPECT_EQ(NameStem("README"), "README");
}

// The scenario compiled and written back as one word per record, for
// expectations that read like the show.
std::string ShowOutline(const std::string& text)
{
    std::string outline;
    const Scenario scenario = CompileScenarioText(text);
    for (const ScenarioRecord& record : scenario.Records) {
        if (!outline.empty()) outline += " ";
        switch (record.Code) {
        case ScenarioCode::Wait: outline += "wait"; break;
        case ScenarioCode::ShufflePictures: outline += "shuffle"; break;
        case ScenarioCode::SetEffect: outline += "effect"; break;
        case ScenarioCode::PlaySound: outline += "loop:" + std::to_string(record.Values[0]); break;
        case ScenarioCode::Jump: outline += "jump:" + std::to_string(record.Values[0]); break;
        case ScenarioCode::ShowPicture:
            outline += std::to_string(record.Values[0]);
            if (record.Values[1] != 0) outline += "+" + std::to_string(record.Values[1]);
            break;
        default: outline += "?" + std::to_string(record.Code);
        }
    }
    return outline;
}

FolderShowOptions Options(ShowOrder order = ShowOrder::Shuffled)
{
    FolderShowOptions options;
    options.order = order;
    options.name = "Holiday";
    options.version = "2026-12-11";
    return options;
}

TEST(FolderProjectTest, TheShowFollowsTheSettingsAndItsSounds)
{
    struct Case {
        const char* what;
        std::vector<std::string> pictures;
        std::vector<std::string> sounds;
        ShowOrder order;
        const char* outline;
        std::vector<std::string> unused;
    };
    const Case cases[] = {
        {"pictures only, shuffled each round", {"a.jpg", "b.jpg"}, {}, ShowOrder::Shuffled,
         "effect shuffle 1000 wait 1001 wait jump:1", {}},
        {"in the order of the names", {"a.jpg", "b.jpg"}, {}, ShowOrder::ByName, "effect 1000 wait 1001 wait jump:1", {}},
        {"one sound loops under the whole show, started once", {"a.jpg", "b.jpg"}, {"music.mp3"}, ShowOrder::Shuffled,
         "effect loop:5000 shuffle 1000 wait 1001 wait jump:2", {}},
        {"several sounds take turns over equal shares of a round", {"a.jpg", "b.jpg", "c.jpg", "d.jpg"},
         {"one.wav", "two.wav"}, ShowOrder::ByName,
         "effect loop:5000 1000 wait 1001 wait loop:5001 1002 wait 1003 wait jump:1", {}},
        {"uneven shares", {"a.jpg", "b.jpg", "c.jpg"}, {"one.wav", "two.wav"}, ShowOrder::ByName,
         "effect loop:5000 1000 wait 1001 wait loop:5001 1002 wait jump:1", {}},
        {"no more loops than pictures", {"a.jpg"}, {"one.wav", "two.wav"}, ShowOrder::ByName,
         "effect loop:5000 1000 wait jump:2", {"two.wav"}},
        {"a narration follows its picture; in any letter case", {"Beach.JPG", "sea.png"}, {"beach.wav"},
         ShowOrder::Shuffled, "effect shuffle 1000+5000 wait 1001 wait jump:1", {}},
        {"with narrations, the other sounds are not used, and ids close up", {"a.jpg", "b.jpg"},
         {"a-music.wav", "b.flac"}, ShowOrder::ByName, "effect 1000 wait 1001+5000 wait jump:1", {"a-music.wav"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const FolderProject project = MakeFolderProject(c.pictures, c.sounds, Options(c.order));
        EXPECT_EQ(ShowOutline(project.scenarioText), c.outline) << project.scenarioText;
        EXPECT_EQ(project.unusedSounds, c.unused);
    }
}

TEST(FolderProjectTest, EveryShowTakesItsSettingsFromTheDialog)
{
    const Scenario scenario =
        CompileScenarioText(MakeFolderProject({"a.jpg"}, {"a.wav"}, Options()).scenarioText);
    for (const ScenarioRecord& record : scenario.Records) {
        // The settings' effect (word slot 1), wait (slot 0) and speed (slot 2).
        int slot = -1;
        if (record.Code == ScenarioCode::SetEffect) slot = 1;
        if (record.Code == ScenarioCode::Wait) slot = 0;
        if (record.Code == ScenarioCode::ShowPicture) slot = 2;
        if (slot < 0) continue;
        EXPECT_EQ(record.ArgFlags, ScenarioArg1FromSettings) << "code " << int(record.Code);
        EXPECT_EQ(record.Arg1, slot) << "code " << int(record.Code);
    }
}

TEST(FolderProjectTest, TheManifestNamesEveryFileAsAPhoto)
{
    FolderShowOptions options = Options();
    options.maxSize = PictureSize{1920, 1080};
    options.quality = 80;
    const std::string quoteAndBackslash = "say \"cheese\" \\ now.jpg";
    const FolderProject project =
        MakeFolderProject({"夜明け.jpg", quoteAndBackslash}, {"鐘の音.wav"}, options);
    const Manifest manifest = ParseManifest(project.manifestText, "photos/manifest.toml");

    ASSERT_TRUE(manifest.information);
    EXPECT_EQ(manifest.information->texts.name, "Holiday");
    EXPECT_EQ(manifest.information->texts.version, "2026-12-11");
    EXPECT_EQ(manifest.information->texts.aboutPicture, FolderAboutPictureId);
    ASSERT_TRUE(manifest.scenario);
    EXPECT_EQ(manifest.scenario->file.given, "scenario.txt");

    ASSERT_EQ(manifest.pictures.size(), 3u);
    const ManifestPicture& about = manifest.pictures[0];
    EXPECT_EQ(about.id, FolderAboutPictureId);
    EXPECT_EQ(about.file.given, "夜明け.jpg");
    EXPECT_TRUE(about.photo);
    EXPECT_EQ(about.maxSize, (PictureSize{48, 48})) << "the settings dialog's picture box";
    for (size_t i = 1; i < 3; ++i) {
        const ManifestPicture& picture = manifest.pictures[i];
        EXPECT_EQ(picture.id, FolderFirstPictureId + i - 1);
        EXPECT_TRUE(picture.photo);
        EXPECT_EQ(picture.maxSize, (PictureSize{1920, 1080}));
        EXPECT_EQ(picture.quality, 80);
    }
    EXPECT_EQ(manifest.pictures[2].file.given, quoteAndBackslash);
    ASSERT_EQ(manifest.sounds.size(), 1u);
    EXPECT_EQ(manifest.sounds[0].id, FolderFirstSoundId);
    EXPECT_EQ(manifest.sounds[0].file.given, "鐘の音.wav");

    options.maxSize.reset();
    const Manifest unlimited =
        ParseManifest(MakeFolderProject({"a.jpg"}, {}, options).manifestText, "photos/manifest.toml");
    EXPECT_EQ(unlimited.pictures[1].maxSize, std::nullopt);
}

TEST(FolderProjectTest, RefusesNoPicturesAndMoreThanTheIdsHold)
{
    EXPECT_THROW(MakeFolderProject({}, {"a.wav"}, Options()), FolderProjectError);
    std::vector<std::string> many(FolderMostPictures + 1);
    for (size_t i = 0; i < many.size(); ++i) many[i] = "p" + std::to_string(i) + ".jpg";
    EXPECT_THROW(MakeFolderProject(many, {}, Options()), FolderProjectError);
    many.pop_back();
    EXPECT_NO_THROW(CompileScenarioText(MakeFolderProject(many, {}, Options()).scenarioText));
}

TEST(FolderProjectTest, AFileNameCannotBreakTheScenarioText)
{
    // A line end in a name would end the comment that names the file.
    const FolderProject project = MakeFolderProject({"two\nlines.jpg"}, {}, Options());
    EXPECT_EQ(ShowOutline(project.scenarioText), "effect shuffle 1000 wait jump:1");
}

TEST(FolderProjectTest, TheFolderNameIsMadeToFitTheDialog)
{
    const struct {
        std::string folder;
        std::string name;
    } cases[] = {
        {"Holiday 2026", "Holiday 2026"},
        {"夏休み", "夏休み"},
        {"Ωmega 😀", "Ωmega _"},  // Greek has a Shift-JIS form, the emoji none
        {std::string(60, 'x'), std::string(47, 'x')},
        {std::string(30, 'x') + "あいうえおかきくけこ", std::string(30, 'x') + "あいうえおかきく"},  // not half a character
        {"bad\xFFutf8", "bad_utf8"},
        {"", "photos"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FolderShowName(c.folder), c.name) << c.folder;
        EXPECT_NO_THROW(EncodeInformationText(SSInfoLine::Name, FolderShowName(c.folder)));
    }
}

}  // namespace
