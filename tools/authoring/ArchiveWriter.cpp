#include "tools/authoring/ArchiveWriter.h"

#include "ZULResourceUtilLib/AESUnit.h"
#include "ZULResourceUtilLib/ArchiveKey.h"
#include "ZULResourceUtilLib/ArchiveLayout.h"
#include "ZULResourceUtilLib/ResArchive.h"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

namespace Layout = ArchiveLayout;

constexpr uint32_t HeaderTag = ResTag("ZULr");
// The check-word rule takes each seed bit from one of the two mask words.
constexpr uint32_t MaskWord1Bits = 0x6D54D8AAu;
constexpr uint32_t MaskWord2Bits = 0x92AB2755u;
constexpr uint64_t MaxStoredSize = (uint64_t{1} << 48) - 1;
// The counter-mode offset of an entry position is 32-bit: encrypted bytes
// must sit below 4 GiB of the entry's data to be addressable at all.
constexpr uint64_t MaxEncryptedEnd = uint64_t{1} << 32;

// A small deterministic generator (SplitMix64) for the free bits of the mask
// words, so that the same mask seed always gives the same file.
class MaskRandom {
public:
    explicit MaskRandom(uint32_t seed) : state_(0x5A554C7200000000ull ^ seed) {}

    uint32_t Next()
    {
        state_ += 0x9E3779B97F4A7C15ull;
        uint64_t z = state_;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<uint32_t>((z ^ (z >> 31)) >> 16);
    }

private:
    uint64_t state_;
};

struct Identification {
    uint32_t maskWord1 = 0;
    uint32_t maskWord2 = 0;
    uint32_t checkWord = 0;
};

Identification ChooseIdentification(CheckWordChoice choice, uint32_t maskSeed)
{
    MaskRandom random(maskSeed);
    Identification result;
    if (choice == CheckWordChoice::None) {
        result.maskWord1 = random.Next();
        result.maskWord2 = random.Next();
        return result;
    }
    // Work backwards from a generator seed: its result becomes the check
    // word, and the mask words are set so that check word and masks lead to
    // that seed again. A seed of 0 would seed the generator from the clock.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const int32_t seed = static_cast<int32_t>(random.Next() & 0x7FFFFFFFu);
        if (seed == 0) continue;
        const uint32_t checkWord = CheckWordResult(seed);
        if (checkWord == 0) continue;
        const uint32_t wanted = checkWord ^ static_cast<uint32_t>(seed);
        result.maskWord1 = (wanted & MaskWord1Bits) | (random.Next() & ~MaskWord1Bits);
        result.maskWord2 = (wanted & MaskWord2Bits) | (random.Next() & ~MaskWord2Bits);
        result.checkWord = checkWord;
        if (!CheckWordPasses(result.checkWord, result.maskWord1, result.maskWord2)) continue;
        if (choice == CheckWordChoice::Passing) return result;
        // A failing archive keeps masks of a passing one and a wrong, non-zero
        // check word, so that only the check-word rule rejects it.
        for (int tries = 0; tries < 1000; ++tries) {
            const uint32_t wrong = random.Next();
            if (wrong != 0 && !CheckWordPasses(wrong, result.maskWord1, result.maskWord2)) {
                result.checkWord = wrong;
                return result;
            }
        }
    }
    throw std::runtime_error("ArchiveWriter: no check word could be chosen");
}

void ValidateOptions(const ArchiveOptions& options)
{
    if (options.blockShift < 0 || options.blockShift > 7)
        throw std::invalid_argument("ArchiveWriter: block shift must be 0..7, got " + std::to_string(options.blockShift));
    if (options.interleaveShift < 0 || options.interleaveShift > 3)
        throw std::invalid_argument("ArchiveWriter: interleave shift must be 0..3, got " +
                                    std::to_string(options.interleaveShift));
    if (options.checkWord != CheckWordChoice::None && options.checkWord != CheckWordChoice::Passing &&
        options.checkWord != CheckWordChoice::Failing)
        throw std::invalid_argument("ArchiveWriter: unknown check word choice");
}

