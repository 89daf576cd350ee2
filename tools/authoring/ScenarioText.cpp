#include "tools/authoring/ScenarioText.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <optional>
#include <set>

namespace {

// ---------------------------------------------------------------------------
// Limits of the readable forms. Anything outside them is written as `raw`.

constexpr int64_t MaxSeconds = 32767;
constexpr int64_t MaxSpeed = 4;
constexpr int64_t MaxEffect = 4;
constexpr int64_t MaxVolume = 5;
constexpr int64_t MaxAreaSide = 32767;
constexpr int64_t MaxId = std::numeric_limits<int32_t>::max();
constexpr int64_t MaxDelayMs = int64_t{std::numeric_limits<uint32_t>::max()} * 10;

constexpr const char* RawFieldNames = "argflags, valueflags, reserved3, arg1, arg2, reserved12, v0 .. v5";

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

bool IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsLabelName(std::string_view name)
{
    if (name.empty() || !IsLetter(name[0]) || name == "delay") return false;
    return std::all_of(name.begin(), name.end(), [](char c) { return IsLetter(c) || IsDigit(c) || c == '-'; });
}

std::string Quoted(std::string_view text)
{
    return "'" + std::string(text) + "'";
}

struct Number {
    int64_t value = 0;
    bool hex = false;  // written as 0x…: a bit pattern, never negative
};

// Decimal with an optional sign, or 0x hexadecimal. Values beyond int64 are
// refused like any other malformed number.
std::optional<Number> ParseNumber(std::string_view token)
{
    Number number;
    const char* first = token.data();
    const char* last = token.data() + token.size();
    int base = 10;
    if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) {
        first += 2;
        base = 16;
        number.hex = true;
    } else if (!token.empty() && token[0] == '+') {
        ++first;
        if (first != last && *first == '-') return std::nullopt;
    }
    if (first == last || *first == '+' || (base == 16 && *first == '-')) return std::nullopt;
    const auto [end, error] = std::from_chars(first, last, number.value, base);
    if (error != std::errc() || end != last) return std::nullopt;
    return number;
}

bool StartsAsNumber(std::string_view token)
{
    return !token.empty() && (IsDigit(token[0]) || token[0] == '-' || token[0] == '+');
}

std::optional<int> ParseHexByte(std::string_view token)
{
    if (token.empty() || token.size() > 2) return std::nullopt;
    int value = 0;
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value, 16);
    if (error != std::errc() || end != token.data() + token.size()) return std::nullopt;
    return value;
}

// ---------------------------------------------------------------------------
// Text → records

struct PendingTarget {
    size_t record = 0;
    size_t slot = 0;  // index into Values
    std::string token;
    int line = 0;
};

struct LabelInfo {
    size_t record = 0;
    int line = 0;
};

class Compiler {
public:
    explicit Compiler(std::vector<int>* recordLines) : recordLines_(recordLines) {}
    Scenario Run(std::string_view text);

private:
    [[noreturn]] void Fail(const std::string& reason) const { throw ScenarioTextError(line_, reason); }

    void CompileLine(std::string_view line);
    void CompileHeader(const std::vector<std::string_view>& tokens);
    void CompileTrailing(const std::vector<std::string_view>& tokens);
    ScenarioRecord CompileCommand(std::vector<std::string_view> tokens);

    void CompileWait(ScenarioRecord& record, const std::vector<std::string_view>& args);
    void CompileShow(ScenarioRecord& record, const std::vector<std::string_view>& args);
    void CompileRaw(ScenarioRecord& record, const std::vector<std::string_view>& args);

    // An argument that may be `setting:N` (N below slots) or a number in
    // lo..hi; message is the error for anything else.
    int64_t SettingOrNumber(std::string_view token, int64_t lo, int64_t hi, int slots, bool& fromSettings,
                            const std::string& message) const;
    int64_t NumberIn(std::string_view token, int64_t lo, int64_t hi, const std::string& message) const;
    // A record number or label in Values[slot] of the record being built,
    // resolved once every label is known.
    void Target(size_t slot, std::string_view token);

    Scenario scenario_;
    std::map<std::string, LabelInfo, std::less<>> labels_;
    std::vector<std::pair<std::string, int>> pendingLabels_;  // name, line
    std::vector<PendingTarget> targets_;
    bool headerGiven_ = false;
    int line_ = 0;
    std::vector<int>* recordLines_;  // optional
};

