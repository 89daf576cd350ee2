// One fuzz input stored as the only entry of an in-memory archive, so that a
// target reads it through the archive as the saver does: interleaved and
// encrypted in mode 2, with 256-byte blocks so that both reach inside small
// entries. No check word, so that any key seed opens.
//
// OpenSingleEntryArchive opens `archive` over that archive and returns the
// entry's record (group 0, entry 0); it aborts when the writer's own output
// does not open, which is a fault the fuzzer must report.
#pragma once

#include "platform/ReadOnlyFile.h"
#include "tools/authoring/ArchiveWriter.h"
#include "ZULResourceUtilLib/ResArchive.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

inline const EntryRecord& OpenSingleEntryArchive(ResArchive& archive, uint32_t tag, uint32_t id,
                                                 const std::vector<uint8_t>& entry, uint32_t keySeed,
                                                 const char* name)
{
    ArchiveOptions options;
    options.keySeed = keySeed;
    options.blockShift = 0;
    options.interleaveShift = 0;
    options.checkWord = CheckWordChoice::None;
    ArchiveWriter writer(options);
    writer.Add({tag, id, 2, entry});
    if (ResOpenFile(archive, std::make_unique<MemoryFile>(writer.Build()), name, ResEmbedding::SideFile, 0,
                    ResArchiveKind) != ResErrorNone)
        std::abort();
    const EntryRecord* record = ResEntryRecordOf(archive, 0, 0);
    if (record == nullptr) std::abort();
    return *record;
}
