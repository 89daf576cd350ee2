#include "tools/authoring/ArchiveUnpacker.h"

#include "imaging/DirectBmpControl.h"
#include "imaging/PictureLoader.h"
#include "platform/FileReplace.h"
#include "platform/ReadOnlyFile.h"
#include "platform/Utf8Path.h"
#include "scenario/ScenarioRecord.h"
#include "sound/WaveFormat.h"
#include "tools/authoring/ArchiveVerifier.h"
#include "tools/authoring/ArchiveWriter.h"
#include "tools/authoring/ImageFileWriter.h"
#include "tools/authoring/InformationBlock.h"
#include "tools/authoring/Manifest.h"
#include "tools/authoring/PictureEntryWriter.h"
#include "tools/authoring/ScenarioText.h"

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr uint32_t SingleEntryId = 1000;  // the scenario's and the information block's id
constexpr size_t CopyPiece = 1 << 16;
// Far more than any scenario (32767 records) and its kept trailing bytes.
constexpr int64_t ScenarioEntryLimit = int64_t{16} << 20;
// The information block is 256 bytes; a longer entry only needs a note.
constexpr int64_t InformationReadLimit = 4096;

std::string EntryName(uint32_t tag, uint32_t id)
{
    return ResTagText(tag) + " " + std::to_string(id);
}

[[noreturn]] void EntryFails(uint32_t tag, uint32_t id, const std::string& reason)
{
    throw UnpackError(EntryName(tag, id) + ": " + reason, true);
}

// The message names the file, not an entry.
[[noreturn]] void OutputFails(const FileReplacement& file)
{
    throw UnpackError(file.ErrorText(), false);
}

void WriteWholeFile(const fs::path& target, const std::string& text)
{
    FileReplacement file;
    if (!file.Open(target) || !file.Write(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size())) ||
        !file.Commit())
        OutputFails(file);
}

void PrepareDirectory(const fs::path& directory, bool force)
{
    const std::string name = Utf8FromPath(directory);
    std::error_code error;
    const fs::file_status status = fs::status(directory, error);
    if (fs::exists(status)) {
        if (!fs::is_directory(status)) throw UnpackError(name + ": exists and is not a folder", false);
        const bool empty = fs::is_empty(directory, error);
        if (error) throw UnpackError(name + ": cannot look into the folder: " + error.message(), false);
        if (!empty && !force)
            throw UnpackError(name + ": the folder is not empty (give --force to write into it anyway)", false);
    }
    for (const char* sub : {"", "pictures", "sounds"}) {
        const fs::path folder = *sub ? directory / sub : directory;
        fs::create_directories(folder, error);
        if (error || !fs::is_directory(folder))
            throw UnpackError(Utf8FromPath(folder) + ": cannot create the folder" + (error ? ": " + error.message() : ""),
                              false);
    }
}

// The grey ramp that a pixel buffer of this depth starts with, and that
// pack's "grey" palette gives.
bool IsGreyRamp(int depth, std::span<const uint8_t> palette)
{
    if (depth != 1 && depth != 4 && depth != 8) return false;
    const size_t count = size_t{1} << depth;
    if (palette.size() != count * 4) return false;
    for (size_t i = 0; i < count; ++i) {
        unsigned level = 0;
        if (depth == 1) level = i == 0 ? 0 : 255;
        if (depth == 4) level = i == 15 ? 255 : static_cast<unsigned>(i * 16);
        if (depth == 8) level = static_cast<unsigned>(i);
        if (palette[4 * i] != level || palette[4 * i + 1] != level || palette[4 * i + 2] != level) return false;
    }
    return true;
}

class Unpacker {
public:
    Unpacker(ResArchive& archive, fs::path directory) : archive_(archive), directory_(std::move(directory)) {}