Scenario Compiler::Run(std::string_view text)
{
    size_t start = 0;
    int lastLine = 1;
    while (start <= text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        ++line_;
        if (start < text.size() || line_ == 1) lastLine = line_;
        CompileLine(text.substr(start, end - start));
        start = end + 1;
    }

    if (!pendingLabels_.empty()) {
        line_ = pendingLabels_.front().second;
        Fail("label " + Quoted(pendingLabels_.front().first) + " is not followed by a record");
    }
    if (scenario_.Records.empty()) {
        line_ = lastLine;
        Fail("the scenario has no records");
    }

    const size_t count = scenario_.Records.size();
    for (const PendingTarget& target : targets_) {
        line_ = target.line;
        int64_t value = 0;
        if (StartsAsNumber(target.token)) {
            const std::optional<Number> number = ParseNumber(target.token);
            if (!number || number->hex || number->value < 0 || number->value >= static_cast<int64_t>(count))
                Fail("target " + target.token + " is not a record number (0.." + std::to_string(count - 1) + ")");
            value = number->value;
        } else {
            const auto label = labels_.find(target.token);
            if (label == labels_.end()) Fail("label " + Quoted(target.token) + " is not defined");
            value = static_cast<int64_t>(label->second.record);
        }
        scenario_.Records[target.record].Values[target.slot] = static_cast<int32_t>(value);
    }
    return std::move(scenario_);
}

void Compiler::CompileLine(std::string_view line)
{
    line = line.substr(0, line.find('#'));
    std::vector<std::string_view> tokens;
    for (size_t i = 0; i < line.size();) {
        if (IsSpace(line[i])) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < line.size() && !IsSpace(line[j])) ++j;
        tokens.push_back(line.substr(i, j - i));
        i = j;
    }

    size_t labelsHere = 0;
    while (labelsHere < tokens.size() && tokens[labelsHere].size() > 1 && tokens[labelsHere].back() == ':') {
        const std::string_view name = tokens[labelsHere].substr(0, tokens[labelsHere].size() - 1);
        if (!IsLabelName(name))
            Fail(Quoted(name) + " is not a label name (a letter or '_', then letters, digits, '_' or '-')");
        const auto known = labels_.find(name);
        if (known != labels_.end())
            Fail("label " + Quoted(name) + " is already defined on line " + std::to_string(known->second.line));
        for (const auto& pending : pendingLabels_)
            if (pending.first == name)
                Fail("label " + Quoted(name) + " is already defined on line " + std::to_string(pending.second));
        pendingLabels_.emplace_back(std::string(name), line_);
        ++labelsHere;
    }
    tokens.erase(tokens.begin(), tokens.begin() + static_cast<std::ptrdiff_t>(labelsHere));
    if (tokens.empty()) return;

    if (tokens[0] == "header" || tokens[0] == "trailing") {
        if (labelsHere > 0) Fail("a label names a record, not " + Quoted(tokens[0]));
        if (tokens[0] == "header")
            CompileHeader(tokens);
        else
            CompileTrailing(tokens);
        return;
    }

    if (scenario_.Records.size() >= ScenarioMaxRecords)
        Fail("too many records: a scenario holds at most " + std::to_string(ScenarioMaxRecords));
    for (const auto& [name, line] : pendingLabels_)
        labels_.emplace(name, LabelInfo{scenario_.Records.size(), line});
    pendingLabels_.clear();
    // The record is in place before its command is read, so that targets
    // can note which record they belong to.
    scenario_.Records.push_back({});
    scenario_.Records.back() = CompileCommand(std::move(tokens));
    if (recordLines_) recordLines_->push_back(line_);
}

void Compiler::CompileHeader(const std::vector<std::string_view>& tokens)
{
    if (headerGiven_) Fail("the header is given twice");
    headerGiven_ = true;
    const std::string usage = "header takes " + std::to_string(ScenarioHeaderSize) + " bytes in hex, like 00 1f";
    if (tokens.size() != ScenarioHeaderSize + 1) Fail(usage);
    for (size_t i = 0; i < ScenarioHeaderSize; ++i) {
        const std::optional<int> byte = ParseHexByte(tokens[i + 1]);
        if (!byte) Fail(usage);
        scenario_.Header[i] = static_cast<uint8_t>(*byte);
    }
}

