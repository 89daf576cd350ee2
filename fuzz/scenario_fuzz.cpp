// Input: the bytes of a scenario entry ("SSSc" 1000), any bytes at all; the
// first byte (a header byte the player does not read) also picks the user's
// settings and whether sound is on.
//
// The player opens an archive that holds them beside two small pictures and
// a sound, then runs 800 steps of 10 ms on virtual time (a clock that
// starts near its wrap).
//
// Oracles: no crash and no sanitizer report; a scenario that loads is one
// the format allows, and the player's record index always stands inside it;
// a scenario that does not load gives the banner.
#include "platform/ReadOnlyFile.h"
#include "scenario/HeadlessSlideShow.h"
#include "sound/SilentSoundPlayer.h"
#include "tests/support/WaveFiles.h"
#include "tools/authoring/ArchiveWriter.h"
#include "tools/authoring/PictureEntryWriter.h"

#include <cstdlib>
#include <memory>
#include <vector>

namespace {

// 8 s of show: the clock's wrap after 4 s, several records and whole
// transitions at every speed; longer runs reached no new code in the
// campaign's corpus and cost the target its speed.
constexpr int ScenarioSteps = 800;

void Check(bool condition)
{
    if (!condition) std::abort();
}

std::vector<uint8_t> Picture(int width, int height, uint8_t shade)
{
    const PictureEntryFields fields = PictureFieldsFor(32, width, height, PictureStorage::Raw);
    return BuildPictureEntry(fields, {}, std::vector<uint8_t>(size_t(fields.stride) * size_t(height), shade));
}

// 8-bit mono, 1000 bytes per second, 1.5 s.
std::vector<uint8_t> Sound()
{
    return WaveEntry().Format(PcmFormat(1, 1000, 8)).Data(std::vector<uint8_t>(1500, 0x80)).Bytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 16)) return 0;
    ArchiveWriter writer{ArchiveOptions{}};
    writer.Add({ResTagScenario, ScenarioEntryId, 0, std::vector<uint8_t>(data, data + size)});
    writer.Add({ResTagPicture, 1, 0, Picture(40, 30, 0x40)});
    writer.Add({ResTagPicture, 2, 0, Picture(7, 90, 0xC0)});
    writer.Add({ResTagSound, 3, 0, Sound()});
    const std::vector<uint8_t> archive = writer.Build();

    SilentSoundPlayer sound;
    HeadlessOptions options;
    options.width = 32;
    options.height = 24;
    options.clockStart = 0xFFFFF000u;
    options.seed = static_cast<int32_t>(size) + 1;
    const uint8_t choice = size > 0 ? data[0] : 0;
    options.settings = ScenarioSettings::From(choice & 3, (choice >> 2) & 7, (choice >> 5) & 7);
    options.soundOff = (choice & 0x80) != 0;
    options.sound = &sound;
    options.drawText = false;
    HeadlessSlideShow show(options);
    ScenarioPlayer& player = show.Player();

    Check(ResOpenFile(player.PictureArchive, std::make_unique<MemoryFile>(archive), "scenario_fuzz.brsc",
                      ResEmbedding::SideFile, 0, ResArchiveKind) == ResErrorNone);
    Check(ResOpenFile(player.SoundArchive, std::make_unique<MemoryFile>(archive), "scenario_fuzz.brsc",
                      ResEmbedding::SideFile, 0, ResArchiveKind) == ResErrorNone);
    const bool scenario = player.LoadScenario();
    Check(scenario == player.LoadedScenario.has_value());
    if (!scenario) {
        Check(player.TextBanner != nullptr);
        for (int step = 0; step < 20; ++step) show.Step(false);
        return 0;
    }
    Check(player.PrepareBuffers());
    const size_t records = player.LoadedScenario->Records.size();
    Check(records >= 1 && size >= 16 + 40 * records);
    for (int step = 0; step < ScenarioSteps; ++step) {
        show.Step(true);
        Check(player.RecordIndex >= 0 && static_cast<size_t>(player.RecordIndex) < records);
    }
    return 0;
}
