// scrtool verify: a well-formed archive passes; each kind of damage that the
// saver would trip over is found, named by its entry and reason, and nothing
// else is; warnings never fail the check. The checks are called directly
// (ArchiveVerifier) and through the built tool ($SCRTOOL).

#include "tools/authoring/ArchiveVerifier.h"

#include "tests/support/ArchiveTestSupport.h"
#include "tests/support/JpegFixtures.h"
#include "tests/support/ScrtoolRun.h"
#include "tools/authoring/ArchiveWriter.h"
#include "tools/authoring/InformationBlock.h"
#include "tools/authoring/PictureEntryWriter.h"
#include "tools/authoring/ScenarioText.h"
#include "ZULResourceUtilLib/LittleEndian.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A RIFF WAVE file: "fmt " (16 bytes of PCM format), then the chunks given.
std::vector<uint8_t> Wave(uint16_t channels, uint32_t rate, uint16_t bits,
                          const std::vector<std::pair<std::string, std::vector<uint8_t>>>& chunks,
                          bool formatFirst = true)
{
    std::vector<uint8_t> format(16);
    WriteLe16(&format[0], 1);
    WriteLe16(&format[2], channels);
    WriteLe32(&format[4], rate);
    WriteLe32(&format[8], rate * channels * bits / 8);
    WriteLe16(&format[12], static_cast<uint16_t>(channels * bits / 8));
    WriteLe16(&format[14], bits);
    std::vector<std::pair<std::string, std::vector<uint8_t>>> all = chunks;
    all.insert(formatFirst ? all.begin() : all.end(), {"fmt ", format});
    std::vector<uint8_t> file = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    for (const auto& [id, body] : all) {
        file.insert(file.end(), id.begin(), id.end());
        uint8_t size[4];
        WriteLe32(size, static_cast<uint32_t>(body.size()));
        file.insert(file.end(), size, size + 4);
        file.insert(file.end(), body.begin(), body.end());
    }
    WriteLe32(&file[4], static_cast<uint32_t>(file.size() - 8));
    return file;
}

std::vector<uint8_t> Samples(size_t length)
{
    return PatternBytes(length, 77);
}

// The scenario that every case starts from: every command, flagged
// arguments in every slot kind, targets at the edges of the scenario.
const std::string GoodScenario = R"(effect setting:1
start:
show 1 speed 2 sound 21
wait setting:0
show 2 speed setting:2 sound 21 22
wait 3
show 3 speed 0
show 4 speed 4
volume setting:7
area setting:6 setting:7
sound setting:9
random-jump start 0 last
raw 11 arg1=5 v0=start      # Arg1 mod 4 = 1: one target
raw 9 v0=0x10001            # only the low 16 bits count: record 1
last: jump start
)";
constexpr int GoodScenarioRecords = 14;

std::vector<uint8_t> Grey8Palette()
{
    std::vector<uint8_t> palette;
    for (int i = 0; i < 256; ++i) palette.insert(palette.end(), {uint8_t(i), uint8_t(i), uint8_t(i), 0});
    return palette;
}

// A well-formed archive entry by entry; each case changes what it needs.
struct ArchiveParts {
    ArchiveParts()
    {
        scenario = ScenarioEntryBytes(GoodScenario);
        InformationTexts texts;
        texts.name = "Verify test";
        texts.version = "1.0";
        texts.aboutPicture = 1;
        const auto block = BuildInformationBlock(texts);
        information = std::vector<uint8_t>(block.begin(), block.end());

        std::vector<uint8_t> rows24(PictureStride(24, 4) * 3);
        for (size_t i = 0; i < rows24.size(); ++i) rows24[i] = static_cast<uint8_t>(i * 29);
        pictures[1] = BuildPictureEntry(PictureFieldsFor(24, 4, 3, PictureStorage::Raw), {}, rows24);
        std::vector<uint8_t> rows8(32 * 8);
        for (size_t i = 0; i < rows8.size(); ++i) rows8[i] = static_cast<uint8_t>((i % 32) / 4);
        pictures[2] = BuildPictureEntry(PictureFieldsFor(8, 32, 8, PictureStorage::Lzss), Grey8Palette(), rows8);
        pictures[3] = BuildPictureEntry(PictureFieldsFor(32, 5, 5, PictureStorage::Zlib), {}, PatternBytes(100, 3));
        jpeg = EncodeTestJpeg(16, 8, GradientBgr(16, 8));
        pictures[4] = BuildPictureEntry(PictureFieldsFor(24, 16, 8, PictureStorage::Jpeg), {}, jpeg);

        sounds[21] = Wave(1, 22050, 8, {{"LIST", {1, 2, 3}}, {"data", Samples(2205)}});
        sounds[22] = Wave(2, 44100, 16, {{"data", Samples(1764)}});
    }