void Compiler::CompileTrailing(const std::vector<std::string_view>& tokens)
{
    if (tokens.size() < 2) Fail("trailing takes one or more bytes in hex, like 00 1f");
    for (size_t i = 1; i < tokens.size(); ++i) {
        const std::optional<int> byte = ParseHexByte(tokens[i]);
        if (!byte) Fail("trailing takes bytes in hex, like 00 1f, not " + Quoted(tokens[i]));
        scenario_.TrailingBytes.push_back(static_cast<uint8_t>(*byte));
    }
}

int64_t Compiler::NumberIn(std::string_view token, int64_t lo, int64_t hi, const std::string& message) const
{
    const std::optional<Number> number = ParseNumber(token);
    if (!number || number->value < lo || number->value > hi) Fail(message);
    return number->value;
}

int64_t Compiler::SettingOrNumber(std::string_view token, int64_t lo, int64_t hi, int slots, bool& fromSettings,
                                  const std::string& message) const
{
    constexpr std::string_view prefix = "setting:";
    fromSettings = token.starts_with(prefix);
    if (!fromSettings) return NumberIn(token, lo, hi, message);
    const std::optional<Number> slot = ParseNumber(token.substr(prefix.size()));
    if (!slot || slot->value < 0 || slot->value >= slots)
        Fail("setting slot must be 0.." + std::to_string(slots - 1) + ", not " + Quoted(token.substr(prefix.size())));
    return slot->value;
}

void Compiler::Target(size_t slot, std::string_view token)
{
    const size_t record = scenario_.Records.size() - 1;
    if (!StartsAsNumber(token) && !IsLabelName(token)) Fail(Quoted(token) + " is neither a record number nor a label");
    targets_.push_back({record, slot, std::string(token), line_});
}

ScenarioRecord Compiler::CompileCommand(std::vector<std::string_view> tokens)
{
    ScenarioRecord record;

    // `delay MS` may end any command.
    const auto delay = std::find(tokens.begin() + 1, tokens.end(), std::string_view("delay"));
    if (delay != tokens.end()) {
        if (delay + 1 == tokens.end()) Fail("delay needs a time in milliseconds");
        if (delay + 2 != tokens.end()) Fail("'delay MS' must end the line");
        const std::optional<Number> ms = ParseNumber(*(delay + 1));
        if (!ms || ms->value < 0 || ms->value > MaxDelayMs)
            Fail("delay must be 0.." + std::to_string(MaxDelayMs) + " milliseconds");
        if (ms->value % 10 != 0)
            Fail("delay must be a multiple of 10 ms (the player's step), not " + std::to_string(ms->value));
        record.Delay = static_cast<uint32_t>(ms->value / 10);
        tokens.erase(delay, tokens.end());
    }

    const std::string_view command = tokens[0];
    const std::vector<std::string_view> args(tokens.begin() + 1, tokens.end());
    bool fromSettings = false;

    if (command == "wait") {
        CompileWait(record, args);
    } else if (command == "shuffle") {
        if (!args.empty()) Fail("usage: shuffle");
        record.Code = ScenarioCode::ShufflePictures;
    } else if (command == "show") {
        CompileShow(record, args);
    } else if (command == "effect") {
        if (args.size() != 1) Fail("usage: effect 0..4|setting:N");
        record.Code = ScenarioCode::SetEffect;
        record.Arg1 = static_cast<int16_t>(SettingOrNumber(args[0], 0, MaxEffect, ScenarioSettingsWordSlots,
                                                           fromSettings, "effect must be 0..4 or setting:N"));
        if (fromSettings) record.ArgFlags = ScenarioArg1FromSettings;
    } else if (command == "sound") {
        if (args.size() != 1) Fail("usage: sound ID|setting:N");
        record.Code = ScenarioCode::PlaySound;
        record.Values[0] = static_cast<int32_t>(SettingOrNumber(
            args[0], 0, MaxId, ScenarioSettingsValueSlots, fromSettings,
            "sound id must be 0.." + std::to_string(MaxId) + " or setting:N"));
        if (fromSettings) record.ValueFlags = ScenarioValue0FromSettings;
    } else if (command == "volume") {
        if (args.size() != 1) Fail("usage: volume 0..5|setting:N");
        record.Code = ScenarioCode::SetVolume;
        record.Arg1 = static_cast<int16_t>(SettingOrNumber(args[0], 0, MaxVolume, ScenarioSettingsWordSlots,
                                                           fromSettings, "volume must be 0..5 or setting:N"));
        if (fromSettings) record.ArgFlags = ScenarioArg1FromSettings;
    } else if (command == "jump") {
        if (args.size() != 1) Fail("usage: jump TARGET");
        record.Code = ScenarioCode::Jump;
        Target(0, args[0]);
    } else if (command == "area") {
        if (args.size() != 2) Fail("usage: area WIDTH HEIGHT (0 = the whole viewer)");
        record.Code = ScenarioCode::SetPictureArea;
        record.Arg1 = static_cast<int16_t>(SettingOrNumber(args[0], 0, MaxAreaSide, ScenarioSettingsWordSlots,
                                                           fromSettings, "area width must be 0..32767 or setting:N"));
        if (fromSettings) record.ArgFlags |= ScenarioArg1FromSettings;
        record.Arg2 = static_cast<int16_t>(SettingOrNumber(args[1], 0, MaxAreaSide, ScenarioSettingsWordSlots,
                                                           fromSettings, "area height must be 0..32767 or setting:N"));
        if (fromSettings) record.ArgFlags |= ScenarioArg2FromSettings;
    } else if (command == "random-jump") {
        if (args.empty() || args.size() > 3) Fail("usage: random-jump T1 [T2 [T3]] (one to three targets)");
        record.Code = ScenarioCode::RandomJump;
        record.Arg1 = static_cast<int16_t>(args.size());
        for (size_t i = 0; i < args.size(); ++i) Target(i, args[i]);
    } else if (command == "raw") {
        CompileRaw(record, args);
    } else if (command == "delay") {
        Fail("'delay MS' follows a command");
    } else {
        Fail("unknown command " + Quoted(command));
    }
    return record;
}

