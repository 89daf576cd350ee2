#include "tools/authoring/WaveSampleReader.h"

#include "ZULResourceUtilLib/LittleEndian.h"
#include "tools/authoring/ArchiveBuilder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>

namespace {

constexpr uint16_t PcmTag = 1;
constexpr uint16_t FloatTag = 3;
constexpr uint16_t ExtensibleTag = 0xFFFE;
// The extensible format's subformat GUIDs are these 14 bytes behind the
// 2-byte format tag they stand for.
constexpr uint8_t SubformatGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                           0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

bool IdIs(const uint8_t* id, const char (&text)[5])
{
    return std::memcmp(id, text, 4) == 0;
}

enum class SampleType { UnsignedInteger, SignedInteger, Float };

struct SampleLayout {
    SampleType type = SampleType::SignedInteger;
    uint16_t containerBytes = 0;
    uint16_t channels = 0;
    uint16_t blockAlign = 0;
};

class WaveReader final : public SoundSampleReader {
public:
    WaveReader(SoundStreamInfo info, SampleLayout layout, std::span<const uint8_t> data)
        : info_(std::move(info)), layout_(layout), data_(data)
    {
    }

    const SoundStreamInfo& Info() const override { return info_; }

    size_t Read(std::span<double> samples) override
    {
        const size_t channels = layout_.channels;
        const size_t wanted = samples.size() / channels;
        const size_t left = (data_.size() - position_) / layout_.blockAlign;
        const size_t frames = std::min(wanted, left);
        double* out = samples.data();
        for (size_t frame = 0; frame < frames; ++frame) {
            const uint8_t* at = data_.data() + position_;
            for (size_t channel = 0; channel < channels; ++channel, at += layout_.containerBytes) *out++ = Sample(at);
            position_ += layout_.blockAlign;
        }
        return frames;
    }

private:
    double Sample(const uint8_t* at) const
    {
        switch (layout_.type) {
        case SampleType::UnsignedInteger: return (static_cast<int>(at[0]) - 128) / 128.0;
        case SampleType::SignedInteger: {
            // The container's bytes at the top of 32 bits: the sign lands in
            // bit 31 whatever the width.
            uint32_t value = 0;
            for (int k = 0; k < layout_.containerBytes; ++k)
                value |= static_cast<uint32_t>(at[k]) << (8 * (4 - layout_.containerBytes + k));
            return static_cast<int32_t>(value) / 2147483648.0;
        }
        case SampleType::Float: {
            const double value = layout_.containerBytes == 4 ? static_cast<double>(std::bit_cast<float>(ReadLe32(at)))
                                                             : std::bit_cast<double>(ReadLe64(at));
            return std::isnan(value) ? 0.0 : value;
        }
        }
        return 0;
    }

    SoundStreamInfo info_;
    SampleLayout layout_;
    std::span<const uint8_t> data_;
    size_t position_ = 0;
};

struct FoundChunk {
    size_t offset = 0;  // of the body
    uint32_t size = 0;
    bool found = false;
};

std::string Bits(unsigned bits)
{
    return std::to_string(bits) + "-bit";
}

}  // namespace

bool IsRiffWave(std::span<const uint8_t> bytes)
{
    return bytes.size() >= 12 && IdIs(bytes.data(), "RIFF") && IdIs(bytes.data() + 8, "WAVE");
}

