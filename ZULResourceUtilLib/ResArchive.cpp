#include "ZULResourceUtilLib/ResArchive.h"

#include "ZULResourceUtilLib/ArchiveKey.h"
#include "platform/ProgramPaths.h"

#include <algorithm>
#include <new>
#include <system_error>

namespace {

namespace Layout = ArchiveLayout;

// The smallest file that can hold a header, an index header and a trailer.
constexpr uint64_t SmallestTrailerOffset = Layout::Header::Size + Layout::IndexHeader::Size;

bool ReadExactly(ReadOnlyFile& file, uint64_t offset, uint8_t* destination, size_t length)
{
    return file.Seek(offset) && file.Read(destination, length) == static_cast<int64_t>(length);
}

void DecodeBlockCode(ResArchive& archive, uint8_t blockCode)
{
    archive.blockSize = BlockSizeOf(blockCode);
    archive.blockMask = archive.blockSize - 1;
    archive.interleaveMask = InterleaveMaskOf(blockCode);
}

void SetUpCipher(ResArchive& archive, uint32_t keySeed)
{
    GenerateArchiveKey(keySeed, archive.keyBytes, archive.nonceBytes);
    if (AesMakeKey(&archive.key, AesDirectionDecrypt, 256, archive.keyBytes) == 1)
        AesCipherInit(&archive.cipher, AesModeCounter, archive.nonceBytes);
}

void DecryptIndexPiece(ResArchive& archive, uint8_t* piece, uint64_t length)
{
    AesCryptBuffer(&archive.cipher, &archive.key, piece, static_cast<int64_t>(length), piece);
}

// Walks the groups and their entry runs, decrypting each piece in place when
// the archive is encrypted. Nothing outside the index block is touched: a
// group table or an entry run that does not fit refuses the archive, and so
// does an entry whose stored bytes lie outside the file. Returns the check
// that refused it, or None.
ResOpenFailure LoadIndexTables(ResArchive& archive, uint32_t keySeed, uint8_t* index, uint64_t indexBlockLength,
                     uint64_t fileSize)
{
    const uint64_t groupCount = ReadIndexHeader(index).groupCount;
    const uint64_t groupTableEnd = Layout::IndexHeader::Size + groupCount * Layout::Group::Size;
    if (groupTableEnd > indexBlockLength) return ResOpenFailure::GroupTableOutsideIndex;

    archive.groups.reserve(groupCount);
    uint64_t entryCountSoFar = 0;
    for (uint64_t group = 0; group < groupCount; ++group) {
        uint8_t* groupBytes = index + Layout::IndexHeader::Size + group * Layout::Group::Size;
        if (keySeed != 0) DecryptIndexPiece(archive, groupBytes, Layout::Group::Size);
        GroupRecord record = ReadGroupRecord(groupBytes);
        record.firstEntry = entryCountSoFar;

        const uint64_t runStart = groupTableEnd + entryCountSoFar * Layout::Entry::Size;
        const uint64_t runLength = uint64_t{record.entryCount} * Layout::Entry::Size;
        if (runLength > indexBlockLength - runStart) return ResOpenFailure::EntryRunOutsideIndex;
        uint8_t* run = index + runStart;
        if (keySeed != 0) DecryptIndexPiece(archive, run, runLength);
        for (uint32_t entry = 0; entry < record.entryCount; ++entry) {
            const EntryRecord parsed = ReadEntryRecord(run + uint64_t{entry} * Layout::Entry::Size);
            const uint64_t room = fileSize - archive.dataBase;
            if (parsed.offset > room || parsed.storedSize > room - parsed.offset) return ResOpenFailure::EntryOutsideFile;
            archive.entries.push_back(parsed);
        }
        entryCountSoFar += record.entryCount;
        archive.groups.push_back(record);
    }
    return ResOpenFailure::None;
}

int FailOpen(ResArchive& archive, int errorNumber, ResOpenFailure failure)
{
    ResClose(archive);
    archive.openFailure = failure;
    return errorNumber;
}

const GroupRecord* GroupAt(const ResArchive& archive, int64_t groupIndex)
{
    if (groupIndex < 0 || static_cast<uint64_t>(groupIndex) >= archive.groups.size()) return nullptr;
    return &archive.groups[static_cast<size_t>(groupIndex)];
}

// The entry's record, or the status that says why there is none.
int64_t LookUpEntry(const ResArchive& archive, int64_t groupIndex, int64_t entryIndex, const EntryRecord*& entry)
{
    entry = nullptr;
    if (!archive.hasIndex) return ResStatusNoIndex;
    const GroupRecord* group = GroupAt(archive, groupIndex);
    if (group == nullptr) return ResStatusGroupOutOfRange;
    if (entryIndex < 0 || static_cast<uint64_t>(entryIndex) >= group->entryCount) return ResStatusEntryOutOfRange;
    entry = &archive.entries[static_cast<size_t>(group->firstEntry + static_cast<uint64_t>(entryIndex))];
    return 0;
}

// File offset of the first data byte, or false when it cannot be expressed.
bool DataStartOf(const ResArchive& archive, const EntryRecord& entry, uint64_t& start)
{
    return !__builtin_add_overflow(archive.dataBase, entry.offset, &start) &&
           !__builtin_add_overflow(start, uint64_t{entry.prefixLength}, &start);
}

int64_t ReadFile(ResArchive& archive, void* destination, int64_t length)
{
    return archive.file->Read(destination, static_cast<size_t>(length));
}

void Decrypt(ResArchive& archive, void* bytes, int64_t position, int64_t length)
{
    if (length <= 0) return;
    // Counter blocks are numbered from the 32-bit data position, as the
    // archive writer numbers them.
    auto* data = static_cast<uint8_t*>(bytes);
    AesCryptAt(&archive.cipher, &archive.key, data, static_cast<uint32_t>(position), length, data, nullptr);
}

// Interleaved entries encrypt every block whose number AND the interleave
// mask is 0. The bytes come in with one read; only the decryption goes block
// by block, split at the block borders.
void DecryptInterleaved(ResArchive& archive, uint8_t* bytes, int64_t position, int64_t length)
{
    while (length > 0) {
        const int64_t chunk = std::min<int64_t>(length, archive.blockSize - (position & archive.blockMask));
        const int64_t block = position / archive.blockSize;
        if ((block & archive.interleaveMask) == 0) Decrypt(archive, bytes, position, chunk);
        bytes += chunk;
        position += chunk;
        length -= chunk;
    }
}

} // namespace

