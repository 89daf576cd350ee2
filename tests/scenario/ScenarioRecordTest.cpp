// Scenario records and entries: every field at its offset and byte order,
// the refusals of malformed entries, and exact round trips of whole entries
// (reserved bytes, header and trailing bytes included).

#include "scenario/ScenarioRecord.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> EntryHeader(int16_t count, uint8_t headerFill = 0)
{
    std::vector<uint8_t> bytes(ScenarioRecordsOffset, headerFill);
    bytes[14] = static_cast<uint8_t>(count);
    bytes[15] = static_cast<uint8_t>(static_cast<uint16_t>(count) >> 8);
    return bytes;
}

TEST(ScenarioRecordTest, DecodesEveryFieldFromItsOffsetLittleEndian)
{
    // Bytes 0x10, 0x11, ... make every field's value show which bytes it
    // came from and in which order.
    std::array<uint8_t, ScenarioRecordSize> bytes{};
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(0x80 + i);

    const ScenarioRecord record = DecodeScenarioRecord(bytes);
    EXPECT_EQ(record.Code, 0x80);
    EXPECT_EQ(record.ArgFlags, 0x81);
    EXPECT_EQ(record.ValueFlags, 0x82);
    EXPECT_EQ(record.Reserved3, 0x83);
    EXPECT_EQ(record.Delay, 0x87868584u);
    EXPECT_EQ(record.Arg1, static_cast<int16_t>(0x8988));  // negative: signed 16-bit
    EXPECT_EQ(record.Arg2, static_cast<int16_t>(0x8B8A));
    EXPECT_EQ(record.Reserved12, 0x8F8E8D8Cu);
    EXPECT_EQ(record.Values[0], static_cast<int32_t>(0x93929190u));
    EXPECT_EQ(record.Values[5], static_cast<int32_t>(0xA7A6A5A4u));

    std::array<uint8_t, ScenarioRecordSize> again{};
    EncodeScenarioRecord(record, again);
    EXPECT_EQ(again, bytes);
}

TEST(ScenarioRecordTest, EncodesFieldsAtTheirOffsets)
{
    ScenarioRecord record;
    record.Code = ScenarioCode::RandomJump;
    record.ArgFlags = 0x02;
    record.ValueFlags = 0x01;
    record.Delay = 0x01020304;
    record.Arg1 = -2;
    record.Arg2 = 0x1234;
    record.Values = {6, 21, 36, -1, 0, 0x7FFFFFFF};

    std::array<uint8_t, ScenarioRecordSize> bytes{};
    EncodeScenarioRecord(record, bytes);
    const std::array<uint8_t, ScenarioRecordSize> expected = {
        11,   0x02, 0x01, 0,    0x04, 0x03, 0x02, 0x01, 0xFE, 0xFF, 0x34, 0x12, 0, 0,    0,    0,    6,    0, 0, 0,
        21,   0,    0,    0,    36,   0,    0,    0,    0xFF, 0xFF, 0xFF, 0xFF, 0, 0,    0,    0,    0xFF, 0xFF, 0xFF, 0x7F,
    };
    EXPECT_EQ(bytes, expected);
}

TEST(ScenarioRecordTest, ParsesAnEntryAndWritesItBackExactly)
{
    std::vector<uint8_t> entry = EntryHeader(2, 0xA5);
    for (int i = 0; i < 2 * static_cast<int>(ScenarioRecordSize); ++i) entry.push_back(static_cast<uint8_t>(i * 7));
    entry.push_back(0xEE);  // a byte behind the last record

    std::string reason;
    const std::optional<Scenario> scenario = ParseScenarioEntry(entry, &reason);
    ASSERT_TRUE(scenario) << reason;
    EXPECT_EQ(scenario->Header[0], 0xA5);
    EXPECT_EQ(scenario->Header[13], 0xA5);
    ASSERT_EQ(scenario->Records.size(), 2u);
    EXPECT_EQ(scenario->Records[1].Code, static_cast<uint8_t>(40 * 7));
    EXPECT_EQ(scenario->TrailingBytes, std::vector<uint8_t>{0xEE});

    const std::optional<std::vector<uint8_t>> written = SerializeScenarioEntry(*scenario);
    ASSERT_TRUE(written);
    EXPECT_EQ(*written, entry);
}