    std::vector<uint8_t> Build() const
    {
        ArchiveWriter writer(options);
        if (!scenario.empty()) writer.Add({ResTagScenario, 1000, 3, scenario});
        if (information) writer.Add({ResTagInformation, 1000, 1, *information});
        for (const auto& [id, bytes] : pictures) writer.Add({ResTagPicture, id, static_cast<int>(id % 4), bytes});
        for (const auto& [id, bytes] : sounds) writer.Add({ResTagSound, id, 2, bytes});
        for (const auto& [key, bytes] : others) writer.Add({key.first, key.second, 0, bytes});
        return writer.Build();
    }

    std::vector<uint8_t> scenario;
    std::optional<std::vector<uint8_t>> information;
    std::map<uint32_t, std::vector<uint8_t>> pictures;
    std::map<uint32_t, std::vector<uint8_t>> sounds;
    std::map<std::pair<uint32_t, uint32_t>, std::vector<uint8_t>> others;
    std::vector<uint8_t> jpeg;
    ArchiveOptions options = BlockCodeOptions(0x600DF00Du, 0, 0);
};

VerifyReport Verify(const ArchiveParts& parts)
{
    ResArchive archive;
    EXPECT_EQ(OpenArchiveBytes(archive, parts.Build()), ResErrorNone);
    return VerifyArchive(archive);
}

std::string Describe(const std::vector<VerifyFinding>& findings)
{
    std::string text;
    for (const VerifyFinding& f : findings) text += std::to_string(f.id) + ": " + f.reason + "\n";
    return text;
}

TEST(ArchiveVerifierTest, WellFormedArchivePasses)
{
    ArchiveParts parts;
    // Groups and ids the saver does not use are counted only.
    parts.others[{ResTag("XTRA"), 5}] = {1, 2, 3};
    parts.others[{ResTagScenario, 7}] = {0};
    const VerifyReport report = Verify(parts);
    EXPECT_TRUE(report.Passed()) << Describe(report.problems);
    EXPECT_TRUE(report.warnings.empty()) << Describe(report.warnings);
    EXPECT_TRUE(report.hasScenario);
    EXPECT_TRUE(report.hasInformation);
    ASSERT_EQ(report.groups.size(), 5u);
    const std::pair<uint32_t, uint32_t> expected[] = {
        {ResTagScenario, 1}, {ResTagInformation, 1}, {ResTagPicture, 4}, {ResTagSound, 2}, {ResTag("XTRA"), 0}};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(report.groups[i].tag, expected[i].first) << i;
        EXPECT_EQ(report.groups[i].checked, expected[i].second) << i;
        EXPECT_EQ(report.groups[i].problems, 0u) << i;
    }
    EXPECT_EQ(report.groups[0].entries, 2u);  // SSSc 1000 and SSSc 7
}

struct DamageCase {
    const char* name;
    std::function<void(ArchiveParts&)> damage;
    VerifyCheck check;
    uint32_t tag;
    uint32_t id;
    std::string reason;  // the problem's reason starts with this
};