ResArchive::ResArchive() = default;

ResArchive::~ResArchive()
{
    ResClose(*this);
}

int ResOpen(ResArchive& archive, const std::filesystem::path& path, uint32_t identificationA, uint32_t kind)
{
    std::filesystem::path resolved;
    ResEmbedding embedding = ResEmbedding::SideFile;
    if (path.empty()) {
        resolved = ProgramFilePath();
        embedding = ResEmbedding::ProgramFile;
    } else if (!path.has_parent_path()) {
        resolved = ProgramFolder() / path;
    } else {
        resolved = path;
    }

    std::error_code error;
    if (resolved.empty() || !std::filesystem::exists(resolved, error)) {
        // An archive that is open stays open.
        archive.openFailure = ResOpenFailure::NoFile;
        return ResErrorNoFile;
    }
    ResClose(archive);
    FileOpenFailure openFailure = FileOpenFailure::None;
    std::unique_ptr<ReadOnlyFile> file = OpenReadOnlyShared(resolved, &openFailure);
    if (!file)
        return FailOpen(archive, ResErrorNotOpen,
                        openFailure == FileOpenFailure::NotRegularFile ? ResOpenFailure::NotRegularFile
                                                                       : ResOpenFailure::CannotOpen);
    return ResOpenFile(archive, std::move(file), resolved, embedding, identificationA, kind);
}

