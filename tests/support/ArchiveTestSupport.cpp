#include "tests/support/ArchiveTestSupport.h"

#include "ZULResourceUtilLib/LittleEndian.h"
#include "platform/ReadOnlyFile.h"

#include <memory>

std::vector<uint8_t> PatternBytes(size_t length, uint32_t seed)
{
    std::vector<uint8_t> bytes(length);
    uint32_t state = seed * 2654435761u + 1;
    for (auto& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return bytes;
}

int OpenArchiveBytes(ResArchive& archive, const std::vector<uint8_t>& bytes, ResEmbedding embedding, uint32_t kind)
{
    return ResOpenFile(archive, std::make_unique<MemoryFile>(bytes), "memory.brsc", embedding, 0, kind);
}

PlainArchiveLayout LocatePlainArchive(const std::vector<uint8_t>& bytes)
{
    PlainArchiveLayout layout;
    layout.trailer = bytes.size() - 64;
    const uint64_t indexLength = ReadLe64(bytes.data() + layout.trailer + 56);
    layout.indexBlock = layout.trailer - indexLength - 28;
    layout.dataBase = layout.indexBlock - ReadLe64(bytes.data() + layout.indexBlock + 8);
    return layout;
}
