// The scenario text: every command to its exact record fields, labels,
// errors with their line numbers, the demo scenario, and records → text →
// records as the identity for any records at all.

#include "tools/authoring/ScenarioText.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A record built field by field, for readable expectations.
struct Rec {
    explicit Rec(uint8_t code) { r.Code = code; }
    Rec& ArgFlags(uint8_t v) { return r.ArgFlags = v, *this; }
    Rec& ValueFlags(uint8_t v) { return r.ValueFlags = v, *this; }
    Rec& Reserved3(uint8_t v) { return r.Reserved3 = v, *this; }
    Rec& Delay(uint32_t v) { return r.Delay = v, *this; }
    Rec& Arg1(int16_t v) { return r.Arg1 = v, *this; }
    Rec& Arg2(int16_t v) { return r.Arg2 = v, *this; }
    Rec& Reserved12(uint32_t v) { return r.Reserved12 = v, *this; }
    Rec& Value(size_t i, int32_t v) { return r.Values[i] = v, *this; }
    operator ScenarioRecord() const { return r; }
    ScenarioRecord r;
};

std::string Fields(const ScenarioRecord& r)
{
    std::string text = "code=" + std::to_string(r.Code) + " argflags=" + std::to_string(r.ArgFlags) +
                       " valueflags=" + std::to_string(r.ValueFlags) + " reserved3=" + std::to_string(r.Reserved3) +
                       " delay=" + std::to_string(r.Delay) + " arg1=" + std::to_string(r.Arg1) +
                       " arg2=" + std::to_string(r.Arg2) + " reserved12=" + std::to_string(r.Reserved12) + " values=";
    for (int32_t v : r.Values) text += std::to_string(v) + ",";
    return text;
}

std::string CompileError(std::string_view text)
{
    try {
        CompileScenarioText(text);
    } catch (const ScenarioTextError& error) {
        return error.what();
    }
    return "(compiled)";
}

using namespace ScenarioCode;

