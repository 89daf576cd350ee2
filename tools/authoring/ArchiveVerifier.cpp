#include "tools/authoring/ArchiveVerifier.h"

#include "imaging/DirectBmpControl.h"
#include "imaging/PictureLoader.h"
#include "platform/JpegDecoder.h"
#include "scenario/ScenarioRecord.h"
#include "sound/WaveFormat.h"
#include "tools/authoring/InformationBlock.h"
#include "tools/authoring/PictureEntryWriter.h"
#include "ZULResourceUtilLib/LittleEndian.h"
#include "ZULResourceUtilLib/LzssCodec.h"
#include "ZULResourceUtilLib/TResReadStream.h"
#include "ZULResourceUtilLib/ZlibCodec.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

// The longest scenario an entry can hold; bytes after it are never records.
constexpr int64_t ScenarioReadLimit = int64_t{ScenarioRecordsOffset} + int64_t{ScenarioRecordSize} * ScenarioMaxRecords;

const char* StorageText(uint8_t kind)
{
    switch (kind) {
    case 0: return "raw";
    case 1: return "lzss";
    case 2: return "zlib";
    case 3: return "jpeg";
    default: return "unknown";
    }
}

std::string Count(uint64_t count, const char* noun)
{
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string SizeText(uint64_t width, uint64_t height)
{
    return std::to_string(width) + " x " + std::to_string(height);
}

class Verifier {
public:
    explicit Verifier(ResArchive& archive) : archive_(archive) {}

    VerifyReport Run()
    {
        CollectIds();
        for (size_t group = 0; group < archive_.groups.size(); ++group) {
            VerifyGroup summary;
            summary.tag = archive_.groups[group].tag;
            summary.entries = archive_.groups[group].entryCount;
            const size_t problemsBefore = report_.problems.size();
            for (uint32_t entry = 0; entry < summary.entries; ++entry)
                summary.checked += CheckEntry(static_cast<int64_t>(group), entry, summary.tag) ? 1 : 0;
            summary.problems = static_cast<uint32_t>(report_.problems.size() - problemsBefore);
            report_.groups.push_back(summary);
        }
        if (!report_.hasScenario)
            Warn(VerifyCheck::Scenario, ResTagScenario, ScenarioEntryId,
                 "no scenario: the saver shows its banner instead of pictures");
        return std::move(report_);
    }

private:
    // The ids a scenario and the information block may name: those the
    // saver's look-ups can reach. A look-up takes the first group with a tag
    // and the first entry with an id in it, so a repeated group or id hides
    // what comes after it.
    void CollectIds()
    {
        std::set<uint32_t> tags;
        for (size_t group = 0; group < archive_.groups.size(); ++group) {
            const uint32_t tag = archive_.groups[group].tag;
            const uint32_t count = archive_.groups[group].entryCount;
            if (!tags.insert(tag).second) {
                Warn(VerifyCheck::Index, tag, 0,
                     "group " + std::to_string(group) + " of the index repeats this tag: its " +
                         Count(count, "entry") + " can never be found (look-ups take the first group with a tag)");
                continue;
            }
            std::set<uint32_t>* reachable = tag == ResTagPicture ? &pictureIds_ : tag == ResTagSound ? &soundIds_ : nullptr;
            std::set<uint32_t> ids;
            for (uint32_t entry = 0; entry < count; ++entry) {
                const EntryRecord* record = ResEntryRecordOf(archive_, static_cast<int64_t>(group), entry);
                if (!record) continue;
                if (!ids.insert(record->id).second) {
                    Warn(VerifyCheck::Entry, tag, record->id,
                         "entry " + std::to_string(entry) + " of the group repeats id " + std::to_string(record->id) +
                             ": it can never be found (look-ups take the first entry with an id)");
                    continue;
                }
                if (reachable) reachable->insert(record->id);
            }
        }
    }

    void Problem(VerifyCheck check, uint32_t tag, uint32_t id, std::string reason, int record = -1)
    {
        report_.problems.push_back({check, tag, id, std::move(reason), record});
    }
    void Warn(VerifyCheck check, uint32_t tag, uint32_t id, std::string reason, int record = -1)
    {
        report_.warnings.push_back({check, tag, id, std::move(reason), record});
    }

    // True when the entry was one this verifier checks.
    bool CheckEntry(int64_t group, uint32_t entry, uint32_t tag)
    {
        const EntryRecord* record = ResEntryRecordOf(archive_, group, entry);
        if (!record) {
            const char* meaning = ResErrorMeaning(archive_.lastError);
            Problem(
                VerifyCheck::Entry, tag, 0,
                "index entry " + std::to_string(entry) + " cannot be read: " + (meaning ? meaning : "unknown error"));
            return false;
        }
        if (record->DataLength() < 0) {
            Problem(VerifyCheck::Entry, tag, record->id, "prefix and suffix are longer than the stored entry");
            return false;
        }
        const PictureLocator locator{group, static_cast<int64_t>(entry)};
        if (tag == ResTagPicture) {
            CheckPicture(locator, *record);
        } else if (tag == ResTagSound) {
            CheckSound(*record);
        } else if (tag == ResTagScenario && record->id == ScenarioEntryId) {
            report_.hasScenario = true;
            CheckScenario(locator, *record);
        } else if (tag == ResTagInformation && record->id == SSInfoEntryId) {
            report_.hasInformation = true;
            CheckInformation(locator, *record);
        } else {
            return false;
        }
        return true;
    }

    void CheckPicture(PictureLocator locator, const EntryRecord& record)
    {
        const uint32_t id = record.id;
        if (record.DataLength() < PictureHeaderSize) {
            Problem(VerifyCheck::Picture, ResTagPicture, id,
                    "picture entry is " + Count(static_cast<uint64_t>(record.DataLength()), "byte") +
                        ", shorter than its 32-byte header");
            return;
        }
        uint8_t bytes[PictureHeaderSize];
        if (ResReadAt(archive_, locator.groupIndex, locator.entryIndex, 0, bytes, PictureHeaderSize) !=
            PictureHeaderSize) {
            Problem(VerifyCheck::Picture, ResTagPicture, id, "picture header cannot be read");
            return;
        }
        const PictureHeader header = PictureHeader::Parse(bytes);
        if (header.storageKind > 3) {
            Problem(VerifyCheck::Picture, ResTagPicture, id,
                    "unknown picture storage kind " + std::to_string(header.storageKind));
            return;
        }
        const std::string shape = std::to_string(header.width) + "x" + std::to_string(header.height) + ", depth " +
                                  std::to_string(header.depth) + ", " + StorageText(header.storageKind);
        if (header.width == 0 || header.height == 0 || header.width > MaximumBufferDimension ||
            header.height > MaximumBufferDimension) {
            Problem(VerifyCheck::Picture, ResTagPicture, id,
                    "picture size outside 1 to " + std::to_string(MaximumBufferDimension) + " (" + shape + ")");
            return;
        }
        if (!PictureWithinMemoryLimit(header.width, header.height)) {
            Problem(VerifyCheck::Picture, ResTagPicture, id, PictureTooLargeReason(id, header.width, header.height));
            return;
        }
        // The loader fills the bytes of a row beyond the stride with zeros:
        // the picture would show, but not the one its author made.
        const uint32_t rowLength = PictureRowLength(header.depth, header.width);
        if (header.storageKind != 3 && header.stride < rowLength) {
            Problem(VerifyCheck::Picture, ResTagPicture, id,
                    "stride " + std::to_string(header.stride) + " is shorter than a row: " +
                        Count(header.width, "pixel") + " of depth " + std::to_string(header.depth) + " take " +
                        Count(rowLength, "byte") + ", so every row lacks pixel data (" + shape + ")");
            return;
        }
        // As the viewer loads it, and as 32 bits (the about picture of the
        // configuration dialog): the two take different paths for some kinds.
        int32_t storedPitch = 0;
        for (const PictureDepth depth : {PictureDepth::AsStored, PictureDepth::Force32}) {
            DirectBmpControl picture;
            const bool loaded = LoadPicture(archive_, locator, picture, depth, PictureParts::Whole, nullptr);
            if (depth == PictureDepth::AsStored) storedPitch = picture.Pitch;
            if (!loaded) {
                std::string reason = depth == PictureDepth::AsStored ? "picture does not decode ("
                                                                     : "picture does not decode as 32 bits (";
                reason += shape + ")";
                if (header.storageKind == 3) reason += JpegFrameMismatch(record, header);
                Problem(VerifyCheck::Picture, ResTagPicture, id, reason);
                return;
            }
        }
        if (header.storageKind == 1 || header.storageKind == 2) {
            if (!CheckPackedStride(record, header, storedPitch, shape)) return;
            CheckPackedRows(locator, record, header);
        }
    }

    // Packed rows expand back to back into the picture's memory, whose rows
    // lie a pitch apart: a stride shorter than the pitch (though long enough
    // for a row) starts every row a little further left than the one above,
    // so the picture shows sheared.
    bool CheckPackedStride(const EntryRecord& record, const PictureHeader& header, int32_t pitch,
                           const std::string& shape)
    {
        if (pitch <= 0 || header.stride == static_cast<uint32_t>(pitch)) return true;
        Problem(VerifyCheck::Picture, ResTagPicture, record.id,
                "stride " + std::to_string(header.stride) + " is not the " + Count(static_cast<uint32_t>(pitch), "byte") +
                    " row pitch of the picture: " + StorageText(header.storageKind) +
                    " rows are expanded back to back, so every row would show shifted against the one above (" +
                    shape + ")");
        return false;
    }

    // Why a JPEG stream that failed to load was refused, when the reason is
    // that its frame is not the picture the header describes; else nothing.
    // The decoder refuses such a frame on reading its header, so asking it
    // again costs only the read of the entry.
    std::string JpegFrameMismatch(const EntryRecord& record, const PictureHeader& header)
    {
        ResCursor cursor{record, 0};
        if (ResCursorSeek(archive_, cursor, PictureHeaderSize + int64_t{header.paletteCount} * 4) < 0) return "";
        JpegFrameDimensions frame;
        try {
            TResReadStream stream(&archive_, true, &cursor);
            DecodeJpeg(stream, JpegLimits{header.width, header.height, MaximumPictureBytes}, &frame);
        } catch (...) {
            return "";
        }
        if (frame.width == 0 || (frame.width == header.width && frame.height == header.height)) return "";
        return ": its JPEG frame is " + SizeText(static_cast<uint64_t>(frame.width), static_cast<uint64_t>(frame.height)) +
               " pixels, not the " + SizeText(header.width, header.height) + " of the picture header";
    }

    // The loader takes packed data that ends early as the end of the picture
    // and leaves the rest of it black: the rows must all be there.
    void CheckPackedRows(PictureLocator locator, const EntryRecord& record, const PictureHeader& header)
    {
        const auto problem = [&](const std::string& reason) {
            Problem(VerifyCheck::Picture, ResTagPicture, record.id, reason);
        };
        const int64_t lengthAt = PictureHeaderSize + int64_t{header.paletteCount} * 4;
        uint8_t word[4];
        if (ResReadAt(archive_, locator.groupIndex, locator.entryIndex, lengthAt, word, 4) != 4) {
            problem("packed length cannot be read");
            return;
        }
        const uint32_t packed = ReadLe32(word);
        const int64_t left = record.DataLength() - lengthAt - 4;
        if (packed > left) {
            problem("packed data of " + Count(packed, "byte") + " runs past the end of the entry (" +
                    Count(static_cast<uint64_t>(left), "byte") + " left)");
            return;
        }
        // Within limits: the loads above took the same size.
        const uint32_t capacity = static_cast<uint32_t>(uint64_t{header.height} * header.stride);
        std::vector<uint8_t> rows(capacity);
        ResCursor cursor{record, 0};
        if (ResCursorSeek(archive_, cursor, lengthAt + 4) < 0) {
            problem("packed data cannot be read");
            return;
        }
        TResReadStream stream(&archive_, false, &cursor);
        uint32_t produced = packed;
        const bool decoded = header.storageKind == 1
                                 ? LzssRun(archive_.lzss, 'D', capacity, rows.data(), nullptr, produced, &stream)
                                 : ZlibRun(archive_.zlib, 'D', capacity, rows.data(), nullptr, produced, &stream);
        if (!decoded || produced != capacity)
            problem(std::string(header.storageKind == 1 ? "LZSS" : "zlib") + " data gives " +
                    std::to_string(decoded ? produced : 0) + " of the " + Count(capacity, "byte") + " of rows");
    }

    void CheckSound(const EntryRecord& record)
    {
        const uint32_t id = record.id;
        ResCursor cursor{record, 0};
        const WaveInfo wave = ReadWave(archive_, cursor);
        const auto problem = [&](const std::string& reason) { Problem(VerifyCheck::Sound, ResTagSound, id, reason); };
        switch (wave.failure) {
        case WaveFailure::NotRiff:
        case WaveFailure::NotWave:
        case WaveFailure::ReadFailed: problem(std::string("sound: ") + WaveFailureText(wave.failure)); return;
        case WaveFailure::ChunkTooLarge:
            problem("sound: chunk at byte " + std::to_string(wave.failureOffset) + " has a size of 2^31 bytes or more");
            return;
        default: break;
        }
        if (!wave.formatRead) {
            problem(wave.dataFound ? "sound: the data chunk comes before any fmt chunk" : "sound: no fmt chunk");
            return;
        }
        if (wave.status != WaveStatusOk) {
            problem(std::string("sound: ") + WaveFailureText(wave.failure));
            return;
        }
        if (const WaveFormatFault fault = PlayableFormatFault(wave.format); fault != WaveFormatFault::None) {
            problem("sound: the sound device cannot play its format: " + UnplayableFormatText(wave.format, fault));
            return;
        }
        if (!wave.dataFound) {
            problem("sound: no data chunk");
            return;
        }
        const uint64_t entryLength = static_cast<uint64_t>(record.DataLength());
        if (wave.dataStart + wave.dataLength > entryLength)
            problem("sound: data chunk of " + Count(wave.dataLength, "byte") + " runs past the end of the entry (" +
                    Count(entryLength - wave.dataStart, "byte") + " of samples)");
    }

    void CheckScenario(PictureLocator locator, const EntryRecord& record)
    {
        const auto problem = [&](const std::string& reason) {
            Problem(VerifyCheck::Scenario, ResTagScenario, ScenarioEntryId, reason);
        };
        std::vector<uint8_t> bytes(static_cast<size_t>(std::min(record.DataLength(), ScenarioReadLimit)));
        if (!bytes.empty() && ResReadAt(archive_, locator.groupIndex, locator.entryIndex, 0, bytes.data(),
                                        static_cast<int64_t>(bytes.size())) != static_cast<int64_t>(bytes.size())) {
            problem("scenario cannot be read");
            return;
        }
        std::string reason;
        const std::optional<Scenario> scenario = ParseScenarioEntry(bytes, &reason);
        if (!scenario) {
            problem("scenario: " + reason);
            return;
        }
        const int64_t count = static_cast<int64_t>(scenario->Records.size());
        const std::string range = "0 to " + std::to_string(count - 1);
        for (size_t index = 0; index < scenario->Records.size(); ++index) {
            const ScenarioRecord& r = scenario->Records[index];
            const int recordIndex = static_cast<int>(index);
            const std::string at = "record " + std::to_string(index) + ": ";
            const auto recordProblem = [&](const std::string& reason) {
                Problem(VerifyCheck::Scenario, ResTagScenario, ScenarioEntryId, reason, recordIndex);
            };
            const auto wordSlot = [&](uint8_t flag, int16_t argument, const char* name) {
                if ((r.ArgFlags & flag) && (argument < 0 || argument >= ScenarioSettingsWordSlots))
                    recordProblem(at + name + " names settings word slot " + std::to_string(argument) +
                                  " (slots are 0 to " + std::to_string(ScenarioSettingsWordSlots - 1) + ")");
            };
            const auto target = [&](int32_t value) {
                const int16_t record = static_cast<int16_t>(static_cast<uint32_t>(value) & 0xFFFF);
                if (record < 0 || record >= count)
                    recordProblem(at + "jump target " + std::to_string(record) + " is not a record (" + range + ")");
            };
            switch (r.Code) {
            case ScenarioCode::Wait:
            case ScenarioCode::SetEffect:
            case ScenarioCode::SetVolume: wordSlot(ScenarioArg1FromSettings, r.Arg1, "Arg1"); break;
            case ScenarioCode::SetPictureArea:
                wordSlot(ScenarioArg1FromSettings, r.Arg1, "Arg1");
                wordSlot(ScenarioArg2FromSettings, r.Arg2, "Arg2");
                break;
            case ScenarioCode::ShowPicture:
                wordSlot(ScenarioArg1FromSettings, r.Arg1, "Arg1");
                if (!(r.ArgFlags & ScenarioArg1FromSettings) && (r.Arg1 < 0 || r.Arg1 > 4))
                    recordProblem(at + "speed " + std::to_string(r.Arg1) + " is outside 0 to 4");
                if (!pictureIds_.count(static_cast<uint32_t>(r.Values[0])))
                    Warn(VerifyCheck::Scenario, ResTagScenario, ScenarioEntryId,
                         at + "shows picture " + std::to_string(r.Values[0]) + ", which the archive does not hold",
                         recordIndex);
                for (int slot = 1; slot <= 3 && r.Values[slot] != 0; ++slot)
                    WarnMissingSound(recordIndex, at, r.Values[slot]);
                break;
            case 4:
            case ScenarioCode::PlaySound:
                if (r.ValueFlags & ScenarioValue0FromSettings) {
                    if (r.Values[0] < 0 || r.Values[0] >= ScenarioSettingsValueSlots)
                        recordProblem(at + "Values[0] names settings value slot " + std::to_string(r.Values[0]) +
                                      " (slots are 0 to " + std::to_string(ScenarioSettingsValueSlots - 1) + ")");
                } else if (r.Code == ScenarioCode::PlaySound) {
                    WarnMissingSound(recordIndex, at, r.Values[0]);
                }
                break;
            case ScenarioCode::Jump: target(r.Values[0]); break;
            case ScenarioCode::RandomJump: {
                const int targets = r.Arg1 % 4;  // with the sign of Arg1, as the player takes it
                if (targets < 1) {
                    recordProblem(at + "random jump with Arg1 " + std::to_string(r.Arg1) +
                                  " has no targets (Arg1 mod 4 must be 1 to 3)");
                    break;
                }
                for (int i = 0; i < targets; ++i) target(r.Values[static_cast<size_t>(i)]);
                break;
            }
            default: break;
            }
        }
    }

    void WarnMissingSound(int record, const std::string& at, int32_t id)
    {
        if (!soundIds_.count(static_cast<uint32_t>(id)))
            Warn(VerifyCheck::Scenario, ResTagScenario, ScenarioEntryId,
                 at + "names sound " + std::to_string(id) + ", which the archive does not hold", record);
    }

    void CheckInformation(PictureLocator locator, const EntryRecord& record)
    {
        if (record.DataLength() < static_cast<int64_t>(SSInfoSize)) {
            Problem(VerifyCheck::Information, ResTagInformation, SSInfoEntryId,
                    "information block is " + Count(static_cast<uint64_t>(record.DataLength()), "byte") +
                        ", shorter than " + std::to_string(SSInfoSize));
            return;
        }
        uint8_t about[4];
        if (ResReadAt(archive_, locator.groupIndex, locator.entryIndex, SSInfoAboutPictureOffset, about, 4) != 4) {
            Problem(VerifyCheck::Information, ResTagInformation, SSInfoEntryId,
                    "information block cannot be read");
            return;
        }
        const uint32_t aboutPicture = ReadLe32(about);
        if (aboutPicture != 0 && !pictureIds_.count(aboutPicture))
            Warn(VerifyCheck::Information, ResTagInformation, SSInfoEntryId,
                 "about picture " + std::to_string(aboutPicture) + " is not in the archive");
    }

    ResArchive& archive_;
    VerifyReport report_;
    std::set<uint32_t> pictureIds_;
    std::set<uint32_t> soundIds_;
};

}  // namespace