void Compiler::CompileWait(ScenarioRecord& record, const std::vector<std::string_view>& args)
{
    if (args.size() != 1) Fail("usage: wait SECONDS|setting:N");
    bool fromSettings = false;
    record.Code = ScenarioCode::Wait;
    record.Arg1 = static_cast<int16_t>(SettingOrNumber(args[0], 0, MaxSeconds, ScenarioSettingsWordSlots, fromSettings,
                                                       "wait must be 0..32767 seconds or setting:N"));
    if (fromSettings) record.ArgFlags = ScenarioArg1FromSettings;
}

void Compiler::CompileShow(ScenarioRecord& record, const std::vector<std::string_view>& args)
{
    if (args.empty()) Fail("usage: show PICTURE [speed S] [sound A [B [C]]]");
    record.Code = ScenarioCode::ShowPicture;
    record.Values[0] =
        static_cast<int32_t>(NumberIn(args[0], 0, MaxId, "picture id must be 0.." + std::to_string(MaxId)));

    bool speedGiven = false;
    bool soundGiven = false;
    for (size_t i = 1; i < args.size();) {
        if (args[i] == "speed") {
            if (speedGiven) Fail("speed is given twice");
            if (i + 1 >= args.size()) Fail("speed must be 0..4 or setting:N");
            speedGiven = true;
            bool fromSettings = false;
            record.Arg1 = static_cast<int16_t>(SettingOrNumber(args[i + 1], 0, MaxSpeed, ScenarioSettingsWordSlots,
                                                               fromSettings, "speed must be 0..4 or setting:N"));
            if (fromSettings) record.ArgFlags = ScenarioArg1FromSettings;
            i += 2;
        } else if (args[i] == "sound") {
            if (soundGiven) Fail("sound is given twice");
            soundGiven = true;
            size_t sounds = 0;
            for (++i; i < args.size() && StartsAsNumber(args[i]); ++i) {
                if (sounds == 3) Fail("show takes at most three sounds");
                record.Values[1 + sounds] = static_cast<int32_t>(
                    NumberIn(args[i], 1, MaxId, "sound ids must be 1.." + std::to_string(MaxId) + " (0 ends the list)"));
                ++sounds;
            }
            if (sounds == 0) Fail("sound needs one to three sound ids");
        } else {
            Fail("unexpected " + Quoted(args[i]) + " after show (speed S or sound A [B [C]])");
        }
    }
}