TEST(ScenarioTextTest, EachCommandGivesItsExactRecord)
{
    struct Case {
        const char* text;
        ScenarioRecord expected;
    };
    const Case cases[] = {
        {"wait 5", Rec(Wait).Arg1(5)},
        {"wait 32767", Rec(Wait).Arg1(32767)},
        {"wait setting:0", Rec(Wait).ArgFlags(1).Arg1(0)},
        {"wait 0 delay 500", Rec(Wait).Delay(50)},
        {"wait 1\r", Rec(Wait).Arg1(1)},
        {"shuffle", Rec(ShufflePictures)},
        {"shuffle delay 42949672950", Rec(ShufflePictures).Delay(0xFFFFFFFFu)},
        {"show 1000", Rec(ShowPicture).Value(0, 1000)},
        {"show 1000 speed 2 sound 1021", Rec(ShowPicture).Arg1(2).Value(0, 1000).Value(1, 1021)},
        {"show 7 sound 1 2 3 speed setting:2",
         Rec(ShowPicture).ArgFlags(1).Arg1(2).Value(0, 7).Value(1, 1).Value(2, 2).Value(3, 3)},
        {"\tshow  2147483647   speed 4 delay 10   # last picture",
         Rec(ShowPicture).Arg1(4).Value(0, 2147483647).Delay(1)},
        {"effect 3", Rec(SetEffect).Arg1(3)},
        {"effect setting:1", Rec(SetEffect).ArgFlags(1).Arg1(1)},
        {"sound 1030", Rec(PlaySound).Value(0, 1030)},
        {"sound setting:9", Rec(PlaySound).ValueFlags(1).Value(0, 9)},
        {"volume 5", Rec(SetVolume).Arg1(5)},
        {"volume setting:7", Rec(SetVolume).ArgFlags(1).Arg1(7)},
        {"jump 0", Rec(Jump)},
        {"area 400 300", Rec(SetPictureArea).Arg1(400).Arg2(300)},
        {"area setting:3 0", Rec(SetPictureArea).ArgFlags(1).Arg1(3)},
        {"area 0 setting:4", Rec(SetPictureArea).ArgFlags(2).Arg2(4)},
        {"area setting:1 setting:2", Rec(SetPictureArea).ArgFlags(3).Arg1(1).Arg2(2)},
        {"random-jump 0", Rec(RandomJump).Arg1(1)},
        {"random-jump 0 0 0", Rec(RandomJump).Arg1(3)},
        {"here: random-jump here here", Rec(RandomJump).Arg1(2)},
        {"raw 2", Rec(2)},
        {"raw 4 valueflags=1 v0=3", Rec(4).ValueFlags(1).Value(0, 3)},
        {"raw 255 argflags=0xFF valueflags=3 reserved3=0x80 arg1=-32768 arg2=0xFFFF reserved12=0xDEADBEEF v0=-1 "
         "v5=0x80000000 delay 42949672950",
         Rec(255)
             .ArgFlags(0xFF)
             .ValueFlags(3)
             .Reserved3(0x80)
             .Arg1(-32768)
             .Arg2(-1)
             .Reserved12(0xDEADBEEF)
             .Value(0, -1)
             .Value(5, INT32_MIN)
             .Delay(0xFFFFFFFFu)},
        {"raw 5 arg1=7 v0=1000 v2=5", Rec(ShowPicture).Arg1(7).Value(0, 1000).Value(2, 5)},
        {"top: raw 9 argflags=1 v0=top v1=2147483647", Rec(Jump).ArgFlags(1).Value(1, 2147483647)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const Scenario scenario = CompileScenarioText(c.text);
        ASSERT_EQ(scenario.Records.size(), 1u);
        EXPECT_EQ(Fields(scenario.Records[0]), Fields(c.expected));
        EXPECT_EQ(scenario.Header, (std::array<uint8_t, ScenarioHeaderSize>{}));
        EXPECT_TRUE(scenario.TrailingBytes.empty());
    }
}

TEST(ScenarioTextTest, LabelsAndNumbersResolveForwardAndBackward)
{
    const Scenario scenario = CompileScenarioText(R"(
start:
    wait 1                       # 0
    jump later                   # 1: forward
first: second:
later: random-jump start later 1 # 2: backward, itself, a number
    raw 11 arg1=3 v0=first v1=second v2=-5
    jump 0
)");
    ASSERT_EQ(scenario.Records.size(), 5u);
    EXPECT_EQ(scenario.Records[1].Values[0], 2);
    EXPECT_EQ(Fields(scenario.Records[2]), Fields(Rec(RandomJump).Arg1(3).Value(0, 0).Value(1, 2).Value(2, 1)));
    EXPECT_EQ(Fields(scenario.Records[3]), Fields(Rec(RandomJump).Arg1(3).Value(0, 2).Value(1, 2).Value(2, -5)));
    EXPECT_EQ(scenario.Records[4].Values[0], 0);
}

TEST(ScenarioTextTest, HeaderAndTrailingBytesAreKept)
{
    const Scenario scenario = CompileScenarioText("header 00 01 02 03 04 05 06 07 08 09 0a 0B c d\n"
                                                  "wait 1\ntrailing ff 00\ntrailing 7\n");
    EXPECT_EQ(scenario.Header, (std::array<uint8_t, ScenarioHeaderSize>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}));
    EXPECT_EQ(scenario.TrailingBytes, (std::vector<uint8_t>{0xFF, 0x00, 0x07}));
}

