#include "scenario/ScenarioRules.h"

#include "ZULResourceUtilLib/SubtractiveRandom.h"

#include <new>
#include <utility>
#include <vector>

namespace {

bool HonoursArg1Flag(uint8_t code)
{
    using namespace ScenarioCode;
    return code == Wait || code == ShowPicture || code == SetEffect || code == SetVolume || code == SetPictureArea;
}

bool HonoursArg2Flag(uint8_t code)
{
    return code == ScenarioCode::SetPictureArea;
}

bool HonoursValue0Flag(uint8_t code)
{
    return code == 4 || code == ScenarioCode::PlaySound;
}

bool Arg1FromSettings(const ScenarioRecord& record)
{
    return HonoursArg1Flag(record.Code) && (record.ArgFlags & ScenarioArg1FromSettings) != 0;
}

bool Arg2FromSettings(const ScenarioRecord& record)
{
    return HonoursArg2Flag(record.Code) && (record.ArgFlags & ScenarioArg2FromSettings) != 0;
}

bool Value0FromSettings(const ScenarioRecord& record)
{
    return HonoursValue0Flag(record.Code) && (record.ValueFlags & ScenarioValue0FromSettings) != 0;
}

void ShufflePictureRecords(Scenario& scenario, SubtractiveRandom& random)
{
    std::vector<size_t> numbers;
    std::vector<ScenarioRecord> copies;
    for (size_t i = 0; i < scenario.Records.size(); ++i) {
        if (scenario.Records[i].Code != ScenarioCode::ShowPicture) continue;
        numbers.push_back(i);
        copies.push_back(scenario.Records[i]);
    }
    const auto n = static_cast<int32_t>(numbers.size());
    if (n == 0) return;
    for (int pass = 0; pass < 2; ++pass) {
        for (int32_t j = 0; j < n; ++j)
            std::swap(numbers[static_cast<size_t>(j)], numbers[static_cast<size_t>(DrawBelow(random, n))]);
    }
    for (size_t k = 0; k < copies.size(); ++k) scenario.Records[numbers[k]] = copies[k];
}

int16_t WordSlot(const ScenarioSettings& settings, int32_t slot)
{
    return slot >= 0 && slot < ScenarioSettingsWordSlots ? settings.words[static_cast<size_t>(slot)] : 0;
}

}  // namespace

ScenarioSettings ScenarioSettings::From(int16_t wait, int16_t effect, int16_t effectSpeed)
{
    ScenarioSettings settings;
    settings.words[0] = wait;
    settings.words[1] = effect;
    settings.words[2] = effectSpeed;
    return settings;
}

bool CheckScenario(const Scenario& scenario, std::string* reason)
{
    const auto refuse = [&](size_t index, const char* what, int32_t slot) {
        if (reason != nullptr)
            *reason = "record " + std::to_string(index) + " takes " + what + " from settings slot " +
                      std::to_string(slot) + ", which does not exist";
        return false;
    };
    for (size_t i = 0; i < scenario.Records.size(); ++i) {
        const ScenarioRecord& record = scenario.Records[i];
        if (Arg1FromSettings(record) && (record.Arg1 < 0 || record.Arg1 >= ScenarioSettingsWordSlots))
            return refuse(i, "Arg1", record.Arg1);
        if (Arg2FromSettings(record) && (record.Arg2 < 0 || record.Arg2 >= ScenarioSettingsWordSlots))
            return refuse(i, "Arg2", record.Arg2);
        if (Value0FromSettings(record) && (record.Values[0] < 0 || record.Values[0] >= ScenarioSettingsValueSlots))
            return refuse(i, "Values[0]", record.Values[0]);
    }
    return true;
}

int16_t ResolvedArg1(const ScenarioRecord& record, const ScenarioSettings& settings)
{
    return Arg1FromSettings(record) ? WordSlot(settings, record.Arg1) : record.Arg1;
}

int16_t ResolvedArg2(const ScenarioRecord& record, const ScenarioSettings& settings)
{
    return Arg2FromSettings(record) ? WordSlot(settings, record.Arg2) : record.Arg2;
}

int32_t ResolvedValue0(const ScenarioRecord& record, const ScenarioSettings& settings)
{
    if (!Value0FromSettings(record)) return record.Values[0];
    const int32_t slot = record.Values[0];
    return slot >= 0 && slot < ScenarioSettingsValueSlots ? settings.values[static_cast<size_t>(slot)] : 0;
}

int16_t JumpTarget(int32_t value, size_t recordCount)
{
    const auto target = static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(value) & 0xFFFFu));
    if (target < 0 || static_cast<size_t>(target) >= recordCount) return 0;
    return target;
}

int RandomJumpCandidates(const ScenarioRecord& record)
{
    // The sign follows Arg1 (-5 gives -1); the draw is reduced by the size.
    const int n = record.Arg1 % 4;
    const int count = n < 0 ? -n : n;
    return count == 0 ? 1 : count;
}

uint64_t MixedDraw(int32_t draw)
{
    uint64_t z = static_cast<uint64_t>(static_cast<int64_t>(draw));
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int32_t DrawBelow(SubtractiveRandom& random, int32_t n)
{
    return static_cast<int32_t>(MixedDraw(random.Draw()) % static_cast<uint64_t>(n));
}

int16_t RandomJumpTarget(const ScenarioRecord& record, size_t recordCount, SubtractiveRandom& random)
{
    const int32_t choice = DrawBelow(random, RandomJumpCandidates(record));
    return JumpTarget(record.Values[static_cast<size_t>(choice)], recordCount);
}

int ShowPictureSoundCandidates(const ScenarioRecord& record)
{
    int count = 0;
    while (count < 3 && record.Values[static_cast<size_t>(1 + count)] != 0) ++count;
    return count;
}

void ShufflePictures(Scenario& scenario, SubtractiveRandom& random)
{
    try {
        ShufflePictureRecords(scenario, random);
    } catch (const std::bad_alloc&) {
        // Without memory for the tables the order stays as it is.
    }
}
