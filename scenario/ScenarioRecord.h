// ScenarioRecord: the script of the slide show as it is stored in the
// archive ("SSSc" entry 1000), read for the player and written by the
// authoring tool.
//
// Entry layout (little-endian):
//   0   14 bytes  header, not interpreted; kept as bytes
//   14  int16     RecordCount, at least 1
//   16  40 × RecordCount  records
//   ... anything after the last record is kept as trailing bytes, so that an
//       entry read and written back is byte for byte the same.
//
// Record layout (40 bytes):
//   0 Code, 1 ArgFlags, 2 ValueFlags, 3 reserved byte, 4 Delay (uint32, in
//   10 ms steps), 8 Arg1 (int16), 10 Arg2 (int16), 12 reserved (4 bytes),
//   16 Values[0..5] (int32 each).
// The reserved bytes and unused flag bits are carried through unchanged:
// the player ignores them, but a tool that rewrites a scenario must not lose
// them.
//
// Everything here is plain data and byte-level code: no platform headers,
// no exceptions. Parsing checks every length against the entry it was given.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// Command codes. Codes 2, 3, 4 and 12 to 255 have no name: apart from their
// Delay they do nothing.
namespace ScenarioCode {
inline constexpr uint8_t Wait = 0;
inline constexpr uint8_t ShufflePictures = 1;
inline constexpr uint8_t ShowPicture = 5;
inline constexpr uint8_t SetEffect = 6;
inline constexpr uint8_t PlaySound = 7;
inline constexpr uint8_t SetVolume = 8;
inline constexpr uint8_t Jump = 9;
inline constexpr uint8_t SetPictureArea = 10;
inline constexpr uint8_t RandomJump = 11;
}  // namespace ScenarioCode

// ArgFlags bits: the argument names a slot of the settings word table.
inline constexpr uint8_t ScenarioArg1FromSettings = 0x01;
inline constexpr uint8_t ScenarioArg2FromSettings = 0x02;
// ValueFlags bit: Values[0] names a slot of the settings value table.
inline constexpr uint8_t ScenarioValue0FromSettings = 0x01;

// Slots of the settings tables that a flagged argument may name.
inline constexpr int ScenarioSettingsWordSlots = 8;    // 0..7
inline constexpr int ScenarioSettingsValueSlots = 10;  // 0..9

// The scenario is entry 1000 of the "SSSc" group.
inline constexpr uint32_t ScenarioEntryId = 1000;

inline constexpr size_t ScenarioRecordSize = 40;
inline constexpr size_t ScenarioHeaderSize = 14;
inline constexpr size_t ScenarioRecordsOffset = 16;
// RecordCount is a signed 16-bit number.
inline constexpr size_t ScenarioMaxRecords = 32767;

struct ScenarioRecord {
    uint8_t Code = 0;
    uint8_t ArgFlags = 0;
    uint8_t ValueFlags = 0;
    uint8_t Reserved3 = 0;  // byte 3
    uint32_t Delay = 0;     // in units of 10 ms
    int16_t Arg1 = 0;
    int16_t Arg2 = 0;
    uint32_t Reserved12 = 0;  // bytes 12..15, little-endian
    std::array<int32_t, 6> Values{};

    bool operator==(const ScenarioRecord&) const = default;
};

ScenarioRecord DecodeScenarioRecord(std::span<const uint8_t, ScenarioRecordSize> bytes);
void EncodeScenarioRecord(const ScenarioRecord& record, std::span<uint8_t, ScenarioRecordSize> bytes);

// One scenario entry, whole.
struct Scenario {
    std::array<uint8_t, ScenarioHeaderSize> Header{};
    std::vector<ScenarioRecord> Records;  // RecordCount = Records.size()
    std::vector<uint8_t> TrailingBytes;   // after the last record

    bool operator==(const Scenario&) const = default;
};

// Reads an entry. Refuses (nullopt, with the reason in *reason when given)
// an entry shorter than 16 bytes, a RecordCount below 1, and records that
// would run past the end of the entry.
std::optional<Scenario> ParseScenarioEntry(std::span<const uint8_t> entry, std::string* reason = nullptr);

// Writes an entry. Refuses a scenario with no records or with more than
// ScenarioMaxRecords, which RecordCount cannot hold.
std::optional<std::vector<uint8_t>> SerializeScenarioEntry(const Scenario& scenario, std::string* reason = nullptr);
