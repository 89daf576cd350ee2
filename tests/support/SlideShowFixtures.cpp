#include "tests/support/SlideShowFixtures.h"

#include "tests/support/ArchiveTestSupport.h"
#include "tests/support/WaveFiles.h"
#include "tools/authoring/ArchiveWriter.h"
#include "tools/authoring/PictureEntryWriter.h"

#include <gtest/gtest.h>

#include <cstdio>

ScenarioRecord WaitRecord(int16_t seconds, uint8_t argFlags, uint32_t delay)
{
    ScenarioRecord record;
    record.Code = ScenarioCode::Wait;
    record.Arg1 = seconds;
    record.ArgFlags = argFlags;
    record.Delay = delay;
    return record;
}

ScenarioRecord ShowRecord(int32_t pictureId, int16_t speed, std::vector<int32_t> sounds, uint8_t argFlags)
{
    ScenarioRecord record;
    record.Code = ScenarioCode::ShowPicture;
    record.Arg1 = speed;
    record.ArgFlags = argFlags;
    record.Values[0] = pictureId;
    for (size_t i = 0; i < sounds.size() && i < 3; ++i) record.Values[1 + i] = sounds[i];
    return record;
}

ScenarioRecord EffectRecord(int16_t effect, uint8_t argFlags)
{
    ScenarioRecord record;
    record.Code = ScenarioCode::SetEffect;
    record.Arg1 = effect;
    record.ArgFlags = argFlags;
    return record;
}

ScenarioRecord JumpRecord(int32_t target)
{
    ScenarioRecord record;
    record.Code = ScenarioCode::Jump;
    record.Values[0] = target;
    return record;
}

ScenarioRecord RandomJumpRecord(int16_t arg1, std::vector<int32_t> targets)
{
    ScenarioRecord record;
    record.Code = ScenarioCode::RandomJump;
    record.Arg1 = arg1;
    for (size_t i = 0; i < targets.size() && i < 6; ++i) record.Values[i] = targets[i];
    return record;
}

ScenarioRecord AreaRecord(int16_t width, int16_t height, uint8_t argFlags)
{
    ScenarioRecord record;
    record.Code = ScenarioCode::SetPictureArea;
    record.Arg1 = width;
    record.Arg2 = height;
    record.ArgFlags = argFlags;
    return record;
}

ScenarioRecord CodeRecord(uint8_t code, uint32_t delay)
{
    ScenarioRecord record;
    record.Code = code;
    record.Delay = delay;
    return record;
}

ScenarioRecord SoundRecord(int32_t soundId)
{
    ScenarioRecord record;
    record.Code = ScenarioCode::PlaySound;
    record.Values[0] = soundId;
    return record;
}

std::vector<uint8_t> SolidPictureEntry(int width, int height, uint32_t colour)
{
    const PictureEntryFields fields = PictureFieldsFor(32, width, height, PictureStorage::Raw);
    std::vector<uint8_t> pixels(size_t(fields.stride) * size_t(height));
    for (size_t i = 0; i + 4 <= pixels.size(); i += 4) {
        for (int b = 0; b < 4; ++b) pixels[i + b] = static_cast<uint8_t>(colour >> (8 * b));
    }
    return BuildPictureEntry(fields, {}, pixels);
}

std::vector<uint8_t> SilentWaveEntry(uint32_t milliseconds)
{
    return WaveEntry().Format(PcmFormat(1, 1000, 8)).Data(std::vector<uint8_t>(milliseconds, 0x80)).Bytes();
}

SlideShowArchive& SlideShowArchive::Scenario(const std::vector<ScenarioRecord>& records)
{
    ::Scenario scenario;
    scenario.Records = records;
    return ScenarioBytes(*SerializeScenarioEntry(scenario));
}

SlideShowArchive& SlideShowArchive::ScenarioBytes(std::vector<uint8_t> bytes)
{
    entries_.push_back({ResTagScenario, ScenarioEntryId, std::move(bytes)});
    return *this;
}

SlideShowArchive& SlideShowArchive::Picture(uint32_t id, int width, int height, uint32_t colour)
{
    entries_.push_back({ResTagPicture, id, SolidPictureEntry(width, height, colour)});
    return *this;
}

SlideShowArchive& SlideShowArchive::PictureEntry(uint32_t id, std::vector<uint8_t> entry)
{
    entries_.push_back({ResTagPicture, id, std::move(entry)});
    return *this;
}

SlideShowArchive& SlideShowArchive::Sound(uint32_t id, uint32_t milliseconds)
{
    entries_.push_back({ResTagSound, id, SilentWaveEntry(milliseconds)});
    return *this;
}

SlideShowArchive& SlideShowArchive::SoundBytes(uint32_t id, std::vector<uint8_t> bytes)
{
    entries_.push_back({ResTagSound, id, std::move(bytes)});
    return *this;
}

std::vector<uint8_t> SlideShowArchive::Build() const
{
    ArchiveWriter writer(ArchiveOptions{});
    for (const Entry& entry : entries_) {
        ArchiveEntrySource source;
        source.tag = entry.tag;
        source.id = entry.id;
        source.data = entry.data;
        writer.Add(std::move(source));
    }
    return writer.Build();
}

void RecordingSoundPlayer::Stop()
{
    calls.push_back("stop");
}

int RecordingSoundPlayer::Load(ResArchive& archive, const ResCursor& cursor)
{
    calls.push_back("load " + std::to_string(cursor.entry.id));
    return measure_.Load(archive, cursor);
}

void RecordingSoundPlayer::Play(int loopCount)
{
    calls.push_back("play " + std::to_string(loopCount));
}

void RecordingSoundPlayer::SetWaveVolume(uint16_t left, uint16_t right)
{
    char text[32];
    std::snprintf(text, sizeof text, "volume %04X %04X", left, right);
    calls.push_back(text);
}

namespace {

HeadlessOptions RigShowOptions(const RigOptions& rig, SoundPlayer* sound, std::vector<std::string>* trace)
{
    HeadlessOptions options = rig;
    options.sound = sound;
    options.trace = [trace](const std::string& line) { trace->push_back(line); };
    return options;
}

}  // namespace

SlideShowRig::SlideShowRig(const std::vector<uint8_t>& archive, const RigOptions& options)
    : archiveBytes(archive),
      show(RigShowOptions(options, &sound, &trace)),
      player(&show.Player()),
      canvas(show.Canvas())
{
}

bool SlideShowRig::Open()
{
    EXPECT_EQ(OpenArchiveBytes(player->PictureArchive, archiveBytes), 0);
    EXPECT_EQ(OpenArchiveBytes(player->SoundArchive, archiveBytes), 0);
    scenarioMode = player->LoadScenario();
    if (scenarioMode) {
        EXPECT_TRUE(player->PrepareBuffers());
    }
    player->PrepareCanvas();
    return scenarioMode;
}

std::vector<std::string> SlideShowRig::Events() const
{
    std::vector<std::string> events;
    for (const std::string& line : trace)
        if (line.find(" frame ") == std::string::npos) events.push_back(line);
    return events;
}

uint32_t PixelAt(const DirectBmpControl& buffer, int x, int y)
{
    const uint8_t* p = buffer.Rows[y] + 4 * x;
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
