#include "tools/authoring/SndfileSampleReader.h"

#include "tools/authoring/ArchiveBuilder.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>

namespace {

// The bytes as a read-only file for libsndfile's virtual I/O.
struct MemoryFile {
    std::span<const uint8_t> bytes;
    sf_count_t position = 0;

    static sf_count_t Length(void* self) { return static_cast<sf_count_t>(static_cast<MemoryFile*>(self)->bytes.size()); }
    static sf_count_t Seek(sf_count_t offset, int whence, void* self)
    {
        MemoryFile& file = *static_cast<MemoryFile*>(self);
        const sf_count_t size = static_cast<sf_count_t>(file.bytes.size());
        sf_count_t base = 0;
        if (whence == SEEK_CUR) base = file.position;
        else if (whence == SEEK_END) base = size;
        else if (whence != SEEK_SET) return -1;
        if ((offset > 0 && base > std::numeric_limits<sf_count_t>::max() - offset)) return -1;
        const sf_count_t target = base + offset;
        if (target < 0) return -1;
        file.position = target;  // beyond the end reads give nothing
        return target;
    }
    static sf_count_t Read(void* destination, sf_count_t count, void* self)
    {
        MemoryFile& file = *static_cast<MemoryFile*>(self);
        const sf_count_t size = static_cast<sf_count_t>(file.bytes.size());
        if (count <= 0 || file.position >= size) return 0;
        const sf_count_t length = std::min(count, size - file.position);
        std::memcpy(destination, file.bytes.data() + file.position, static_cast<size_t>(length));
        file.position += length;
        return length;
    }
    static sf_count_t Write(const void*, sf_count_t, void*) { return 0; }
    static sf_count_t Tell(void* self) { return static_cast<MemoryFile*>(self)->position; }
};

// libsndfile keeps the reason a file did not open in one variable for the
// whole process.
std::mutex openingMutex;

Speaker SpeakerOf(int position)
{
    switch (position) {
    case SF_CHANNEL_MAP_MONO:
    case SF_CHANNEL_MAP_CENTER:
    case SF_CHANNEL_MAP_FRONT_CENTER: return Speaker::FrontCentre;
    case SF_CHANNEL_MAP_LEFT:
    case SF_CHANNEL_MAP_FRONT_LEFT: return Speaker::FrontLeft;
    case SF_CHANNEL_MAP_RIGHT:
    case SF_CHANNEL_MAP_FRONT_RIGHT: return Speaker::FrontRight;
    case SF_CHANNEL_MAP_REAR_CENTER: return Speaker::BackCentre;
    case SF_CHANNEL_MAP_REAR_LEFT: return Speaker::BackLeft;
    case SF_CHANNEL_MAP_REAR_RIGHT: return Speaker::BackRight;
    case SF_CHANNEL_MAP_LFE: return Speaker::LowFrequency;
    case SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER: return Speaker::FrontLeftOfCentre;
    case SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER: return Speaker::FrontRightOfCentre;
    case SF_CHANNEL_MAP_SIDE_LEFT: return Speaker::SideLeft;
    case SF_CHANNEL_MAP_SIDE_RIGHT: return Speaker::SideRight;
    case SF_CHANNEL_MAP_TOP_CENTER: return Speaker::TopCentre;
    case SF_CHANNEL_MAP_TOP_FRONT_LEFT: return Speaker::TopFrontLeft;
    case SF_CHANNEL_MAP_TOP_FRONT_RIGHT: return Speaker::TopFrontRight;
    case SF_CHANNEL_MAP_TOP_FRONT_CENTER: return Speaker::TopFrontCentre;
    case SF_CHANNEL_MAP_TOP_REAR_LEFT: return Speaker::TopBackLeft;
    case SF_CHANNEL_MAP_TOP_REAR_RIGHT: return Speaker::TopBackRight;
    case SF_CHANNEL_MAP_TOP_REAR_CENTER: return Speaker::TopBackCentre;
    default: return Speaker::Unknown;
    }
}

std::string FormatName(SNDFILE* file, int format)
{
    SF_FORMAT_INFO info{};
    info.format = format;
    if (sf_command(file, SFC_GET_FORMAT_INFO, &info, sizeof info) != 0 || info.name == nullptr) return "";
    return info.name;
}

// How messages name the file's kind.
std::string KindOf(SNDFILE* file, int format)
{
    const int major = format & SF_FORMAT_TYPEMASK;
    const int subtype = format & SF_FORMAT_SUBMASK;
    switch (major) {
    case SF_FORMAT_FLAC: return "FLAC";
    case SF_FORMAT_OGG:
        if (subtype == SF_FORMAT_VORBIS) return "Ogg Vorbis";
        if (subtype == SF_FORMAT_OPUS) return "Ogg Opus";
        if (subtype == SF_FORMAT_FLAC) return "Ogg FLAC";
        return "Ogg";
    case SF_FORMAT_MPEG:
        if (subtype == SF_FORMAT_MPEG_LAYER_III) return "MP3";
        if (subtype == SF_FORMAT_MPEG_LAYER_II) return "MPEG layer II";
        if (subtype == SF_FORMAT_MPEG_LAYER_I) return "MPEG layer I";
        return "MPEG audio";
    case SF_FORMAT_WAV: return "WAV " + FormatName(file, subtype);
    case SF_FORMAT_AIFF: return "AIFF";
    default: {
        const std::string name = FormatName(file, major);
        return name.empty() ? "sound" : name;
    }
    }
}

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

class SndfileReader final : public SoundSampleReader {
public:
    SndfileReader(std::unique_ptr<MemoryFile> memory, SndfileHandle file, SoundStreamInfo info)
        : memory_(std::move(memory)), file_(std::move(file)), info_(std::move(info))
    {
    }