    UnpackSummary Run(const UnpackOptions& options)
    {
        PrepareDirectory(directory_, options.force);
        manifest_.path = directory_ / "manifest.toml";
        manifest_.archive.identificationA = archive_.identificationA;
        manifest_.archive.kind = archive_.identificationB;
        manifest_.archive.keySeed = archive_.keySeed;
        manifest_.archive.blockSize = static_cast<uint32_t>(archive_.blockSize);
        manifest_.archive.interleave = static_cast<uint32_t>(archive_.interleaveMask) + 1;

        std::array<uint32_t, 4> modeCounts{};
        for (size_t group = 0; group < archive_.groups.size(); ++group) {
            const uint32_t tag = archive_.groups[group].tag;
            for (uint32_t entry = 0; entry < archive_.groups[group].entryCount; ++entry) {
                const EntryRecord* record = ResEntryRecordOf(archive_, static_cast<int64_t>(group), entry);
                if (!record) {
                    const char* meaning = ResErrorMeaning(archive_.lastError);
                    throw UnpackError(ResTagText(tag) + " entry " + std::to_string(entry) +
                                          ": cannot read its index record: " + (meaning ? meaning : "unknown error"),
                                      true);
                }
                if (record->DataLength() < 0)
                    EntryFails(tag, record->id, "prefix and suffix are longer than the entry");
                if (Unpack(PictureLocator{static_cast<int64_t>(group), entry}, tag, *record))
                    ++modeCounts[static_cast<size_t>(record->EncryptionMode())];
            }
        }
        // The default mode: the one most entries use (the lower mode on a
        // tie); every entry names its own mode anyway.
        const auto most = std::max_element(modeCounts.begin(), modeCounts.end());
        manifest_.archive.encryption =
            *most == 0 ? EntryEncryption::Whole : static_cast<EntryEncryption>(most - modeCounts.begin());

        if (manifest_.information && manifest_.information->texts.aboutPicture != 0 &&
            !pictureIds_.count(manifest_.information->texts.aboutPicture)) {
            Note("the information block's about picture " + std::to_string(manifest_.information->texts.aboutPicture) +
                 " is not in the archive: written as 0 (none)");
            manifest_.information->texts.aboutPicture = 0;
        }
        WriteWholeFile(manifest_.path, WriteManifest(manifest_));
        return std::move(summary_);
    }

private:
    void Note(const std::string& text) { summary_.notes.push_back(text); }

    static EntryEncryption ModeOf(const EntryRecord& record)
    {
        return static_cast<EntryEncryption>(record.EncryptionMode());
    }

    ManifestFile File(const std::string& given) const { return ManifestFile{given, directory_ / given}; }

    // True when the entry went into the manifest.
    bool Unpack(PictureLocator locator, uint32_t tag, const EntryRecord& record)
    {
        const uint32_t id = record.id;
        const bool picture = tag == ResTagPicture;
        const bool sound = tag == ResTagSound;
        const bool single = (tag == ResTagScenario || tag == ResTagInformation);
        if (!picture && !sound && !single) {
            Note(EntryName(tag, id) + ": group " + ResTagText(tag) + " has no place in a manifest: not unpacked");
            return false;
        }
        if (single && id != SingleEntryId) {
            Note(EntryName(tag, id) + ": only id 1000 of group " + ResTagText(tag) + " is used: not unpacked");
            return false;
        }
        std::set<uint32_t>& seen = picture ? pictureIds_ : sound ? soundIds_ : singleTags_;
        if (!seen.insert(single ? tag : id).second) {
            Note(EntryName(tag, id) + ": a second entry with this id: not unpacked");
            return false;
        }
        if (record.prefixLength != 0 || record.suffixLength != 0)
            Note(EntryName(tag, id) + ": its prefix and suffix bytes are not kept");

        if (picture) {
            UnpackPicture(locator, record);
            ++summary_.pictures;
        } else if (sound) {
            UnpackSound(record);
            ++summary_.sounds;
        } else if (tag == ResTagScenario) {
            UnpackScenario(record);
            summary_.scenario = true;
        } else {
            UnpackInformation(record);
            summary_.information = true;
        }
        return true;
    }

    // Reads [offset, offset + length) of the entry.
    std::vector<uint8_t> ReadBytes(const EntryRecord& record, uint32_t tag, int64_t offset, int64_t length)
    {
        std::vector<uint8_t> bytes(static_cast<size_t>(length));
        ResCursor cursor{record, 0};
        if (length > 0 && (ResCursorSeek(archive_, cursor, offset) < 0 ||
                           ResCursorRead(archive_, cursor, bytes.data(), length) != length))
            EntryFails(tag, record.id, "the entry cannot be read");
        return bytes;
    }

    // Copies [offset, end of entry) into a file, piece by piece.
    void CopyToFile(const EntryRecord& record, uint32_t tag, int64_t offset, const fs::path& target)
    {
        FileReplacement output;
        if (!output.Open(target)) OutputFails(output);
        ResCursor cursor{record, 0};
        if (ResCursorSeek(archive_, cursor, offset) < 0) EntryFails(tag, record.id, "the entry cannot be read");
        std::vector<uint8_t> piece(CopyPiece);
        for (int64_t left = record.DataLength() - offset; left > 0;) {
            const int64_t want = std::min<int64_t>(left, static_cast<int64_t>(piece.size()));
            if (ResCursorRead(archive_, cursor, piece.data(), want) != want)
                EntryFails(tag, record.id, "the entry cannot be read");
            if (!output.Write(std::span(piece.data(), static_cast<size_t>(want)))) OutputFails(output);
            left -= want;
        }
        if (!output.Commit()) OutputFails(output);
    }

