// Input: three length bytes, then that many bytes of a section name, a key
// and a value, then the text of an ini file (any bytes at all).
//
// The value of the key is read from the text, and then written into it.
//
// Oracles: a value read is a part of the text, and an integer parsed from it
// parses again from its own decimal and hexadecimal spelling. A write of
// names without line ends keeps every other line as it was: apart from lines
// that are exactly the new entry or the new section header, the lines of the
// result are those of the text, less at most the one entry replaced. When the
// names are writable, the key reads back as the value, every other key of the
// text reads as before, and writing the value again changes nothing.
#include "settings/ProfileText.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition) std::abort();
}

constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

// The lines of the text without their LF (a CR before it stays).
std::vector<std::string_view> Lines(std::string_view text)
{
    std::vector<std::string_view> lines;
    size_t position = 0;
    while (position < text.size()) {
        const size_t feed = text.find('\n', position);
        if (feed == std::string_view::npos) {
            lines.push_back(text.substr(position));
            break;
        }
        lines.push_back(text.substr(position, feed - position));
        position = feed + 1;
    }
    return lines;
}

bool HasLineEnd(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

std::string_view Trim(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

// Section and key names that the text may hold, each key with the section
// above it: candidates for reads, so a rough cut is enough.
std::vector<std::pair<std::string_view, std::string_view>> NamesIn(std::string_view text)
{
    std::vector<std::pair<std::string_view, std::string_view>> names;
    std::string_view section;
    for (const std::string_view line : Lines(text)) {
        if (names.size() >= 32) break;
        const std::string_view content = Trim(line);
        if (!content.empty() && content.front() == '[') {
            section = Trim(content.substr(1, content.find(']') - 1));
            continue;
        }
        const size_t equals = content.find('=');
        if (equals != std::string_view::npos) names.emplace_back(section, Trim(content.substr(0, equals)));
    }
    return names;
}

bool SameName(std::string_view a, std::string_view b)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) {
               return lower(x) == lower(y);
           });
}

void CheckValueRead(std::string_view text, std::optional<std::string_view> value)
{
    if (!value) return;
    Check(value->empty() || (value->data() >= text.data() && value->data() + value->size() <= text.data() + text.size()));
    if (const std::optional<int32_t> number = ParseProfileInteger(*value)) {
        Check(ParseProfileInteger(std::to_string(*number)) == number);
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(static_cast<uint32_t>(*number)));
        Check(ParseProfileInteger(hex) == number);
    }
}

// The lines of the result are those of the text, apart from lines that are
// the written entry or section header, and less at most one entry. Carriage
// returns at a line's end do not count: a last line without a line end gets
// one (CR LF or LF) when something is written behind it.
void CheckOtherLinesKept(std::string_view text, std::string_view written, std::string_view section,
                         std::string_view key, std::string_view value)
{
    // A byte-order mark stays part of the first line, which is never an
    // entry (an entry needs a section header above it).
    if (text.starts_with(ByteOrderMark)) Check(written.starts_with(ByteOrderMark));
    Check(std::count(written.begin(), written.end(), '\n') >= std::count(text.begin(), text.end(), '\n'));
    const std::string entry = std::string(key) + "=" + std::string(value);
    const std::string header = "[" + std::string(section) + "]";
    const auto split = [&](std::string_view lines, std::vector<std::string_view>& kept) {
        size_t ours = 0;
        for (std::string_view line : Lines(lines)) {
            while (line.ends_with('\r')) line.remove_suffix(1);
            if (line == entry || line == header)
                ++ours;
            else
                kept.push_back(line);
        }
        return ours;
    };
    std::vector<std::string_view> before;
    std::vector<std::string_view> after;
    const size_t oursBefore = split(text, before);
    const size_t oursAfter = split(written, after);
    Check(oursAfter >= oursBefore && oursAfter <= oursBefore + 2);
    if (after == before) return;
    Check(after.size() + 1 == before.size());
    const auto differ = std::mismatch(after.begin(), after.end(), before.begin());
    const size_t replaced = static_cast<size_t>(differ.second - before.begin());
    Check(before[replaced].find('=') != std::string_view::npos);
    Check(std::equal(after.begin() + static_cast<std::ptrdiff_t>(replaced), after.end(),
                     before.begin() + static_cast<std::ptrdiff_t>(replaced) + 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3 || size > (1u << 16)) return 0;
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t lengths[3] = {size_t{data[0]} % 24, size_t{data[1]} % 24, size_t{data[2]} % 24};
    input.remove_prefix(3);
    std::string_view names[3];
    for (int i = 0; i < 3; ++i) {
        names[i] = input.substr(0, lengths[i]);
        input.remove_prefix(names[i].size());
    }
    const std::string_view section = names[0];
    const std::string_view key = names[1];
    const std::string_view value = names[2];
    const std::string_view text = input;

    const std::vector<std::pair<std::string_view, std::string_view>> others = NamesIn(text);
    CheckValueRead(text, FindProfileString(text, section, key));
    for (const auto& [otherSection, otherKey] : others)
        CheckValueRead(text, FindProfileString(text, otherSection, otherKey));

    if (HasLineEnd(section) || HasLineEnd(key) || HasLineEnd(value)) return 0;
    const std::string written = WithProfileString(text, section, key, value);
    CheckOtherLinesKept(text, written, section, key, value);

    // Names that are not writable may read differently (a key that starts
    // with "[" makes a section header), so the reads are checked only for
    // those that are.
    if (!IsProfileWritable(section, key, value)) return 0;
    Check(FindProfileString(written, section, key) == value);
    for (const auto& [otherSection, otherKey] : others) {
        if (SameName(otherSection, section) && SameName(otherKey, key)) continue;
        Check(FindProfileString(written, otherSection, otherKey) == FindProfileString(text, otherSection, otherKey));
    }
    Check(WithProfileString(written, section, key, value) == written);
    return 0;
}
