// ResArchive: the reader of the encrypted resource archive.
//
// An archive file is [anything] [archive header] [data area] [index block]
// [trailer], laid out as ArchiveLayout.h describes. The reader checks the
// archive's identity, loads and decrypts its index, finds entries by group tag
// and id, and reads entry data, decrypting what the entry's mode marks as
// encrypted.
//
// Errors never throw. Operations return negative statuses (the Res* status
// constants below); ResOpen returns an error number (ResError* constants) and
// lookups store the number for their status in lastError. Every count, offset
// and length read from the file is checked before use: an index that does not
// fit its block or entries that point outside the file are refused with
// ResErrorInvalidArchive. Beside its error number, ResOpen records in
// openFailure which of its checks refused the file, for tools to say more
// than "not a valid archive"; the number stays what callers act on.
//
// Positions inside an entry are positions within its data (0 is the first
// data byte, after the prefix). One ResArchive has one file handle and is used
// by one activity at a time; ResCursorRead reads wherever the last seek on
// that handle left it.
#pragma once

#include "ZULResourceUtilLib/AESUnit.h"
#include "ZULResourceUtilLib/ArchiveLayout.h"
#include "ZULResourceUtilLib/LzssCodec.h"
#include "ZULResourceUtilLib/ZlibCodec.h"
#include "platform/ReadOnlyFile.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// Statuses (negative results of the low-level operations).
enum : int64_t {
    ResStatusNotFound = -1,
    ResStatusNoIndex = -2,
    ResStatusGroupOutOfRange = -3,
    ResStatusEntryOutOfRange = -4,
    ResStatusBadOffset = -5,
    ResStatusShortRead = -6,
    ResStatusSizesInconsistent = -7,
    ResStatusSeekFailed = -8,
    ResStatusClosed = -9,
    ResStatusOutsideData = -10,
};

// Error numbers (ResOpen's result, lastError).
enum : int {
    ResErrorNone = 0,
    ResErrorOther = 1,
    ResErrorBadOffset = 2,
    ResErrorNoFile = 4,
    ResErrorInvalidArchive = 5,
    ResErrorOutOfMemory = 6,
    ResErrorReadFailed = 8,
    ResErrorNotOpen = 10,
    ResErrorGroupOutOfRange = 14,
    ResErrorEntryOutOfRange = 15,
    ResErrorNotFound = 16,
    ResErrorSizesInconsistent = 17,
    ResErrorClosed = 18,
    ResErrorSeekFailed = 20,
};

// Which check of ResOpen / ResOpenFile refused the file (ResOpenFailureText
// words it). The error number each goes with is given after it.
enum class ResOpenFailure : uint8_t {
    None,
    NoFile,                  // ResErrorNoFile
    CannotOpen,              // ResErrorNotOpen: the system would not open it
    NotRegularFile,          // ResErrorNotOpen: a folder, FIFO or device
    SizeUnknown,             // ResErrorReadFailed
    TooShort,                // ResErrorInvalidArchive: no room for header, index header and trailer
    TrailerUnreadable,       // ResErrorReadFailed
    IndexLengthOutsideFile,  // ResErrorInvalidArchive: the trailer's index length
    NoMemoryForIndex,        // ResErrorOutOfMemory
    IndexUnreadable,         // ResErrorReadFailed
    DataBaseOutsideFile,     // ResErrorInvalidArchive: the index header's index offset
    HeaderUnreadable,        // ResErrorReadFailed
    KindMismatch,            // ResErrorInvalidArchive: the identification B word against `kind`
    IdentificationMismatch,  // ResErrorInvalidArchive: the identification A word
    CheckWordMissing,        // ResErrorInvalidArchive: an embedded archive with check word 0
    CheckWordMismatch,       // ResErrorInvalidArchive
    GroupTableOutsideIndex,  // ResErrorInvalidArchive: the group count
    EntryRunOutsideIndex,    // ResErrorInvalidArchive: a group's entry count
    EntryOutsideFile,        // ResErrorInvalidArchive: an entry's offset and stored size
    NoMemoryForTables,       // ResErrorOutOfMemory
};

// The archive kind of this program's archives.
constexpr uint32_t ResArchiveKind = 0x8CB9AFB2u;
// How much of an entry's data encryption mode 1 (the head) encrypts.
constexpr int ResHeadEncryptedLength = 1024;