int ResOpenFile(ResArchive& archive, std::unique_ptr<ReadOnlyFile> file, const std::filesystem::path& path,
                ResEmbedding embedding, uint32_t identificationA, uint32_t kind)
{
    if (!file) return FailOpen(archive, ResErrorNotOpen, ResOpenFailure::CannotOpen);
    ResClose(archive);
    archive.openFailure = ResOpenFailure::None;
    archive.file = std::move(file);
    ReadOnlyFile& input = *archive.file;

    const int64_t fileSize = input.Size();
    if (fileSize < 0) return FailOpen(archive, ResErrorReadFailed, ResOpenFailure::SizeUnknown);
    if (static_cast<uint64_t>(fileSize) < SmallestTrailerOffset + Layout::Trailer::Size)
        return FailOpen(archive, ResErrorInvalidArchive, ResOpenFailure::TooShort);
    const uint64_t trailerOffset = static_cast<uint64_t>(fileSize) - Layout::Trailer::Size;

    uint8_t trailerBytes[Layout::Trailer::Size];
    if (!ReadExactly(input, trailerOffset, trailerBytes, sizeof trailerBytes))
        return FailOpen(archive, ResErrorReadFailed, ResOpenFailure::TrailerUnreadable);
    ArchiveTrailerRecord trailer = ReadArchiveTrailer(trailerBytes);
    const uint32_t keySeed = trailer.keySeed;

    // The index block (its header and the tables) must lie between the
    // archive header and the trailer.
    if (trailer.indexLength > trailerOffset - SmallestTrailerOffset)
        return FailOpen(archive, ResErrorInvalidArchive, ResOpenFailure::IndexLengthOutsideFile);
    const uint64_t indexBlockLength = trailer.indexLength + Layout::IndexHeader::Size;
    const uint64_t indexBlockOffset = trailerOffset - indexBlockLength;

    DecodeBlockCode(archive, trailer.blockCode);
    if (keySeed != 0) SetUpCipher(archive, keySeed);

    std::unique_ptr<uint8_t[]> index(new (std::nothrow) uint8_t[indexBlockLength]);
    if (!index) return FailOpen(archive, ResErrorOutOfMemory, ResOpenFailure::NoMemoryForIndex);
    if (!ReadExactly(input, indexBlockOffset, index.get(), indexBlockLength))
        return FailOpen(archive, ResErrorReadFailed, ResOpenFailure::IndexUnreadable);
    if (keySeed != 0) DecryptIndexPiece(archive, index.get(), Layout::IndexHeader::Size);

    const uint64_t indexOffset = ReadIndexHeader(index.get()).indexOffset;
    if (indexOffset > indexBlockOffset || indexBlockOffset - indexOffset < Layout::Header::Size)
        return FailOpen(archive, ResErrorInvalidArchive, ResOpenFailure::DataBaseOutsideFile);
    archive.dataBase = indexBlockOffset - indexOffset;
    const bool embedded = embedding == ResEmbedding::ProgramFile || archive.dataBase > Layout::Header::Size;

    uint8_t headerBytes[Layout::Header::Size];
    if (!ReadExactly(input, archive.dataBase - Layout::Header::Size, headerBytes, sizeof headerBytes))
        return FailOpen(archive, ResErrorReadFailed, ResOpenFailure::HeaderUnreadable);
    const ArchiveHeaderRecord header = ReadArchiveHeader(headerBytes);

    ApplyIdentificationMask(trailer, header);
    if (trailer.identificationB != kind) return FailOpen(archive, ResErrorInvalidArchive, ResOpenFailure::KindMismatch);
    if (trailer.identificationA != identificationA)
        return FailOpen(archive, ResErrorInvalidArchive, ResOpenFailure::IdentificationMismatch);
    if (embedded && trailer.checkWord == 0)
        return FailOpen(archive, ResErrorInvalidArchive, ResOpenFailure::CheckWordMissing);
    if (embedded && !CheckWordPasses(trailer.checkWord, header.maskWord1, header.maskWord2))
        return FailOpen(archive, ResErrorInvalidArchive, ResOpenFailure::CheckWordMismatch);

    try {
        const ResOpenFailure tables =
            LoadIndexTables(archive, keySeed, index.get(), indexBlockLength, static_cast<uint64_t>(fileSize));
        if (tables != ResOpenFailure::None) return FailOpen(archive, ResErrorInvalidArchive, tables);
    } catch (const std::bad_alloc&) {
        return FailOpen(archive, ResErrorOutOfMemory, ResOpenFailure::NoMemoryForTables);
    }

    archive.identificationA = trailer.identificationA;
    archive.identificationB = trailer.identificationB;
    archive.keySeed = keySeed;
    archive.hasIndex = true;
    archive.path = path;
    return ResErrorNone;
}