WaveSamplesOpened OpenWaveSamples(std::span<const uint8_t> bytes)
{
    if (!IsRiffWave(bytes)) throw ArchiveBuildError("not a RIFF WAVE file (it must start with \"RIFF\", a size and \"WAVE\")");

    FoundChunk format;
    FoundChunk data;
    size_t at = 12;
    while (bytes.size() - at >= 8 && !(format.found && data.found)) {
        const uint8_t* header = bytes.data() + at;
        const uint32_t size = ReadLe32(header + 4);
        const size_t body = at + 8;
        const size_t left = bytes.size() - body;
        if (IdIs(header, "fmt ") && !format.found) {
            if (size > left) throw ArchiveBuildError("its \"fmt \" chunk runs past the end of the file");
            format = {body, size, true};
        } else if (IdIs(header, "data") && !data.found) {
            if (size > left)
                throw ArchiveBuildError("it is cut short: its \"data\" chunk declares " + std::to_string(size) +
                                        " bytes, but only " + std::to_string(left) + " follow");
            data = {body, size, true};
        }
        // The pad byte after an odd-sized chunk may be missing at the very end.
        const uint64_t next = uint64_t{body} + size + (size & 1u);
        if (next > bytes.size()) break;
        at = static_cast<size_t>(next);
    }
    if (!format.found) throw ArchiveBuildError("it has no \"fmt \" chunk");
    if (!data.found) throw ArchiveBuildError("it has no \"data\" chunk");
    if (format.size < 16)
        throw ArchiveBuildError("its \"fmt \" chunk is " + std::to_string(format.size) + " bytes; a wave format needs 16");

    const uint8_t* fields = bytes.data() + format.offset;
    uint16_t tag = ReadLe16(fields);
    const uint16_t channels = ReadLe16(fields + 2);
    const uint32_t rate = ReadLe32(fields + 4);
    const uint16_t blockAlign = ReadLe16(fields + 12);
    const uint16_t bits = ReadLe16(fields + 14);
    uint16_t validBits = bits;
    uint32_t channelMask = 0;
    std::string kind = "WAV ";
    if (tag == ExtensibleTag) {
        if (format.size < 40 || ReadLe16(fields + 16) < 22)
            throw ArchiveBuildError("its extensible format (tag 0xFFFE) is cut short: the \"fmt \" chunk has " +
                                    std::to_string(format.size) + " bytes, the format needs 40");
        validBits = ReadLe16(fields + 18);
        if (validBits == 0) validBits = bits;
        channelMask = ReadLe32(fields + 20);
        if (std::memcmp(fields + 26, SubformatGuidTail, sizeof SubformatGuidTail) != 0)
            throw ArchiveBuildError("its extensible format has a subformat that is neither PCM nor float; "
                                    "save it as PCM");
        tag = ReadLe16(fields + 24);
        kind += "extensible ";
    }
    if (tag != PcmTag && tag != FloatTag) return {nullptr, tag};

    if (channels == 0) throw ArchiveBuildError("its format has 0 channels");
    if (rate == 0) throw ArchiveBuildError("its format has a sample rate of 0");
    if (blockAlign == 0 || blockAlign % channels != 0)
        throw ArchiveBuildError("its format's block align " + std::to_string(blockAlign) + " is not a whole number of bytes for each of " +
                                std::to_string(channels) + " channels");
    SampleLayout layout;
    layout.channels = channels;
    layout.blockAlign = blockAlign;
    layout.containerBytes = static_cast<uint16_t>(blockAlign / channels);
    const unsigned containerBits = layout.containerBytes * 8u;
    if (tag == PcmTag) {
        if (layout.containerBytes > 4 || bits == 0 || bits > containerBits || validBits > bits)
            throw ArchiveBuildError("its PCM format has " + std::to_string(bits) + " bits per sample in " +
                                    std::to_string(layout.containerBytes) + "-byte samples, which pack cannot read");
        layout.type = layout.containerBytes == 1 ? SampleType::UnsignedInteger : SampleType::SignedInteger;
        kind += Bits(validBits) + " PCM";
    } else {
        if ((layout.containerBytes != 4 && layout.containerBytes != 8) || bits != containerBits)
            throw ArchiveBuildError("its floating-point format has " + std::to_string(bits) + " bits per sample in " +
                                    std::to_string(layout.containerBytes) + "-byte samples; pack reads 32 and 64 bits");
        layout.type = SampleType::Float;
        kind += Bits(bits) + " float";
    }

    SoundStreamInfo info;
    info.kind = kind;
    info.samplesPerSecond = rate;
    info.channels = channels;
    info.speakers = SpeakersFromChannelMask(channelMask, channels);
    info.frames = data.size / blockAlign;
    return {std::make_unique<WaveReader>(std::move(info), layout, bytes.subspan(data.offset, data.size)), 0};
}
