#include "tools/authoring/SoundSource.h"

#include "ZULResourceUtilLib/LittleEndian.h"
#include "sound/WaveFormat.h"
#include "tools/authoring/SoundResampler.h"
#include "tools/authoring/SoundSampleReader.h"
#include "tools/authoring/StereoMix.h"
#include "tools/authoring/WaveSampleReader.h"
#ifdef KAMISHIBAI_HAVE_SNDFILE
#include "tools/authoring/SndfileSampleReader.h"
#endif

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

constexpr size_t CanonicalHeaderBytes = 44;
constexpr uint16_t PlayedBits = 16;
// Samples of all channels decoded at once: small enough for any channel count.
constexpr size_t BlockSamples = 1 << 14;

#ifdef KAMISHIBAI_HAVE_SNDFILE
constexpr std::array<std::string_view, 5> Extensions = {".wav", ".flac", ".ogg", ".oga", ".mp3"};
constexpr const char* NotASoundReason =
    "not a sound file that pack takes: it takes WAV (RIFF WAVE), FLAC, Ogg Vorbis and MP3 files";
#else
constexpr std::array<std::string_view, 1> Extensions = {".wav"};
constexpr const char* NotASoundReason =
    "not a RIFF WAVE file (it must start with \"RIFF\", a size and \"WAVE\"); this scrtool takes WAV files "
    "(FLAC, Ogg Vorbis and MP3 are converted by the Linux scrtool)";
#endif

// What the first bytes say the file is, for messages about files that do
// not decode.
std::string KindByContent(std::span<const uint8_t> bytes)
{
    const auto startsWith = [&](std::string_view magic) {
        return bytes.size() >= magic.size() && std::memcmp(bytes.data(), magic.data(), magic.size()) == 0;
    };
    if (startsWith("fLaC")) return "FLAC";
    if (startsWith("OggS")) return "Ogg";
    // A frame header of layer III: eleven sync bits, then the layer bits 01
    // (which also keeps UTF-16 text, FF FE, from passing for MP3).
    if (startsWith("ID3") || (bytes.size() >= 2 && bytes[0] == 0xFF && (bytes[1] & 0xE6) == 0xE2)) return "MP3";
    return "";
}

std::string ChannelWords(unsigned channels)
{
    if (channels == 1) return "mono";
    if (channels == 2) return "stereo";
    return std::to_string(channels) + " channels";
}

std::string Describe(const std::string& kind, uint32_t rate, unsigned channels)
{
    return kind + " " + std::to_string(rate) + " Hz " + ChannelWords(channels);
}

std::string Hex4(unsigned value)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 12; shift >= 0; shift -= 4) text += digits[value >> shift & 15];
    return text;
}

int16_t ToPcm16(long double value)
{
    if (std::isnan(value)) return 0;
    const long double scaled = value * 32768.0L;
    if (scaled >= 32767.0L) return 32767;
    if (scaled <= -32768.0L) return -32768;
    return static_cast<int16_t>(std::llround(scaled));
}

// Frames at the output rate for frames at the source rate, as the resampler
// makes them.
uint64_t OutputFrames(uint64_t frames, uint32_t from, uint32_t to)
{
    return from == to ? frames : (frames * to + from - 1) / from;
}

class Conversion {
public:
    explicit Conversion(const SoundStreamInfo& info)
        : info_(info),
          outputChannels_(std::min<uint16_t>(info.channels, 2)),
          outputRate_(std::min(info.samplesPerSecond, WaveMaximumSampleRate))
    {
        if (info.channels == 0) throw ArchiveBuildError("it has no channels");
        if (info.samplesPerSecond == 0) throw ArchiveBuildError("it has a sample rate of 0");
        if (info.channels > 2) weights_ = StereoMixWeights(info.speakers);
        if (info.frames) CheckLength(*info.frames);
        wave_.resize(CanonicalHeaderBytes);
        if (info.frames && !Resampling())
            wave_.reserve(CanonicalHeaderBytes + static_cast<size_t>(*info.frames) * outputChannels_ * 2);
    }

    PlayableSound Run(SoundSampleReader& reader)
    {
        std::vector<double> block(std::max<size_t>(1, BlockSamples / info_.channels) * info_.channels);
        uint64_t frames = 0;
        for (;;) {
            const size_t got = reader.Read(block);
            if (got == 0) break;
            frames += got;
            CheckLength(frames);
            Take(std::span<const double>(block.data(), got * info_.channels));
        }
        if (frames == 0) throw ArchiveBuildError("it decodes to no samples");
        if (Resampling()) {
            const std::vector<double> resampled = ResampleFrames(mixed_, outputChannels_, info_.samplesPerSecond, outputRate_);
            for (const double sample : resampled) Append(ToPcm16(sample));
        }
        WriteHeader();

        PlayableSound sound;
        sound.wave = std::move(wave_);
        sound.converted = true;
        sound.description = Describe(info_.kind, info_.samplesPerSecond, info_.channels) + ", converted to 16-bit PCM";
        if (info_.channels > 2) sound.description += ", mixed down to stereo";
        if (Resampling()) sound.description += ", resampled to " + std::to_string(outputRate_) + " Hz";
        return sound;
    }

private:
    bool Resampling() const { return outputRate_ != info_.samplesPerSecond; }

