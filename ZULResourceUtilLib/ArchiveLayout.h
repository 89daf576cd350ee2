// ArchiveLayout: the archive's fixed records, each described once.
//
// An archive file is [anything] [archive header] [data area] [index block]
// [trailer]; the index block is the index header, every group record, then
// each group's run of entry records. Integers are little-endian. The named
// offsets count from the start of their record, and the reader, the writer,
// the fuzz seeds and the tests place every field by them. The Read and Write
// functions turn a whole record into its values and back without judging
// them: the buffer holds the record's Size bytes, bytes of no field are left
// as they are, and every check of the values is the caller's.
#pragma once

#include <cstdint>

namespace ArchiveLayout {

// Right before the data area; the data base is where it ends.
namespace Header {
inline constexpr int Size = 28;
inline constexpr int Kind = 0;        // u32: the archive kind
inline constexpr int MaskWord1 = 8;   // u32
inline constexpr int MaskWord2 = 16;  // u32
inline constexpr int Tag = 24;        // u32
}  // namespace Header

namespace IndexHeader {
inline constexpr int Size = 28;
inline constexpr int IndexOffset = 8;  // u64: of the index block, from the data base
inline constexpr int GroupCount = 16;  // u32
}  // namespace IndexHeader

namespace Group {
inline constexpr int Size = 12;
inline constexpr int Tag = 0;         // u32
inline constexpr int EntryCount = 4;  // u32: the length of the group's run of entry records
}  // namespace Group

namespace Entry {
inline constexpr int Size = 24;
inline constexpr int Id = 0;              // u32
inline constexpr int Offset = 4;          // u64: of the stored bytes, from the data base
inline constexpr int StoredSizeLow = 12;  // u32: bits 0-31 of the 48-bit stored size
inline constexpr int StoredSizeHigh = 16; // u16: bits 32-47
inline constexpr int Flags = 18;          // u8: bits 0-1 the encryption mode
inline constexpr int PrefixLength = 20;   // u16
inline constexpr int SuffixLength = 23;   // u8
}  // namespace Entry

// The last bytes of the file.
namespace Trailer {
inline constexpr int Size = 64;
inline constexpr int KeySeed = 20;          // u32: 0 when nothing is encrypted
inline constexpr int CheckWord = 40;        // u32: 0 when there is none
inline constexpr int BlockCode = 46;        // u8: block shift << 2 | interleave shift
inline constexpr int IdentificationA = 48;  // u32, masked when there is a check word
inline constexpr int IdentificationB = 52;  // u32: the kind, masked likewise
inline constexpr int IndexLength = 56;      // u64: the index block without its header
}  // namespace Trailer

}  // namespace ArchiveLayout

struct ArchiveHeaderRecord {
    uint32_t kind = 0;
    uint32_t maskWord1 = 0;
    uint32_t maskWord2 = 0;
    uint32_t tag = 0;
};

struct IndexHeaderRecord {
    uint64_t indexOffset = 0;
    uint32_t groupCount = 0;
};

struct GroupRecord {
    uint32_t tag = 0;
    uint32_t entryCount = 0;
    uint64_t firstEntry = 0;  // where this group's run starts in the entry table; not stored
};

struct EntryRecord {
    uint32_t id = 0;
    uint64_t offset = 0;      // of the stored bytes, from the data base
    uint64_t storedSize = 0;  // 48-bit in the file
    uint8_t flags = 0;        // bits 0-1: encryption mode
    uint16_t prefixLength = 0;
    uint8_t suffixLength = 0;

    int EncryptionMode() const { return flags & 3; }
    // Stored size minus prefix and suffix; negative when they do not fit.
    int64_t DataLength() const;
};

struct ArchiveTrailerRecord {
    uint32_t keySeed = 0;
    uint32_t checkWord = 0;
    uint8_t blockCode = 0;
    uint32_t identificationA = 0;
    uint32_t identificationB = 0;
    uint64_t indexLength = 0;
};

ArchiveHeaderRecord ReadArchiveHeader(const uint8_t* bytes);
void WriteArchiveHeader(uint8_t* bytes, const ArchiveHeaderRecord& header);
IndexHeaderRecord ReadIndexHeader(const uint8_t* bytes);
void WriteIndexHeader(uint8_t* bytes, const IndexHeaderRecord& header);
// firstEntry is not part of the record: it comes back 0 and is not written.
GroupRecord ReadGroupRecord(const uint8_t* bytes);
void WriteGroupRecord(uint8_t* bytes, const GroupRecord& group);
// A stored size beyond 48 bits loses its upper bits.
EntryRecord ReadEntryRecord(const uint8_t* bytes);
void WriteEntryRecord(uint8_t* bytes, const EntryRecord& entry);
ArchiveTrailerRecord ReadArchiveTrailer(const uint8_t* bytes);
void WriteArchiveTrailer(uint8_t* bytes, const ArchiveTrailerRecord& trailer);

// With a check word, the trailer holds identification A XOR mask word 2 XOR
// the header's kind, and identification B XOR mask word 1 XOR the header's
// tag; without one (check word 0) both are stored as they are. The same step
// masks and unmasks.
void ApplyIdentificationMask(ArchiveTrailerRecord& trailer, const ArchiveHeaderRecord& header);

// The block code: encryption blocks of 256 << block shift bytes (shift 0..7)
// and an interleave mask of (2 << interleave shift) - 1 (shift 0..3).
constexpr uint8_t MakeBlockCode(int blockShift, int interleaveShift)
{
    return static_cast<uint8_t>(blockShift << 2 | interleaveShift);
}
constexpr int BlockSizeOf(uint8_t blockCode)
{
    return 256 << ((blockCode >> 2) & 7);
}
constexpr int InterleaveMaskOf(uint8_t blockCode)
{
    return (2 << (blockCode & 3)) - 1;
}