int ResClose(ResArchive& archive)
{
    archive.file.reset();
    archive.hasIndex = false;
    archive.groups.clear();
    archive.groups.shrink_to_fit();
    archive.entries.clear();
    archive.entries.shrink_to_fit();
    archive.lastError = 0;
    archive.dataBase = 0;
    archive.identificationA = 0;
    archive.identificationB = 0;
    archive.path.clear();
    return 0;
}

std::string ResTagText(uint32_t tag)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const auto byte = static_cast<uint8_t>(tag >> (8 * i));
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            text += static_cast<char>(byte);
        } else {
            text += "\\x";
            text += digits[byte >> 4];
            text += digits[byte & 15];
        }
    }
    return text;
}

int64_t ResFindGroup(ResArchive& archive, uint32_t tag)
{
    if (!archive.hasIndex) return ResStatusNoIndex;
    for (size_t group = 0; group < archive.groups.size(); ++group)
        if (archive.groups[group].tag == tag) return static_cast<int64_t>(group);
    return ResStatusNotFound;
}

int64_t ResFindEntry(ResArchive& archive, int64_t groupIndex, uint32_t id)
{
    if (!archive.hasIndex) return ResStatusNoIndex;
    const GroupRecord* group = GroupAt(archive, groupIndex);
    if (group == nullptr) return ResStatusGroupOutOfRange;
    for (uint32_t entry = 0; entry < group->entryCount; ++entry)
        if (archive.entries[static_cast<size_t>(group->firstEntry + entry)].id == id) return entry;
    return ResStatusNotFound;
}

ResEntryLocation ResLocateEntry(ResArchive& archive, uint32_t tag, uint32_t id)
{
    ResEntryLocation location;
    location.group = ResFindGroup(archive, tag);
    location.entry = location.group < 0 ? location.group : ResFindEntry(archive, location.group, id);
    if (location.entry < 0) {
        archive.lastError = ResErrorNumber(location.entry);
        return location;
    }
    location.record = ResEntryRecordOf(archive, location.group, location.entry);
    return location;
}

const EntryRecord* ResEntryRecordOf(ResArchive& archive, int64_t groupIndex, int64_t entryIndex)
{
    const EntryRecord* entry = nullptr;
    const int64_t status = LookUpEntry(archive, groupIndex, entryIndex, entry);
    if (status < 0) archive.lastError = ResErrorNumber(status);
    return entry;
}

int64_t ResSeekEntry(ResArchive& archive, int64_t groupIndex, int64_t entryIndex)
{
    const EntryRecord* entry = nullptr;
    const int64_t status = LookUpEntry(archive, groupIndex, entryIndex, entry);
    if (status < 0) return status;
    if (entry->DataLength() < 0) return ResStatusSizesInconsistent;
    uint64_t start = 0;
    if (!DataStartOf(archive, *entry, start) || !archive.file->Seek(start)) return ResStatusSeekFailed;
    return static_cast<int64_t>(start);
}