TEST(ScenarioTextTest, ErrorsNameTheLine)
{
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"wait 1\nshw 1000", "2: unknown command 'shw'"},
        {"wait 1\n\n# nothing\njump end", "4: label 'end' is not defined"},
        {"show 1 speed 5", "1: speed must be 0..4 or setting:N"},
        {"show 1 speed fast", "1: speed must be 0..4 or setting:N"},
        {"show 1 speed", "1: speed must be 0..4 or setting:N"},
        {"show 1 speed 1 speed 2", "1: speed is given twice"},
        {"show 1 speed setting:8", "1: setting slot must be 0..7, not '8'"},
        {"show -1", "1: picture id must be 0..2147483647"},
        {"show", "1: usage: show PICTURE [speed S] [sound A [B [C]]]"},
        {"show 1 sound 0", "1: sound ids must be 1..2147483647 (0 ends the list)"},
        {"show 1 sound 1 2 3 4", "1: show takes at most three sounds"},
        {"show 1 sound", "1: sound needs one to three sound ids"},
        {"show 1 loud", "1: unexpected 'loud' after show (speed S or sound A [B [C]])"},
        {"sound setting:10", "1: setting slot must be 0..9, not '10'"},
        {"sound -3", "1: sound id must be 0..2147483647 or setting:N"},
        {"wait", "1: usage: wait SECONDS|setting:N"},
        {"wait -1", "1: wait must be 0..32767 seconds or setting:N"},
        {"wait 32768", "1: wait must be 0..32767 seconds or setting:N"},
        {"wait +-1", "1: wait must be 0..32767 seconds or setting:N"},
        {"wait 99999999999999999999", "1: wait must be 0..32767 seconds or setting:N"},
        {"wait 1 delay 15", "1: delay must be a multiple of 10 ms (the player's step), not 15"},
        {"wait 1 delay 42949672960", "1: delay must be 0..42949672950 milliseconds"},
        {"wait 1 delay", "1: delay needs a time in milliseconds"},
        {"wait 1 delay 10 delay 10", "1: 'delay MS' must end the line"},
        {"delay 10", "1: 'delay MS' follows a command"},
        {"effect 5", "1: effect must be 0..4 or setting:N"},
        {"volume 6", "1: volume must be 0..5 or setting:N"},
        {"shuffle 3", "1: usage: shuffle"},
        {"area 10", "1: usage: area WIDTH HEIGHT (0 = the whole viewer)"},
        {"area 10 -1", "1: area height must be 0..32767 or setting:N"},
        {"random-jump", "1: usage: random-jump T1 [T2 [T3]] (one to three targets)"},
        {"random-jump 0 0 0 0", "1: usage: random-jump T1 [T2 [T3]] (one to three targets)"},
        {"wait 1\njump 2", "2: target 2 is not a record number (0..1)"},
        {"jump -1", "1: target -1 is not a record number (0..0)"},
        {"jump 0x0", "1: target 0x0 is not a record number (0..0)"},
        {"jump a:b", "1: 'a:b' is neither a record number nor a label"},
        {"a:\nwait 1\n  a: wait 2", "3: label 'a' is already defined on line 1"},
        {"a: b: a: wait 2", "1: label 'a' is already defined on line 1"},
        {"wait 1\nend:\n", "2: label 'end' is not followed by a record"},
        {"1st: wait 1", "1: '1st' is not a label name (a letter or '_', then letters, digits, '_' or '-')"},
        {"delay: wait 1", "1: 'delay' is not a label name (a letter or '_', then letters, digits, '_' or '-')"},
        {"", "1: the scenario has no records"},
        {"# nothing\n\n", "2: the scenario has no records"},
        {"raw", "1: usage: raw CODE [FIELD=VALUE ...]"},
        {"raw 256", "1: raw code must be 0..255"},
        {"raw 2 arg1=40000", "1: raw field 'arg1' must be -32768..32767 or a 16-bit hex pattern"},
        {"raw 2 arg2=0x10000", "1: raw field 'arg2' must be -32768..32767 or a 16-bit hex pattern"},
        {"raw 2 v3=2147483648", "1: raw field 'v3' must be -2147483648..2147483647 or a 32-bit hex pattern"},
        {"raw 2 argflags=256", "1: raw field 'argflags' must be 0..255"},
        {"raw 2 reserved12=-1", "1: raw field 'reserved12' must be 0..4294967295"},
        {"raw 2 colour=1", "1: unknown raw field 'colour' (argflags, valueflags, reserved3, arg1, arg2, reserved12, "
                           "v0 .. v5)"},
        {"raw 2 v6=1", "1: unknown raw field 'v6' (argflags, valueflags, reserved3, arg1, arg2, reserved12, v0 .. v5)"},
        {"raw 2 arg1=1 arg1=2", "1: raw field 'arg1' is given twice"},
        {"raw 2 v0", "1: raw takes FIELD=VALUE, not 'v0'"},
        {"wait 1\n\nraw 9 v0=nowhere", "3: label 'nowhere' is not defined"},
        {"header 00", "1: header takes 14 bytes in hex, like 00 1f"},
        {"header 0 0 0 0 0 0 0 0 0 0 0 0 0 100", "1: header takes 14 bytes in hex, like 00 1f"},
        {"header 0 0 0 0 0 0 0 0 0 0 0 0 0 0\nheader 0 0 0 0 0 0 0 0 0 0 0 0 0 0", "2: the header is given twice"},
        {"wait 1\ntrailing", "2: trailing takes one or more bytes in hex, like 00 1f"},
        {"wait 1\ntrailing 0g", "2: trailing takes bytes in hex, like 00 1f, not '0g'"},
        {"x: trailing 00", "1: a label names a record, not 'trailing'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(CompileError(c.text), c.error);
    }
}

