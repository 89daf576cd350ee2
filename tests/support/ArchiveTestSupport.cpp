#include "tests/support/ArchiveTestSupport.h"

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
    layout.trailer = bytes.size() - ArchiveLayout::Trailer::Size;
    const uint64_t indexLength = ReadArchiveTrailer(bytes.data() + layout.trailer).indexLength;
    layout.indexBlock = layout.trailer - indexLength - ArchiveLayout::IndexHeader::Size;
    layout.dataBase = layout.indexBlock - ReadIndexHeader(bytes.data() + layout.indexBlock).indexOffset;
    return layout;
}