    void UnpackPicture(PictureLocator locator, const EntryRecord& record)
    {
        const uint32_t id = record.id;
        if (record.DataLength() < PictureHeaderSize)
            EntryFails(ResTagPicture, id, "picture entry is shorter than its 32-byte header");
        const std::vector<uint8_t> headerBytes = ReadBytes(record, ResTagPicture, 0, PictureHeaderSize);
        const PictureHeader header = PictureHeader::Parse(headerBytes.data());
        if (header.storageKind > 3)
            EntryFails(ResTagPicture, id, "unknown picture storage kind " + std::to_string(header.storageKind));
        // Before anything of the picture's size is allocated: a few bytes of
        // header must not cost gigabytes.
        if (!PictureWithinMemoryLimit(header.width, header.height))
            EntryFails(ResTagPicture, id, PictureTooLargeReason(id, header.width, header.height));
        const int64_t paletteBytes = int64_t{header.paletteCount} * 4;
        if (record.DataLength() < PictureHeaderSize + paletteBytes)
            EntryFails(ResTagPicture, id, "picture palette is cut short");
        const std::vector<uint8_t> palette =
            ReadBytes(record, ResTagPicture, PictureHeaderSize, std::min<int64_t>(paletteBytes, 256 * 4));

        DirectBmpControl loaded;
        const bool zlibNarrow = header.storageKind == 2 && header.depth != 32;
        const bool decoded =
            zlibNarrow ? LoadZlibAs32(locator, header, palette, loaded)
                       : LoadPicture(archive_, locator, loaded, PictureDepth::Force32, PictureParts::Whole, nullptr);
        if (!decoded) EntryFails(ResTagPicture, id, "picture does not decode");

        ManifestPicture entry;
        entry.id = id;
        entry.encryption = ModeOf(record);
        const std::string name = EntryName(ResTagPicture, id);
        if (header.storageKind == 3) {
            entry.file = File("pictures/" + std::to_string(id) + ".jpg");
            entry.storage = PictureStorage::Jpeg;
            entry.depth = header.depth;
            if (header.depth != 16 && header.depth != 24 && header.depth != 32) {
                entry.depth = 24;
                Note(name + ": a JPEG picture of depth " + std::to_string(header.depth) + " is written as depth 24");
            }
            if (header.paletteCount != 0) Note(name + ": the palette stored with its JPEG stream is not kept");
            CopyToFile(record, ResTagPicture, PictureHeaderSize + paletteBytes, entry.file.resolved);
        } else {
            entry.file = File("pictures/" + std::to_string(id) + ".png");
            entry.storage = static_cast<PictureStorage>(header.storageKind);
            entry.depth = header.depth;
            if (header.depth == 2 || header.depth == 15) {
                entry.depth = header.depth == 2 ? 4 : 16;
                Note(name + ": depth " + std::to_string(header.depth) + " is written as depth " +
                     std::to_string(entry.depth));
            }
            if (entry.depth <= 8) {
                entry.palette = IsGreyRamp(entry.depth, palette) && header.paletteCount == palette.size() / 4
                                    ? PicturePalette::Grey
                                    : PicturePalette::Quantise;
                if (entry.palette == PicturePalette::Quantise)
                    Note(name + ": the palette is chosen again from the picture's colours; their order may differ");
            }
            if (header.depth == 32 && !AllOpaque(loaded))
                Note(name + ": alpha other than 255 is not kept (the PNG file has none)");
            if (header.stride != PictureStride(entry.depth, header.width))
                Note(name + ": stride " + std::to_string(header.stride) + " becomes " +
                     std::to_string(PictureStride(entry.depth, header.width)));
            try {
                WriteImageFile(entry.file.resolved, loaded, ImageFileFormat::Png);
            } catch (const ImageFileError& error) {
                throw UnpackError(error.what(), false);
            }
        }
        manifest_.pictures.push_back(std::move(entry));
    }

