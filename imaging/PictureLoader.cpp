#include "imaging/PictureLoader.h"

#include "ZULResourceUtilLib/LittleEndian.h"
#include "ZULResourceUtilLib/TResReadStream.h"
#include "platform/JpegDecoder.h"
#include "platform/Stream.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

PictureHeader PictureHeader::Parse(const uint8_t bytes[PictureHeaderSize])
{
    PictureHeader header;
    header.depth = bytes[0];
    header.paletteCount = ReadLe16(bytes + 2);
    header.stride = ReadLe32(bytes + 4);
    header.width = ReadLe16(bytes + 8);
    header.height = ReadLe16(bytes + 10);
    header.storageKind = bytes[12];
    return header;
}

namespace {

constexpr int PaletteEntrySize = 4;
constexpr int LoadedPaletteEntries = 256;

enum StorageKind : uint8_t { StoredRaw = 0, StoredLzss = 1, StoredZlib = 2, StoredJpeg = 3 };

// Depths 2 and 15 have no buffer format of their own: such pictures get a
// 24-bit buffer and, unless converted, their rows land in it unchanged.
TPixelFormat FormatForDepth(int depth)
{
    switch (depth) {
    case 1: return TPixelFormat::Bits1;
    case 4: return TPixelFormat::Bits4;
    case 8: return TPixelFormat::Bits8;
    case 16: return TPixelFormat::Bits16;
    case 32: return TPixelFormat::Bits32;
    default: return TPixelFormat::Bits24;
    }
}

// Bytes that the conversion reads from one stored row (15 bits are stored in
// 16-bit words). Depths it does not convert read nothing.
size_t ConvertedRowLength(int depth, int width)
{
    int bits = 0;
    switch (depth) {
    case 1:
    case 2:
    case 4:
    case 8:
    case 16:
    case 24: bits = depth; break;
    case 15: bits = 16; break;
    default: return 0;
    }
    return (static_cast<size_t>(width) * static_cast<size_t>(bits) + 7) / 8;
}

inline void PutPixel(uint8_t* out, uint8_t blue, uint8_t green, uint8_t red)
{
    out[0] = blue;
    out[1] = green;
    out[2] = red;
    out[3] = 255;
}

inline void PutPaletteEntry(uint8_t* out, const uint8_t (&palette)[256][4], unsigned index)
{
    PutPixel(out, palette[index][0], palette[index][1], palette[index][2]);
}

// 5- and 6-bit channels are widened to 0..255 by repeating their top bits
// below them, so that full intensity (31 or 63) becomes 255 and black stays
// 0; storing the raw fields would leave such pictures almost black.
inline uint8_t Widen5(unsigned value) { return static_cast<uint8_t>(value << 3 | value >> 2); }
inline uint8_t Widen6(unsigned value) { return static_cast<uint8_t>(value << 2 | value >> 4); }

// One stored row into a 32-bit row (alpha 255). The stored row holds at least
// ConvertedRowLength(depth, width) bytes. Depths without a conversion are
// refused before any row is read.
void ConvertRow(const uint8_t* stored, uint8_t* out, int depth, int width, const uint8_t (&palette)[256][4])
{
    switch (depth) {
    case 1:
        for (int x = 0; x < width; ++x) PutPaletteEntry(out + 4 * x, palette, stored[x >> 3] >> (7 - (x & 7)) & 1u);
        break;
    case 2:
        for (int x = 0; x < width; ++x)
            PutPaletteEntry(out + 4 * x, palette, stored[x >> 2] >> (2 * (3 - (x & 3))) & 3u);
        break;
    case 4:
        for (int x = 0; x < width; ++x)
            PutPaletteEntry(out + 4 * x, palette, (x & 1) == 0 ? stored[x >> 1] >> 4 : stored[x >> 1] & 0xFu);
        break;
    case 8:
        for (int x = 0; x < width; ++x) PutPaletteEntry(out + 4 * x, palette, stored[x]);
        break;
    case 15:
        for (int x = 0; x < width; ++x) {
            const unsigned word = ReadLe16(stored + 2 * x);
            PutPixel(out + 4 * x, Widen5(word & 0x1F), Widen5(word >> 5 & 0x1F), Widen5(word >> 10 & 0x1F));
        }
        break;
    case 16:
        for (int x = 0; x < width; ++x) {
            const unsigned word = ReadLe16(stored + 2 * x);
            PutPixel(out + 4 * x, Widen5(word & 0x1F), Widen6(word >> 5 & 0x3F), Widen5(word >> 11 & 0x1F));
        }
        break;
    case 24:
        for (int x = 0; x < width; ++x) PutPixel(out + 4 * x, stored[3 * x], stored[3 * x + 1], stored[3 * x + 2]);
        break;
    default: break;
    }
}

bool ReadExactly(ResArchive& archive, ResCursor& cursor, void* destination, int64_t length)
{
    return ResCursorRead(archive, cursor, destination, length) == length;
}

bool ReadPackedLength(ResArchive& archive, ResCursor& cursor, uint32_t& length)
{
    uint8_t bytes[4];
    if (!ReadExactly(archive, cursor, bytes, 4)) return false;
    length = ReadLe32(bytes);
    return true;
}

// Kind 0: stored rows read one by one, straight into the buffer's rows when
// the depths agree, else through one row converted into the 32-bit row.
bool LoadRawRows(ResArchive& archive, ResCursor& cursor, DirectBmpControl& buffer, const PictureHeader& header,
                 bool convert)
{
    const size_t stride = header.stride;
    if (!convert) {
        // A row longer than the buffer's pitch would run into the next row,
        // or past the end of the last one.
        if (stride > static_cast<size_t>(buffer.Pitch)) return false;
        for (int32_t y = 0; y < buffer.Height; ++y)
            if (!ReadExactly(archive, cursor, buffer.Rows[y], static_cast<int64_t>(stride))) return false;
        return true;
    }
    // A stride shorter than the pixels of a row leaves the missing bytes 0,
    // as they stay in a buffer read without conversion.
    std::vector<uint8_t> row(std::max(stride, ConvertedRowLength(header.depth, header.width)), 0);
    for (int32_t y = 0; y < buffer.Height; ++y) {
        if (!ReadExactly(archive, cursor, row.data(), static_cast<int64_t>(stride))) return false;
        ConvertRow(row.data(), buffer.Rows[y], header.depth, header.width, buffer.Palette);
    }
    return true;
}

// Kind 1. Without conversion the rows expand straight into the buffer's
// memory. With conversion they expand into the tail of the 32-bit buffer and
// are converted top-down in place, so no second picture-sized block is
// needed:
//
//   T = (P - s) × h is where the stored rows start (P the 32-bit pitch,
//   s the stride, h the height; s <= P is required).
//   Converting row r writes bytes [r × P, (r + 1) × P). Stored row k >= r + 1
//   starts at T + k × s >= (r + 1) × P because (r + 1) × (P - s) <= h × (P - s),
//   so converting row r never touches a later stored row.
//   It may reach into stored row r itself, when (r + 1) × P > T + r × s; that
//   row is then copied aside first. This always holds for the last row, and
//   for every row when s = P (for instance 24-bit pictures 1 to 3 pixels wide).
bool LoadLzssRows(ResArchive& archive, ResCursor& cursor, DirectBmpControl& buffer, const PictureHeader& header,
                  bool convert)
{
    if (buffer.Bits == nullptr) return false;
    const uint64_t stride = header.stride;
    const uint64_t pitch = static_cast<uint64_t>(buffer.Pitch);
    const uint64_t height = static_cast<uint64_t>(buffer.Height);
    if (stride > pitch) return false;  // the decoded rows would not fit the buffer's memory
    const uint32_t capacity = static_cast<uint32_t>(height * stride);

    uint32_t length = 0;
    if (!ReadPackedLength(archive, cursor, length)) return false;
    TResReadStream stream(&archive, false, &cursor);
    if (!convert) return LzssRun(archive.lzss, 'D', capacity, buffer.Bits, nullptr, length, &stream);

    uint8_t* const tail = buffer.Bits + (pitch - stride) * height;
    if (!LzssRun(archive.lzss, 'D', capacity, tail, nullptr, length, &stream)) return false;

    const size_t rowLength = ConvertedRowLength(header.depth, header.width);
    std::vector<uint8_t> side(std::max<size_t>(stride, rowLength), 0);
    const uint64_t tailOffset = (pitch - stride) * height;
    for (uint64_t r = 0; r < height; ++r) {
        const uint8_t* stored = tail + r * stride;
        const bool overlapsItself = (r + 1) * pitch > tailOffset + r * stride;
        if (overlapsItself || stride < rowLength) {
            // Zero padding beyond the stride, as in LoadRawRows.
            std::memcpy(side.data(), stored, stride);
            stored = side.data();
        }
        ConvertRow(stored, buffer.Rows[r], header.depth, header.width, buffer.Palette);
    }
    return true;
}

// Kind 2: rows inflate straight into the buffer's memory, with no conversion
// even when a 32-bit buffer was asked for (no caller asks for that).
bool LoadZlibRows(ResArchive& archive, ResCursor& cursor, DirectBmpControl& buffer, const PictureHeader& header)
{
    if (buffer.Bits == nullptr) return false;
    const uint64_t stride = header.stride;
    if (stride > static_cast<uint64_t>(buffer.Pitch)) return false;
    const uint32_t capacity = static_cast<uint32_t>(static_cast<uint64_t>(buffer.Height) * stride);

    uint32_t length = 0;
    if (!ReadPackedLength(archive, cursor, length)) return false;
    TResReadStream stream(&archive, false, &cursor);
    return ZlibRun(archive.zlib, 'D', capacity, buffer.Bits, nullptr, length, &stream);
}

bool LoadPictureUnguarded(ResArchive& archive, PictureLocator locator, DirectBmpControl& buffer, PictureDepth depth,
                          PictureParts parts, uint8_t* headerOut)
{
    uint8_t bytes[PictureHeaderSize];
    if (ResReadAt(archive, locator.groupIndex, locator.entryIndex, 0, bytes, PictureHeaderSize) != PictureHeaderSize)
        return false;
    if (parts == PictureParts::HeaderOnly) {
        if (headerOut != nullptr) std::memcpy(headerOut, bytes, PictureHeaderSize);
        return true;
    }
    const PictureHeader header = PictureHeader::Parse(bytes);
    if (header.storageKind > StoredJpeg) return false;

    const EntryRecord* record = ResEntryRecordOf(archive, locator.groupIndex, locator.entryIndex);
    if (record == nullptr) return false;
    ResCursor cursor{*record, PictureHeaderSize};
    if (headerOut != nullptr) std::memcpy(headerOut, bytes, PictureHeaderSize);

    if (header.width == 0 || header.height == 0 || header.width > MaximumBufferDimension ||
        header.height > MaximumBufferDimension)
        return false;
    if (!PictureWithinMemoryLimit(header.width, header.height)) return false;
    // Raw rows that are not all in the entry fail anyway; refusing them here
    // also keeps an absurd stride from allocating a huge row.
    const int64_t paletteBytes = int64_t{header.paletteCount} * PaletteEntrySize;
    if (header.storageKind == StoredRaw) {
        const int64_t rowBytes = int64_t{header.height} * header.stride;
        if (record->DataLength() - PictureHeaderSize - paletteBytes < rowBytes) return false;
    }

    const bool force32 = depth == PictureDepth::Force32;
    const TPixelFormat format = force32 ? TPixelFormat::Bits32 : FormatForDepth(header.depth);
    const int targetDepth = force32 ? 32 : header.depth;
    const bool convert = targetDepth != header.depth;
    // Rows of a depth without a conversion would leave the 32-bit picture
    // empty (raw rows) or showing the packed bytes (LZSS, expanded in place):
    // such a picture cannot be had as 32 bits.
    if (convert && (header.storageKind == StoredRaw || header.storageKind == StoredLzss) &&
        ConvertedRowLength(header.depth, 1) == 0)
        return false;
    if (!buffer.Allocate(header.width, header.height, format)) return false;

    // The cursor is placed explicitly rather than trusting where the header
    // read left the file.
    if (ResCursorSeek(archive, cursor, PictureHeaderSize) < 0) return false;
    if (header.paletteCount != 0) {
        const int loaded = std::min<int>(header.paletteCount, LoadedPaletteEntries);
        if (!ReadExactly(archive, cursor, &buffer.Palette[0][0], int64_t{loaded} * PaletteEntrySize)) return false;
        if (header.paletteCount > LoadedPaletteEntries &&
            ResCursorSeek(archive, cursor, cursor.position + (header.paletteCount - LoadedPaletteEntries) * PaletteEntrySize) < 0)
            return false;
    }

    switch (header.storageKind) {
    case StoredRaw: return LoadRawRows(archive, cursor, buffer, header, convert);
    case StoredLzss: return LoadLzssRows(archive, cursor, buffer, header, convert);
    case StoredZlib: return LoadZlibRows(archive, cursor, buffer, header);
    default: return LoadJpegPicture(archive, cursor, buffer);
    }
}

}  // namespace

