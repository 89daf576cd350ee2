// The demo archive as the build makes it (make_demo_content, then scrtool
// pack): read back through the saver's own loaders, it must give the slide
// show and the configuration dialog everything they use.

#include "ZULResourceUtilLib/ResArchive.h"
#include "imaging/PictureLoader.h"
#include "scenario/ScenarioRecord.h"
#include "sound/WaveFormat.h"
#include "tools/authoring/InformationBlock.h"
#include "tools/authoring/ScenarioText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

#ifdef KAMISHIBAI_DEMO_ARCHIVE
const char* const DemoArchivePath = KAMISHIBAI_DEMO_ARCHIVE;
#else
const char* const DemoArchivePath = nullptr;
#endif

constexpr uint32_t OpeningPicture = 1000;

struct Entry {
    uint32_t id = 0;
    int64_t group = 0;
    int64_t index = 0;
    EntryRecord record;
};

// A record number as Jump and RandomJump take it: the low 16 bits, signed;
// at or past the end means record 0.
int JumpTarget(int32_t value, size_t count)
{
    const int target = static_cast<int16_t>(static_cast<uint16_t>(value & 0xFFFF));
    return target >= static_cast<int>(count) ? 0 : target;
}

std::vector<int> RandomJumpTargets(const ScenarioRecord& record, size_t count)
{
    const int n = record.Arg1 % 4;
    std::vector<int> targets;
    for (int i = 0; i < n; ++i) targets.push_back(JumpTarget(record.Values[static_cast<size_t>(i)], count));
    return targets;
}

// Where the player may go after record i.
std::vector<int> Successors(const Scenario& scenario, int i)
{
    const size_t count = scenario.Records.size();
    const ScenarioRecord& record = scenario.Records[static_cast<size_t>(i)];
    if (record.Code == ScenarioCode::Jump) return {JumpTarget(record.Values[0], count)};
    if (record.Code == ScenarioCode::RandomJump) return RandomJumpTargets(record, count);
    return {(i + 1) % static_cast<int>(count)};
}

// True when the text has a kana or a CJK ideograph (UTF-8: U+3040..U+30FF
// and U+4E00..U+9FFF are three-byte sequences starting E3 81..83 and
// E4..E9).
bool HasJapanese(const std::string& text)
{
    for (size_t i = 0; i + 2 < text.size(); ++i) {
        const auto lead = static_cast<unsigned char>(text[i]), next = static_cast<unsigned char>(text[i + 1]);
        if (lead == 0xE3 && next >= 0x81 && next <= 0x83) return true;
        if (lead >= 0xE4 && lead <= 0xE9) return true;
    }
    return false;
}

class DemoContentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (DemoArchivePath == nullptr) GTEST_SKIP() << "built without the demo archive (no toml++ or cross-built)";
        ASSERT_EQ(ResOpen(archive_, DemoArchivePath, 0, ResArchiveKind), ResErrorNone) << DemoArchivePath;
        opened_ = true;
    }
    void TearDown() override
    {
        if (opened_) ResClose(archive_);
    }

    std::vector<Entry> Group(uint32_t tag)
    {
        std::vector<Entry> entries;
        const int64_t group = ResFindGroup(archive_, tag);
        if (group < 0) return entries;
        for (int64_t index = 0; index < static_cast<int64_t>(archive_.groups[static_cast<size_t>(group)].entryCount);
             ++index) {
            const EntryRecord* record = ResEntryRecordOf(archive_, group, index);
            if (record != nullptr) entries.push_back({record->id, group, index, *record});
        }
        return entries;
    }

    std::optional<Entry> Find(uint32_t tag, uint32_t id)
    {
        for (const Entry& entry : Group(tag))
            if (entry.id == id) return entry;
        return std::nullopt;
    }

    std::vector<uint8_t> Load(const Entry& entry)
    {
        const std::unique_ptr<uint8_t[]> data = ResLoadEntry(archive_, entry.group, entry.index);
        if (data == nullptr) return {};
        return std::vector<uint8_t>(data.get(), data.get() + entry.record.DataLength());
    }

    Scenario LoadScenario()
    {
        const std::optional<Entry> entry = Find(ResTagScenario, 1000);
        if (!entry) {
            ADD_FAILURE() << "no scenario entry";
            return {};
        }
        std::string reason;
        std::optional<Scenario> scenario = ParseScenarioEntry(Load(*entry), &reason);
        if (!scenario) {
            ADD_FAILURE() << "scenario entry: " << reason;
            return {};
        }
        return *scenario;
    }

    ResArchive archive_;
    bool opened_ = false;
};

