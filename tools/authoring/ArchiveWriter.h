// ArchiveWriter: builds resource archives that the reader accepts, for the
// authoring tool, the demo content and the tests.
//
// The writer lays out [executable image, if any] [ArchiveHeader] [entries]
// [index block] [trailer]. With a key seed other than 0 it derives the key
// and nonce as the reader does, encrypts each entry's data by its mode and
// stores the index encrypted piece by piece. An archive behind an executable
// image gets mask words and a check word that pass the check-word rule;
// a side file may go without (check word 0, identification unmasked).
//
// Entries keep their order of addition within their group; groups are stored
// in the order their tags first appear.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct ArchiveEntrySource {
    // A constructor rather than aggregate initialisation, so that callers may
    // leave out prefix and suffix without -Wmissing-field-initializers.
    ArchiveEntrySource() = default;
    ArchiveEntrySource(uint32_t tag_, uint32_t id_, int encryptionMode_, std::vector<uint8_t> data_,
                       std::vector<uint8_t> prefix_ = {}, std::vector<uint8_t> suffix_ = {})
        : tag(tag_), id(id_), encryptionMode(encryptionMode_), data(std::move(data_)), prefix(std::move(prefix_)),
          suffix(std::move(suffix_))
    {
    }

    uint32_t tag = 0;
    uint32_t id = 0;
    int encryptionMode = 0;  // 0 plain, 1 head, 2 interleaved, 3 whole
    std::vector<uint8_t> data;
    std::vector<uint8_t> prefix;  // stored before the data, never read as data
    std::vector<uint8_t> suffix;  // stored after it (at most 255 bytes)
};

enum class CheckWordChoice {
    None,     // check word 0: identification stored unmasked (side files only)
    Passing,  // mask words and a check word that pass the check-word rule
    Failing,  // masked identification, but a check word that fails the rule
};

struct ArchiveOptions {
    uint32_t identificationA = 0;
    uint32_t kind = 0x8CB9AFB2u;
    uint32_t keySeed = 0;  // 0: nothing is encrypted
    // Encryption block size 256 << blockShift (0..7), interleave mask
    // (2 << interleaveShift) - 1 (0..3).
    int blockShift = 3;
    int interleaveShift = 0;
    CheckWordChoice checkWord = CheckWordChoice::Passing;
    // Seeds the choice of mask words; the same seed gives the same file.
    uint32_t maskSeed = 1;
};

class ArchiveWriter {
public:
    explicit ArchiveWriter(ArchiveOptions options = {}) : options_(options) {}

    void Add(ArchiveEntrySource entry) { entries_.push_back(std::move(entry)); }

    // The archive alone (header at offset 0), or appended to an executable
    // image. Throws std::invalid_argument for options or entries the format
    // cannot hold.
    std::vector<uint8_t> Build() const { return BuildBehind({}); }
    std::vector<uint8_t> BuildBehind(const std::vector<uint8_t>& executableImage) const;

private:
    ArchiveOptions options_;
    std::vector<ArchiveEntrySource> entries_;
};
