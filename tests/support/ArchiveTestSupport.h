// Helpers for tests that build archives in memory and open them.
#pragma once

#include "ZULResourceUtilLib/ResArchive.h"
#include "tools/authoring/ArchiveWriter.h"

#include <cstdint>
#include <vector>

// Deterministic, non-repeating bytes (so that a read from the wrong place shows).
std::vector<uint8_t> PatternBytes(size_t length, uint32_t seed);

// Opens bytes as an archive file held in memory.
int OpenArchiveBytes(ResArchive& archive, const std::vector<uint8_t>& bytes,
                     ResEmbedding embedding = ResEmbedding::SideFile, uint32_t kind = ResArchiveKind);

// Where the parts of an unencrypted archive lie, read from its trailer and
// index header, so that tests can damage one field at a time.
struct PlainArchiveLayout {
    uint64_t trailer = 0;
    uint64_t indexBlock = 0;
    uint64_t dataBase = 0;
    uint64_t groupRecord(uint64_t group) const { return indexBlock + 28 + group * 12; }
    uint64_t entryRecord(uint64_t groupCount, uint64_t entry) const { return indexBlock + 28 + groupCount * 12 + entry * 24; }
};
PlainArchiveLayout LocatePlainArchive(const std::vector<uint8_t>& bytes);