TEST(ScenarioTextTest, ErrorCarriesLineAndReason)
{
    try {
        CompileScenarioText("wait 1\nwait 2\nshow 1 speed 7\n");
        FAIL() << "compiled";
    } catch (const ScenarioTextError& error) {
        EXPECT_EQ(error.line(), 3);
        EXPECT_EQ(error.reason(), "speed must be 0..4 or setting:N");
    }
}

TEST(ScenarioTextTest, RefusesMoreRecordsThanRecordCountHolds)
{
    std::string text;
    for (size_t i = 0; i < ScenarioMaxRecords; ++i) text += "shuffle\n";
    EXPECT_EQ(CompileScenarioText(text).Records.size(), ScenarioMaxRecords);
    text += "# one more\nshuffle\n";
    EXPECT_EQ(CompileError(text), "32769: too many records: a scenario holds at most 32767");
}

// The scenario the demo archive carries: an opening, then three sections of
// seven pictures that wander into each other at random.
constexpr const char* DemoText = R"(# Opening
wait 0
wait 0
wait 0
effect setting:1           # the user's effect
area 0 0                   # the whole viewer
random-jump morning noon evening

morning:                   # record 6
show 1000 speed 2 sound 1021
wait setting:0
show 1001 speed 2
wait setting:0
show 1002 speed 2
wait setting:0
show 1003 speed 2
wait setting:0
show 1004 speed 2
wait setting:0
show 1005 speed 2
wait setting:0
show 1006 speed 2
wait setting:0
random-jump noon evening

noon:                      # record 21
show 1000 speed setting:2 sound 1022
wait setting:0
show 1007 speed setting:2
wait setting:0
show 1008 speed setting:2
wait setting:0
show 1009 speed setting:2
wait setting:0
show 1010 speed setting:2
wait setting:0
show 1011 speed setting:2
wait setting:0
show 1012 speed setting:2
wait setting:0
random-jump morning evening

evening:                   # record 36
show 1000 speed setting:2 sound 1025
wait setting:0
show 1013 speed setting:2
wait setting:0
show 1014 speed setting:2
wait setting:0
show 1015 speed setting:2
wait setting:0
show 1016 speed setting:2
wait setting:0
show 1017 speed setting:2
wait setting:0
show 1018 speed setting:2
wait setting:0
random-jump morning noon
)";

std::vector<ScenarioRecord> DemoRecords()
{
    std::vector<ScenarioRecord> records = {Rec(Wait), Rec(Wait), Rec(Wait), Rec(SetEffect).ArgFlags(1).Arg1(1),
                                           Rec(SetPictureArea),
                                           Rec(RandomJump).Arg1(3).Value(0, 6).Value(1, 21).Value(2, 36)};
    const int32_t sections[3] = {6, 21, 36};
    const int32_t sounds[3] = {1021, 1022, 1025};
    for (int s = 0; s < 3; ++s) {
        for (int p = 0; p < 7; ++p) {
            Rec show = Rec(ShowPicture).Value(0, p == 0 ? 1000 : 1000 + 6 * s + p).Arg1(2);
            if (s > 0) show.ArgFlags(1);
            if (p == 0) show.Value(1, sounds[s]);
            records.push_back(show);
            records.push_back(Rec(Wait).ArgFlags(1));
        }
        Rec jump = Rec(RandomJump).Arg1(2);
        size_t slot = 0;
        for (int other = 0; other < 3; ++other)
            if (other != s) jump.Value(slot++, sections[other]);
        records.push_back(jump);
    }
    return records;
}

