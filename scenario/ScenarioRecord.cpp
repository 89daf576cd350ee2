#include "scenario/ScenarioRecord.h"

#include "ZULResourceUtilLib/LittleEndian.h"

#include <algorithm>

namespace {

void SetReason(std::string* reason, std::string text)
{
    if (reason) *reason = std::move(text);
}

}  // namespace

ScenarioRecord DecodeScenarioRecord(std::span<const uint8_t, ScenarioRecordSize> bytes)
{
    const uint8_t* p = bytes.data();
    ScenarioRecord record;
    record.Code = p[0];
    record.ArgFlags = p[1];
    record.ValueFlags = p[2];
    record.Reserved3 = p[3];
    record.Delay = ReadLe32(p + 4);
    record.Arg1 = static_cast<int16_t>(ReadLe16(p + 8));
    record.Arg2 = static_cast<int16_t>(ReadLe16(p + 10));
    record.Reserved12 = ReadLe32(p + 12);
    for (size_t i = 0; i < record.Values.size(); ++i)
        record.Values[i] = static_cast<int32_t>(ReadLe32(p + 16 + 4 * i));
    return record;
}

void EncodeScenarioRecord(const ScenarioRecord& record, std::span<uint8_t, ScenarioRecordSize> bytes)
{
    uint8_t* p = bytes.data();
    p[0] = record.Code;
    p[1] = record.ArgFlags;
    p[2] = record.ValueFlags;
    p[3] = record.Reserved3;
    WriteLe32(p + 4, record.Delay);
    WriteLe16(p + 8, static_cast<uint16_t>(record.Arg1));
    WriteLe16(p + 10, static_cast<uint16_t>(record.Arg2));
    WriteLe32(p + 12, record.Reserved12);
    for (size_t i = 0; i < record.Values.size(); ++i)
        WriteLe32(p + 16 + 4 * i, static_cast<uint32_t>(record.Values[i]));
}

std::optional<Scenario> ParseScenarioEntry(std::span<const uint8_t> entry, std::string* reason)
{
    if (entry.size() < ScenarioRecordsOffset) {
        SetReason(reason, "scenario entry is " + std::to_string(entry.size()) + " bytes, shorter than its " +
                              std::to_string(ScenarioRecordsOffset) + "-byte header");
        return std::nullopt;
    }
    const int count = static_cast<int16_t>(ReadLe16(entry.data() + ScenarioHeaderSize));
    if (count < 1) {
        SetReason(reason, "scenario record count is " + std::to_string(count) + "; at least 1 record is needed");
        return std::nullopt;
    }
    // count is at most 32767, so this cannot overflow.
    const size_t needed = ScenarioRecordsOffset + static_cast<size_t>(count) * ScenarioRecordSize;
    if (needed > entry.size()) {
        SetReason(reason, "scenario entry is " + std::to_string(entry.size()) + " bytes, too short for its " +
                              std::to_string(count) + " records (" + std::to_string(needed) + " bytes needed)");
        return std::nullopt;
    }

    Scenario scenario;
    std::copy_n(entry.begin(), ScenarioHeaderSize, scenario.Header.begin());
    scenario.Records.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const auto bytes = entry.subspan(ScenarioRecordsOffset + static_cast<size_t>(i) * ScenarioRecordSize)
                               .first<ScenarioRecordSize>();
        scenario.Records.push_back(DecodeScenarioRecord(bytes));
    }
    scenario.TrailingBytes.assign(entry.begin() + static_cast<std::ptrdiff_t>(needed), entry.end());
    return scenario;
}

std::optional<std::vector<uint8_t>> SerializeScenarioEntry(const Scenario& scenario, std::string* reason)
{
    const size_t count = scenario.Records.size();
    if (count < 1 || count > ScenarioMaxRecords) {
        SetReason(reason, "a scenario holds 1 to " + std::to_string(ScenarioMaxRecords) + " records, not " +
                              std::to_string(count));
        return std::nullopt;
    }
    std::vector<uint8_t> bytes(ScenarioRecordsOffset + count * ScenarioRecordSize);
    std::copy(scenario.Header.begin(), scenario.Header.end(), bytes.begin());
    WriteLe16(bytes.data() + ScenarioHeaderSize, static_cast<uint16_t>(count));
    for (size_t i = 0; i < count; ++i) {
        const std::span<uint8_t, ScenarioRecordSize> out(bytes.data() + ScenarioRecordsOffset + i * ScenarioRecordSize,
                                                         ScenarioRecordSize);
        EncodeScenarioRecord(scenario.Records[i], out);
    }
    bytes.insert(bytes.end(), scenario.TrailingBytes.begin(), scenario.TrailingBytes.end());
    return bytes;
}