void ValidateEntry(const ArchiveEntrySource& entry, bool encrypted)
{
    const std::string name = "ArchiveWriter: entry " + std::to_string(entry.id) + ": ";
    if (entry.encryptionMode < 0 || entry.encryptionMode > 3)
        throw std::invalid_argument(name + "encryption mode must be 0..3, got " + std::to_string(entry.encryptionMode));
    if (entry.prefix.size() > 0xFFFF)
        throw std::invalid_argument(name + "prefix longer than 65535 bytes");
    if (entry.suffix.size() > 0xFF)
        throw std::invalid_argument(name + "suffix longer than 255 bytes");
    if (entry.data.size() > MaxStoredSize - entry.prefix.size() - entry.suffix.size())
        throw std::invalid_argument(name + "stored size does not fit 48 bits");
    const bool encryptsBeyondHead = entry.encryptionMode == 2 || entry.encryptionMode == 3;
    if (encrypted && encryptsBeyondHead && entry.data.size() > MaxEncryptedEnd)
        throw std::invalid_argument(name + "encrypted data longer than 4 GiB cannot be addressed");
}

struct Group {
    uint32_t tag = 0;
    std::vector<const ArchiveEntrySource*> entries;
};

std::vector<Group> GroupEntries(const std::vector<ArchiveEntrySource>& entries)
{
    std::vector<Group> groups;
    for (const ArchiveEntrySource& entry : entries) {
        auto group = std::find_if(groups.begin(), groups.end(), [&](const Group& g) { return g.tag == entry.tag; });
        if (group == groups.end()) {
            groups.push_back(Group{entry.tag, {}});
            group = groups.end() - 1;
        }
        group->entries.push_back(&entry);
    }
    return groups;
}

struct ArchiveCipher {
    AesKey key;
    AesCipher cipher;

    explicit ArchiveCipher(uint32_t keySeed)
    {
        uint8_t keyBytes[32] = {};
        uint8_t nonceBytes[16] = {};
        GenerateArchiveKey(keySeed, keyBytes, nonceBytes);
        // The reader sets up a direction-1 key; counter mode only ever
        // encrypts counter blocks, so the same key serves the writer.
        if (AesMakeKey(&key, AesDirectionDecrypt, 256, keyBytes) != 1 || AesCipherInit(&cipher, AesModeCounter, nonceBytes) != 1)
            throw std::runtime_error("ArchiveWriter: the archive key could not be set up");
    }

    // Counter-mode transform of data positions [position, position + length).
    void CryptAt(uint8_t* bytes, uint64_t position, uint64_t length) const
    {
        if (length == 0) return;
        AesCryptAt(&cipher, &key, bytes, static_cast<uint32_t>(position), static_cast<int64_t>(length), bytes, nullptr);
    }

    // One index piece: its own counter sequence from block 0.
    void CryptPiece(uint8_t* bytes, uint64_t length) const
    {
        if (length == 0) return;
        AesCryptBuffer(&cipher, &key, bytes, static_cast<int64_t>(length), bytes);
    }
};

void EncryptData(const ArchiveCipher& cipher, int mode, uint8_t* data, uint64_t length, uint64_t blockSize,
                 uint64_t interleaveMask)
{
    switch (mode) {
    case 1:
        cipher.CryptAt(data, 0, std::min<uint64_t>(length, ResHeadEncryptedLength));
        break;
    case 2:
        for (uint64_t start = 0; start < length; start += blockSize) {
            const uint64_t block = start / blockSize;
            if ((block & interleaveMask) == 0) cipher.CryptAt(data + start, start, std::min(blockSize, length - start));
        }
        break;
    case 3:
        cipher.CryptAt(data, 0, length);
        break;
    default:
        break;
    }
}

}  // namespace