    // zlib rows inflate into the buffer unconverted even for a 32-bit
    // buffer: load them at their own depth and convert them as raw rows, so
    // that the loader's own conversion makes the 32-bit picture. Each copy
    // is let go as soon as the next one is made, so that no more than two
    // picture-sized blocks are held at a time.
    bool LoadZlibAs32(PictureLocator locator, const PictureHeader& header, const std::vector<uint8_t>& palette,
                      DirectBmpControl& out)
    {
        std::vector<uint8_t> entry;
        {
            DirectBmpControl stored;
            if (!LoadPicture(archive_, locator, stored, PictureDepth::AsStored, PictureParts::Whole, nullptr))
                return false;
            if (header.stride > static_cast<uint32_t>(stored.Pitch)) return false;
            PictureEntryFields fields;
            fields.depth = header.depth;
            fields.paletteCount = static_cast<uint16_t>(palette.size() / 4);
            fields.stride = header.stride;
            fields.width = header.width;
            fields.height = header.height;
            fields.storageKind = 0;
            const std::array<uint8_t, 32> headerBytes = EncodePictureHeader(fields);
            entry.reserve(headerBytes.size() + palette.size() + size_t{header.stride} * header.height);
            entry.insert(entry.end(), headerBytes.begin(), headerBytes.end());
            entry.insert(entry.end(), palette.begin(), palette.end());
            for (int32_t y = 0; y < stored.Height; ++y)
                entry.insert(entry.end(), stored.Rows[y], stored.Rows[y] + header.stride);
        }
        std::vector<uint8_t> archiveBytes;
        {
            ArchiveOptions options;
            options.checkWord = CheckWordChoice::None;
            ArchiveWriter writer(options);
            writer.Add({ResTagPicture, 1, 0, std::move(entry)});
            archiveBytes = writer.Build();
        }
        ResArchive raw;
        if (ResOpenFile(raw, std::make_unique<MemoryFile>(std::move(archiveBytes)), "unpack.brsc",
                        ResEmbedding::SideFile, 0, ResArchiveKind) != ResErrorNone)
            return false;
        return LoadPicture(raw, PictureLocator{0, 0}, out, PictureDepth::Force32, PictureParts::Whole, nullptr);
    }

    static bool AllOpaque(const DirectBmpControl& picture)
    {
        for (int32_t y = 0; y < picture.Height; ++y)
            for (int32_t x = 0; x < picture.Width; ++x)
                if (picture.Rows[y][4 * x + 3] != 255) return false;
        return true;
    }

    void UnpackSound(const EntryRecord& record)
    {
        const uint32_t id = record.id;
        ResCursor cursor{record, 0};
        const WaveInfo wave = ReadWave(archive_, cursor);
        if (wave.failure == WaveFailure::ReadFailed) EntryFails(ResTagSound, id, "the entry cannot be read");
        if (wave.status != WaveStatusOk || !wave.formatRead || !wave.dataFound)
            Note(EntryName(ResTagSound, id) + ": the saver cannot play this sound (" +
                 (wave.status != WaveStatusOk ? WaveFailureText(wave.failure)
                  : !wave.formatRead          ? "no fmt chunk before the data"
                                              : "no data chunk") +
                 "); pack will refuse it");
        ManifestSound entry;
        entry.id = id;
        entry.file = File("sounds/" + std::to_string(id) + ".wav");
        entry.encryption = ModeOf(record);
        CopyToFile(record, ResTagSound, 0, entry.file.resolved);
        manifest_.sounds.push_back(std::move(entry));
    }

    void UnpackScenario(const EntryRecord& record)
    {
        if (record.DataLength() > ScenarioEntryLimit)
            EntryFails(ResTagScenario, record.id,
                       "scenario entry of " + std::to_string(record.DataLength()) + " bytes is too large to describe");
        const std::vector<uint8_t> bytes = ReadBytes(record, ResTagScenario, 0, record.DataLength());
        std::string text;
        try {
            text = DescribeScenarioEntry(bytes);
        } catch (const std::invalid_argument& error) {
            EntryFails(ResTagScenario, record.id, std::string("scenario cannot be described: ") + error.what());
        }
        ManifestScenario scenario;
        scenario.file = File("scenario.txt");
        scenario.encryption = ModeOf(record);
        WriteWholeFile(scenario.file.resolved, text);
        manifest_.scenario = std::move(scenario);
    }

    void UnpackInformation(const EntryRecord& record)
    {
        const std::vector<uint8_t> bytes =
            ReadBytes(record, ResTagInformation, 0, std::min(record.DataLength(), InformationReadLimit));
        ParsedInformationBlock parsed = ParseInformationBlock(bytes);
        if (record.DataLength() > InformationReadLimit)
            Note(EntryName(ResTagInformation, record.id) + ": " + std::to_string(record.DataLength()) +
                 " bytes; only the first 256 are kept");
        for (const std::string& note : parsed.notes) Note(EntryName(ResTagInformation, record.id) + ": " + note);
        ManifestInformation information;
        information.texts = std::move(parsed.texts);
        information.encryption = ModeOf(record);
        manifest_.information = std::move(information);
    }

    ResArchive& archive_;
    fs::path directory_;
    Manifest manifest_;
    UnpackSummary summary_;
    std::set<uint32_t> pictureIds_;
    std::set<uint32_t> soundIds_;
    std::set<uint32_t> singleTags_;
};

}  // namespace

UnpackSummary UnpackArchive(ResArchive& archive, const fs::path& directory, const UnpackOptions& options)
{
    return Unpacker(archive, directory).Run(options);
}