TEST(ScenarioRecordTest, RefusesMalformedEntriesWithAReason)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> entry;
        const char* reason;
    };
    std::vector<uint8_t> oneShort = EntryHeader(3);
    oneShort.resize(oneShort.size() + 3 * ScenarioRecordSize - 1);
    std::vector<uint8_t> countTooLarge = EntryHeader(32767);
    countTooLarge.resize(countTooLarge.size() + ScenarioRecordSize);
    const Case cases[] = {
        {"empty", {}, "scenario entry is 0 bytes, shorter than its 16-byte header"},
        {"header cut", std::vector<uint8_t>(15, 0), "scenario entry is 15 bytes, shorter than its 16-byte header"},
        {"zero records", EntryHeader(0), "scenario record count is 0; at least 1 record is needed"},
        {"negative count", EntryHeader(-1), "scenario record count is -1; at least 1 record is needed"},
        {"no room for records", EntryHeader(1),
         "scenario entry is 16 bytes, too short for its 1 records (56 bytes needed)"},
        {"last record cut", oneShort, "scenario entry is 135 bytes, too short for its 3 records (136 bytes needed)"},
        {"largest count", countTooLarge,
         "scenario entry is 56 bytes, too short for its 32767 records (1310696 bytes needed)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string reason;
        EXPECT_FALSE(ParseScenarioEntry(c.entry, &reason));
        EXPECT_EQ(reason, c.reason);
        EXPECT_FALSE(ParseScenarioEntry(c.entry));  // the reason is optional
    }
}

TEST(ScenarioRecordTest, SerialisingRefusesCountsThatRecordCountCannotHold)
{
    Scenario scenario;
    std::string reason;
    EXPECT_FALSE(SerializeScenarioEntry(scenario, &reason));
    EXPECT_EQ(reason, "a scenario holds 1 to 32767 records, not 0");

    scenario.Records.resize(ScenarioMaxRecords + 1);
    EXPECT_FALSE(SerializeScenarioEntry(scenario, &reason));
    EXPECT_EQ(reason, "a scenario holds 1 to 32767 records, not 32768");

    scenario.Records.resize(ScenarioMaxRecords);
    const std::optional<std::vector<uint8_t>> bytes = SerializeScenarioEntry(scenario);
    ASSERT_TRUE(bytes);
    EXPECT_EQ((*bytes)[14], 0xFF);
    EXPECT_EQ((*bytes)[15], 0x7F);
    ASSERT_TRUE(ParseScenarioEntry(*bytes));
    EXPECT_EQ(ParseScenarioEntry(*bytes)->Records.size(), ScenarioMaxRecords);
}

TEST(ScenarioRecordTest, RandomEntriesRoundTripByteForByte)
{
    std::mt19937 random(20240611);
    for (int round = 0; round < 200; ++round) {
        const int count = 1 + static_cast<int>(random() % 40);
        std::vector<uint8_t> entry = EntryHeader(static_cast<int16_t>(count));
        for (size_t i = 0; i < ScenarioHeaderSize; ++i) entry[i] = static_cast<uint8_t>(random());
        const size_t tail = random() % 4 == 0 ? random() % 50 : 0;
        for (size_t i = 0; i < count * ScenarioRecordSize + tail; ++i) entry.push_back(static_cast<uint8_t>(random()));

        const std::optional<Scenario> scenario = ParseScenarioEntry(entry);
        ASSERT_TRUE(scenario);
        ASSERT_EQ(scenario->Records.size(), static_cast<size_t>(count));
        EXPECT_EQ(scenario->TrailingBytes.size(), tail);
        EXPECT_EQ(SerializeScenarioEntry(*scenario), entry);
    }
}

}  // namespace