VerifyReport VerifyArchive(ResArchive& archive)
{
    return Verifier(archive).Run();
}

std::string UnplayableFormatText(const WaveFormatFields& format, WaveFormatFault fault)
{
    const uint32_t block = uint32_t{format.channels} * (format.bitsPerSample / 8u);
    switch (fault) {
    case WaveFormatFault::None: break;
    case WaveFormatFault::NotPcm:
        return "format tag " + std::to_string(format.formatTag) + " is not PCM (1), the only format the saver can hand it";
    case WaveFormatFault::Channels:
        return Count(format.channels, "channel") + " (it plays 1 to " + std::to_string(WaveMaximumChannels) + ")";
    case WaveFormatFault::BitsPerSample:
        return std::to_string(format.bitsPerSample) + " bits per sample (it plays 8, 16, 24 or 32)";
    case WaveFormatFault::SampleRate:
        return "sample rate " + std::to_string(format.samplesPerSecond) + " (it plays 1 to " +
               std::to_string(WaveMaximumSampleRate) + " samples per second)";
    case WaveFormatFault::BlockAlign:
        return "block align " + std::to_string(format.blockAlign) + ", not the " + Count(block, "byte") + " of " +
               Count(format.channels, "channel") + " of " + std::to_string(format.bitsPerSample) + " bits";
    case WaveFormatFault::ByteRate:
        return "average byte rate " + std::to_string(format.averageBytesPerSecond) + ", not the " +
               std::to_string(uint64_t{format.samplesPerSecond} * block) + " of " +
               std::to_string(format.samplesPerSecond) + " blocks of " + Count(block, "byte") + " a second";
    }
    return "";
}

std::string PictureTooLargeReason(uint32_t id, uint32_t width, uint32_t height)
{
    return "picture " + std::to_string(id) + " is " + SizeText(width, height) + ": larger than the " +
           std::to_string(MaximumPictureBytes >> 20) + " MB a picture may take";
}