std::vector<DamageCase> DamageCases()
{
    const auto scenarioWith = [](std::string line) {
        return [line](ArchiveParts& p) { p.scenario = ScenarioEntryBytes(GoodScenario + line + "\n"); };
    };
    const std::string last = std::to_string(GoodScenarioRecords);  // the appended record's number
    const std::string range = " is not a record (0 to " + last + ")";
    const auto soundField = [](size_t at, int bytes, uint32_t value) {
        return [at, bytes, value](ArchiveParts& p) {
            if (bytes == 2) WriteLe16(&p.sounds[22][at], static_cast<uint16_t>(value));
            else WriteLe32(&p.sounds[22][at], value);
        };
    };
    const std::string unplayable = "sound: the sound device cannot play its format: ";
    return {
        // Pictures.
        {"raw rows cut short", [](ArchiveParts& p) { p.pictures[1].resize(p.pictures[1].size() - 1); },
         VerifyCheck::Picture, ResTagPicture, 1, "picture does not decode (4x3, depth 24, raw)"},
        {"lzss data cut short", [](ArchiveParts& p) { p.pictures[2].resize(p.pictures[2].size() - 8); },
         VerifyCheck::Picture, ResTagPicture, 2, "packed data of "},
        {"lzss data that ends early",
         [](ArchiveParts& p) {
             PictureEntryFields fields = PictureFieldsFor(8, 32, 8, PictureStorage::Lzss);
             fields.height = 9;  // one row more than the packed data gives
             p.pictures[2] = BuildPictureEntry(fields, Grey8Palette(), std::vector<uint8_t>(32 * 8, 1));
         },
         VerifyCheck::Picture, ResTagPicture, 2, "LZSS data gives 256 of the 288 bytes of rows"},
        {"zlib data that ends early",
         [](ArchiveParts& p) {
             PictureEntryFields fields = PictureFieldsFor(32, 5, 5, PictureStorage::Zlib);
             fields.height = 6;
             p.pictures[3] = BuildPictureEntry(fields, {}, PatternBytes(100, 3));
         },
         VerifyCheck::Picture, ResTagPicture, 3, "zlib data gives 100 of the 120 bytes of rows"},
        {"zlib stream damaged",
         [](ArchiveParts& p) {
             for (size_t i = 40; i < 60; ++i) p.pictures[3][i] ^= 0x5A;
         },
         VerifyCheck::Picture, ResTagPicture, 3, "picture does not decode (5x5, depth 32, zlib)"},
        {"not a JPEG stream",
         [](ArchiveParts& p) {
             p.pictures[4] =
                 BuildPictureEntry(PictureFieldsFor(24, 16, 8, PictureStorage::Jpeg), {}, PatternBytes(300, 9));
         },
         VerifyCheck::Picture, ResTagPicture, 4, "picture does not decode (16x8, depth 24, jpeg)"},
        {"LZSS stride wider than the stored depth's rows",
         [](ArchiveParts& p) {
             PictureEntryFields fields = PictureFieldsFor(8, 32, 8, PictureStorage::Lzss);
             fields.stride = 64;  // fits a 32-bit row, not an 8-bit one
             p.pictures[2] = BuildPictureEntry(fields, Grey8Palette(), std::vector<uint8_t>(64 * 8, 1));
         },
         VerifyCheck::Picture, ResTagPicture, 2, "picture does not decode (32x8"},
        {"storage kind 9", [](ArchiveParts& p) { p.pictures[1][12] = 9; }, VerifyCheck::Picture, ResTagPicture, 1,
         "unknown picture storage kind 9"},
        {"shorter than the header", [](ArchiveParts& p) { p.pictures[3].resize(20); }, VerifyCheck::Picture,
         ResTagPicture, 3, "picture entry is 20 bytes, shorter than its 32-byte header"},
        {"width 0", [](ArchiveParts& p) { WriteLe16(&p.pictures[1][8], 0); }, VerifyCheck::Picture, ResTagPicture, 1,
         "picture size outside 1 to 16384 (0x3"},
        // Pictures the loader refuses or shows incomplete.
        {"one row over the memory limit",
         [](ArchiveParts& p) {
             p.pictures[2] = BuildPictureEntry(PictureFieldsFor(8, 8192, 8193, PictureStorage::Lzss), Grey8Palette(),
                                               std::vector<uint8_t>(256, 1));
         },
         VerifyCheck::Picture, ResTagPicture, 2, "picture 2 is 8192 x 8193: larger than the 256 MB a picture may take"},
        {"16384 x 16384 at 1 bit, its own buffer only 32 MB",
         [](ArchiveParts& p) {
             PictureEntryFields fields = PictureFieldsFor(1, 16384, 16384, PictureStorage::Raw);
             fields.stride = 0;
             p.pictures[1] = BuildPictureEntry(fields, std::vector<uint8_t>{0, 0, 0, 0, 255, 255, 255, 0}, {});
         },
         VerifyCheck::Picture, ResTagPicture, 1,
         "picture 1 is 16384 x 16384: larger than the 256 MB a picture may take"},
        {"raw stride 0", [](ArchiveParts& p) { WriteLe32(&p.pictures[1][4], 0); }, VerifyCheck::Picture, ResTagPicture,
         1, "stride 0 is shorter than a row: 4 pixels of depth 24 take 12 bytes, so every row lacks pixel data"},
        {"raw stride a byte short of the row",
         [](ArchiveParts& p) {
             PictureEntryFields fields = PictureFieldsFor(24, 4, 3, PictureStorage::Raw);
             fields.stride = 11;
             p.pictures[1] = BuildPictureEntry(fields, {}, PatternBytes(33, 5));
         },
         VerifyCheck::Picture, ResTagPicture, 1, "stride 11 is shorter than a row: 4 pixels of depth 24 take 12 bytes"},
        {"LZSS stride a byte short of the row",
         [](ArchiveParts& p) {
             PictureEntryFields fields = PictureFieldsFor(8, 32, 8, PictureStorage::Lzss);
             fields.stride = 31;
             p.pictures[2] = BuildPictureEntry(fields, Grey8Palette(), std::vector<uint8_t>(31 * 8, 1));
         },
         VerifyCheck::Picture, ResTagPicture, 2, "stride 31 is shorter than a row: 32 pixels of depth 8 take 32 bytes"},
        {"LZSS stride between the row and the pitch",
         [](ArchiveParts& p) {
             PictureEntryFields fields = PictureFieldsFor(8, 30, 8, PictureStorage::Lzss);
             fields.stride = 31;  // a whole row, but the 8-bit buffer's rows are 32 bytes apart
             p.pictures[2] = BuildPictureEntry(fields, Grey8Palette(), std::vector<uint8_t>(31 * 8, 1));
         },
         VerifyCheck::Picture, ResTagPicture, 2,
         "stride 31 is not the 32 bytes row pitch of the picture: lzss rows are expanded back to back, so every row "
         "would show shifted against the one above (30x8, depth 8, lzss)"},
        {"zlib stride between the row and the pitch",
         [](ArchiveParts& p) {
             PictureEntryFields fields = PictureFieldsFor(24, 6, 5, PictureStorage::Zlib);
             fields.stride = 19;  // rows of 18 bytes, pitch 20
             p.pictures[3] = BuildPictureEntry(fields, {}, PatternBytes(19 * 5, 4));
         },
         VerifyCheck::Picture, ResTagPicture, 3, "stride 19 is not the 20 bytes row pitch of the picture: zlib rows"},
        {"JPEG narrower than its header says", [](ArchiveParts& p) { WriteLe16(&p.pictures[4][8], 40); },
         VerifyCheck::Picture, ResTagPicture, 4,
         "picture does not decode (40x8, depth 24, jpeg): its JPEG frame is 16 x 8 pixels, not the 40 x 8 of the "
         "picture header"},
        {"JPEG frame patched a row taller",
         [](ArchiveParts& p) {
             SetJpegFrameSize(p.jpeg, 16, 9);
             p.pictures[4] = BuildPictureEntry(PictureFieldsFor(24, 16, 8, PictureStorage::Jpeg), {}, p.jpeg);
         },
         VerifyCheck::Picture, ResTagPicture, 4,
         "picture does not decode (16x8, depth 24, jpeg): its JPEG frame is 16 x 9 pixels, not the 16 x 8"},
        {"JPEG frame patched to 16384 x 16384",
         [](ArchiveParts& p) {
             SetJpegFrameSize(p.jpeg, 16384, 16384);
             p.pictures[4] = BuildPictureEntry(PictureFieldsFor(24, 16, 8, PictureStorage::Jpeg), {}, p.jpeg);
         },
         VerifyCheck::Picture, ResTagPicture, 4,
         "picture does not decode (16x8, depth 24, jpeg): its JPEG frame is 16384 x 16384 pixels, not the 16 x 8"},
        // Sounds.
        {"not RIFF", [](ArchiveParts& p) { p.sounds[22][3] = 'X'; }, VerifyCheck::Sound, ResTagSound, 22,
         "sound: not a RIFF file"},
        {"not WAVE", [](ArchiveParts& p) { p.sounds[22][8] = 'A'; }, VerifyCheck::Sound, ResTagSound, 22,
         "sound: RIFF file of another form than WAVE"},
        {"data before fmt",
         [](ArchiveParts& p) {
             p.sounds[21] = Wave(1, 22050, 8, {{"data", Samples(100)}}, false);
         },
         VerifyCheck::Sound, ResTagSound, 21, "sound: the data chunk comes before any fmt chunk"},
        {"no data chunk",
         [](ArchiveParts& p) {
             p.sounds[21] = Wave(1, 22050, 8, {{"LIST", {1}}});
         },
         VerifyCheck::Sound, ResTagSound, 21, "sound: no data chunk"},
        {"LIST of 2^31 bytes", [](ArchiveParts& p) { WriteLe32(&p.sounds[21][40], 0x80000000u); }, VerifyCheck::Sound,
         ResTagSound, 21, "sound: chunk at byte 36 has a size of 2^31 bytes or more"},
        {"zero byte rate", [](ArchiveParts& p) { WriteLe32(&p.sounds[22][28], 0); }, VerifyCheck::Sound, ResTagSound,
         22, "sound: average byte rate of 0"},
        {"samples cut short", [](ArchiveParts& p) { p.sounds[22].resize(p.sounds[22].size() - 4); }, VerifyCheck::Sound,
         ResTagSound, 22, "sound: data chunk of 1764 bytes runs past the end of the entry (1760 bytes of samples)"},
        // Formats the device refuses; sound 22 is 2 channels of 16 bits at
        // 44100 per second, its format fields from byte 20 on.
        {"format tag 0", soundField(20, 2, 0), VerifyCheck::Sound, ResTagSound, 22,
         unplayable + "format tag 0 is not PCM (1)"},
        {"format tag 3", soundField(20, 2, 3), VerifyCheck::Sound, ResTagSound, 22,
         unplayable + "format tag 3 is not PCM (1)"},
        {"0 channels", soundField(22, 2, 0), VerifyCheck::Sound, ResTagSound, 22,
         unplayable + "0 channels (it plays 1 to 8)"},
        {"65535 channels", soundField(22, 2, 65535), VerifyCheck::Sound, ResTagSound, 22,
         unplayable + "65535 channels (it plays 1 to 8)"},
        {"sample rate 0", soundField(24, 4, 0), VerifyCheck::Sound, ResTagSound, 22,
         unplayable + "sample rate 0 (it plays 1 to 384000 samples per second)"},
        {"byte rate of another sample rate", soundField(28, 4, 88200), VerifyCheck::Sound, ResTagSound, 22,
         unplayable + "average byte rate 88200, not the 176400 of 44100 blocks of 4 bytes a second"},
        {"block align 0", soundField(32, 2, 0), VerifyCheck::Sound, ResTagSound, 22,
         unplayable + "block align 0, not the 4 bytes of 2 channels of 16 bits"},
        {"0 bits per sample", soundField(34, 2, 0), VerifyCheck::Sound, ResTagSound, 22,
         unplayable + "0 bits per sample (it plays 8, 16, 24 or 32)"},
        {"7 bits per sample", soundField(34, 2, 7), VerifyCheck::Sound, ResTagSound, 22,
         unplayable + "7 bits per sample (it plays 8, 16, 24 or 32)"},
        // The scenario.
        {"jump beyond the last record", scenarioWith("raw 9 v0=60"), VerifyCheck::Scenario, ResTagScenario, 1000,
         "record " + last + ": jump target 60" + range},
        {"jump to -1", scenarioWith("raw 9 v0=0xFFFF"), VerifyCheck::Scenario, ResTagScenario, 1000,
         "record " + last + ": jump target -1" + range},
        {"jump to the record count", scenarioWith("raw 9 v0=" + std::to_string(GoodScenarioRecords + 1)),
         VerifyCheck::Scenario, ResTagScenario, 1000, "record " + last + ": jump target 15" + range},
        {"random jump target out of range", scenarioWith("raw 11 arg1=2 v0=0 v1=99"), VerifyCheck::Scenario,
         ResTagScenario, 1000, "record " + last + ": jump target 99" + range},
        {"random jump with Arg1 4", scenarioWith("raw 11 arg1=4 v0=0"), VerifyCheck::Scenario, ResTagScenario, 1000,
         "record " + last + ": random jump with Arg1 4 has no targets"},
        {"random jump with Arg1 -1", scenarioWith("raw 11 arg1=-1 v0=0"), VerifyCheck::Scenario, ResTagScenario, 1000,
         "record " + last + ": random jump with Arg1 -1 has no targets"},
        {"wait from word slot 8", scenarioWith("raw 0 argflags=1 arg1=8"), VerifyCheck::Scenario, ResTagScenario, 1000,
         "record " + last + ": Arg1 names settings word slot 8 (slots are 0 to 7)"},
        {"area height from word slot -1", scenarioWith("raw 10 argflags=2 arg2=-1"), VerifyCheck::Scenario,
         ResTagScenario, 1000, "record " + last + ": Arg2 names settings word slot -1"},
        {"sound from value slot 10", scenarioWith("raw 7 valueflags=1 v0=10"), VerifyCheck::Scenario, ResTagScenario,
         1000, "record " + last + ": Values[0] names settings value slot 10 (slots are 0 to 9)"},
        {"speed 5", scenarioWith("raw 5 arg1=5 v0=1"), VerifyCheck::Scenario, ResTagScenario, 1000,
         "record " + last + ": speed 5 is outside 0 to 4"},
        {"record count beyond the entry", [](ArchiveParts& p) { p.scenario.resize(p.scenario.size() - 1); },
         VerifyCheck::Scenario, ResTagScenario, 1000, "scenario: "},
        // The information block.
        {"information block of 255 bytes", [](ArchiveParts& p) { p.information->resize(255); },
         VerifyCheck::Information, ResTagInformation, 1000, "information block is 255 bytes, shorter than 256"},
    };
}

