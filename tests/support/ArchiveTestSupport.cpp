#include "tests/support/ArchiveTestSupport.h"

#include "ZULResourceUtilLib/LittleEndian.h"
#include "platform/ReadOnlyFile.h"

#include <memory>

ArchiveOptions BlockCodeOptions(uint32_t keySeed, int blockShift, int interleaveShift)
{
    ArchiveOptions options;
    options.keySeed = keySeed;
    options.blockShift = blockShift;
    options.interleaveShift = interleaveShift;
    return options;
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
