// Seeds for archive_fuzz: small valid archives of every shape the writer
// makes (plain, encrypted, each mode, behind a program image, prefixes and
// suffixes) and damaged ones that stop at each of the reader's checks.

#include "fuzz/seeds/SeedFiles.h"
#include "tools/authoring/ArchiveWriter.h"

#include "ZULResourceUtilLib/ArchiveLayout.h"
#include "ZULResourceUtilLib/LittleEndian.h"
#include "ZULResourceUtilLib/ResArchive.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace Layout = ArchiveLayout;

std::vector<uint8_t> Pattern(size_t length, uint32_t seed)
{
    std::vector<uint8_t> bytes(length);
    uint32_t state = seed * 0x9E3779B9u + 0x6A09E667u;
    for (uint8_t& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return bytes;
}

std::vector<uint8_t> ProgramImage()
{
    std::vector<uint8_t> image = {'M', 'Z', 0x90, 0x00, 0x03, 0x00, 0x00, 0x00};
    image.resize(96, 0);
    image[60] = 0x40;  // where a program's next header would start
    return image;
}

ArchiveWriter SmallArchive(uint32_t keySeed, CheckWordChoice checkWord, int blockShift = 0, int interleaveShift = 0)
{
    ArchiveOptions options;
    options.keySeed = keySeed;
    options.checkWord = checkWord;
    options.blockShift = blockShift;
    options.interleaveShift = interleaveShift;
    ArchiveWriter writer(options);
    writer.Add({ResTagScenario, 1000, 3, Pattern(56, 1), {}, {}});
    writer.Add({ResTagInformation, 1000, 1, Pattern(256, 2), {}, {}});
    writer.Add({ResTagPicture, 1, 2, Pattern(700, 3), {}, {}});
    writer.Add({ResTagSound, 1, 0, Pattern(90, 4), {}, {}});
    return writer;
}

// Offsets within an unencrypted archive, from its trailer and index header.
struct PlainLayout {
    size_t trailer;
    size_t indexBlock;
    size_t groupCount;

    explicit PlainLayout(const std::vector<uint8_t>& bytes)
    {
        trailer = bytes.size() - Layout::Trailer::Size;
        indexBlock = trailer - static_cast<size_t>(ReadArchiveTrailer(&bytes[trailer]).indexLength) - Layout::IndexHeader::Size;
        groupCount = ReadIndexHeader(&bytes[indexBlock]).groupCount;
    }
    size_t GroupRecord(size_t group) const { return indexBlock + Layout::IndexHeader::Size + group * Layout::Group::Size; }
    size_t EntryRecord(size_t entry) const
    {
        return indexBlock + Layout::IndexHeader::Size + groupCount * Layout::Group::Size + entry * Layout::Entry::Size;
    }
};

}  // namespace