TEST(ArchiveVerifierTest, EachDamageIsFoundAndNamed)
{
    for (const DamageCase& c : DamageCases()) {
        ArchiveParts parts;
        c.damage(parts);
        const VerifyReport report = Verify(parts);
        ASSERT_EQ(report.problems.size(), 1u) << c.name << "\n" << Describe(report.problems);
        const VerifyFinding& problem = report.problems.front();
        EXPECT_EQ(problem.check, c.check) << c.name;
        EXPECT_EQ(problem.tag, c.tag) << c.name;
        EXPECT_EQ(problem.id, c.id) << c.name;
        EXPECT_EQ(problem.reason.rfind(c.reason, 0), 0u) << c.name << ": " << problem.reason;
        for (const VerifyGroup& group : report.groups)
            EXPECT_EQ(group.problems, group.tag == c.tag ? 1u : 0u) << c.name;
    }
}

// What the saver gets past quietly is a warning: the archive still passes.
TEST(ArchiveVerifierTest, MissingReferencesAreWarningsOnly)
{
    ArchiveParts parts;
    parts.scenario = ScenarioEntryBytes(GoodScenario + "show 7 sound 21 99\nsound 55\n");
    InformationTexts texts;
    texts.aboutPicture = 9;
    const auto block = BuildInformationBlock(texts);
    parts.information = std::vector<uint8_t>(block.begin(), block.end());
    VerifyReport report = Verify(parts);
    EXPECT_TRUE(report.Passed()) << Describe(report.problems);
    const std::string last = std::to_string(GoodScenarioRecords);
    EXPECT_EQ(Describe(report.warnings),
              "1000: record " + last + ": shows picture 7, which the archive does not hold\n" + "1000: record " + last +
                  ": names sound 99, which the archive does not hold\n" + "1000: record " +
                  std::to_string(GoodScenarioRecords + 1) + ": names sound 55, which the archive does not hold\n" +
                  "1000: about picture 9 is not in the archive\n");

    parts.scenario.clear();
    parts.information.reset();
    report = Verify(parts);
    EXPECT_TRUE(report.Passed());
    EXPECT_FALSE(report.hasScenario);
    ASSERT_EQ(report.warnings.size(), 1u);
    EXPECT_EQ(report.warnings[0].reason, "no scenario: the saver shows its banner instead of pictures");
}

