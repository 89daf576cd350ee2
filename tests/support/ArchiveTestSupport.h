// Helpers for tests that build archives in memory and open them.
#pragma once

#include "ZULResourceUtilLib/ArchiveLayout.h"
#include "ZULResourceUtilLib/ResArchive.h"
#include "tests/support/TestBytes.h"  // PatternBytes, for entry data
#include "tools/authoring/ArchiveWriter.h"

#include <cstdint>
#include <vector>

// Writer options with this key seed and block code, the rest as by default.
ArchiveOptions BlockCodeOptions(uint32_t keySeed, int blockShift, int interleaveShift);

// Opens bytes as an archive file held in memory.
int OpenArchiveBytes(ResArchive& archive, const std::vector<uint8_t>& bytes,
                     ResEmbedding embedding = ResEmbedding::SideFile, uint32_t kind = ResArchiveKind);

// Where the records of an unencrypted archive lie, read from its trailer and
// index header, so that tests can damage one field at a time (at the record's
// offset plus the field's ArchiveLayout offset).
struct PlainArchiveLayout {
    uint64_t trailer = 0;
    uint64_t indexBlock = 0;
    uint64_t dataBase = 0;
    uint64_t header() const { return dataBase - ArchiveLayout::Header::Size; }
    uint64_t groupRecord(uint64_t group) const
    {
        return indexBlock + ArchiveLayout::IndexHeader::Size + group * ArchiveLayout::Group::Size;
    }
    uint64_t entryRecord(uint64_t groupCount, uint64_t entry) const
    {
        return groupRecord(groupCount) + entry * ArchiveLayout::Entry::Size;
    }
};
PlainArchiveLayout LocatePlainArchive(const std::vector<uint8_t>& bytes);