void WriteArchiveSeeds(const std::filesystem::path& corpusRoot)
{
    const std::filesystem::path folder = corpusRoot / "archive_fuzz";
    std::filesystem::create_directories(folder);
    constexpr uint32_t KeySeed = 0x5EED5EEDu;

    // Valid archives.
    const std::vector<uint8_t> plain = SmallArchive(0, CheckWordChoice::None).Build();
    WriteSeed(folder, "plain.brsc", plain);
    const std::vector<uint8_t> plainChecked = SmallArchive(0, CheckWordChoice::Passing).Build();
    WriteSeed(folder, "plain_checked.brsc", plainChecked);
    WriteSeed(folder, "encrypted.brsc", SmallArchive(KeySeed, CheckWordChoice::Passing).Build());
    WriteSeed(folder, "encrypted_interleave_15.brsc", SmallArchive(KeySeed, CheckWordChoice::None, 0, 3).Build());
    for (int mode = 0; mode <= 3; ++mode) {
        ArchiveOptions options;
        options.keySeed = KeySeed + static_cast<uint32_t>(mode);
        options.blockShift = mode == 2 ? 0 : 3;
        options.interleaveShift = 1;
        ArchiveWriter writer(options);
        writer.Add({ResTagPicture, 7, mode, Pattern(mode == 1 ? 1100 : 600, 10 + static_cast<uint32_t>(mode)), {}, {}});
        WriteSeed(folder, "mode" + std::to_string(mode) + ".brsc", writer.Build());
    }
    WriteSeed(folder, "embedded.scr", SmallArchive(KeySeed, CheckWordChoice::Passing).BuildBehind(ProgramImage()));
    WriteSeed(folder, "embedded_plain.scr", SmallArchive(0, CheckWordChoice::Passing).BuildBehind(ProgramImage()));
    {
        ArchiveOptions options;
        options.keySeed = KeySeed;
        ArchiveWriter writer(options);
        writer.Add({ResTagSound, 3, 2, Pattern(300, 20), Pattern(40, 21), Pattern(255, 22)});
        writer.Add({ResTagSound, 3, 3, Pattern(20, 23), Pattern(1, 24), {}});  // same id twice: first wins
        writer.Add({ResTagPicture, 3, 1, {}, Pattern(5, 25), Pattern(5, 26)});
        WriteSeed(folder, "prefix_suffix.brsc", writer.Build());
    }
    WriteSeed(folder, "empty_index.brsc", ArchiveWriter().Build());

    // Damaged archives, one fault each.
    WriteSeed(folder, "bad_embedded_check_word.scr",
              SmallArchive(KeySeed, CheckWordChoice::Failing).BuildBehind(ProgramImage()));
    WriteSeed(folder, "bad_embedded_unchecked.scr", SmallArchive(KeySeed, CheckWordChoice::None).BuildBehind(ProgramImage()));
    WriteSeed(folder, "bad_too_short.brsc", std::vector<uint8_t>(plain.end() - 119, plain.end()));
    WriteSeed(folder, "bad_truncated.brsc", std::vector<uint8_t>(plain.begin(), plain.end() - 1));
    WriteSeed(folder, "bad_cut_in_data.brsc", std::vector<uint8_t>(plain.begin() + 100, plain.end()));

    const PlainLayout layout(plain);
    auto damaged = [&](const std::string& name, size_t offset, auto write) {
        std::vector<uint8_t> bytes = plain;
        write(&bytes[offset]);
        WriteSeed(folder, name, bytes);
    };
    damaged("bad_index_length.brsc", layout.trailer + Layout::Trailer::IndexLength, [](uint8_t* p) { WriteLe64(p, 0xFFFFFFFFFFFFFF00ull); });
    damaged("bad_index_offset.brsc", layout.indexBlock + Layout::IndexHeader::IndexOffset, [](uint8_t* p) { WriteLe64(p, 0x7FFFFFFFFFFFFFFFull); });
    damaged("bad_group_count.brsc", layout.indexBlock + Layout::IndexHeader::GroupCount, [](uint8_t* p) { WriteLe32(p, 0xFFFFFFFFu); });
    damaged("bad_entry_count.brsc", layout.GroupRecord(0) + Layout::Group::EntryCount, [](uint8_t* p) { WriteLe32(p, 0x10000000u); });
    damaged("bad_entry_offset.brsc", layout.EntryRecord(1) + Layout::Entry::Offset, [](uint8_t* p) { WriteLe64(p, 0xFFFFFFFFFFFFFFF0ull); });
    damaged("bad_stored_size.brsc", layout.EntryRecord(2), [](uint8_t* p) {
        WriteLe32(p + Layout::Entry::StoredSizeLow, 0xFFFFFFFFu);
        WriteLe16(p + Layout::Entry::StoredSizeHigh, 0xFFFF);
    });
    damaged("bad_prefix_beyond_size.brsc", layout.EntryRecord(0) + Layout::Entry::PrefixLength, [](uint8_t* p) { WriteLe16(p, 0xFFFF); });
    damaged("bad_identification.brsc", layout.trailer + Layout::Trailer::IdentificationB, [](uint8_t* p) { WriteLe32(p, 0x12345678u); });
    damaged("bad_mode_bits.brsc", layout.EntryRecord(3) + Layout::Entry::Flags, [](uint8_t* p) { p[0] = 0xFF; });
    {
        // The header tag takes part in unmasking identification B.
        std::vector<uint8_t> bytes = plainChecked;
        bytes[Layout::Header::Tag] = 'X';
        WriteSeed(folder, "bad_header_tag.brsc", bytes);
    }
    {
        // A key seed set on an archive stored plain: the index decrypts to noise.
        std::vector<uint8_t> bytes = plain;
        WriteLe32(&bytes[layout.trailer + Layout::Trailer::KeySeed], KeySeed);
        WriteSeed(folder, "bad_key_seed.brsc", bytes);
    }
}