TEST_F(DemoContentTest, IsEncryptedWithEveryEncryptingMode)
{
    EXPECT_NE(archive_.keySeed, 0u);
    std::set<int> modes;
    for (const EntryRecord& entry : archive_.entries) modes.insert(entry.EncryptionMode());
    for (int mode : {1, 2, 3}) EXPECT_TRUE(modes.count(mode)) << "no entry with encryption mode " << mode;
}

TEST_F(DemoContentTest, PicturesAreLargeSmoothAndCoverEveryStorageKind)
{
    int large = 0;
    bool jpeg = false, zlib32 = false, lzss8 = false, raw4 = false;
    for (const Entry& entry : Group(ResTagPicture)) {
        SCOPED_TRACE("picture " + std::to_string(entry.id));
        DirectBmpControl buffer;
        uint8_t headerBytes[PictureHeaderSize] = {};
        ASSERT_TRUE(LoadPicture(archive_, {entry.group, entry.index}, buffer, PictureDepth::Force32,
                                PictureParts::Whole, headerBytes));
        const PictureHeader header = PictureHeader::Parse(headerBytes);
        ASSERT_EQ(buffer.Width, header.width);
        ASSERT_EQ(buffer.Height, header.height);
        jpeg |= header.storageKind == 3;
        zlib32 |= header.storageKind == 2 && header.depth == 32;
        lzss8 |= header.storageKind == 1 && header.depth == 8;
        raw4 |= header.storageKind == 0 && header.depth == 4;
        if (header.width < 1920 || header.height < 1080) continue;
        ++large;

        // Procedural art, not noise and not an empty frame: neighbouring
        // pixels differ little on average (by about 85 in noise; the busiest
        // picture, the fractal, stays near 7), while the picture as a whole
        // has contrast.
        double stepSum = 0, lumaSum = 0, lumaSquares = 0;
        for (int y = 0; y < buffer.Height; ++y) {
            const uint8_t* row = buffer.Rows[y];
            for (int x = 0; x < buffer.Width; ++x) {
                const double luma = 0.299 * row[4 * x + 2] + 0.587 * row[4 * x + 1] + 0.114 * row[4 * x];
                lumaSum += luma;
                lumaSquares += luma * luma;
                if (x > 0)
                    for (int c = 0; c < 3; ++c) stepSum += std::abs(row[4 * x + c] - row[4 * (x - 1) + c]);
            }
        }
        const double pixels = static_cast<double>(buffer.Width) * buffer.Height;
        const double meanStep = stepSum / (3.0 * (buffer.Width - 1) * buffer.Height);
        const double mean = lumaSum / pixels;
        const double deviation = std::sqrt(std::max(0.0, lumaSquares / pixels - mean * mean));
        EXPECT_LT(meanStep, 12.0);
        EXPECT_GT(deviation, 5.0);
    }
    EXPECT_GE(large, 7);
    EXPECT_TRUE(jpeg) << "no JPEG picture";
    EXPECT_TRUE(zlib32) << "no 32-bit picture stored with zlib";
    EXPECT_TRUE(lzss8) << "no 8-bit picture stored with LZSS";
    EXPECT_TRUE(raw4) << "no 4-bit picture stored raw";
}

TEST_F(DemoContentTest, InformationBlockHasAllLinesAndASmallAboutPicture)
{
    const std::optional<Entry> entry = Find(ResTagInformation, SSInfoEntryId);
    ASSERT_TRUE(entry);
    const ParsedInformationBlock parsed = ParseInformationBlock(Load(*entry));
    EXPECT_TRUE(parsed.notes.empty());
    EXPECT_TRUE(HasJapanese(parsed.texts.name)) << parsed.texts.name;
    EXPECT_FALSE(parsed.texts.version.empty());
    EXPECT_FALSE(parsed.texts.notice1.empty());
    EXPECT_FALSE(parsed.texts.notice2.empty());

    const std::optional<Entry> about = Find(ResTagPicture, parsed.texts.aboutPicture);
    ASSERT_TRUE(about) << "about picture " << parsed.texts.aboutPicture;
    DirectBmpControl buffer;
    ASSERT_TRUE(LoadPicture(archive_, {about->group, about->index}, buffer, PictureDepth::Force32, PictureParts::Whole,
                            nullptr));
    // The dialog shows it in a 48 x 48 box and moves the lines beside it by
    // its width: a larger picture would be cut and push the lines out.
    EXPECT_LE(buffer.Width, 48);
    EXPECT_LE(buffer.Height, 48);
}