// A group tag: four ASCII characters read as one little-endian 32-bit value.
constexpr uint32_t ResTag(const char (&text)[5])
{
    return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) | static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24;
}
// A tag as text for messages and listings: printable ASCII characters as they
// are, any other byte (and the backslash, so that the text reads back
// unambiguously) as \xNN in lower-case hex. ResTag("SGBm") gives "SGBm".
std::string ResTagText(uint32_t tag);
constexpr uint32_t ResTagScenario = ResTag("SSSc");
constexpr uint32_t ResTagInformation = ResTag("SSIf");
constexpr uint32_t ResTagPicture = ResTag("SGBm");
constexpr uint32_t ResTagSound = ResTag("SSWv");

struct ResCursor {
    EntryRecord entry;
    int64_t position = 0;
};

struct ResArchive {
    ResArchive();
    ~ResArchive();
    ResArchive(const ResArchive&) = delete;
    ResArchive& operator=(const ResArchive&) = delete;

    uint32_t keySeed = 0;
    bool hasIndex = false;
    std::vector<GroupRecord> groups;
    std::vector<EntryRecord> entries;
    std::unique_ptr<ReadOnlyFile> file;
    int lastError = 0;
    // Set by every ResOpen and ResOpenFile (None after a success); ResClose
    // leaves it, so that it still tells why after the failed open closed.
    ResOpenFailure openFailure = ResOpenFailure::None;
    uint64_t dataBase = 0;
    uint32_t identificationA = 0;
    uint32_t identificationB = 0;
    std::filesystem::path path;
    AesKey key;
    AesCipher cipher;
    int blockSize = 2048;
    int blockMask = 2047;
    int interleaveMask = 1;
    uint8_t keyBytes[32] = {};
    uint8_t nonceBytes[16] = {};
    LzssCodec lzss;
    ZlibCodec zlib;
};

// How ResOpenFile treats an archive whose header starts at offset 0.
enum class ResEmbedding { SideFile, ProgramFile };

// path: empty = the running executable (counts as embedded); a bare file name
// is taken from the executable's folder; anything else is used as given.
int ResOpen(ResArchive& archive, const std::filesystem::path& path, uint32_t identificationA, uint32_t kind);
// The same over a file the caller opened (tests, fuzzers, in-memory archives).
int ResOpenFile(ResArchive& archive, std::unique_ptr<ReadOnlyFile> file, const std::filesystem::path& path,
                ResEmbedding embedding, uint32_t identificationA, uint32_t kind);
int ResClose(ResArchive& archive);

int64_t ResFindGroup(ResArchive& archive, uint32_t tag);
int64_t ResFindEntry(ResArchive& archive, int64_t groupIndex, uint32_t id);

// Where ResLocateEntry found an entry: its group's index, its index within the
// group and its record. When the lookup fails, record is null and `entry`
// holds the status of the step that failed; `group` holds it too when the
// group itself is missing (so group >= 0 there means: the group is there, the
// entry is not).
struct ResEntryLocation {
    int64_t group = ResStatusNotFound;
    int64_t entry = ResStatusNotFound;
    const EntryRecord* record = nullptr;

    bool Found() const { return record != nullptr; }
};
// The entry `id` of the group tagged `tag`: ResFindGroup, ResFindEntry and
// ResEntryRecordOf in one call. A failed lookup stores its status's error
// number in lastError (ResErrorNotFound for a missing group or entry); a
// successful one leaves lastError alone.
ResEntryLocation ResLocateEntry(ResArchive& archive, uint32_t tag, uint32_t id);
const EntryRecord* ResEntryRecordOf(ResArchive& archive, int64_t groupIndex, int64_t entryIndex);
int64_t ResSeekEntry(ResArchive& archive, int64_t groupIndex, int64_t entryIndex);
int64_t ResReadAt(ResArchive& archive, int64_t groupIndex, int64_t entryIndex, int64_t offset, void* destination,
                  int64_t length);
// The whole data of an entry in a buffer the caller owns; null on failure,
// with lastError set.
std::unique_ptr<uint8_t[]> ResLoadEntry(ResArchive& archive, int64_t groupIndex, int64_t entryIndex);
int64_t ResCursorSeek(ResArchive& archive, ResCursor& cursor, int64_t position);
int64_t ResCursorRead(ResArchive& archive, ResCursor& cursor, void* destination, int64_t length);

int ResErrorNumber(int64_t status);
// A short English description of an error number, for tools and messages.
const char* ResErrorMeaning(int errorNumber);
// The check that failed, in a few English words ("the trailer's check word
// does not match the archive header"); "" for None.
const char* ResOpenFailureText(ResOpenFailure failure);
