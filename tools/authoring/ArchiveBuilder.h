// ArchiveBuilder: a checked manifest (Manifest.h) into an archive: reads the
// source files it names, turns them into entries and hands them to the
// ArchiveWriter. scrtool pack is this plus the command line.
//
// Entries, in this order:
//  - "SSSc" 1000: the scenario text file compiled (ScenarioText.h); a UTF-8
//    byte-order mark at its start is skipped;
//  - "SSIf" 1000: the information block (InformationBlock.h);
//  - "SGBm" id: each picture. Storage raw, lzss and zlib: the PNG or JPEG
//    file decoded, turned upright by the orientation it carries and shrunk to
//    its max-size (PhotoSource.h), converted to the picture's depth
//    (PictureSource.h, no dithering, black under transparent pixels) and
//    packed. Storage photo: PreparePhoto's JPEG stream. Storage jpeg: the
//    JPEG file's bytes exactly as they are, behind a header whose width and
//    height come from the file's frame header (SOFn marker) and whose depth
//    is the manifest's; the file is also decoded once, so that a stream the
//    saver's decoder refuses is refused here rather than shown as nothing;
//    either way a picture over the memory a picture may take
//    (MaximumPictureBytes) is refused, since the saver would not show it;
//  - "SSWv" id: each sound as the saver plays it (SoundSource.h): a WAV file
//    that CheckWaveFile accepts, byte for byte; other WAV forms, and FLAC,
//    Ogg Vorbis and MP3 where this build has libsndfile, converted to 16-bit
//    PCM (more than two channels mixed down to stereo, a rate above the
//    device's resampled); the progress line says which.
// Each entry gets its own encryption mode or the archive's default; the
// archive options (block code included) come from ManifestArchiveOptions.
//
// Every failure throws ArchiveBuildError with one line that starts with the
// place at fault: "MANIFEST:LINE: ..." for what the manifest asks (a file
// that cannot be read, LZSS that cannot pack a picture), "SOURCE: ..." for a
// source file's content (picture, sound), "SCENARIO:LINE: ..." for a
// scenario text error. Source files are named as the manifest's folder joined
// with the name written in the manifest, so that the name makes sense from
// where the manifest was named.
#pragma once

#include "tools/authoring/ArchiveWriter.h"
#include "tools/authoring/Manifest.h"
#include "tools/authoring/PhotoSource.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

class ArchiveBuildError : public std::runtime_error {
public:
    explicit ArchiveBuildError(const std::string& what) : std::runtime_error(what) {}
};

// One entry made.
struct ArchiveBuildStep {
    size_t done = 0;     // entries made so far, this one included
    size_t total = 0;    // entries the manifest asks for
    std::string entry;   // "picture 3 (pictures/dawn.png)"
    std::string detail;  // "zlib, 8 bits", "photo, kept as it is", ...
};
// Called once after each entry is made, one call at a time (from whichever
// thread made the entry).
using ArchiveBuildProgress = std::function<void(const ArchiveBuildStep& step)>;

// Photos already prepared, by the file and the options they were prepared
// with, so that a show made from a folder reads and converts each photo once.
struct PreparedPhotoKey {
    std::filesystem::path file;  // as the manifest resolves it
    std::optional<PictureSize> maxSize;
    int quality = 0;
    bool operator<(const PreparedPhotoKey& other) const
    {
        const auto fields = [](const PreparedPhotoKey& key) {
            return std::tuple(key.file, key.maxSize.has_value(), key.maxSize ? key.maxSize->width : 0,
                              key.maxSize ? key.maxSize->height : 0, key.quality);
        };
        return fields(*this) < fields(other);
    }
};
using PreparedPhotos = std::map<PreparedPhotoKey, PreparedPhoto>;

struct ArchiveBuildOptions {
    ArchiveBuildProgress progress;
    // What is worth telling but does not stop the build (a JPEG kept as it
    // is although it must be turned), with the file concerned; one call at a time.
    std::function<void(const std::string& file, const std::string& text)> warning;
    unsigned workers = 0;  // threads making pictures and sounds; 0: one per core
    // Source files given as bytes instead of read from disk, by the path the
    // manifest resolves them to (a show made from a folder keeps its
    // scenario text in memory).
    const std::map<std::filesystem::path, std::string>* filesInMemory = nullptr;
    const PreparedPhotos* preparedPhotos = nullptr;
};

// Every entry the manifest asks for, read, converted and checked. Pictures
// and sounds are made on several threads; the entries, and any failure (the
// first entry's in manifest order), do not depend on how many.
std::vector<ArchiveEntrySource> BuildManifestEntries(const Manifest& manifest, const ArchiveBuildOptions& options = {});

// The archive bytes: alone (header at offset 0), or behind an executable
// image. The same manifest and files give the same bytes.
std::vector<uint8_t> BuildManifestArchive(const Manifest& manifest, const std::vector<uint8_t>& executableImage = {},
                                          const ArchiveBuildOptions& options = {});

// ---------------------------------------------------------------------------
// The pieces, usable on their own. Their messages (ArchiveBuildError) give
// only the reason; callers put the file's name in front.

struct JpegFrameSize {
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t components = 0;
};

// The size in a JPEG stream's frame header: the markers from the
// start-of-image on are walked by their lengths up to the first SOFn.
// Refused: no start-of-image, a stream that ends or starts its scan before
// any frame header, a marker whose length is below 2 or runs past the end, a
// frame header too short for its components, a width or height of 0 (a
// height given later by a DNL marker is not supported) or above
// MaximumBufferDimension. Never reads outside jpeg.
JpegFrameSize ReadJpegFrameSize(std::span<const uint8_t> jpeg);

// What CheckWaveFile found.
struct WaveFileInfo {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSecond = 0;
    uint32_t averageBytesPerSecond = 0;
    uint16_t bitsPerSample = 0;
    uint64_t dataOffset = 0;  // of the first sample byte in the file
    uint32_t dataLength = 0;
};

// Checks that the saver's loader finds what it needs in the file, walking
// the chunks as it does: "RIFF" and "WAVE", then chunk headers one after the
// other with no pad byte after odd sizes, a "fmt " chunk of 16 to 18 bytes
// (the loader takes 18 bytes and reads the next header right after them)
// before the "data" chunk, whose samples must all be in the file. Also
// refused: chunk sizes of 2^31 or more (the loader takes them as negative),
// a format with no channels or 0 average bytes per second (the loader
// divides by it), and any other format the sound device cannot play
// (PlayableFormatFault). The reason names the chunk and, when the walk got lost
// after an odd-sized chunk, the pad byte the loader does not skip.
WaveFileInfo CheckWaveFile(std::span<const uint8_t> wave);

// A source file as messages name it: joined with the manifest's folder, so
// that the name makes sense from where the manifest was named.
std::string ShownSourceName(const Manifest& manifest, const ManifestFile& file);

// A file's bytes. Throws ArchiveBuildError "cannot read NAME: REASON", where
// NAME is shownName.
std::vector<uint8_t> ReadSourceFile(const std::filesystem::path& path, const std::string& shownName);

// Writes bytes to a new temporary file beside target, then renames it over
// target, so that target is either as it was or the whole new file. With
// permissions, the new file gets them (an executable stays executable).
// Throws ArchiveBuildError naming target; the temporary file never stays.
void WriteFileReplacing(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                        std::optional<std::filesystem::perms> permissions = std::nullopt);