int64_t ResReadAt(ResArchive& archive, int64_t groupIndex, int64_t entryIndex, int64_t offset, void* destination,
                  int64_t length)
{
    const EntryRecord* entry = nullptr;
    const int64_t status = LookUpEntry(archive, groupIndex, entryIndex, entry);
    if (status < 0) return status;
    const int64_t dataLength = entry->DataLength();
    if (dataLength < 0) return ResStatusSizesInconsistent;
    if (destination == nullptr) return dataLength;
    if (offset < 0 || offset > dataLength || length < 0) return ResStatusBadOffset;

    const int64_t left = dataLength - offset;
    if (length == 0 || length > left) length = left;
    if (length == 0) return 0;

    ResCursor cursor{*entry, 0};
    if (ResCursorSeek(archive, cursor, offset) < 0) return ResStatusSeekFailed;
    if (ResCursorRead(archive, cursor, destination, length) != length) return ResStatusShortRead;
    return length;
}

std::unique_ptr<uint8_t[]> ResLoadEntry(ResArchive& archive, int64_t groupIndex, int64_t entryIndex)
{
    const EntryRecord* entry = nullptr;
    const int64_t status = LookUpEntry(archive, groupIndex, entryIndex, entry);
    if (status < 0) {
        archive.lastError = ResErrorNumber(status);
        return nullptr;
    }
    const int64_t dataLength = entry->DataLength();
    if (dataLength < 0) {
        archive.lastError = ResErrorSizesInconsistent;
        return nullptr;
    }
    // At least one byte, so that an empty entry still gives a buffer.
    const uint64_t size = std::max<uint64_t>(entry->storedSize, 1);
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[size]);
    if (!buffer) {
        archive.lastError = ResErrorOutOfMemory;
        return nullptr;
    }
    const int64_t read = ResReadAt(archive, groupIndex, entryIndex, 0, buffer.get(), 0);
    if (read < 0) {
        archive.lastError = ResErrorNumber(read);
        return nullptr;
    }
    return buffer;
}

int64_t ResCursorSeek(ResArchive& archive, ResCursor& cursor, int64_t position)
{
    if (!archive.file || !archive.hasIndex) return ResStatusClosed;
    const int64_t dataLength = cursor.entry.DataLength();
    if (dataLength < 0) return ResStatusSizesInconsistent;
    if (position < 0 || position > dataLength) return ResStatusOutsideData;

    cursor.position = position;
    uint64_t target = 0;
    if (!DataStartOf(archive, cursor.entry, target) ||
        __builtin_add_overflow(target, static_cast<uint64_t>(position), &target) || !archive.file->Seek(target)) {
        cursor.position = 0;
        return ResStatusNotFound;
    }
    return static_cast<int64_t>(target);
}

int64_t ResCursorRead(ResArchive& archive, ResCursor& cursor, void* destination, int64_t length)
{
    if (!archive.file || !archive.hasIndex) return ResStatusClosed;
    const int64_t dataLength = cursor.entry.DataLength();
    if (dataLength < 0) return ResStatusSizesInconsistent;
    // A read never runs past the entry's data into its suffix or the next entry.
    const int64_t left = cursor.position >= 0 && cursor.position < dataLength ? dataLength - cursor.position : 0;
    length = std::min(length, left);
    if (length <= 0) return 0;

    auto* bytes = static_cast<uint8_t*>(destination);
    const int64_t position = cursor.position;
    const int mode = archive.keySeed != 0 ? cursor.entry.EncryptionMode() : 0;
    const int64_t got = ReadFile(archive, bytes, length);
    if (got < 0) return got;
    if (mode == 1 && position < ResHeadEncryptedLength)
        Decrypt(archive, bytes, position, std::min<int64_t>(got, ResHeadEncryptedLength - position));
    else if (mode == 2)
        DecryptInterleaved(archive, bytes, position, got);
    else if (mode == 3)
        Decrypt(archive, bytes, position, got);
    cursor.position += got;
    return got;
}

