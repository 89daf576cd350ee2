// The archive's fixed records against bytes written out by hand: every field
// at its offset, the high halves that small archives never reach (bits 32-47
// of the stored size, the upper word of 64-bit offsets), the bytes between
// fields left alone, and the identification mask and block code rules.
#include "ZULResourceUtilLib/ArchiveLayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Bytes no field covers must keep this filler.
constexpr uint8_t Filler = 0x5A;

TEST(ArchiveLayout, EntryRecordFieldsAndTheirBytes)
{
    const Bytes expected = {0x44, 0x33, 0x22, 0x11,                          // id
                            0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01,  // offset
                            0x78, 0x56, 0x34, 0x12, 0xCD, 0xAB,              // stored size, 48 bits
                            0x83, Filler,                                    // flags
                            0xEF, 0xBE, Filler,                              // prefix length
                            0xFE};                                           // suffix length
    EntryRecord entry;
    entry.id = 0x11223344u;
    entry.offset = 0x0102030405060708ull;
    entry.storedSize = 0xABCD12345678ull;
    entry.flags = 0x83;
    entry.prefixLength = 0xBEEF;
    entry.suffixLength = 0xFE;
    Bytes written(ArchiveLayout::Entry::Size, Filler);
    WriteEntryRecord(written.data(), entry);
    EXPECT_EQ(written, expected);

    const EntryRecord read = ReadEntryRecord(expected.data());
    EXPECT_EQ(read.id, 0x11223344u);
    EXPECT_EQ(read.offset, 0x0102030405060708ull);
    EXPECT_EQ(read.storedSize, 0xABCD12345678ull);
    EXPECT_EQ(read.flags, 0x83);
    EXPECT_EQ(read.EncryptionMode(), 3);
    EXPECT_EQ(read.prefixLength, 0xBEEF);
    EXPECT_EQ(read.suffixLength, 0xFE);
    EXPECT_EQ(read.DataLength(), 188897262016139);
}

TEST(ArchiveLayout, TrailerFieldsAndTheirBytes)
{
    Bytes expected(ArchiveLayout::Trailer::Size, Filler);
    const auto put = [&](size_t at, const Bytes& bytes) { std::copy(bytes.begin(), bytes.end(), expected.begin() + at); };
    put(20, {0xD4, 0xC3, 0xB2, 0xA1});
    put(40, {0x04, 0x03, 0x02, 0x01});
    put(46, {0x1E});
    put(48, {0x88, 0x77, 0x66, 0x55});
    put(52, {0xB2, 0xAF, 0xB9, 0x8C});
    put(56, {0x24, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00});

    ArchiveTrailerRecord trailer;
    trailer.keySeed = 0xA1B2C3D4u;
    trailer.checkWord = 0x01020304u;
    trailer.blockCode = 0x1E;
    trailer.identificationA = 0x55667788u;
    trailer.identificationB = 0x8CB9AFB2u;
    trailer.indexLength = 0x100000024ull;
    Bytes written(ArchiveLayout::Trailer::Size, Filler);
    WriteArchiveTrailer(written.data(), trailer);
    EXPECT_EQ(written, expected);

    const ArchiveTrailerRecord read = ReadArchiveTrailer(expected.data());
    EXPECT_EQ(read.keySeed, 0xA1B2C3D4u);
    EXPECT_EQ(read.checkWord, 0x01020304u);
    EXPECT_EQ(read.blockCode, 0x1E);
    EXPECT_EQ(read.identificationA, 0x55667788u);
    EXPECT_EQ(read.identificationB, 0x8CB9AFB2u);
    EXPECT_EQ(read.indexLength, 0x100000024ull);
}