// Look-ups take the first group with a tag and the first entry with an id:
// what a repeat hides is warned about, and the scenario's references are
// checked against what the saver can reach.
// The well-formed archive with a second SGBm group (group 4, picture 9, which
// the scenario shows) and a second SSWv group (group 5).
std::vector<uint8_t> ArchiveWithRepeatedGroups()
{
    ArchiveParts parts;
    parts.options = ArchiveOptions{};  // plain, so that the index can be changed in place
    parts.scenario = ScenarioEntryBytes(GoodScenario + "show 9\n");
    parts.others[{ResTag("XTRA"), 9}] = parts.pictures[1];
    parts.others[{ResTag("XTRB"), 2}] = parts.sounds[21];
    std::vector<uint8_t> bytes = parts.Build();
    // Groups in order: SSSc, SSIf, SGBm, SSWv, XTRA, XTRB.
    const PlainArchiveLayout layout = LocatePlainArchive(bytes);
    WriteLe32(&bytes[layout.groupRecord(4)], ResTagPicture);
    WriteLe32(&bytes[layout.groupRecord(5)], ResTagSound);
    return bytes;
}

TEST(ArchiveVerifierTest, RepeatedGroupsAreWarnings)
{
    ResArchive archive;
    ASSERT_EQ(OpenArchiveBytes(archive, ArchiveWithRepeatedGroups()), ResErrorNone);
    ASSERT_EQ(archive.groups.size(), 6u);
    ASSERT_EQ(archive.groups[4].tag, ResTagPicture);

    const VerifyReport report = VerifyArchive(archive);
    EXPECT_TRUE(report.Passed()) << Describe(report.problems);
    ASSERT_EQ(report.warnings.size(), 3u) << Describe(report.warnings);
    EXPECT_EQ(report.warnings[0].check, VerifyCheck::Index);
    EXPECT_EQ(report.warnings[0].tag, ResTagPicture);
    EXPECT_EQ(report.warnings[0].reason, "group 4 of the index repeats this tag: its 1 entry can never be found "
                                         "(look-ups take the first group with a tag)");
    EXPECT_EQ(report.warnings[1].check, VerifyCheck::Index);
    EXPECT_EQ(report.warnings[1].tag, ResTagSound);
    EXPECT_EQ(report.warnings[1].reason.rfind("group 5 of the index repeats this tag", 0), 0u);
    // Picture 9 is only in the hidden group.
    EXPECT_EQ(report.warnings[2].reason,
              "record " + std::to_string(GoodScenarioRecords) + ": shows picture 9, which the archive does not hold");
}