bool LoadPicture(ResArchive& archive, PictureLocator locator, DirectBmpControl& buffer, PictureDepth depth,
                 PictureParts parts, uint8_t* header)
{
    // Codecs and streams report damaged data by their results, but a stream
    // may still raise (EReadError) and memory may run out: no exception
    // leaves the loader.
    try {
        return LoadPictureUnguarded(archive, locator, buffer, depth, parts, header);
    } catch (...) {
        return false;
    }
}

namespace {

// Puts each decoded row straight into the picture's buffer, converted by the
// same copy as any other 24-bit rows, so that no second whole picture is held
// while it loads.
class BufferRowSink final : public JpegRowSink {
public:
    explicit BufferRowSink(DirectBmpControl& buffer) : buffer_(buffer) {}

    bool Begin(int32_t width, int32_t height) noexcept override
    {
        // The decoder's limits hold it to the buffer's size.
        return width == buffer_.Width && height == buffer_.Height && row_.Allocate(width, 1, TPixelFormat::Bits24);
    }
    bool Row(int32_t y, const uint8_t* bgr) noexcept override
    {
        std::memcpy(row_.Rows[0], bgr, static_cast<size_t>(row_.Width) * 3);
        Copy(buffer_, TRect{0, y, row_.Width, y + 1}, row_, TRect{0, 0, row_.Width, 1});
        return true;
    }

private:
    DirectBmpControl& buffer_;
    DirectBmpControl row_;
};

}  // namespace

bool LoadJpegPicture(ResArchive& archive, ResCursor& cursor, DirectBmpControl& buffer)
{
    try {
        TResReadStream stream(&archive, true, &cursor);
        BufferRowSink sink(buffer);
        return DecodeJpegRows(stream, JpegLimits{buffer.Width, buffer.Height, MaximumPictureBytes}, nullptr, sink);
    } catch (...) {
        return false;
    }
}
