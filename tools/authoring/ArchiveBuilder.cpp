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
#include "tools/authoring/PictureEntryWriter.h"
#include "tools/authoring/PictureSource.h"
#include "tools/authoring/ScenarioText.h"
#include "tools/authoring/SoundSource.h"

#include <cerrno>
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

// Makes the entries of one manifest; keeps the manifest's name and folder
// for messages.
class EntryMaker {
public:
    EntryMaker(const Manifest& manifest, const ArchiveBuildProgress& progress)
        : manifest_(manifest), progress_(progress), manifestName_(Utf8FromPath(manifest.path))
    {
    }

    ArchiveEntrySource Scenario(const ManifestScenario& scenario) const
    {
        const std::string shown = Shown(scenario.file);
        Report("scenario (" + shown + ")");
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

    ArchiveEntrySource Information(const ManifestInformation& information) const
    {
        Report("information");
        try {
            const auto block = BuildInformationBlock(information.texts);
            return {ResTagInformation, SSInfoEntryId, Mode(information.encryption),
                    std::vector<uint8_t>(block.begin(), block.end())};
        } catch (const InformationBlockError& error) {
            throw ArchiveBuildError(Where(information.line.number) + ": information: " + error.what());
        }
    }

    ArchiveEntrySource Picture(const ManifestPicture& picture) const
    {
        const std::string label = "picture " + std::to_string(picture.id);
        const std::string shown = Shown(picture.file);
        Report(label + " (" + shown + "): " + StorageName(picture.storage) + ", " + std::to_string(picture.depth) +
               " bits");
        const std::vector<uint8_t> bytes = Read(picture.file, picture.line.number, label);
        // Problems of the file's content name the file first, then the entry.
        const std::string context = " (" + label + " at " + Where(picture.line.number) + ")";
        const auto contentError = [&](const std::string& reason) {
            return ArchiveBuildError(shown + ": " + reason + context);
        };

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
                throw contentError(PictureTooLargeReason(picture.id, size.width, size.height));
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
                const RgbaImage image = DecodePictureSource(bytes);
                if (!PictureWithinMemoryLimit(static_cast<uint64_t>(image.width), static_cast<uint64_t>(image.height)))
                    throw contentError(PictureTooLargeReason(picture.id, static_cast<uint32_t>(image.width),
                                                             static_cast<uint32_t>(image.height)));
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

    ArchiveEntrySource Sound(const ManifestSound& sound) const
    {
        const std::string label = "sound " + std::to_string(sound.id);
        const std::string shown = Shown(sound.file);
        const std::vector<uint8_t> bytes = Read(sound.file, sound.line.number, label);
        PlayableSound playable;
        try {
            playable = PlayableSoundFromFile(bytes);
        } catch (const ArchiveBuildError& error) {
            throw ArchiveBuildError(shown + ": " + error.what() + " (" + label + " at " + Where(sound.line.number) + ")");
        }
        Report(label + " (" + shown + "): " + playable.description);
        return {ResTagSound, sound.id, Mode(sound.encryption), std::move(playable.wave)};
    }

private:
    std::string Where(int line) const
    {
        return line > 0 ? manifestName_ + ":" + std::to_string(line) : manifestName_;
    }

    std::string Shown(const ManifestFile& file) const { return ShownSourceName(manifest_, file); }

    // A file that cannot be read is the manifest's fault: it names it.
    std::vector<uint8_t> Read(const ManifestFile& file, int line, const std::string& label) const
    {
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

    void Report(const std::string& line) const
    {
        if (progress_) progress_(line);
    }

    const Manifest& manifest_;
    const ArchiveBuildProgress& progress_;
    std::string manifestName_;
};

}  // namespace

std::vector<ArchiveEntrySource> BuildManifestEntries(const Manifest& manifest, const ArchiveBuildProgress& progress)
{
    const EntryMaker maker(manifest, progress);
    std::vector<ArchiveEntrySource> entries;
    if (manifest.scenario) entries.push_back(maker.Scenario(*manifest.scenario));
    if (manifest.information) entries.push_back(maker.Information(*manifest.information));
    for (const ManifestPicture& picture : manifest.pictures) entries.push_back(maker.Picture(picture));
    for (const ManifestSound& sound : manifest.sounds) entries.push_back(maker.Sound(sound));
    return entries;
}

std::vector<uint8_t> BuildManifestArchive(const Manifest& manifest, const std::vector<uint8_t>& executableImage,
                                          const ArchiveBuildProgress& progress)
{
    ArchiveWriter writer(ManifestArchiveOptions(manifest.archive));
    for (ArchiveEntrySource& entry : BuildManifestEntries(manifest, progress)) writer.Add(std::move(entry));
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