TEST(ArchiveVerifierTest, RepeatedEntryIdsAreWarnings)
{
    ArchiveParts parts;
    parts.others[{ResTagPicture, 3}] = parts.pictures[1];  // after pictures 1 to 4: entry 4 of the group
    parts.others[{ResTagSound, 21}] = parts.sounds[22];
    const VerifyReport report = Verify(parts);
    EXPECT_TRUE(report.Passed()) << Describe(report.problems);
    EXPECT_EQ(Describe(report.warnings),
              "3: entry 4 of the group repeats id 3: it can never be found (look-ups take the first entry with an id)\n"
              "21: entry 2 of the group repeats id 21: it can never be found (look-ups take the first entry with an "
              "id)\n");
    EXPECT_EQ(report.warnings[0].tag, ResTagPicture);
    EXPECT_EQ(report.warnings[1].tag, ResTagSound);
}

// ---------------------------------------------------------------------------
// The built tool.

class VerifyCommandTest : public ScrtoolFixture {};

// A finding about a whole group is named by its tag alone.
TEST_F(VerifyCommandTest, RepeatedGroupIsAWarningNamedByItsTag)
{
    const std::string archive = Write("repeated.brsc", ArchiveWithRepeatedGroups());
    const RunResult result = Run({"verify", archive});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("\nwarning: SGBm: group 4 of the index repeats this tag: its 1 entry can never be "
                              "found (look-ups take the first group with a tag)\n"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find(": 10 entries, 0 problems, 3 warnings\n"), std::string::npos) << result.out;
}

