// InformationBlock: writing and reading back the 256-byte information entry
// (group "SSIf", id 1000) that the configuration dialog shows: the saver's
// name, version and two notice lines, and the id of a small "about" picture.
//
// The layout is the saver's own (settings/SSInfo.h: SSInfoFieldOf,
// SSInfoAboutPictureOffset); bytes no field uses are written as zero. Each
// text is written in Shift-JIS with a zero byte inside its field, so a field
// holds at most its size minus one bytes of text; an empty text (first byte
// zero) is a line the dialog leaves out. The about picture's id is stored
// with its 32 bits as they are: the saver reads the field as signed, so ids
// above 2^31 keep their bit pattern.
//
// The authoring side keeps the texts as UTF-8. Building refuses, with an
// InformationBlockError naming the line, a text that is not UTF-8, that has a
// character with no Shift-JIS form (see platform/TextEncoding.h), that holds
// a zero character (the saver would end the line there), or whose Shift-JIS
// bytes do not fit. Parsing never fails: it takes what the saver would show
// and lists in notes whatever of the entry the texts cannot carry back.
#pragma once

#include "settings/SSInfo.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// How messages name a line: "name", "version", "notice 1", "notice 2".
const char* InformationLabel(SSInfoLine line);

struct InformationTexts {
    std::string name;  // UTF-8, each
    std::string version;
    std::string notice1;
    std::string notice2;
    uint32_t aboutPicture = 0;

    const std::string& Text(SSInfoLine line) const;
    std::string& Text(SSInfoLine line);
    bool operator==(const InformationTexts&) const = default;
};

class InformationBlockError : public std::runtime_error {
public:
    explicit InformationBlockError(const std::string& what) : std::runtime_error(what) {}
};

// The Shift-JIS bytes of one line (without the terminating zero), checked
// against its field. The message names the line, e.g. "name is 52 bytes in
// Shift-JIS; its field holds at most 47" or "notice 2: U+1F600 '😀' has no
// Shift-JIS form".
std::string EncodeInformationText(SSInfoLine line, std::string_view utf8);

std::array<uint8_t, SSInfoSize> BuildInformationBlock(const InformationTexts& texts);

struct ParsedInformationBlock {
    InformationTexts texts;
    // Why building the texts again would not give the same entry bytes:
    // one sentence each (entry length not 256, a field without its zero,
    // bytes that were not Shift-JIS, non-zero bytes the texts do not use).
    std::vector<std::string> notes;
};

// Reads an entry as the saver would: the first 256 bytes, missing bytes of a
// shorter entry taken as zero. A field without a terminating zero takes all of
// its bytes as text, since nothing else marks an end there. Bytes that are not
// Shift-JIS become U+FFFD (see platform/TextEncoding.h), so that writing such
// a text back fails loudly rather than storing something else.
ParsedInformationBlock ParseInformationBlock(std::span<const uint8_t> entry);

// "U+1F600 '😀'" (the character itself left out for controls), for messages.
std::string DescribeCharacter(char32_t character);
