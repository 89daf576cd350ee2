#include "tools/authoring/PictureEntryWriter.h"

#include "ZULResourceUtilLib/LittleEndian.h"
#include "ZULResourceUtilLib/LzssCodec.h"

#include <zlib.h>

#include <cstring>
#include <limits>

namespace {

constexpr size_t HeaderSize = 32;

// resize + memcpy rather than insert: gcc 12 for mingw reports a false
// out-of-bounds memcpy inside vector::insert on a freshly sized vector.
void Append(std::vector<uint8_t>& to, std::span<const uint8_t> bytes)
{
    if (bytes.empty()) return;
    const size_t old = to.size();
    to.resize(old + bytes.size());
    std::memcpy(to.data() + old, bytes.data(), bytes.size());
}

uint32_t PackedLength(size_t size, const char* what)
{
    if (size > std::numeric_limits<uint32_t>::max())
        throw PictureEntryError(std::string(what) + ": picture data too large for a 32-bit length");
    return static_cast<uint32_t>(size);
}

std::vector<uint8_t> WithLength(std::span<const uint8_t> packed)
{
    std::vector<uint8_t> payload(4);
    WriteLe32(payload.data(), static_cast<uint32_t>(packed.size()));
    Append(payload, packed);
    return payload;
}

}  // namespace

uint32_t PictureRowLength(int depth, int width)
{
    const uint64_t bits = depth == 15 ? 16 : static_cast<uint64_t>(depth < 0 ? 0 : depth);
    const uint64_t pixels = static_cast<uint64_t>(width < 0 ? 0 : width);
    return static_cast<uint32_t>((pixels * bits + 7) / 8);
}

uint32_t PictureStride(int depth, int width)
{
    return (PictureRowLength(depth, width) + 3) & ~uint32_t{3};
}

PictureEntryFields PictureFieldsFor(int depth, int width, int height, PictureStorage storage)
{
    PictureEntryFields fields;
    fields.depth = static_cast<uint8_t>(depth);
    fields.paletteCount = depth >= 1 && depth <= 8 ? static_cast<uint16_t>(1u << depth) : 0;
    fields.stride = PictureStride(depth, width);
    fields.width = static_cast<uint16_t>(width);
    fields.height = static_cast<uint16_t>(height);
    fields.storageKind = static_cast<uint8_t>(storage);
    return fields;
}

std::array<uint8_t, 32> EncodePictureHeader(const PictureEntryFields& fields)
{
    std::array<uint8_t, HeaderSize> header{};
    header[0] = fields.depth;
    WriteLe16(header.data() + 2, fields.paletteCount);
    WriteLe32(header.data() + 4, fields.stride);
    WriteLe16(header.data() + 8, fields.width);
    WriteLe16(header.data() + 10, fields.height);
    header[12] = fields.storageKind;
    return header;
}

std::vector<uint8_t> PackPictureLzss(std::span<const uint8_t> rows)
{
    const uint32_t size = PackedLength(rows.size(), "LZSS");
    // The codec compresses from a writable data side; it does not change it.
    std::vector<uint8_t> input(rows.begin(), rows.end()), packed(size);
    static thread_local LzssCodec codec;
    uint32_t length = 0;
    if (!LzssRun(codec, 'E', size, input.data(), packed.data(), length, nullptr))
        throw PictureEntryError("LZSS does not make these picture rows shorter; store them raw or with zlib");
    return WithLength(std::span<const uint8_t>(packed.data(), length));
}

std::vector<uint8_t> PackPictureZlib(std::span<const uint8_t> rows)
{
    const uint32_t size = PackedLength(rows.size(), "zlib");
    uLongf length = compressBound(size);
    std::vector<uint8_t> packed(length);
    if (compress2(packed.data(), &length, rows.data(), size, 9) != Z_OK)
        throw PictureEntryError("zlib could not pack the picture rows");
    return WithLength(std::span<const uint8_t>(packed.data(), length));
}

std::vector<uint8_t> BuildPictureEntry(const PictureEntryFields& fields, std::span<const uint8_t> palette,
                                       std::span<const uint8_t> pixels)
{
    const auto header = EncodePictureHeader(fields);
    std::vector<uint8_t> entry(header.begin(), header.end());
    Append(entry, palette);
    switch (fields.storageKind) {
    case static_cast<uint8_t>(PictureStorage::Lzss): Append(entry, PackPictureLzss(pixels)); break;
    case static_cast<uint8_t>(PictureStorage::Zlib): Append(entry, PackPictureZlib(pixels)); break;
    default: Append(entry, pixels); break;
    }
    return entry;
}