TEST_F(VerifyCommandTest, WellFormedArchiveExitsZeroWithASummary)
{
    const std::string archive = Write("good.brsc", ArchiveParts().Build());
    const RunResult result = Run({"verify", archive});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out,
              "SSSc: 1 entry, ok\n"
              "SSIf: 1 entry, ok\n"
              "SGBm: 4 entries, ok\n"
              "SSWv: 2 entries, ok\n" +
                  archive + ": 8 entries, 0 problems, 0 warnings\n");
}

// A damaged picture, a sound that is not RIFF and a jump out of range: all
// three listed, the first one on stderr, exit 1.
TEST_F(VerifyCommandTest, ProblemsFailWithTheFirstOneOnStderr)
{
    ArchiveParts parts;
    parts.scenario = ScenarioEntryBytes(GoodScenario + "raw 9 v0=60\n");
    parts.pictures[2].resize(parts.pictures[2].size() - 8);
    const uint32_t lzssPacked = ReadLe32(&parts.pictures[2][32 + 1024]);
    parts.sounds[21][0] = 'r';
    const std::string archive = Write("bad.brsc", parts.Build());
    const RunResult result = Run({"verify", archive});
    EXPECT_EQ(result.exitCode, 1);
    const std::string jump = "SSSc 1000: record 14: jump target 60 is not a record (0 to 14)";
    EXPECT_EQ(result.err, "scrtool: " + archive + ": " + jump + "\n");
    EXPECT_EQ(result.out,
              "SSSc: 1 entry, 1 problem\n"
              "SSIf: 1 entry, ok\n"
              "SGBm: 4 entries, 1 problem\n"
              "SSWv: 2 entries, 1 problem\n"
              "problem: " +
                  jump + "\n" + "problem: SGBm 2: packed data of " + std::to_string(lzssPacked) +
                  " bytes runs past the end of the entry (" + std::to_string(lzssPacked - 8) +
                  " bytes left)\n"
                  "problem: SSWv 21: sound: not a RIFF file\n" +
                  archive + ": 8 entries, 3 problems, 0 warnings\n");
}

TEST_F(VerifyCommandTest, UnreadableArchiveIsOneLine)
{
    const std::string archive = Write("junk.brsc", PatternBytes(500, 1));
    const RunResult result = Run({"verify", archive});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("scrtool: " + archive + ": truncated or not an archive (", 0), 0u) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1);
}

}  // namespace