void Compiler::CompileRaw(ScenarioRecord& record, const std::vector<std::string_view>& args)
{
    if (args.empty()) Fail("usage: raw CODE [FIELD=VALUE ...]");
    record.Code = static_cast<uint8_t>(NumberIn(args[0], 0, 255, "raw code must be 0..255"));

    std::set<std::string_view> seen;
    for (size_t i = 1; i < args.size(); ++i) {
        const size_t equals = args[i].find('=');
        if (equals == std::string_view::npos) Fail("raw takes FIELD=VALUE, not " + Quoted(args[i]));
        const std::string_view field = args[i].substr(0, equals);
        const std::string_view value = args[i].substr(equals + 1);
        if (!seen.insert(field).second) Fail("raw field " + Quoted(field) + " is given twice");

        // Unsigned fields take 0..max either way; signed ones take their
        // signed range in decimal and their bit pattern in hex.
        const auto unsignedField = [&](int64_t max) {
            return NumberIn(value, 0, max,
                            "raw field " + Quoted(field) + " must be 0.." + std::to_string(max));
        };
        const auto signedField = [&](int bits) {
            const int64_t half = int64_t{1} << (bits - 1);
            const std::optional<Number> number = ParseNumber(value);
            const bool fits = number && (number->hex ? number->value < 2 * half
                                                     : number->value >= -half && number->value < half);
            if (!fits)
                Fail("raw field " + Quoted(field) + " must be " + std::to_string(-half) + ".." +
                     std::to_string(half - 1) + " or a " + std::to_string(bits) + "-bit hex pattern");
            return number->value;
        };

        if (field == "argflags") {
            record.ArgFlags = static_cast<uint8_t>(unsignedField(255));
        } else if (field == "valueflags") {
            record.ValueFlags = static_cast<uint8_t>(unsignedField(255));
        } else if (field == "reserved3") {
            record.Reserved3 = static_cast<uint8_t>(unsignedField(255));
        } else if (field == "reserved12") {
            record.Reserved12 = static_cast<uint32_t>(unsignedField(std::numeric_limits<uint32_t>::max()));
        } else if (field == "arg1") {
            record.Arg1 = static_cast<int16_t>(static_cast<uint16_t>(signedField(16)));
        } else if (field == "arg2") {
            record.Arg2 = static_cast<int16_t>(static_cast<uint16_t>(signedField(16)));
        } else if (field.size() == 2 && field[0] == 'v' && field[1] >= '0' && field[1] <= '5') {
            const size_t slot = static_cast<size_t>(field[1] - '0');
            if (StartsAsNumber(value))
                record.Values[slot] = static_cast<int32_t>(static_cast<uint32_t>(signedField(32)));
            else
                Target(slot, value);
        } else {
            Fail("unknown raw field " + Quoted(field) + " (" + RawFieldNames + ")");
        }
    }
}

// ---------------------------------------------------------------------------
// Records → text

bool InRecords(int32_t value, size_t count)
{
    return value >= 0 && static_cast<size_t>(value) < count;
}

// Slots of Values that the player takes as record numbers.
size_t TargetSlots(const ScenarioRecord& record)
{
    if (record.Code == ScenarioCode::Jump) return 1;
    if (record.Code == ScenarioCode::RandomJump) return static_cast<size_t>(std::abs(record.Arg1 % 4));
    return 0;
}

std::string LabelName(size_t record)
{
    return "section_" + std::to_string(record);
}

std::string Hex(uint32_t value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
    return text;
}

std::string HexBytes(std::span<const uint8_t> bytes)
{
    std::string text;
    for (const uint8_t byte : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02x", byte);
        text += hex;
    }
    return text;
}

// An argument that honours a settings flag, as the compiler reads it back.
std::optional<std::string> Argument(int64_t value, bool fromSettings, int64_t max, int slots)
{
    if (fromSettings) {
        if (value < 0 || value >= slots) return std::nullopt;
        return "setting:" + std::to_string(value);
    }
    if (value < 0 || value > max) return std::nullopt;
    return std::to_string(value);
}

