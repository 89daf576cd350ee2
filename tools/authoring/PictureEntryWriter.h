// PictureEntryWriter: the bytes of one picture entry of the "SGBm" group, for
// the authoring tool, the demo content, the tests and the fuzz seeds.
//
// An entry is a 32-byte header (little-endian: depth at 0, palette count at 2,
// stride at 4, width at 8, height at 10, storage kind at 12, everything else
// 0), the palette (blue, green, red, reserved per entry), then the payload:
//  - kind 0: the pixel rows as given (height × stride bytes, top row first);
//  - kind 1: a 4-byte packed length, then the rows packed by the archive's
//    LZSS codec;
//  - kind 2: a 4-byte packed length, then the rows as one zlib stream;
//  - kind 3: the JPEG bytes as given;
//  - any other kind: the payload bytes as given (for crafting bad entries).
//
// The header fields are written exactly as the caller sets them and are not
// checked against the palette or the pixel bytes, so that tests can build
// odd entries (palette counts above 256, strides beyond the row pitch, sizes
// that disagree with the data). Truncated entries are made by cutting the
// returned bytes.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

enum class PictureStorage : uint8_t { Raw = 0, Lzss = 1, Zlib = 2, Jpeg = 3 };

class PictureEntryError : public std::runtime_error {
public:
    explicit PictureEntryError(const std::string& what) : std::runtime_error(what) {}
};

struct PictureEntryFields {
    uint8_t depth = 24;         // 1, 2, 4, 8, 15, 16, 24 or 32 in well-formed entries
    uint16_t paletteCount = 0;  // palette entries that follow the header
    uint32_t stride = 0;        // bytes per stored row
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t storageKind = 0;  // PictureStorage, or anything for crafted entries
};

// Bytes of one stored row: width pixels of the depth (15 counts as 16 bits),
// rounded up to whole bytes; depths the loader does not know count their bits
// as given.
uint32_t PictureRowLength(int depth, int width);
// The stride a well-formed entry uses: the row length padded to a multiple of
// 4 bytes, which is the row pitch of a pixel buffer of the same depth.
uint32_t PictureStride(int depth, int width);

// Header fields of a well-formed entry: stride from PictureStride, and the
// full palette (2^depth entries) for depths up to 8.
PictureEntryFields PictureFieldsFor(int depth, int width, int height, PictureStorage storage);

std::array<uint8_t, 32> EncodePictureHeader(const PictureEntryFields& fields);

// The LZSS payload: 4-byte packed length, then the packed bytes. Throws
// PictureEntryError when LZSS cannot make the data shorter.
std::vector<uint8_t> PackPictureLzss(std::span<const uint8_t> rows);
// The zlib payload: 4-byte packed length, then a zlib stream (level 9).
std::vector<uint8_t> PackPictureZlib(std::span<const uint8_t> rows);

// Header, palette bytes as given, then the payload of fields.storageKind made
// from pixels (rows for kinds 0 to 2, JPEG bytes for kind 3, raw bytes for
// any other kind).
std::vector<uint8_t> BuildPictureEntry(const PictureEntryFields& fields, std::span<const uint8_t> palette,
                                       std::span<const uint8_t> pixels);
