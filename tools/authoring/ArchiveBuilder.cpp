#include "tools/authoring/ArchiveBuilder.h"

#include "ZULResourceUtilLib/LittleEndian.h"
#include "ZULResourceUtilLib/ResArchive.h"
#include "imaging/DirectBmpControl.h"
#include "imaging/PictureLoader.h"
#include "platform/FileReplace.h"
#include "platform/Utf8Path.h"
#include "sound/WaveFormat.h"
#include "tools/authoring/ArchiveVerifier.h"
#include "tools/authoring/InformationBlock.h"
#include "tools/authoring/ParallelWork.h"
#include "tools/authoring/PictureEntryWriter.h"
#include "tools/authoring/PictureSource.h"
#include "tools/authoring/ScenarioText.h"
#include "tools/authoring/SoundSource.h"

#include <atomic>
#include <cerrno>
#include <exception>
#include <mutex>
#include <fstream>
#include <string_view>
#include <system_error>
#include <utility>

namespace {

std::string ErrnoText(int error)
{
    return std::generic_category().message(error);
}

std::string Hex2(unsigned value)
{
    static const char digits[] = "0123456789ABCDEF";
    return {digits[value >> 4 & 15], digits[value & 15]};
}

// A chunk identifier for messages: printable characters as they are, other
// bytes as \xNN.
std::string ChunkName(const uint8_t* id)
{
    std::string name = "'";
    for (int i = 0; i < 4; ++i) {
        if (id[i] >= 0x20 && id[i] < 0x7F && id[i] != '\\' && id[i] != '\'')
            name += static_cast<char>(id[i]);
        else
            name += "\\x" + Hex2(id[i]);
    }
    return name + "'";
}

bool IdIs(const uint8_t* id, const char (&text)[5])
{
    return id[0] == static_cast<uint8_t>(text[0]) && id[1] == static_cast<uint8_t>(text[1]) &&
           id[2] == static_cast<uint8_t>(text[2]) && id[3] == static_cast<uint8_t>(text[3]);
}

uint16_t ReadBe16(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
}

// Frame headers: SOF0..SOF15 without DHT (C4), JPG (C8) and DAC (CC), which
// share the range.
bool IsFrameMarker(uint8_t marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

std::string SizeText(PictureSize size)
{
    return std::to_string(size.width) + " x " + std::to_string(size.height);
}

std::string PhotoDescription(const PreparedPhoto& photo, int quality)
{
    if (photo.keptAsIs) return "photo, " + SizeText(photo.size) + ", the JPEG kept as it is";
    std::string text = "photo, ";
    if (photo.orientation != PhotoOrientation::Upright) text += "turned upright, ";
    if (photo.size != photo.upright) text += SizeText(photo.upright) + " shrunk to ";
    return text + SizeText(photo.size) + ", JPEG quality " + std::to_string(quality);
}

// Makes the entries of one manifest; keeps the manifest's name and folder
// for messages.
class EntryMaker {
public:
    EntryMaker(const Manifest& manifest, const ArchiveBuildOptions& options)
        : manifest_(manifest), options_(options), manifestName_(Utf8FromPath(manifest.path))
    {
    }

    ArchiveEntrySource Scenario(const ManifestScenario& scenario, ArchiveBuildStep& step) const
    {
        const std::string shown = Shown(scenario.file);
        step.entry = "scenario (" + shown + ")";
        const std::vector<uint8_t> bytes = Read(scenario.file, scenario.line.number, "scenario");
        std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        // Editors on Windows like to start UTF-8 files with a byte-order mark.
        if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
        std::vector<uint8_t> data;
        try {
            data = ScenarioEntryBytes(text);
        } catch (const ScenarioTextError& error) {
            throw ArchiveBuildError(shown + (error.line() > 0 ? ":" + std::to_string(error.line()) : "") + ": " +
                                    error.reason());
        } catch (const std::invalid_argument& error) {
            throw ArchiveBuildError(shown + ": " + error.what());
        }
        return {ResTagScenario, 1000, Mode(scenario.encryption), std::move(data)};
    }

    ArchiveEntrySource Information(const ManifestInformation& information, ArchiveBuildStep& step) const
    {
        step.entry = "information";
        try {
            const auto block = BuildInformationBlock(information.texts);
            return {ResTagInformation, SSInfoEntryId, Mode(information.encryption),
                    std::vector<uint8_t>(block.begin(), block.end())};
        } catch (const InformationBlockError& error) {
            throw ArchiveBuildError(Where(information.line.number) + ": information: " + error.what());
        }
    }

    ArchiveEntrySource Picture(const ManifestPicture& picture, ArchiveBuildStep& step) const
    {
        const std::string label = "picture " + std::to_string(picture.id);
        const std::string shown = Shown(picture.file);
        step.entry = label + " (" + shown + ")";
        step.detail = std::string(StorageName(picture.storage)) + ", " + std::to_string(picture.depth) + " bits";
        // Problems of the file's content name the file first, then the entry.
        const std::string context = " (" + label + " at " + Where(picture.line.number) + ")";
        const auto contentError = [&](const std::string& reason) {
            return ArchiveBuildError(shown + ": " + reason + context);
        };
        if (picture.photo) return Photo(picture, step, contentError);
        const std::vector<uint8_t> bytes = Read(picture.file, picture.line.number, label);

        std::vector<uint8_t> entry;
        if (picture.storage == PictureStorage::Jpeg) {
            if (PictureFileKindOf(bytes) != PictureFileKind::Jpeg)
                throw contentError("not a JPEG file; storage \"jpeg\" keeps a JPEG stream as it is");
            JpegFrameSize size;
            try {
                size = ReadJpegFrameSize(bytes);
            } catch (const ArchiveBuildError& error) {
                throw contentError(error.what());
            }
            if (!PictureWithinMemoryLimit(size.width, size.height))
                throw contentError(PictureTooLargeReason(picture.id, size.width, size.height) +
                                   "; storage \"photo\" shrinks it to fit");
            if (const PhotoOrientation orientation = PictureFileOrientation(bytes);
                orientation != PhotoOrientation::Upright)
                Warn(shown, "its Exif data says it must be turned (orientation " +
                                            std::to_string(static_cast<int>(orientation)) +
                                            "), but storage \"jpeg\" keeps it as it is, so the saver shows it "
                                            "turned; storage \"photo\" turns it upright" + context);
            // The stream goes into the archive untouched, so this decoding
            // only proves that the saver's decoder will take it.
            RgbaImage decoded;
            try {
                decoded = DecodePictureSource(bytes);
            } catch (const PictureSourceError& error) {
                throw contentError(std::string("the JPEG decoder refuses it: ") + error.what());
            }
            if (decoded.width != size.width || decoded.height != size.height)
                throw contentError("its frame header says " + std::to_string(size.width) + " x " +
                                   std::to_string(size.height) + " pixels, but it decodes to " +
                                   std::to_string(decoded.width) + " x " + std::to_string(decoded.height));
            const PictureEntryFields fields = PictureFieldsFor(picture.depth, size.width, size.height, PictureStorage::Jpeg);
            entry = BuildPictureEntry(fields, {}, bytes);
        } else {
            ConvertedPicture converted;
            try {
                PictureConversion conversion;
                conversion.depth = picture.depth;
                conversion.palette = picture.palette == PicturePalette::Grey ? PaletteChoice::Grey : PaletteChoice::Quantise;
                conversion.dithering = Dithering::None;
                conversion.background = 0;  // the viewer's window is black
                const RgbaImage image = LoadUprightPicture(bytes, picture.maxSize);
                if (!PictureWithinMemoryLimit(static_cast<uint64_t>(image.width), static_cast<uint64_t>(image.height)))
                    throw contentError(PictureTooLargeReason(picture.id, static_cast<uint32_t>(image.width),
                                                             static_cast<uint32_t>(image.height)) +
                                       "; a max-size such as \"3840x2160\" shrinks it to fit");
                converted = ConvertPicture(image, conversion);
            } catch (const PictureSourceError& error) {
                throw contentError(error.what());
            }
            try {
                entry = BuildPictureEntry(converted.Fields(picture.storage), converted.palette, converted.rows);
            } catch (const PictureEntryError& error) {
                // The storage the manifest chose does not suit this picture.
                throw ArchiveBuildError(Where(picture.line.number) + ": " + label + " (" + shown + "): " + error.what());
            }
        }
        return {ResTagPicture, picture.id, Mode(picture.encryption), std::move(entry)};
    }

    ArchiveEntrySource Sound(const ManifestSound& sound, ArchiveBuildStep& step) const
    {
        const std::string label = "sound " + std::to_string(sound.id);
        const std::string shown = Shown(sound.file);
        step.entry = label + " (" + shown + ")";
        const std::vector<uint8_t> bytes = Read(sound.file, sound.line.number, label);
        PlayableSound playable;
        try {
            playable = PlayableSoundFromFile(bytes);
        } catch (const ArchiveBuildError& error) {
            throw ArchiveBuildError(shown + ": " + error.what() + " (" + label + " at " + Where(sound.line.number) + ")");
        }
        step.detail = playable.description;
        return {ResTagSound, sound.id, Mode(sound.encryption), std::move(playable.wave)};
    }

private:
    template <typename ContentError>
    ArchiveEntrySource Photo(const ManifestPicture& picture, ArchiveBuildStep& step,
                             const ContentError& contentError) const
    {
        const PreparedPhotoKey key{picture.file.resolved, picture.maxSize, picture.quality};
        PreparedPhoto made;
        const PreparedPhoto* photo = nullptr;
        if (options_.preparedPhotos != nullptr) {
            if (const auto found = options_.preparedPhotos->find(key); found != options_.preparedPhotos->end())
                photo = &found->second;
        }
        if (photo == nullptr) {
            const std::vector<uint8_t> bytes = Read(picture.file, picture.line.number, "picture " + std::to_string(picture.id));
            try {
                made = PreparePhoto(bytes, PhotoOptions{picture.maxSize, picture.quality});
            } catch (const PictureSourceError& error) {
                throw contentError(error.what());
            }
            photo = &made;
        }
        step.detail = PhotoDescription(*photo, picture.quality);
        const PictureEntryFields fields = PictureFieldsFor(24, static_cast<uint32_t>(photo->size.width),
                                                           static_cast<uint32_t>(photo->size.height), PictureStorage::Jpeg);
        return {ResTagPicture, picture.id, Mode(picture.encryption), BuildPictureEntry(fields, {}, photo->jpeg)};
    }

    std::string Where(int line) const
    {
        return line > 0 ? manifestName_ + ":" + std::to_string(line) : manifestName_;
    }

    std::string Shown(const ManifestFile& file) const { return ShownSourceName(manifest_, file); }

    // A file that cannot be read is the manifest's fault: it names it.
    std::vector<uint8_t> Read(const ManifestFile& file, int line, const std::string& label) const
    {
        if (options_.filesInMemory != nullptr) {
            if (const auto found = options_.filesInMemory->find(file.resolved); found != options_.filesInMemory->end())
                return std::vector<uint8_t>(found->second.begin(), found->second.end());
        }
        try {
            return ReadSourceFile(file.resolved, Shown(file));
        } catch (const ArchiveBuildError& error) {
            throw ArchiveBuildError(Where(line) + ": " + label + ": " + error.what());
        }
    }

    int Mode(const std::optional<EntryEncryption>& own) const
    {
        return static_cast<int>(manifest_.EncryptionOf(own));
    }

    void Warn(const std::string& file, const std::string& text) const
    {
        const std::lock_guard lock(warningMutex_);
        if (options_.warning) options_.warning(file, text);
    }

    const Manifest& manifest_;
    const ArchiveBuildOptions& options_;
    mutable std::mutex warningMutex_;
    std::string manifestName_;
};

}  // namespace

std::vector<ArchiveEntrySource> BuildManifestEntries(const Manifest& manifest, const ArchiveBuildOptions& options)
{
    const EntryMaker maker(manifest, options);
    // The entries in archive order; each is made by one task.
    std::vector<std::function<ArchiveEntrySource(ArchiveBuildStep&)>> tasks;
    if (manifest.scenario)
        tasks.push_back([&](ArchiveBuildStep& step) { return maker.Scenario(*manifest.scenario, step); });
    if (manifest.information)
        tasks.push_back([&](ArchiveBuildStep& step) { return maker.Information(*manifest.information, step); });
    for (const ManifestPicture& picture : manifest.pictures)
        tasks.push_back([&](ArchiveBuildStep& step) { return maker.Picture(picture, step); });
    for (const ManifestSound& sound : manifest.sounds)
        tasks.push_back([&](ArchiveBuildStep& step) { return maker.Sound(sound, step); });

    std::vector<std::optional<ArchiveEntrySource>> made(tasks.size());
    std::vector<std::exception_ptr> failures(tasks.size());
    std::atomic<bool> failed{false};
    std::mutex progressMutex;
    size_t done = 0;
    RunInParallel(tasks.size(), options.workers, [&](size_t index) {
        if (failed) return;  // the build fails anyway: no more work
        ArchiveBuildStep step;
        try {
            made[index] = tasks[index](step);
        } catch (...) {
            failures[index] = std::current_exception();
            failed = true;
            return;
        }
        const std::lock_guard lock(progressMutex);
        step.done = ++done;
        step.total = tasks.size();
        if (options.progress) options.progress(step);
    });
    // The first failure in archive order, whichever thread met it first.
    for (const std::exception_ptr& failure : failures)
        if (failure) std::rethrow_exception(failure);
    std::vector<ArchiveEntrySource> entries;
    entries.reserve(made.size());
    for (std::optional<ArchiveEntrySource>& entry : made) entries.push_back(std::move(*entry));
    return entries;
}

std::vector<uint8_t> BuildManifestArchive(const Manifest& manifest, const std::vector<uint8_t>& executableImage,
                                          const ArchiveBuildOptions& options)
{
    ArchiveWriter writer(ManifestArchiveOptions(manifest.archive));
    for (ArchiveEntrySource& entry : BuildManifestEntries(manifest, options)) writer.Add(std::move(entry));
    try {
        return writer.BuildBehind(executableImage);
    } catch (const std::invalid_argument& error) {
        throw ArchiveBuildError(Utf8FromPath(manifest.path) + ": cannot build the archive: " + error.what());
    }
}

// ---------------------------------------------------------------------------

JpegFrameSize ReadJpegFrameSize(std::span<const uint8_t> jpeg)
{
    const size_t size = jpeg.size();
    if (size < 2 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) throw ArchiveBuildError("not a JPEG file (no start-of-image marker)");
    size_t at = 2;
    for (;;) {
        if (at >= size) throw ArchiveBuildError("the JPEG stream ends before its frame header");
        if (jpeg[at] != 0xFF)
            throw ArchiveBuildError("damaged JPEG stream: byte " + std::to_string(at) + " should start a marker but is 0x" +
                                    Hex2(jpeg[at]));
        while (at < size && jpeg[at] == 0xFF) ++at;  // fill bytes
        if (at >= size) throw ArchiveBuildError("the JPEG stream ends before its frame header");
        const uint8_t marker = jpeg[at++];
        const std::string markerName = "marker 0xFF" + Hex2(marker);
        if (marker == 0xD9) throw ArchiveBuildError("the JPEG stream ends (EOI) before its frame header");
        if (marker == 0xDA) throw ArchiveBuildError("the JPEG stream starts its scan before any frame header");
        if (marker == 0x00 || marker == 0xD8)
            throw ArchiveBuildError("damaged JPEG stream: " + markerName + " before the frame header");
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) continue;  // markers without a length

        if (size - at < 2) throw ArchiveBuildError("the JPEG stream ends inside " + markerName);
        const size_t length = ReadBe16(jpeg.data() + at);
        if (length < 2) throw ArchiveBuildError("damaged JPEG stream: " + markerName + " has a length of " + std::to_string(length));
        if (length > size - at) throw ArchiveBuildError("the JPEG stream ends inside " + markerName);
        if (IsFrameMarker(marker)) {
            // Length, precision, height, width, component count, then 3 bytes per component.
            if (length < 8) throw ArchiveBuildError("damaged JPEG stream: its frame header is " + std::to_string(length) + " bytes");
            const uint8_t* frame = jpeg.data() + at;
            JpegFrameSize found;
            found.height = ReadBe16(frame + 3);
            found.width = ReadBe16(frame + 5);
            found.components = frame[7];
            if (length < 8 + size_t{3} * found.components)
                throw ArchiveBuildError("damaged JPEG stream: its frame header is too short for " +
                                        std::to_string(found.components) + " components");
            if (found.height == 0)
                throw ArchiveBuildError("the JPEG stream gives its height later (DNL marker), which is not supported");
            if (found.width == 0) throw ArchiveBuildError("damaged JPEG stream: its width is 0");
            if (found.width > MaximumBufferDimension || found.height > MaximumBufferDimension)
                throw ArchiveBuildError("the picture is " + std::to_string(found.width) + " x " + std::to_string(found.height) +
                                        " pixels; the saver takes at most " + std::to_string(MaximumBufferDimension) +
                                        " in each direction");
            return found;
        }
        at += length;
    }
}

