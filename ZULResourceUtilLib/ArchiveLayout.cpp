#include "ZULResourceUtilLib/ArchiveLayout.h"

#include "ZULResourceUtilLib/LittleEndian.h"

using namespace ArchiveLayout;

ArchiveHeaderRecord ReadArchiveHeader(const uint8_t* bytes)
{
    ArchiveHeaderRecord header;
    header.kind = ReadLe32(bytes + Header::Kind);
    header.maskWord1 = ReadLe32(bytes + Header::MaskWord1);
    header.maskWord2 = ReadLe32(bytes + Header::MaskWord2);
    header.tag = ReadLe32(bytes + Header::Tag);
    return header;
}

void WriteArchiveHeader(uint8_t* bytes, const ArchiveHeaderRecord& header)
{
    WriteLe32(bytes + Header::Kind, header.kind);
    WriteLe32(bytes + Header::MaskWord1, header.maskWord1);
    WriteLe32(bytes + Header::MaskWord2, header.maskWord2);
    WriteLe32(bytes + Header::Tag, header.tag);
}

IndexHeaderRecord ReadIndexHeader(const uint8_t* bytes)
{
    IndexHeaderRecord header;
    header.indexOffset = ReadLe64(bytes + IndexHeader::IndexOffset);
    header.groupCount = ReadLe32(bytes + IndexHeader::GroupCount);
    return header;
}

void WriteIndexHeader(uint8_t* bytes, const IndexHeaderRecord& header)
{
    WriteLe64(bytes + IndexHeader::IndexOffset, header.indexOffset);
    WriteLe32(bytes + IndexHeader::GroupCount, header.groupCount);
}

GroupRecord ReadGroupRecord(const uint8_t* bytes)
{
    GroupRecord group;
    group.tag = ReadLe32(bytes + Group::Tag);
    group.entryCount = ReadLe32(bytes + Group::EntryCount);
    return group;
}

void WriteGroupRecord(uint8_t* bytes, const GroupRecord& group)
{
    WriteLe32(bytes + Group::Tag, group.tag);
    WriteLe32(bytes + Group::EntryCount, group.entryCount);
}

EntryRecord ReadEntryRecord(const uint8_t* bytes)
{
    EntryRecord entry;
    entry.id = ReadLe32(bytes + Entry::Id);
    entry.offset = ReadLe64(bytes + Entry::Offset);
    entry.storedSize =
        ReadLe32(bytes + Entry::StoredSizeLow) | static_cast<uint64_t>(ReadLe16(bytes + Entry::StoredSizeHigh)) << 32;
    entry.flags = bytes[Entry::Flags];
    entry.prefixLength = ReadLe16(bytes + Entry::PrefixLength);
    entry.suffixLength = bytes[Entry::SuffixLength];
    return entry;
}

void WriteEntryRecord(uint8_t* bytes, const EntryRecord& entry)
{
    WriteLe32(bytes + Entry::Id, entry.id);
    WriteLe64(bytes + Entry::Offset, entry.offset);
    WriteLe32(bytes + Entry::StoredSizeLow, static_cast<uint32_t>(entry.storedSize));
    WriteLe16(bytes + Entry::StoredSizeHigh, static_cast<uint16_t>(entry.storedSize >> 32));
    bytes[Entry::Flags] = entry.flags;
    WriteLe16(bytes + Entry::PrefixLength, entry.prefixLength);
    bytes[Entry::SuffixLength] = entry.suffixLength;
}

int64_t EntryRecord::DataLength() const
{
    return static_cast<int64_t>(storedSize) - prefixLength - suffixLength;
}

ArchiveTrailerRecord ReadArchiveTrailer(const uint8_t* bytes)
{
    ArchiveTrailerRecord trailer;
    trailer.keySeed = ReadLe32(bytes + Trailer::KeySeed);
    trailer.checkWord = ReadLe32(bytes + Trailer::CheckWord);
    trailer.blockCode = bytes[Trailer::BlockCode];
    trailer.identificationA = ReadLe32(bytes + Trailer::IdentificationA);
    trailer.identificationB = ReadLe32(bytes + Trailer::IdentificationB);
    trailer.indexLength = ReadLe64(bytes + Trailer::IndexLength);
    return trailer;
}

void WriteArchiveTrailer(uint8_t* bytes, const ArchiveTrailerRecord& trailer)
{
    WriteLe32(bytes + Trailer::KeySeed, trailer.keySeed);
    WriteLe32(bytes + Trailer::CheckWord, trailer.checkWord);
    bytes[Trailer::BlockCode] = trailer.blockCode;
    WriteLe32(bytes + Trailer::IdentificationA, trailer.identificationA);
    WriteLe32(bytes + Trailer::IdentificationB, trailer.identificationB);
    WriteLe64(bytes + Trailer::IndexLength, trailer.indexLength);
}

void ApplyIdentificationMask(ArchiveTrailerRecord& trailer, const ArchiveHeaderRecord& header)
{
    if (trailer.checkWord == 0) return;
    trailer.identificationA ^= header.maskWord2 ^ header.kind;
    trailer.identificationB ^= header.maskWord1 ^ header.tag;
}
