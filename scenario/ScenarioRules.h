// ScenarioRules: what the commands of a loaded scenario mean, apart from the
// player's own state: arguments taken from the user's settings, jump
// targets, the random jump's choice and the shuffle of the picture records.
//
// Settings tables: the scenario sees the user's settings as eight signed
// 16-bit words (slot 0 the wait in seconds, 1 the effect, 2 the effect speed,
// 3..7 zero) and ten signed 32-bit values (all zero). A flagged argument is
// replaced by the slot it names; the commands that honour each flag are
// fixed (Wait, ShowPicture, SetEffect, SetVolume and SetPictureArea for
// Arg1, SetPictureArea also for Arg2, codes 4 and PlaySound for Values[0]).
//
// Scenarios come from archives and are not trusted: CheckScenario refuses
// flagged slots outside the tables, so that the replacement never reads
// outside them; jump targets below 0 go to record 0 like those past the end;
// a random jump over 0 candidates takes the first.
//
// Random choices: every value the generator gives is a linear function of
// its seed modulo 10^9, so a draw taken modulo n for any n dividing 10^9
// (2, 4, 5, 10, ...) would depend only on the seed's last digits: a two-way
// jump would follow one of just two paths whatever the seed, and clock seeds
// a few milliseconds apart would open with the same picture. Each draw is
// therefore mixed (SplitMix64's finalizer) before it is reduced, so that
// every digit of the seed counts. The mixing takes no draws of its own and
// leaves the generator alone: a seed still gives one reproducible show, and
// the archive's key and check word, which use the generator directly, are
// not affected.
#pragma once

#include "scenario/ScenarioRecord.h"

#include <array>
#include <cstdint>
#include <string>

class SubtractiveRandom;

struct ScenarioSettings {
    std::array<int16_t, ScenarioSettingsWordSlots> words{};
    std::array<int32_t, ScenarioSettingsValueSlots> values{};

    // The tables as the user's wait, effect and speed give them.
    static ScenarioSettings From(int16_t wait, int16_t effect, int16_t effectSpeed);
};

// False, with the record and the slot in *reason, when a record names a
// settings slot that does not exist.
bool CheckScenario(const Scenario& scenario, std::string* reason = nullptr);

// The arguments after replacement. Only meaningful for scenarios that passed
// CheckScenario; a slot out of range there gives 0.
int16_t ResolvedArg1(const ScenarioRecord& record, const ScenarioSettings& settings);
int16_t ResolvedArg2(const ScenarioRecord& record, const ScenarioSettings& settings);
int32_t ResolvedValue0(const ScenarioRecord& record, const ScenarioSettings& settings);

// The record a Jump to `value` continues with: its low 16 bits as a signed
// number, 0 when that is negative or not below the record count.
int16_t JumpTarget(int32_t value, size_t recordCount);

// The candidates of a RandomJump (Arg1 mod 4 with Arg1's sign; 0 taken as
// 1), one draw of `random`, and the target of the chosen value.
int RandomJumpCandidates(const ScenarioRecord& record);
int16_t RandomJumpTarget(const ScenarioRecord& record, size_t recordCount, SubtractiveRandom& random);

// The sound candidates of a ShowPicture record: Values[1..3] up to the
// first 0.
int ShowPictureSoundCandidates(const ScenarioRecord& record);

// A draw of the generator with its bits spread over 64: the draw as an
// unsigned 64-bit number (a negative one wraps, as the conversion does) put
// through SplitMix64's finalizer. Defined for every 32-bit value.
uint64_t MixedDraw(int32_t draw);

// One draw of the generator, mixed, reduced to [0, n); n > 0.
int32_t DrawBelow(SubtractiveRandom& random, int32_t n);

// Permutes the ShowPicture records among the positions they occupy: two
// passes over the table of their numbers, each position exchanged with the
// one a draw names, then the records copied to their new places. Whole
// records move; records of other codes stay.
void ShufflePictures(Scenario& scenario, SubtractiveRandom& random);