WaveFileInfo CheckWaveFile(std::span<const uint8_t> wave)
{
    const size_t size = wave.size();
    if (size < 12 || !IdIs(wave.data(), "RIFF") || !IdIs(wave.data() + 8, "WAVE"))
        throw ArchiveBuildError("not a RIFF WAVE file (it must start with \"RIFF\", a size and \"WAVE\")");

    WaveFileInfo info;
    bool haveFormat = false;
    std::string oddChunk;  // the last odd-sized chunk passed, for explaining a lost walk
    size_t at = 12;
    while (size - at >= 8) {
        const uint8_t* id = wave.data() + at;
        const uint32_t chunkSize = ReadLe32(id + 4);
        const std::string name = ChunkName(id);
        at += 8;
        const size_t left = size - at;
        if (chunkSize >= 0x80000000u)
            throw ArchiveBuildError("chunk " + name + " declares " + std::to_string(chunkSize) +
                                    " bytes; the saver cannot handle chunks of 2 GiB or more" +
                                    (oddChunk.empty() ? "" : " (after chunk " + oddChunk + ", whose pad byte the saver does not skip)"));
        if (IdIs(id, "fmt ")) {
            if (chunkSize < 16) throw ArchiveBuildError("its \"fmt \" chunk is " + std::to_string(chunkSize) + " bytes; a wave format needs 16");
            // A longer chunk is fine (the saver skips what follows its first
            // 18 bytes), but the saver hands the device the format without
            // its extension, which an extensible format cannot do without.
            if (chunkSize > left) throw ArchiveBuildError("its \"fmt \" chunk runs past the end of the file");
            info.formatTag = ReadLe16(id + 8);
            if (info.formatTag == 0xFFFE)
                throw ArchiveBuildError("its format is an extensible one (tag 0xFFFE), which the saver cannot hand to "
                                        "the sound device: save the sound as plain PCM");
            info.channels = ReadLe16(id + 10);
            info.samplesPerSecond = ReadLe32(id + 12);
            info.averageBytesPerSecond = ReadLe32(id + 16);
            info.bitsPerSample = ReadLe16(id + 22);
            if (info.channels == 0) throw ArchiveBuildError("its format has 0 channels");
            if (info.averageBytesPerSecond == 0) throw ArchiveBuildError("its format has 0 average bytes per second");
            WaveFormatFields format;
            format.formatTag = info.formatTag;
            format.channels = info.channels;
            format.samplesPerSecond = info.samplesPerSecond;
            format.averageBytesPerSecond = info.averageBytesPerSecond;
            format.blockAlign = ReadLe16(id + 20);
            format.bitsPerSample = info.bitsPerSample;
            if (const WaveFormatFault fault = PlayableFormatFault(format); fault != WaveFormatFault::None)
                throw ArchiveBuildError("the sound device cannot play its format: " + UnplayableFormatText(format, fault));
            haveFormat = true;
        } else if (IdIs(id, "data")) {
            if (!haveFormat)
                throw ArchiveBuildError("its \"data\" chunk comes before any \"fmt \" chunk; the saver stops at \"data\" "
                                        "and would play the samples in the previous sound's format");
            if (chunkSize > left)
                throw ArchiveBuildError("its \"data\" chunk declares " + std::to_string(chunkSize) + " bytes, but only " +
                                        std::to_string(left) + " follow");
            info.dataOffset = at;
            info.dataLength = chunkSize;
            return info;
        } else if (chunkSize > left) {
            throw ArchiveBuildError("chunk " + name + " declares " + std::to_string(chunkSize) + " bytes, but only " +
                                    std::to_string(left) + " follow" +
                                    (oddChunk.empty() ? "" : " (after chunk " + oddChunk + ", whose pad byte the saver does not skip)"));
        }
        if (chunkSize % 2 != 0) oddChunk = name;
        at += chunkSize;
    }
    std::string reason = haveFormat ? "it has no \"data\" chunk" : "it has no \"fmt \" chunk";
    if (!oddChunk.empty())
        reason += " where the saver looks (chunk " + oddChunk + " has an odd size, and the saver does not skip the pad byte after it)";
    throw ArchiveBuildError(reason);
}

std::string ShownSourceName(const Manifest& manifest, const ManifestFile& file)
{
    const std::filesystem::path given = PathFromUtf8(file.given);
    if (given.is_absolute()) return file.given;
    return Utf8FromPath((manifest.path.parent_path() / given).lexically_normal());
}

std::vector<uint8_t> ReadSourceFile(const std::filesystem::path& path, const std::string& shownName)
{
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) throw ArchiveBuildError("cannot read " + shownName + ": it is a folder");
    errno = 0;
    std::ifstream file(path, std::ios::binary);
    if (!file) throw ArchiveBuildError("cannot read " + shownName + ": " + ErrnoText(errno));
    std::vector<uint8_t> bytes;
    std::vector<char> chunk(1 << 16);
    while (file) {
        file.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + file.gcount());
    }
    if (file.bad()) throw ArchiveBuildError("cannot read " + shownName + ": " + ErrnoText(errno));
    return bytes;
}

void WriteFileReplacing(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                        std::optional<std::filesystem::perms> permissions)
{
    FileReplaceOptions options;
    options.permissions = permissions;
    FileReplacement file;
    if (!file.Open(target, options) || !file.Write(bytes) || !file.Commit())
        throw ArchiveBuildError(file.ErrorText());
}
