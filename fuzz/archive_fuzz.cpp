// Opens an archive from arbitrary bytes, as a side file and as a program
// file, and reads every entry through ResReadAt, ResLoadEntry, a cursor and
// both kinds of stream.
#include "ZULResourceUtilLib/ResArchive.h"
#include "ZULResourceUtilLib/TResReadStream.h"

#include <vector>

static void ReadEverything(ResArchive& archive)
{
    std::vector<uint8_t> buffer;
    for (int64_t group = 0; group < static_cast<int64_t>(archive.groups.size()); ++group) {
        for (int64_t entry = 0; entry < archive.groups[group].entryCount && entry < 64; ++entry) {
            const int64_t length = ResReadAt(archive, group, entry, 0, nullptr, 0);
            if (length < 0 || length > (1 << 20)) continue;
            buffer.assign(static_cast<size_t>(length) + 1, 0);
            ResReadAt(archive, group, entry, length / 3, buffer.data(), 0);
            ResLoadEntry(archive, group, entry);
            ResCursor cursor{*ResEntryRecordOf(archive, group, entry), 0};
            ResCursorSeek(archive, cursor, length / 2);
            ResCursorRead(archive, cursor, buffer.data(), length);
            for (bool fromCurrent : {false, true}) {
                ResCursorSeek(archive, cursor, length / 5);
                TResReadStream stream(&archive, fromCurrent, &cursor);
                const int64_t size = stream.Size();
                stream.Seek(size / 2, SeekOrigin::Beginning);
                stream.Read(buffer.data(), static_cast<int64_t>(buffer.size()));
            }
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (ResEmbedding embedding : {ResEmbedding::SideFile, ResEmbedding::ProgramFile}) {
        ResArchive archive;
        auto file = std::make_unique<MemoryFile>(std::vector<uint8_t>(data, data + size));
        if (ResOpenFile(archive, std::move(file), "fuzz.brsc", embedding, 0, ResArchiveKind) == 0)
            ReadEverything(archive);
    }
    return 0;
}