bool ValuesZeroFrom(const ScenarioRecord& record, size_t first)
{
    return std::all_of(record.Values.begin() + static_cast<std::ptrdiff_t>(first), record.Values.end(),
                       [](int32_t value) { return value == 0; });
}

// The readable form, or nothing when only `raw` says the record exactly.
std::optional<std::string> Readable(const ScenarioRecord& r, size_t count)
{
    if (r.Reserved3 != 0 || r.Reserved12 != 0) return std::nullopt;
    const bool arg1Setting = (r.ArgFlags & ScenarioArg1FromSettings) != 0;
    // Commands that honour at most ArgFlags bit 0 and nothing in ValueFlags.
    const bool onlyArg1Flag = (r.ArgFlags & ~ScenarioArg1FromSettings) == 0 && r.ValueFlags == 0;
    const bool noFlags = r.ArgFlags == 0 && r.ValueFlags == 0;

    switch (r.Code) {
    case ScenarioCode::Wait: {
        if (!onlyArg1Flag || r.Arg2 != 0 || !ValuesZeroFrom(r, 0)) return std::nullopt;
        const auto seconds = Argument(r.Arg1, arg1Setting, MaxSeconds, ScenarioSettingsWordSlots);
        if (!seconds) return std::nullopt;
        return "wait " + *seconds;
    }
    case ScenarioCode::ShufflePictures:
        if (!noFlags || r.Arg1 != 0 || r.Arg2 != 0 || !ValuesZeroFrom(r, 0)) return std::nullopt;
        return "shuffle";
    case ScenarioCode::ShowPicture: {
        if (!onlyArg1Flag || r.Arg2 != 0 || r.Values[0] < 0 || !ValuesZeroFrom(r, 4)) return std::nullopt;
        const auto speed = Argument(r.Arg1, arg1Setting, MaxSpeed, ScenarioSettingsWordSlots);
        if (!speed) return std::nullopt;
        std::string text = "show " + std::to_string(r.Values[0]) + " speed " + *speed;
        size_t sounds = 0;
        while (sounds < 3 && r.Values[1 + sounds] != 0) ++sounds;
        if (!ValuesZeroFrom(r, 1 + sounds)) return std::nullopt;
        for (size_t i = 0; i < sounds; ++i) {
            if (r.Values[1 + i] < 0) return std::nullopt;
            text += (i == 0 ? " sound " : " ") + std::to_string(r.Values[1 + i]);
        }
        return text;
    }
    case ScenarioCode::SetEffect:
    case ScenarioCode::SetVolume: {
        if (!onlyArg1Flag || r.Arg2 != 0 || !ValuesZeroFrom(r, 0)) return std::nullopt;
        const bool effect = r.Code == ScenarioCode::SetEffect;
        const auto value = Argument(r.Arg1, arg1Setting, effect ? MaxEffect : MaxVolume, ScenarioSettingsWordSlots);
        if (!value) return std::nullopt;
        return (effect ? "effect " : "volume ") + *value;
    }
    case ScenarioCode::PlaySound: {
        if (r.ArgFlags != 0 || (r.ValueFlags & ~ScenarioValue0FromSettings) != 0 || r.Arg1 != 0 || r.Arg2 != 0 ||
            !ValuesZeroFrom(r, 1))
            return std::nullopt;
        const auto id = Argument(r.Values[0], (r.ValueFlags & ScenarioValue0FromSettings) != 0, MaxId,
                                 ScenarioSettingsValueSlots);
        if (!id) return std::nullopt;
        return "sound " + *id;
    }
    case ScenarioCode::Jump:
        if (!noFlags || r.Arg1 != 0 || r.Arg2 != 0 || !InRecords(r.Values[0], count) || !ValuesZeroFrom(r, 1))
            return std::nullopt;
        return "jump " + LabelName(static_cast<size_t>(r.Values[0]));
    case ScenarioCode::SetPictureArea: {
        if ((r.ArgFlags & ~(ScenarioArg1FromSettings | ScenarioArg2FromSettings)) != 0 || r.ValueFlags != 0 ||
            !ValuesZeroFrom(r, 0))
            return std::nullopt;
        const auto width = Argument(r.Arg1, arg1Setting, MaxAreaSide, ScenarioSettingsWordSlots);
        const auto height =
            Argument(r.Arg2, (r.ArgFlags & ScenarioArg2FromSettings) != 0, MaxAreaSide, ScenarioSettingsWordSlots);
        if (!width || !height) return std::nullopt;
        return "area " + *width + " " + *height;
    }
    case ScenarioCode::RandomJump: {
        if (!noFlags || r.Arg1 < 1 || r.Arg1 > 3 || r.Arg2 != 0) return std::nullopt;
        const size_t targets = static_cast<size_t>(r.Arg1);
        if (!ValuesZeroFrom(r, targets)) return std::nullopt;
        std::string text = "random-jump";
        for (size_t i = 0; i < targets; ++i) {
            if (!InRecords(r.Values[i], count)) return std::nullopt;
            text += " " + LabelName(static_cast<size_t>(r.Values[i]));
        }
        return text;
    }
    default:
        return std::nullopt;
    }
}

