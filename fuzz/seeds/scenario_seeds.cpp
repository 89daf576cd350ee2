// Seeds for scenario_fuzz: scenario entries in the shape of the saver's own
// (three sections reached by random jumps, settings slots, pictures with
// sounds) and a few that use every command code once.
#include "fuzz/seeds/SeedFiles.h"
#include "scenario/ScenarioRecord.h"

#include <filesystem>
#include <stdexcept>
#include <vector>

void WriteScenarioSeeds(const std::filesystem::path& corpusRoot);

namespace {

ScenarioRecord Record(uint8_t code, int16_t arg1 = 0, std::vector<int32_t> values = {}, uint8_t argFlags = 0)
{
    ScenarioRecord record;
    record.Code = code;
    record.Arg1 = arg1;
    record.ArgFlags = argFlags;
    for (size_t i = 0; i < values.size() && i < 6; ++i) record.Values[i] = values[i];
    return record;
}

// The scenario_fuzz target takes the user's settings from the first header
// byte, which the saver does not read.
void Write(const std::filesystem::path& folder, const char* name, uint8_t settings, std::vector<ScenarioRecord> records)
{
    Scenario scenario;
    scenario.Header[0] = settings;
    scenario.Records = std::move(records);
    const auto bytes = SerializeScenarioEntry(scenario);
    if (!bytes) throw std::runtime_error("scenario seed refused");
    WriteSeed(folder, name, *bytes);
}

}  // namespace

void WriteScenarioSeeds(const std::filesystem::path& corpusRoot)
{
    using namespace ScenarioCode;
    const std::filesystem::path folder = corpusRoot / "scenario_fuzz";
    const uint8_t fromSettings = ScenarioArg1FromSettings;

    std::vector<ScenarioRecord> sections = {Record(Wait), Record(SetEffect, 1, {}, fromSettings),
                                            Record(SetPictureArea), Record(RandomJump, 3, {4, 9, 14})};
    for (int section = 0; section < 3; ++section) {
        sections.push_back(Record(ShowPicture, 2, {1, 3}, section == 0 ? 0 : fromSettings));
        sections.push_back(Record(Wait, 0, {}, fromSettings));
        sections.push_back(Record(ShowPicture, 0, {2, 3, 4, 5}));
        sections.push_back(Record(Wait, 1));
        sections.push_back(Record(RandomJump, 2, {section == 0 ? 9 : 4, section == 2 ? 9 : 14}));
    }
    Write(folder, "sections", 0x25, sections);

    ScenarioRecord playSound = Record(PlaySound, 0, {3});
    ScenarioRecord area = Record(SetPictureArea, 20, {});
    area.Arg2 = 10;
    Write(folder, "every-code", 0x4B,
          {Record(ShufflePictures), Record(2), Record(3), Record(4, 0, {9}), Record(ShowPicture, 1, {1, 3}),
           Record(SetEffect, 2), Record(ShowPicture, 4, {2}), Record(SetEffect, 3), Record(ShowPicture, 0, {1}),
           Record(SetEffect, 4), Record(ShowPicture, 1, {2}), playSound, Record(SetVolume, 3), area,
           Record(Jump, 0, {0x10000}), Record(200)});
    Write(folder, "single-wait", 0x80, {Record(Wait, 0, {}, fromSettings)});
}