TEST(ScenarioTextTest, DemoScenarioCompilesToItsRecords)
{
    const Scenario scenario = CompileScenarioText(DemoText);
    const std::vector<ScenarioRecord> expected = DemoRecords();
    ASSERT_EQ(expected.size(), 51u);
    ASSERT_EQ(scenario.Records.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(Fields(scenario.Records[i]), Fields(expected[i])) << "record " << i;

    const std::vector<uint8_t> entry = ScenarioEntryBytes(DemoText);
    EXPECT_EQ(entry.size(), 16u + 51u * 40u);
    EXPECT_EQ(ParseScenarioEntry(entry), scenario);
}

TEST(ScenarioTextTest, DemoScenarioIsDescribedReadablyAndBack)
{
    Scenario demo;
    demo.Records = DemoRecords();
    const std::string text = DescribeScenario(demo);

    EXPECT_EQ(text.find("raw"), std::string::npos) << text;
    EXPECT_NE(text.find("\nsection_6:\nshow 1000 speed 2 sound 1021\nwait setting:0\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nsection_21:\nshow 1000 speed setting:2 sound 1022\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nrandom-jump section_6 section_21 section_36\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nrandom-jump section_6 section_21\n"), std::string::npos) << text;
    EXPECT_EQ(CompileScenarioText(text), demo);
}

TEST(ScenarioTextTest, DescribesEachFormAsWritten)
{
    Scenario scenario;
    scenario.Header[3] = 0xAB;
    scenario.Records = {
        Rec(Wait).Arg1(3).Delay(50),
        Rec(ShufflePictures),
        Rec(ShowPicture).Value(0, 7).ArgFlags(1).Arg1(2).Value(1, 1).Value(2, 2).Value(3, 3),
        Rec(SetEffect).Arg1(4),
        Rec(PlaySound).ValueFlags(1).Value(0, 9),
        Rec(SetVolume).Arg1(0),
        Rec(Jump).Value(0, 2),
        Rec(SetPictureArea).ArgFlags(2).Arg1(640).Arg2(1),
        Rec(RandomJump).Arg1(1).Value(0, 0),
        // Each of these needs the raw form: a sound list with a gap, a speed
        // out of range, a jump past the end, a flag the command ignores, a
        // settings slot beyond the table, reserved bytes, an unnamed code.
        Rec(ShowPicture).Value(0, 7).Value(2, 5),
        Rec(ShowPicture).Value(0, 7).Arg1(5),
        Rec(Jump).Value(0, 99),
        Rec(RandomJump).ArgFlags(1).Arg1(2).Value(0, 2).Value(1, 99),
        Rec(Wait).ArgFlags(1).Arg1(8),
        Rec(Wait).Reserved12(1).Reserved3(2),
        Rec(3).Delay(1),
    };
    scenario.TrailingBytes = {1, 2};
    const std::string text = DescribeScenario(scenario);
    EXPECT_EQ(text, R"(# Scenario of 16 records
header 00 00 00 ab 00 00 00 00 00 00 00 00 00 00

section_0:
wait 3 delay 500
shuffle

section_2:
show 7 speed setting:2 sound 1 2 3
effect 4
sound setting:9
volume 0
jump section_2
area 640 setting:1
random-jump section_0
raw 5 v0=7 v2=5
raw 5 arg1=5 v0=7
raw 9 v0=99
raw 11 argflags=0x01 arg1=2 v0=section_2 v1=99
raw 0 argflags=0x01 arg1=8
raw 0 reserved3=0x02 reserved12=0x00000001
raw 3 delay 10

trailing 01 02
)");
    EXPECT_EQ(CompileScenarioText(text), scenario);
}

// A record that one of the readable forms says, with random arguments.
ScenarioRecord RandomReadableRecord(std::mt19937& random, size_t count)
{
    const auto below = [&random](int64_t n) { return static_cast<int32_t>(random() % static_cast<uint64_t>(n)); };
    const auto fromSettings = [&random]() { return random() % 2 == 0; };
    ScenarioRecord r;
    r.Code = static_cast<uint8_t>(below(12));
    if (r.Code == 2 || r.Code == 3 || r.Code == 4) r.Code = ShufflePictures;
    r.Delay = random() % 2 ? 0 : static_cast<uint32_t>(random());
    switch (r.Code) {
    case Wait:
    case SetEffect:
    case SetVolume:
    case ShowPicture: {
        const int64_t max = r.Code == Wait ? 32767 : r.Code == SetVolume ? 5 : 4;
        r.ArgFlags = fromSettings() ? 1 : 0;
        r.Arg1 = static_cast<int16_t>(r.ArgFlags ? below(8) : below(max + 1));
        if (r.Code == ShowPicture) {
            r.Values[0] = below(INT32_MAX);
            const int sounds = below(4);
            for (int i = 0; i < sounds; ++i) r.Values[1 + i] = 1 + below(INT32_MAX - 1);
        }
        break;
    }
    case PlaySound:
        r.ValueFlags = fromSettings() ? 1 : 0;
        r.Values[0] = r.ValueFlags ? below(10) : below(INT32_MAX);
        break;
    case Jump:
        r.Values[0] = below(static_cast<int64_t>(count));
        break;
    case SetPictureArea:
        r.ArgFlags = static_cast<uint8_t>(below(4));
        r.Arg1 = static_cast<int16_t>(r.ArgFlags & 1 ? below(8) : below(32768));
        r.Arg2 = static_cast<int16_t>(r.ArgFlags & 2 ? below(8) : below(32768));
        break;
    case RandomJump:
        r.Arg1 = static_cast<int16_t>(1 + below(3));
        for (int i = 0; i < r.Arg1; ++i) r.Values[static_cast<size_t>(i)] = below(static_cast<int64_t>(count));
        break;
    default:
        break;
    }
    return r;
}

// Scenarios of records with every code: a third with every field at random;
// the others readable, half of those with one field changed at random, which
// may or may not push them over to the raw form.
Scenario RandomScenario(std::mt19937& random)
{
    const auto anyValue = [&random](size_t count) -> uint32_t {
        switch (random() % 3) {
        case 0:
            return 0;
        case 1:
            return static_cast<uint32_t>(random() % (count + 10)) - 3u;  // around the limits, -3 included
        default:
            return static_cast<uint32_t>(random());
        }
    };
    Scenario scenario;
    const size_t count = 1 + random() % 60;
    for (size_t i = 0; i < count; ++i) {
        ScenarioRecord& r = scenario.Records.emplace_back();
        const uint32_t kind = random() % 6;
        if (kind < 2) {
            std::array<uint8_t, ScenarioRecordSize> bytes{};
            for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(anyValue(count));
            r = DecodeScenarioRecord(bytes);
            continue;
        }
        r = RandomReadableRecord(random, count);
        if (kind < 4) continue;
        const uint32_t value = anyValue(count);
        switch (random() % 14) {
        case 0: r.Code = static_cast<uint8_t>(value); break;
        case 1: r.ArgFlags = static_cast<uint8_t>(value); break;
        case 2: r.ValueFlags = static_cast<uint8_t>(value); break;
        case 3: r.Reserved3 = static_cast<uint8_t>(value); break;
        case 4: r.Delay = value; break;
        case 5: r.Arg1 = static_cast<int16_t>(value); break;
        case 6: r.Arg2 = static_cast<int16_t>(value); break;
        case 7: r.Reserved12 = value; break;
        default: r.Values[random() % 6] = static_cast<int32_t>(value); break;
        }
    }
    if (random() % 4 == 0)
        for (uint8_t& byte : scenario.Header) byte = static_cast<uint8_t>(random());
    if (random() % 4 == 0) scenario.TrailingBytes.resize(random() % 40, static_cast<uint8_t>(random()));
    return scenario;
}

TEST(ScenarioTextTest, RandomRecordsSurviveTextExactly)
{
    const std::vector<std::string> readableCommands = {"wait",   "shuffle", "show", "effect",     "sound",
                                                       "volume", "jump",    "area", "random-jump"};
    std::mt19937 random(4711);
    std::map<std::string, size_t> lines;
    for (int round = 0; round < 400; ++round) {
        const Scenario scenario = RandomScenario(random);
        const std::string text = DescribeScenario(scenario);
        Scenario back;
        try {
            back = CompileScenarioText(text);
        } catch (const ScenarioTextError& error) {
            FAIL() << error.what() << "\n" << text;
        }
        ASSERT_EQ(back, scenario) << text;

        std::istringstream in(text);
        for (std::string line, command; std::getline(in, line);) {
            std::istringstream(line) >> command;
            ++lines[command];
        }
    }
    // Every form was written, and the raw form too, many times.
    for (const std::string& command : readableCommands) EXPECT_GT(lines[command], 100u) << command;
    EXPECT_GT(lines["raw"], 1000u);
}

TEST(ScenarioTextTest, RandomEntriesSurviveTextByteForByte)
{
    std::mt19937 random(99);
    for (int round = 0; round < 100; ++round) {
        const size_t count = 1 + random() % 20;
        std::vector<uint8_t> entry(ScenarioRecordsOffset + count * ScenarioRecordSize + random() % 3);
        for (uint8_t& byte : entry) byte = static_cast<uint8_t>(random());
        entry[14] = static_cast<uint8_t>(count);
        entry[15] = 0;
        const std::string text = DescribeScenarioEntry(entry);
        EXPECT_EQ(ScenarioEntryBytes(text), entry) << text;
    }
}

TEST(ScenarioTextTest, EntryHelpersRefuseWhatTheEntryCannotHold)
{
    const std::vector<uint8_t> noRecords(ScenarioRecordsOffset, 0);
    EXPECT_THROW(DescribeScenarioEntry(noRecords), std::invalid_argument);
    EXPECT_THROW(ScenarioEntryBytes(Scenario{}), std::invalid_argument);
}

}  // namespace
