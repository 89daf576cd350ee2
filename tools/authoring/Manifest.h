// Manifest: the hand-written TOML file that says what goes into an archive
// (scrtool pack reads it; scrtool unpack writes one with WriteManifest).
// Every table and key, with its default and range, is described for authors
// in docs/manifest.md.
//
// Reading checks everything that can be told without opening the files it
// names: every key of a table must be a known one, with its type and range;
// the information lines must have a Shift-JIS form and fit their fields
// (InformationBlock.h); storage, depth and palette must go together; ids are
// unique within pictures and within sounds; the about picture must be one of
// the manifest's pictures, and stored as zlib only at depth 32 (the settings
// dialog loads it as 32 bits, and zlib rows of another depth come out of
// that load unconverted). File names are resolved against the manifest's
// folder; the files themselves are read by the archive builder.
//
// Every problem throws a ManifestError whose text is "FILE:LINE: message",
// where FILE is the manifest's path as given and LINE the line of the key,
// value or table at fault ("FILE: message" for a file that cannot be read).
#pragma once

#include "tools/authoring/ArchiveWriter.h"
#include "tools/authoring/InformationBlock.h"
#include "tools/authoring/PhotoTransform.h"
#include "tools/authoring/PictureEntryWriter.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

enum class EntryEncryption : uint8_t { Plain = 0, Head = 1, Interleaved = 2, Whole = 3 };
enum class PicturePalette : uint8_t {
    None,      // depths above 8
    Quantise,  // colours chosen from the picture
    Grey,      // evenly spaced greys
};

// Where a table or value was written. Not part of a manifest's value: two
// manifests that say the same thing compare equal wherever they said it.
struct SourceLine {
    int number = 0;
    bool operator==(const SourceLine&) const { return true; }
};

struct ManifestFile {
    std::string given;               // as written in the manifest
    std::filesystem::path resolved;  // absolute, resolved against the manifest's folder
    bool operator==(const ManifestFile&) const = default;
};

struct ManifestArchive {
    uint32_t identificationA = 0;
    uint32_t kind = 0x8CB9AFB2u;
    uint32_t keySeed = 0;
    uint32_t blockSize = 2048;  // 256 << k, k 0..7
    uint32_t interleave = 2;    // 2 << m, m 0..3: the interleave mask is interleave - 1
    EntryEncryption encryption = EntryEncryption::Whole;
    bool operator==(const ManifestArchive&) const = default;
};

struct ManifestInformation {
    InformationTexts texts;
    std::optional<EntryEncryption> encryption;
    SourceLine line;
    bool operator==(const ManifestInformation&) const = default;
};

struct ManifestScenario {
    ManifestFile file;
    std::optional<EntryEncryption> encryption;
    SourceLine line;
    bool operator==(const ManifestScenario&) const = default;
};

// Storage "photo": the largest a photo is stored by default (the pictures
// are shrunk to fit, keeping their aspect ratio), and its JPEG quality when
// it has to be encoded again.
inline constexpr PictureSize DefaultPhotoMaxSize{3840, 2160};
inline constexpr int DefaultPhotoQuality = 90;

struct ManifestPicture {
    uint32_t id = 0;
    ManifestFile file;
    PictureStorage storage = PictureStorage::Zlib;
    int depth = 24;
    PicturePalette palette = PicturePalette::None;  // Quantise or Grey exactly when depth <= 8
    // Storage "photo" (PhotoSource.h): turned upright, fitted into maxSize and
    // stored as JPEG (storage is Jpeg, depth 24): the file's own stream when
    // it needed neither, else encoded again at `quality`.
    bool photo = false;
    // Pictures that are decoded (every storage but a kept JPEG stream) are
    // shrunk to fit into this size, keeping their aspect ratio; none: as they are.
    std::optional<PictureSize> maxSize;
    int quality = DefaultPhotoQuality;
    std::optional<EntryEncryption> encryption;
    SourceLine line;
    bool operator==(const ManifestPicture&) const = default;
};

struct ManifestSound {
    uint32_t id = 0;
    ManifestFile file;
    std::optional<EntryEncryption> encryption;
    SourceLine line;
    bool operator==(const ManifestSound&) const = default;
};

struct Manifest {
    std::filesystem::path path;  // the manifest file as given, for messages
    ManifestArchive archive;
    std::optional<ManifestInformation> information;
    std::optional<ManifestScenario> scenario;
    std::vector<ManifestPicture> pictures;  // in the order written
    std::vector<ManifestSound> sounds;

    // An entry's own mode, or the archive's default.
    EntryEncryption EncryptionOf(const std::optional<EntryEncryption>& own) const
    {
        return own.value_or(archive.encryption);
    }
    bool operator==(const Manifest&) const = default;
};

class ManifestError : public std::runtime_error {
public:
    // line 0: a problem of the file as a whole.
    ManifestError(const std::string& file, int line, const std::string& message);
    const std::string& File() const { return file_; }
    int Line() const { return line_; }
    const std::string& Message() const { return message_; }

private:
    std::string file_;
    int line_;
    std::string message_;
};

// Reads and checks a manifest file.
Manifest ReadManifestFile(const std::filesystem::path& path);
// Checks a manifest's text; path names it in messages, and its folder is the
// base of relative file names.
Manifest ParseManifest(std::string_view text, const std::filesystem::path& path);

// A manifest that ParseManifest reads back to an equal Manifest (given the
// same path): every archive value and every picture's storage, depth and
// palette written out; optional modes only where set.
std::string WriteManifest(const Manifest& manifest);

// The archive writer's options for the [archive] table (block and interleave
// as shifts; a check word that passes, so the archive may also be appended to
// an executable).
ArchiveOptions ManifestArchiveOptions(const ManifestArchive& archive);

// A size as a manifest and the command line write it: "WxH", digits only,
// 1 to MaximumBufferDimension each.
std::optional<PictureSize> ParsePictureSize(std::string_view text);
std::string PictureSizeText(PictureSize size);

// A TOML basic string for text: quotes, backslashes and control characters
// escaped, everything else (UTF-8 included) as it is.
std::string TomlString(std::string_view text);

// Names as the manifest writes them: "plain", "head", ...; "raw", "lzss", ...;
// "quantise", "grey" ("" for None).
const char* EncryptionName(EntryEncryption mode);
const char* StorageName(PictureStorage storage);
const char* PaletteName(PicturePalette palette);