std::string Raw(const ScenarioRecord& r, size_t count)
{
    std::string text = "raw " + std::to_string(r.Code);
    if (r.ArgFlags != 0) text += " argflags=" + Hex(r.ArgFlags, 2);
    if (r.ValueFlags != 0) text += " valueflags=" + Hex(r.ValueFlags, 2);
    if (r.Reserved3 != 0) text += " reserved3=" + Hex(r.Reserved3, 2);
    if (r.Arg1 != 0) text += " arg1=" + std::to_string(r.Arg1);
    if (r.Arg2 != 0) text += " arg2=" + std::to_string(r.Arg2);
    if (r.Reserved12 != 0) text += " reserved12=" + Hex(r.Reserved12, 8);
    const size_t targetSlots = TargetSlots(r);
    for (size_t i = 0; i < r.Values.size(); ++i) {
        if (r.Values[i] == 0) continue;
        text += " v" + std::to_string(i) + "=";
        text += i < targetSlots && InRecords(r.Values[i], count) ? LabelName(static_cast<size_t>(r.Values[i]))
                                                                 : std::to_string(r.Values[i]);
    }
    return text;
}

}  // namespace

Scenario CompileScenarioText(std::string_view text, std::vector<int>* recordLines)
{
    if (recordLines) recordLines->clear();
    return Compiler(recordLines).Run(text);
}

std::string DescribeScenario(const Scenario& scenario)
{
    const size_t count = scenario.Records.size();
    std::vector<bool> targeted(count, false);
    for (const ScenarioRecord& record : scenario.Records)
        for (size_t i = 0; i < TargetSlots(record); ++i)
            if (InRecords(record.Values[i], count)) targeted[static_cast<size_t>(record.Values[i])] = true;

    std::string text = "# Scenario of " + std::to_string(count) + (count == 1 ? " record" : " records") + "\n";
    if (std::any_of(scenario.Header.begin(), scenario.Header.end(), [](uint8_t byte) { return byte != 0; }))
        text += "header" + HexBytes(scenario.Header) + "\n";
    for (size_t i = 0; i < count; ++i) {
        if (targeted[i]) text += "\n" + LabelName(i) + ":\n";
        const ScenarioRecord& record = scenario.Records[i];
        text += Readable(record, count).value_or(Raw(record, count));
        if (record.Delay != 0) text += " delay " + std::to_string(uint64_t{record.Delay} * 10);
        text += "\n";
    }
    const std::span<const uint8_t> trailing(scenario.TrailingBytes);
    if (!trailing.empty()) text += "\n";
    for (size_t i = 0; i < trailing.size(); i += 16)
        text += "trailing" + HexBytes(trailing.subspan(i, std::min<size_t>(16, trailing.size() - i))) + "\n";
    return text;
}

std::vector<uint8_t> ScenarioEntryBytes(const Scenario& scenario)
{
    std::string reason;
    std::optional<std::vector<uint8_t>> bytes = SerializeScenarioEntry(scenario, &reason);
    if (!bytes) throw std::invalid_argument(reason);
    return std::move(*bytes);
}

std::vector<uint8_t> ScenarioEntryBytes(std::string_view text)
{
    return ScenarioEntryBytes(CompileScenarioText(text));
}

std::string DescribeScenarioEntry(std::span<const uint8_t> entry)
{
    std::string reason;
    const std::optional<Scenario> scenario = ParseScenarioEntry(entry, &reason);
    if (!scenario) throw std::invalid_argument(reason);
    return DescribeScenario(*scenario);
}