// The example's shape: an opening that takes the effect from settings slot
// 1 and jumps at random to one of three sections; each section opens with
// picture 1000 and its own chime, shows six further pictures, waits the
// user's time after each, and jumps at random to the other two. The first
// section's speed is 2, the others take settings slot 2.
TEST_F(DemoContentTest, ScenarioWandersBetweenThreeSections)
{
    const Scenario scenario = LoadScenario();
    ASSERT_FALSE(scenario.Records.empty());
    const auto& records = scenario.Records;
    const size_t count = records.size();

    int at = 0;
    bool effectFromSettings = false;
    for (; at < static_cast<int>(count) && records[static_cast<size_t>(at)].Code != ScenarioCode::RandomJump; ++at) {
        const ScenarioRecord& record = records[static_cast<size_t>(at)];
        ASSERT_TRUE(record.Code == ScenarioCode::Wait || record.Code == ScenarioCode::SetEffect ||
                    record.Code == ScenarioCode::SetPictureArea || record.Code == ScenarioCode::SetVolume)
            << "opening record " << at << " has code " << int(record.Code);
        if (record.Code == ScenarioCode::SetEffect)
            effectFromSettings = (record.ArgFlags & ScenarioArg1FromSettings) && record.Arg1 == 1;
    }
    EXPECT_TRUE(effectFromSettings);
    ASSERT_LT(at, static_cast<int>(count));
    const ScenarioRecord& opening = records[static_cast<size_t>(at)];
    ASSERT_EQ(opening.Arg1 % 4, 3);
    const std::vector<int> sections = RandomJumpTargets(opening, count);
    ASSERT_EQ(std::set<int>(sections.begin(), sections.end()).size(), 3u);

    std::set<uint32_t> chimes;
    for (size_t s = 0; s < sections.size(); ++s) {
        SCOPED_TRACE("section at record " + std::to_string(sections[s]));
        int i = sections[s];
        ASSERT_EQ(records[static_cast<size_t>(i)].Code, ScenarioCode::ShowPicture);
        EXPECT_EQ(records[static_cast<size_t>(i)].Values[0], static_cast<int32_t>(OpeningPicture));
        EXPECT_NE(records[static_cast<size_t>(i)].Values[1], 0) << "the opening picture has no chime";
        chimes.insert(static_cast<uint32_t>(records[static_cast<size_t>(i)].Values[1]));
        std::set<int32_t> pictures;
        for (; i < static_cast<int>(count) && records[static_cast<size_t>(i)].Code != ScenarioCode::RandomJump; ++i) {
            const ScenarioRecord& record = records[static_cast<size_t>(i)];
            ASSERT_NE(record.Code, ScenarioCode::Jump);
            if (record.Code == ScenarioCode::Wait) {
                EXPECT_TRUE((record.ArgFlags & ScenarioArg1FromSettings) && record.Arg1 == 0) << "record " << i;
            } else if (record.Code == ScenarioCode::ShowPicture) {
                pictures.insert(record.Values[0]);
                EXPECT_EQ(record.Arg1, 2) << "record " << i;
                EXPECT_EQ((record.ArgFlags & ScenarioArg1FromSettings) != 0, s != 0) << "record " << i;
                ASSERT_EQ(records[static_cast<size_t>(i + 1)].Code, ScenarioCode::Wait) << "no wait after record " << i;
            }
        }
        EXPECT_GE(pictures.size(), 7u);
        ASSERT_LT(i, static_cast<int>(count));
        ASSERT_EQ(records[static_cast<size_t>(i)].Arg1 % 4, 2);
        const std::vector<int> next = RandomJumpTargets(records[static_cast<size_t>(i)], count);
        std::set<int> others(sections.begin(), sections.end());
        others.erase(sections[s]);
        EXPECT_EQ(std::set<int>(next.begin(), next.end()), others);
    }
    EXPECT_EQ(chimes.size(), 3u) << "each section has its own chime";

    // Every picture and sound is reachable from the start and is in the
    // archive.
    std::vector<bool> reached(count, false);
    std::deque<int> queue{0};
    reached[0] = true;
    while (!queue.empty()) {
        const int i = queue.front();
        queue.pop_front();
        for (int next : Successors(scenario, i)) {
            ASSERT_GE(next, 0);
            if (!reached[static_cast<size_t>(next)]) {
                reached[static_cast<size_t>(next)] = true;
                queue.push_back(next);
            }
        }
    }
    for (size_t i = 0; i < count; ++i) {
        const ScenarioRecord& record = records[i];
        if (record.Code == ScenarioCode::ShowPicture) {
            EXPECT_TRUE(reached[i]) << "record " << i;
            EXPECT_TRUE(Find(ResTagPicture, static_cast<uint32_t>(record.Values[0]))) << "picture " << record.Values[0];
            for (size_t v = 1; v <= 3 && record.Values[v] != 0; ++v)
                EXPECT_TRUE(Find(ResTagSound, static_cast<uint32_t>(record.Values[v]))) << "sound " << record.Values[v];
        } else if (record.Code == ScenarioCode::PlaySound) {
            EXPECT_EQ(record.ValueFlags & ScenarioValue0FromSettings, 0);
            EXPECT_TRUE(Find(ResTagSound, static_cast<uint32_t>(record.Values[0]))) << "sound " << record.Values[0];
        }
    }
}

