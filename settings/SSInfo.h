// SSInfo: the screen saver's information block, 256 bytes from the archive
// entry "SSIf" 1000, which the configuration dialog shows.
//
// Layout (little-endian):
//   0..15     unused
//   16..63    name line      (48 bytes)
//   64..95    version line   (32 bytes)
//   96..143   notice line 1  (48 bytes)
//   144..191  notice line 2  (48 bytes)
//   192..195  about picture: signed 32-bit id of an "SGBm" entry, 0 for none
//   196..255  unused
// Each line is Shift-JIS text ending at its first zero byte; a field without
// a zero inside it ends with the field, so a line never reaches into the next
// field. An empty line is a line the dialog leaves out.
//
// SSInfo is the one program-wide block; LoadPreference refreshes it
// (SSInfoLoader.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

constexpr size_t SSInfoSize = 256;
constexpr uint32_t SSInfoEntryId = 1000;
constexpr size_t SSInfoAboutPictureOffset = 192;

enum class SSInfoLine { Name, Version, Notice1, Notice2 };
constexpr SSInfoLine SSInfoLines[] = {SSInfoLine::Name, SSInfoLine::Version, SSInfoLine::Notice1, SSInfoLine::Notice2};

// Where a line lies in the block; `size` counts every byte of the field, the
// room for the terminating zero included.
struct SSInfoField {
    size_t offset;
    size_t size;
};
constexpr SSInfoField SSInfoFieldOf(SSInfoLine line)
{
    switch (line) {
    case SSInfoLine::Name: return {16, 48};
    case SSInfoLine::Version: return {64, 32};
    case SSInfoLine::Notice1: return {96, 48};
    case SSInfoLine::Notice2: break;
    }
    return {144, 48};
}

struct SSInfoBlock {
    void Clear() { bytes.fill(0); }
    // The entry's first 256 bytes; what a shorter entry does not reach stays zero.
    void Fill(std::span<const uint8_t> entry);

    // The line's Shift-JIS bytes, empty when the line is absent.
    std::string_view Line(SSInfoLine line) const;
    int32_t AboutPicture() const;
    void SetAboutPicture(int32_t id);

    std::array<uint8_t, SSInfoSize> bytes{};
};

extern SSInfoBlock SSInfo;
