// Input: the data of one picture entry ("SGBm" id 1): 32-byte header,
// palette, payload. The entry is stored in an in-memory archive and loaded as
// stored and as 32 bits, then placed into a small next-picture buffer.
//
// Header byte 13 is not read by the loader; it chooses the picture area here,
// so that placements reaching outside the buffer are fuzzed too.
//
// Oracles: an LZSS picture of another depth loaded as 32 bits is expanded in
// place inside the buffer; it must equal the same rows stored raw (entry id 2, expanded here
// from the same packed bytes) loaded as 32 bits. A picture over
// MaximumPictureBytes never loads, and no buffer a load makes is larger.
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

// Pictures the loader takes cost up to MaximumPictureBytes per buffer, and
// the target makes several: those above 1 MB (256 × 1024 at 32 bits) are
// skipped for time; every code path is reached by smaller ones.
// Pictures over the limit itself go through: they must be refused before
// anything is allocated, which costs nothing. A JPEG stream's own frame size
// needs no filter, since the decoder refuses a frame that is not the header's
// size before allocating.
constexpr uint64_t FuzzedPictureBytes = uint64_t{1} << 20;

void Check(bool condition)
{
    if (!condition) std::abort();
}

void CheckWithinLimit(const DirectBmpControl& buffer)
{
    if (buffer.Bits != nullptr)
        Check(static_cast<uint64_t>(buffer.Pitch) * static_cast<uint64_t>(buffer.Height) <= MaximumPictureBytes);
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
    if (capacity > FuzzedPictureBytes) return {};

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
    bool overLimit = false;
    if (size >= PictureHeaderSize) {
        header = PictureHeader::Parse(data);
        areaChoice = data[13];
        const uint64_t bytes = PictureBytes(header.width, header.height);
        overLimit = bytes > MaximumPictureBytes;
        if (bytes > FuzzedPictureBytes && !overLimit) return 0;
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
    const bool storedLoaded =
        LoadPicture(archive, {0, 0}, asStored, PictureDepth::AsStored, PictureParts::Whole, copied);
    const bool forcedLoaded = LoadPicture(archive, {0, 0}, forced, PictureDepth::Force32, PictureParts::Whole, nullptr);
    if (overLimit) Check(!storedLoaded && !forcedLoaded && asStored.Bits == nullptr && forced.Bits == nullptr);
    CheckWithinLimit(asStored);
    CheckWithinLimit(forced);

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
    const bool placed = PlacePicture(archive, 1, PlaceMode::Load, target);
    if (overLimit) Check(!placed);
    return 0;
}