std::vector<uint8_t> ArchiveWriter::BuildBehind(const std::vector<uint8_t>& executableImage) const
{
    ValidateOptions(options_);
    const bool encrypted = options_.keySeed != 0;
    for (const ArchiveEntrySource& entry : entries_) ValidateEntry(entry, encrypted);

    const std::vector<Group> groups = GroupEntries(entries_);
    const uint64_t blockSize = uint64_t{256} << options_.blockShift;
    const uint64_t interleaveMask = (uint64_t{2} << options_.interleaveShift) - 1;
    const Identification identification = ChooseIdentification(options_.checkWord, options_.maskSeed);

    uint64_t storedTotal = 0;
    for (const ArchiveEntrySource& entry : entries_)
        storedTotal += entry.prefix.size() + entry.data.size() + entry.suffix.size();
    const uint64_t indexLength =
        groups.size() * uint64_t{Layout::Group::Size} + entries_.size() * uint64_t{Layout::Entry::Size};

    std::vector<uint8_t> file;
    file.reserve(executableImage.size() + Layout::Header::Size + storedTotal + Layout::IndexHeader::Size + indexLength +
                 Layout::Trailer::Size);
    file.insert(file.end(), executableImage.begin(), executableImage.end());

    ArchiveHeaderRecord header;
    header.kind = options_.kind;
    header.maskWord1 = identification.maskWord1;
    header.maskWord2 = identification.maskWord2;
    header.tag = HeaderTag;
    const size_t headerOffset = file.size();
    file.resize(headerOffset + Layout::Header::Size, 0);
    WriteArchiveHeader(&file[headerOffset], header);
    const uint64_t dataBase = file.size();

    std::unique_ptr<ArchiveCipher> cipher;
    if (encrypted) cipher = std::make_unique<ArchiveCipher>(options_.keySeed);

    // Data area, in index order; each entry's record remembers its offset.
    std::vector<uint64_t> entryOffsets;
    for (const Group& group : groups) {
        for (const ArchiveEntrySource* entry : group.entries) {
            entryOffsets.push_back(file.size() - dataBase);
            file.insert(file.end(), entry->prefix.begin(), entry->prefix.end());
            const size_t dataStart = file.size();
            file.insert(file.end(), entry->data.begin(), entry->data.end());
            if (cipher)
                EncryptData(*cipher, entry->encryptionMode, file.data() + dataStart, entry->data.size(), blockSize,
                            interleaveMask);
            file.insert(file.end(), entry->suffix.begin(), entry->suffix.end());
        }
    }

    // Index block: IndexHeader, GroupRecords, then each group's run of EntryRecords.
    const size_t indexOffset = file.size();
    file.resize(indexOffset + Layout::IndexHeader::Size + indexLength, 0);
    uint8_t* const indexHeader = &file[indexOffset];
    WriteIndexHeader(indexHeader, IndexHeaderRecord{indexOffset - dataBase, static_cast<uint32_t>(groups.size())});

    uint8_t* const groupRecords = indexHeader + Layout::IndexHeader::Size;
    uint8_t* const entryRecords = groupRecords + groups.size() * Layout::Group::Size;
    size_t entryIndex = 0;
    for (size_t g = 0; g < groups.size(); ++g) {
        uint8_t* const groupRecord = groupRecords + g * Layout::Group::Size;
        WriteGroupRecord(groupRecord, GroupRecord{groups[g].tag, static_cast<uint32_t>(groups[g].entries.size()), 0});

        uint8_t* const run = entryRecords + entryIndex * Layout::Entry::Size;
        for (const ArchiveEntrySource* entry : groups[g].entries) {
            EntryRecord record;
            record.id = entry->id;
            record.offset = entryOffsets[entryIndex];
            record.storedSize = entry->prefix.size() + entry->data.size() + entry->suffix.size();
            record.flags = static_cast<uint8_t>(entry->encryptionMode);
            record.prefixLength = static_cast<uint16_t>(entry->prefix.size());
            record.suffixLength = static_cast<uint8_t>(entry->suffix.size());
            WriteEntryRecord(entryRecords + entryIndex * Layout::Entry::Size, record);
            ++entryIndex;
        }
        if (cipher) {
            cipher->CryptPiece(groupRecord, Layout::Group::Size);
            cipher->CryptPiece(run, groups[g].entries.size() * uint64_t{Layout::Entry::Size});
        }
    }
    if (cipher) cipher->CryptPiece(indexHeader, Layout::IndexHeader::Size);

    ArchiveTrailerRecord trailer;
    trailer.keySeed = options_.keySeed;
    trailer.checkWord = identification.checkWord;
    trailer.blockCode = MakeBlockCode(options_.blockShift, options_.interleaveShift);
    trailer.identificationA = options_.identificationA;
    trailer.identificationB = options_.kind;
    trailer.indexLength = indexLength;
    ApplyIdentificationMask(trailer, header);
    const size_t trailerOffset = file.size();
    file.resize(trailerOffset + Layout::Trailer::Size, 0);
    WriteArchiveTrailer(&file[trailerOffset], trailer);
    return file;
}