    void CheckLength(uint64_t frames) const
    {
        if (frames > uint64_t{MaximumConvertedSoundSeconds} * info_.samplesPerSecond)
            throw ArchiveBuildError("it lasts more than " + std::to_string(MaximumConvertedSoundSeconds / 60) +
                                    " minutes, the longest sound pack converts; shorten it");
        const uint64_t bytes = OutputFrames(frames, info_.samplesPerSecond, outputRate_) * outputChannels_ * 2;
        if (bytes > WaveMaximumChunkSize - CanonicalHeaderBytes)
            throw ArchiveBuildError("converted to 16-bit PCM at " + std::to_string(outputRate_) + " Hz, its samples would take " +
                                    "2 GiB or more, more than the saver plays; shorten it or lower its sample rate");
    }

    // Decoded frames: mixed down, then either kept for the resampler or
    // written straight away.
    void Take(std::span<const double> samples)
    {
        const size_t channels = info_.channels;
        for (size_t at = 0; at < samples.size(); at += channels) {
            const double* frame = samples.data() + at;
            if (channels > 2) {
                long double left = 0;
                long double right = 0;
                for (size_t c = 0; c < channels; ++c) {
                    const long double value = std::isnan(frame[c]) ? 0.0L : frame[c];
                    left += weights_[c].left * value;
                    right += weights_[c].right * value;
                }
                Put(left);
                Put(right);
            } else {
                for (size_t c = 0; c < channels; ++c) Put(frame[c]);
            }
        }
    }

    void Put(long double sample)
    {
        if (Resampling())
            mixed_.push_back(static_cast<double>(sample));
        else
            Append(ToPcm16(sample));
    }

    void Append(int16_t sample)
    {
        const uint16_t bits = static_cast<uint16_t>(sample);
        wave_.push_back(static_cast<uint8_t>(bits));
        wave_.push_back(static_cast<uint8_t>(bits >> 8));
    }

    void WriteHeader()
    {
        const uint32_t dataBytes = static_cast<uint32_t>(wave_.size() - CanonicalHeaderBytes);
        uint8_t* header = wave_.data();
        std::memcpy(header, "RIFF", 4);
        WriteLe32(header + 4, dataBytes + 36);
        std::memcpy(header + 8, "WAVEfmt ", 8);
        WriteLe32(header + 16, 16);
        const uint16_t blockAlign = static_cast<uint16_t>(outputChannels_ * PlayedBits / 8);
        WriteLe16(header + 20, 1);
        WriteLe16(header + 22, outputChannels_);
        WriteLe32(header + 24, outputRate_);
        WriteLe32(header + 28, outputRate_ * blockAlign);
        WriteLe16(header + 32, blockAlign);
        WriteLe16(header + 34, PlayedBits);
        std::memcpy(header + 36, "data", 4);
        WriteLe32(header + 40, dataBytes);
    }

    const SoundStreamInfo& info_;
    uint16_t outputChannels_;
    uint32_t outputRate_;
    std::vector<StereoWeight> weights_;
    std::vector<double> mixed_;  // at the source rate, for the resampler
    std::vector<uint8_t> wave_;
};

PlayableSound Convert(SoundSampleReader& reader)
{
    Conversion conversion(reader.Info());
    return conversion.Run(reader);
}

// A RIFF WAVE file whose samples our parser does not decode.
[[noreturn]] void RefuseUndecodedWave(uint16_t tag, const std::string& detail)
{
    throw ArchiveBuildError("its samples are stored in format tag " + Hex4(tag) + ", which " + detail +
                            ": save the sound as PCM WAV");
}

}  // namespace

std::span<const std::string_view> SoundFileExtensions()
{
    return Extensions;
}

PlayableSound PlayableSoundFromFile(std::span<const uint8_t> bytes)
{
    try {
        const WaveFileInfo info = CheckWaveFile(bytes);
        PlayableSound kept;
        kept.wave.assign(bytes.begin(), bytes.end());
        kept.description = Describe("WAV " + std::to_string(info.bitsPerSample) + "-bit PCM", info.samplesPerSecond, info.channels) +
                           ", kept as it is";
        return kept;
    } catch (const ArchiveBuildError&) {
        // Not as the saver plays it: converted below, or refused for a
        // reason of its own.
    }

    if (IsRiffWave(bytes)) {
        WaveSamplesOpened opened = OpenWaveSamples(bytes);
        if (opened.reader) return Convert(*opened.reader);
#ifdef KAMISHIBAI_HAVE_SNDFILE
        SndfileOpened decoded = OpenSndfileSamples(bytes);
        if (!decoded.reader) RefuseUndecodedWave(opened.undecodedFormatTag, "pack cannot decode (" + decoded.error + ")");
        return Convert(*decoded.reader);
#else
        RefuseUndecodedWave(opened.undecodedFormatTag, "this scrtool does not decode (the Linux scrtool may)");
#endif
    }

    const std::string kind = KindByContent(bytes);
#ifdef KAMISHIBAI_HAVE_SNDFILE
    SndfileOpened decoded = OpenSndfileSamples(bytes);
    if (decoded.reader) return Convert(*decoded.reader);
    if (!decoded.recognised && kind.empty()) throw ArchiveBuildError(NotASoundReason);
    throw ArchiveBuildError("damaged " + (kind.empty() ? std::string("sound") : kind) + " file: " + decoded.error);
#else
    if (kind.empty()) throw ArchiveBuildError(NotASoundReason);
    throw ArchiveBuildError(std::string(kind == "FLAC" ? "a " : "an ") + kind +
                            " file: FLAC, Ogg Vorbis and MP3 are converted by the Linux scrtool; convert the file to WAV first");
#endif
}