TEST_F(DemoContentTest, ScenarioTextRoundTrips)
{
    const std::optional<Entry> entry = Find(ResTagScenario, 1000);
    ASSERT_TRUE(entry);
    const std::vector<uint8_t> bytes = Load(*entry);
    EXPECT_EQ(ScenarioEntryBytes(DescribeScenarioEntry(bytes)), bytes);
}

// 16-bit PCM for every sound. The chimes after pictures end in silence; the
// looping pad joins its end to its start with no larger step than any two
// neighbouring samples inside it, so the repeat does not click.
TEST_F(DemoContentTest, SoundsAreSixteenBitPcmAndThePadLoopsCleanly)
{
    const Scenario scenario = LoadScenario();
    std::set<uint32_t> chimes, loops;
    for (const ScenarioRecord& record : scenario.Records) {
        if (record.Code == ScenarioCode::ShowPicture)
            for (size_t v = 1; v <= 3 && record.Values[v] != 0; ++v)
                chimes.insert(static_cast<uint32_t>(record.Values[v]));
        if (record.Code == ScenarioCode::PlaySound) loops.insert(static_cast<uint32_t>(record.Values[0]));
    }
    EXPECT_FALSE(loops.empty()) << "no background sound";

    const std::vector<Entry> sounds = Group(ResTagSound);
    ASSERT_FALSE(sounds.empty());
    for (const Entry& entry : sounds) {
        SCOPED_TRACE("sound " + std::to_string(entry.id));
        ResCursor cursor{entry.record, 0};
        const WaveInfo info = ReadWave(archive_, cursor);
        ASSERT_EQ(info.status, WaveStatusOk);
        ASSERT_TRUE(info.formatRead);
        ASSERT_TRUE(info.dataFound);
        const WaveFormatFields& format = info.format;
        EXPECT_EQ(format.formatTag, 1);
        EXPECT_EQ(format.bitsPerSample, 16);
        ASSERT_TRUE(format.channels == 1 || format.channels == 2);
        ASSERT_EQ(format.blockAlign, 2 * format.channels);
        EXPECT_EQ(format.averageBytesPerSecond, format.samplesPerSecond * format.blockAlign);
        ASSERT_GT(info.dataLength, 0u);
        ASSERT_EQ(info.dataLength % format.blockAlign, 0u);
        EXPECT_GE(info.durationMs, 1000u);
        EXPECT_LE(info.durationMs, 10000u);

        const std::vector<uint8_t> bytes = Load(entry);
        ASSERT_LE(info.dataStart + info.dataLength, bytes.size());
        const size_t channels = format.channels, frames = info.dataLength / format.blockAlign;
        const auto sample = [&](size_t frame, size_t channel) {
            const uint8_t* p = &bytes[info.dataStart + 2 * (frame * channels + channel)];
            return static_cast<int>(static_cast<int16_t>(static_cast<uint16_t>(p[0] | p[1] << 8)));
        };
        for (size_t c = 0; c < channels; ++c) {
            if (chimes.count(entry.id)) {
                EXPECT_LT(std::abs(sample(frames - 1, c)), 328) << "a chime that stops short";
            }
            if (loops.count(entry.id)) {
                int largestStep = 0;
                for (size_t f = 1; f < frames; ++f)
                    largestStep = std::max(largestStep, std::abs(sample(f, c) - sample(f - 1, c)));
                EXPECT_LE(std::abs(sample(0, c) - sample(frames - 1, c)), largestStep) << "channel " << c;
            }
        }
    }
}

}  // namespace