    const SoundStreamInfo& Info() const override { return info_; }

    size_t Read(std::span<double> samples) override
    {
        const sf_count_t frames = static_cast<sf_count_t>(samples.size() / info_.channels);
        if (frames == 0) return 0;
        const sf_count_t got = sf_readf_double(file_.get(), samples.data(), frames);
        if (got < 0 || (got == 0 && sf_error(file_.get()) != SF_ERR_NO_ERROR))
            throw ArchiveBuildError("damaged " + info_.kind + " data: " + sf_strerror(file_.get()));
        return static_cast<size_t>(got);
    }

private:
    // Closed before the memory goes (members end in reverse order):
    // libsndfile may still read while it closes.
    std::unique_ptr<MemoryFile> memory_;
    SndfileHandle file_;
    SoundStreamInfo info_;
};

}  // namespace

SndfileOpened OpenSndfileSamples(std::span<const uint8_t> bytes)
{
    auto memory = std::make_unique<MemoryFile>();
    memory->bytes = bytes;
    SF_VIRTUAL_IO io{&MemoryFile::Length, &MemoryFile::Seek, &MemoryFile::Read, &MemoryFile::Write, &MemoryFile::Tell};
    SF_INFO format{};
    SndfileHandle file;
    {
        const std::lock_guard lock(openingMutex);
        file.reset(sf_open_virtual(&io, SFM_READ, &format, memory.get()));
        if (!file) {
            const int error = sf_error(nullptr);
            SndfileOpened failed;
            failed.recognised = error != SF_ERR_UNRECOGNISED_FORMAT;
            failed.error = sf_error_number(error);
            return failed;
        }
    }
    if (format.channels <= 0 || format.channels > 0xFFFF || format.samplerate <= 0)
        return {nullptr, true, "it declares " + std::to_string(format.channels) + " channels at " +
                                   std::to_string(format.samplerate) + " samples a second"};
    // Samples at full scale 1 whatever the stored form, and no clipping of
    // floating-point values here: the conversion clips after mixing.
    sf_command(file.get(), SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);

    SoundStreamInfo info;
    info.kind = KindOf(file.get(), format.format);
    info.samplesPerSecond = static_cast<uint32_t>(format.samplerate);
    info.channels = static_cast<uint16_t>(format.channels);
    std::vector<int> positions(info.channels);
    if (sf_command(file.get(), SFC_GET_CHANNEL_MAP_INFO, positions.data(),
                   static_cast<int>(positions.size() * sizeof(int))) == SF_TRUE) {
        for (const int position : positions) info.speakers.push_back(SpeakerOf(position));
    } else if ((format.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG) {
        info.speakers = VorbisDefaultSpeakers(info.channels);
    } else {
        info.speakers = WaveDefaultSpeakers(info.channels);
    }
    if (format.frames > 0 && format.frames < SF_COUNT_MAX) info.frames = static_cast<uint64_t>(format.frames);
    return {std::make_unique<SndfileReader>(std::move(memory), std::move(file), std::move(info)), true, {}};
}