TEST(ArchiveLayout, HeaderIndexHeaderAndGroupRecordBytes)
{
    Bytes header(ArchiveLayout::Header::Size, Filler);
    WriteArchiveHeader(header.data(), ArchiveHeaderRecord{0x8CB9AFB2u, 0x11111111u, 0x22222222u, 0x724C555Au});
    const Bytes headerBytes = {0xB2, 0xAF, 0xB9, 0x8C, Filler, Filler, Filler, Filler,  // kind
                               0x11, 0x11, 0x11, 0x11, Filler, Filler, Filler, Filler,  // mask word 1
                               0x22, 0x22, 0x22, 0x22, Filler, Filler, Filler, Filler,  // mask word 2
                               'Z',  'U',  'L',  'r'};                                  // tag
    EXPECT_EQ(header, headerBytes);
    const ArchiveHeaderRecord readHeader = ReadArchiveHeader(headerBytes.data());
    EXPECT_EQ(readHeader.kind, 0x8CB9AFB2u);
    EXPECT_EQ(readHeader.maskWord1, 0x11111111u);
    EXPECT_EQ(readHeader.maskWord2, 0x22222222u);
    EXPECT_EQ(readHeader.tag, 0x724C555Au);

    Bytes index(ArchiveLayout::IndexHeader::Size, Filler);
    WriteIndexHeader(index.data(), IndexHeaderRecord{0x0000000200000010ull, 3});
    const Bytes indexBytes = {Filler, Filler, Filler, Filler, Filler, Filler, Filler, Filler,
                              0x10,   0x00,   0x00,   0x00,   0x02,   0x00,   0x00,   0x00,  // index offset
                              0x03,   0x00,   0x00,   0x00,                                  // group count
                              Filler, Filler, Filler, Filler, Filler, Filler, Filler, Filler};
    EXPECT_EQ(index, indexBytes);
    EXPECT_EQ(ReadIndexHeader(indexBytes.data()).indexOffset, 0x0000000200000010ull);
    EXPECT_EQ(ReadIndexHeader(indexBytes.data()).groupCount, 3u);

    Bytes group(ArchiveLayout::Group::Size, Filler);
    WriteGroupRecord(group.data(), GroupRecord{0x6D424753u, 0x01000002u, 99});  // firstEntry is not stored
    const Bytes groupBytes = {'S', 'G', 'B', 'm', 0x02, 0x00, 0x00, 0x01, Filler, Filler, Filler, Filler};
    EXPECT_EQ(group, groupBytes);
    const GroupRecord readGroup = ReadGroupRecord(groupBytes.data());
    EXPECT_EQ(readGroup.tag, 0x6D424753u);
    EXPECT_EQ(readGroup.entryCount, 0x01000002u);
    EXPECT_EQ(readGroup.firstEntry, 0u);
}

TEST(ArchiveLayout, IdentificationMaskNeedsACheckWordAndUndoesItself)
{
    const ArchiveHeaderRecord header{0x8CB9AFB2u, 0x0F0F0F0Fu, 0x12345678u, 0x724C555Au};
    ArchiveTrailerRecord trailer;
    trailer.identificationA = 0x01020304u;
    trailer.identificationB = 0x8CB9AFB2u;

    ApplyIdentificationMask(trailer, header);  // check word 0: stored as they are
    EXPECT_EQ(trailer.identificationA, 0x01020304u);
    EXPECT_EQ(trailer.identificationB, 0x8CB9AFB2u);

    trailer.checkWord = 1;
    ApplyIdentificationMask(trailer, header);
    EXPECT_EQ(trailer.identificationA, 0x9F8FFACEu);
    EXPECT_EQ(trailer.identificationB, 0xF1FAF5E7u);
    ApplyIdentificationMask(trailer, header);
    EXPECT_EQ(trailer.identificationA, 0x01020304u);
    EXPECT_EQ(trailer.identificationB, 0x8CB9AFB2u);
}

TEST(ArchiveLayout, BlockCodes)
{
    const struct {
        int blockShift;
        int interleaveShift;
        uint8_t code;
        int blockSize;
        int interleaveMask;
    } cases[] = {
        {0, 0, 0x00, 256, 1},
        {3, 0, 0x0C, 2048, 1},
        {5, 2, 0x16, 8192, 7},
        {7, 3, 0x1F, 32768, 15},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.code));
        EXPECT_EQ(MakeBlockCode(c.blockShift, c.interleaveShift), c.code);
        EXPECT_EQ(BlockSizeOf(c.code), c.blockSize);
        EXPECT_EQ(InterleaveMaskOf(c.code), c.interleaveMask);
    }
    // The top three bits mean nothing.
    EXPECT_EQ(BlockSizeOf(0xE1), 256);
    EXPECT_EQ(InterleaveMaskOf(0xE1), 3);
}

}  // namespace
