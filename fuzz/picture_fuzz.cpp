// Input: the data of one picture entry ("SGBm" id 1): 32-byte header,
// palette, payload. The entry is stored in an in-memory archive and loaded as
// stored and as 32 bits, then placed into a small next-picture buffer.
//
// Header byte 13 is not read by the loader; it chooses the picture area here,
// so that placements reaching outside the buffer are fuzzed too.
//
// Oracle: an LZSS picture of another depth loaded as 32 bits is expanded in
// place inside the buffer; it must equal the same rows stored raw (entry id 2, expanded here
// from the same packed bytes) loaded as 32 bits.
#include "imaging/DirectBmpControl.h"
#include "imaging/PictureLoader.h"
#include "imaging/PlacePicture.h"
#include "platform/ReadOnlyFile.h"
#include "platform/Stream.h"
#include "tools/authoring/ArchiveWriter.h"
#include "ZULResourceUtilLib/LittleEndian.h"
#include "ZULResourceUtilLib/LzssCodec.h"
#include "ZULResourceUtilLib/ResArchive.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// Larger pictures only cost memory and time (the fuzzer runs with
// -rss_limit_mb=2048 and -timeout=10).
constexpr uint64_t MaximumPixels = uint64_t{4} << 20;

// The JPEG's own frame size decides what the decoder allocates, whatever the
// picture header says: every byte pair that looks like a frame marker counts.
bool JpegFrameTooLarge(const uint8_t* data, size_t size)
{
    for (size_t k = 0; k + 9 <= size; ++k) {
        if (data[k] != 0xFF) continue;
        const uint8_t marker = data[k + 1];
        if (marker < 0xC0 || marker > 0xCF || marker == 0xC4 || marker == 0xC8 || marker == 0xCC) continue;
        const uint64_t height = uint64_t{data[k + 5]} << 8 | data[k + 6];
        const uint64_t width = uint64_t{data[k + 7]} << 8 | data[k + 8];
        if (width * height > MaximumPixels) return true;
    }
    return false;
}

// The rows an LZSS picture's packed bytes expand to, zero beyond what the
// packed bytes give, as a raw entry with the same header and palette; empty
// when the entry has no complete palette and length word.
std::vector<uint8_t> RawTwinOfLzssEntry(const uint8_t* data, size_t size, const PictureHeader& header)
{
    const size_t paletteEnd = PictureHeaderSize + size_t{header.paletteCount} * 4;
    if (size < paletteEnd + 4) return {};
    const uint32_t packedLength = ReadLe32(data + paletteEnd);
    const uint64_t capacity = uint64_t{header.height} * header.stride;
    if (capacity > (uint64_t{64} << 20)) return {};

    std::vector<uint8_t> twin(data, data + paletteEnd);
    twin[12] = 0;  // raw rows
    const size_t rowsStart = twin.size();
    twin.resize(rowsStart + capacity, 0);
    // The same piece-wise reads from a stream as from the archive entry.
    TBytesStream stream(data + paletteEnd + 4, static_cast<int64_t>(size - paletteEnd - 4));
    static LzssCodec codec;
    uint32_t length = packedLength;
    if (!LzssRun(codec, 'D', static_cast<uint32_t>(capacity), twin.data() + rowsStart, nullptr, length, &stream))
        return {};
    return twin;
}

bool SameRows(const DirectBmpControl& a, const DirectBmpControl& b)
{
    if (a.Width != b.Width || a.Height != b.Height || a.Pitch != b.Pitch) return false;
    for (int32_t y = 0; y < a.Height; ++y)
        if (std::memcmp(a.Rows[y], b.Rows[y], static_cast<size_t>(a.Pitch)) != 0) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20)) return 0;
    PictureHeader header;
    uint8_t areaChoice = 0;
    if (size >= PictureHeaderSize) {
        header = PictureHeader::Parse(data);
        areaChoice = data[13];
        if (uint64_t{header.width} * header.height > MaximumPixels) return 0;
        if (header.storageKind == 3 && JpegFrameTooLarge(data, size)) return 0;
    }

    const std::vector<uint8_t> entry(data, data + size);
    std::vector<uint8_t> twin;
    // At depth 32 nothing is converted, and packed rows lie back to back
    // where raw rows keep the buffer's pitch; the twin only matches otherwise.
    if (size >= PictureHeaderSize && header.storageKind == 1 && header.depth != 32)
        twin = RawTwinOfLzssEntry(data, size, header);

    ArchiveOptions options;
    options.checkWord = CheckWordChoice::None;
    ArchiveWriter writer(options);
    writer.Add({ResTagPicture, 1, 0, entry});
    if (!twin.empty()) writer.Add({ResTagPicture, 2, 0, twin});
    static ResArchive archive;
    if (ResOpenFile(archive, std::make_unique<MemoryFile>(writer.Build()), "picture_fuzz.brsc", ResEmbedding::SideFile,
                    0, ResArchiveKind) != 0)
        std::abort();

    uint8_t copied[PictureHeaderSize];
    DirectBmpControl asStored, forced;
    LoadPicture(archive, {0, 0}, asStored, PictureDepth::AsStored, PictureParts::HeaderOnly, copied);
    LoadPicture(archive, {0, 0}, asStored, PictureDepth::AsStored, PictureParts::Whole, copied);
    const bool forcedLoaded = LoadPicture(archive, {0, 0}, forced, PictureDepth::Force32, PictureParts::Whole, nullptr);

    if (forcedLoaded && !twin.empty()) {
        DirectBmpControl expected;
        if (!LoadPicture(archive, {0, 1}, expected, PictureDepth::Force32, PictureParts::Whole, nullptr) ||
            !SameRows(forced, expected))
            std::abort();
    }

    static DirectBmpControl next;
    if (next.Bits == nullptr && !next.Allocate(64, 48, TPixelFormat::Bits32)) std::abort();
    PlacementTarget target;
    target.nextBuffer = &next;
    target.screenRect = next.Bounds;
    switch (areaChoice % 4) {
    case 0: target.pictureArea = next.Bounds; break;
    case 1: target.pictureArea = TRect{0, 0, 128, 96}; break;  // reaches outside the buffer
    case 2: target.pictureArea = TRect{0, 0, 40, 48}; break;
    default: target.pictureArea = TRect{0, 0, 1, 1}; break;
    }
    target.windowColour = 0x00336699;
    PlacePicture(archive, 1, PlaceMode::CheckOnly, target);
    PlacePicture(archive, 1, PlaceMode::Load, target);
    return 0;
}