int ResErrorNumber(int64_t status)
{
    switch (status) {
    case ResStatusNotFound: return ResErrorNotFound;
    case ResStatusNoIndex: return ResErrorNotOpen;
    case ResStatusGroupOutOfRange: return ResErrorGroupOutOfRange;
    case ResStatusEntryOutOfRange: return ResErrorEntryOutOfRange;
    case ResStatusBadOffset: return ResErrorBadOffset;
    case ResStatusShortRead: return ResErrorReadFailed;
    case ResStatusSizesInconsistent: return ResErrorSizesInconsistent;
    case ResStatusSeekFailed: return ResErrorSeekFailed;
    case ResStatusClosed: return ResErrorClosed;
    default: return status >= 0 ? ResErrorNone : ResErrorOther;
    }
}

const char* ResErrorMeaning(int errorNumber)
{
    switch (errorNumber) {
    case ResErrorNone: return "success";
    case ResErrorBadOffset: return "bad offset";
    case ResErrorNoFile: return "archive file does not exist";
    case ResErrorInvalidArchive: return "not a valid archive";
    case ResErrorOutOfMemory: return "out of memory";
    case ResErrorReadFailed: return "read failed or came short";
    case ResErrorNotOpen: return "archive not open, or the file cannot be opened";
    case ResErrorGroupOutOfRange: return "group index out of range";
    case ResErrorEntryOutOfRange: return "entry index out of range";
    case ResErrorNotFound: return "not found";
    case ResErrorSizesInconsistent: return "entry sizes inconsistent";
    case ResErrorClosed: return "archive closed";
    case ResErrorSeekFailed: return "file seek failed";
    default: return "other failure";
    }
}

const char* ResOpenFailureText(ResOpenFailure failure)
{
    switch (failure) {
    case ResOpenFailure::None: return "";
    case ResOpenFailure::NoFile: return "the file does not exist";
    case ResOpenFailure::CannotOpen: return "the file cannot be opened for reading";
    case ResOpenFailure::NotRegularFile: return "not a regular file (a folder, pipe or device)";
    case ResOpenFailure::SizeUnknown: return "the file's size cannot be told";
    case ResOpenFailure::TooShort: return "the file is too short to hold an archive header, an index and a trailer";
    case ResOpenFailure::TrailerUnreadable: return "the trailer cannot be read";
    case ResOpenFailure::IndexLengthOutsideFile:
        return "the trailer's index length does not fit between the archive header and the trailer";
    case ResOpenFailure::NoMemoryForIndex: return "no memory for the index";
    case ResOpenFailure::IndexUnreadable: return "the index cannot be read";
    case ResOpenFailure::DataBaseOutsideFile:
        return "the index header's index offset leaves no room for the archive header (a damaged index, or a wrong "
               "key seed in the trailer)";
    case ResOpenFailure::HeaderUnreadable: return "the archive header cannot be read";
    case ResOpenFailure::KindMismatch:
        return "the archive kind read from the trailer and the archive header is not this program's";
    case ResOpenFailure::IdentificationMismatch:
        return "the identification read from the trailer and the archive header is not the one asked for";
    case ResOpenFailure::CheckWordMissing: return "an archive behind a program has no check word";
    case ResOpenFailure::CheckWordMismatch: return "the trailer's check word does not match the archive header";
    case ResOpenFailure::GroupTableOutsideIndex:
        return "the index's group table runs past the index (a damaged index, or a wrong key seed in the trailer)";
    case ResOpenFailure::EntryRunOutsideIndex:
        return "a group's entry records run past the index (a damaged index, or a wrong key seed in the trailer)";
    case ResOpenFailure::EntryOutsideFile: return "an entry's stored bytes lie outside the file";
    case ResOpenFailure::NoMemoryForTables: return "no memory for the index tables";
    }
    return "";
}
