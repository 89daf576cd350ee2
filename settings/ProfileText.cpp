#include "settings/ProfileText.h"


namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

bool IsEnclosedInQuotes(std::string_view value)
{
    return value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
}

// One line of the text: [start, contentEnd) is its content, [contentEnd,
// end) its line end (empty for a last line without one).
struct Line {
    size_t start = 0;
    size_t contentEnd = 0;
    size_t end = 0;
};

class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text)
    {
        constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
        if (text_.substr(0, byteOrderMark.size()) == byteOrderMark) position_ = byteOrderMark.size();
    }

    bool Next(Line& line)
    {
        if (position_ >= text_.size()) return false;
        line.start = position_;
        const size_t feed = text_.find('\n', position_);
        if (feed == std::string_view::npos) {
            line.contentEnd = line.end = text_.size();
        } else {
            line.end = feed + 1;
            line.contentEnd = feed > position_ && text_[feed - 1] == '\r' ? feed - 1 : feed;
        }
        position_ = line.end;
        return true;
    }

    std::string_view Content(const Line& line) const
    {
        return text_.substr(line.start, line.contentEnd - line.start);
    }

private:
    std::string_view text_;
    size_t position_ = 0;
};

// The name of a section header line, or nothing for another line.
std::optional<std::string_view> SectionName(std::string_view content)
{
    content = Trim(content);
    if (content.empty() || content.front() != '[') return std::nullopt;
    content.remove_prefix(1);
    return Trim(content.substr(0, content.find(']')));
}

struct Entry {
    std::string_view key;
    std::string_view value;
};

std::optional<Entry> EntryOf(std::string_view content)
{
    const size_t equals = content.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    return Entry{Trim(content.substr(0, equals)), Trim(content.substr(equals + 1))};
}

// Where the first section of a name is, and in it the first entry of a key
// and the last line that is not blank.
struct SectionPlace {
    bool found = false;
    bool keyFound = false;
    Line keyLine;
    Line lastFilledLine;
    std::string_view value;
};

SectionPlace LocateKey(std::string_view text, std::string_view section, std::string_view key)
{
    SectionPlace place;
    LineReader reader(text);
    Line line;
    bool inside = false;
    while (reader.Next(line)) {
        const std::string_view content = reader.Content(line);
        if (const auto name = SectionName(content)) {
            if (inside) break;
            if (!place.found && EqualIgnoringAsciiCase(*name, section)) {
                place.found = inside = true;
                place.lastFilledLine = line;
            }
            continue;
        }
        if (!inside) continue;
        if (!Trim(content).empty()) place.lastFilledLine = line;
        const auto entry = EntryOf(content);
        if (entry && EqualIgnoringAsciiCase(entry->key, key)) {
            place.keyFound = true;
            place.keyLine = line;
            place.value = entry->value;
            break;
        }
    }
    return place;
}

std::string_view LineEndOf(std::string_view text)
{
    const size_t feed = text.find('\n');
    if (feed == std::string_view::npos) return "\r\n";
    return feed > 0 && text[feed - 1] == '\r' ? "\r\n" : "\n";
}

bool HasForbiddenByte(std::string_view text)
{
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

std::optional<std::string_view> FindProfileString(std::string_view text, std::string_view section,
                                                  std::string_view key)
{
    const SectionPlace place = LocateKey(text, section, key);
    if (!place.keyFound) return std::nullopt;
    std::string_view value = place.value;
    if (IsEnclosedInQuotes(value)) value = value.substr(1, value.size() - 2);
    return value;
}

std::string WithProfileString(std::string_view text, std::string_view section, std::string_view key,
                              std::string_view value)
{
    const std::string_view lineEnd = LineEndOf(text);
    std::string entry;
    entry.reserve(key.size() + 1 + value.size());
    entry.append(key).append("=").append(value);

    const SectionPlace place = LocateKey(text, section, key);
    std::string result;
    if (place.keyFound) {
        result.append(text.substr(0, place.keyLine.start));
        result.append(entry);
        result.append(text.substr(place.keyLine.contentEnd));
    } else if (place.found) {
        const Line& after = place.lastFilledLine;
        result.append(text.substr(0, after.end));
        if (after.end == after.contentEnd) result.append(lineEnd);  // the last line had no line end
        result.append(entry).append(lineEnd);
        result.append(text.substr(after.end));
    } else {
        result.append(text);
        if (!text.empty() && text.back() != '\n') result.append(lineEnd);
        result.append("[").append(section).append("]").append(lineEnd);
        result.append(entry).append(lineEnd);
    }
    return result;
}

bool IsProfileWritable(std::string_view section, std::string_view key, std::string_view value)
{
    if (HasForbiddenByte(section) || HasForbiddenByte(key) || HasForbiddenByte(value)) return false;
    if (section.empty() || section.find(']') != std::string_view::npos || Trim(section) != section) return false;
    if (key.empty() || key.find('=') != std::string_view::npos || key.front() == '[' || Trim(key) != key)
        return false;
    return Trim(value) == value && !IsEnclosedInQuotes(value);
}

std::optional<int32_t> ParseProfileInteger(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;

    // Decimal up to 2^31 (only -2^31 may use it), hexadecimal up to 2^32 - 1.
    const uint64_t limit = base == 16 ? 0xFFFFFFFFu : (negative ? 0x80000000u : 0x7FFFFFFFu);
    uint64_t magnitude = 0;
    for (const char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0) return std::nullopt;
        magnitude = magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (magnitude > limit) return std::nullopt;
    }
    uint32_t bits = static_cast<uint32_t>(magnitude);
    if (negative) bits = 0u - bits;
    return static_cast<int32_t>(bits);
}
