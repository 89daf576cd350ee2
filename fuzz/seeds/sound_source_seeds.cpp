// Seed corpus for sound_source_fuzz (the bytes of an author's sound file):
// WAV files the saver takes as they are, the WAV forms pack converts, and
// files of no sound kind. Builds with libsndfile add FLAC, Ogg Vorbis and
// MP3 files written by it.
#include "fuzz/seeds/SeedFiles.h"
#include "tests/support/SoundFiles.h"
#include "tests/support/WaveFiles.h"

#ifdef KAMISHIBAI_HAVE_SNDFILE
#include <sndfile.h>
#endif

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

void WriteSoundSourceSeeds(const std::filesystem::path& corpusRoot);

namespace {

using Bytes = std::vector<uint8_t>;

#ifdef KAMISHIBAI_HAVE_SNDFILE
Bytes Encoded(const std::filesystem::path& scratch, int format, int channels, int rate)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(scratch.string().c_str(), SFM_WRITE, &info);
    if (file == nullptr) throw std::runtime_error(std::string("libsndfile cannot write a seed: ") + sf_strerror(nullptr));
    std::vector<short> samples;
    for (const double sample : SineFrames(2000, static_cast<uint16_t>(channels), static_cast<uint32_t>(rate), 440, 0.5))
        samples.push_back(static_cast<short>(sample * 32767));
    sf_writef_short(file, samples.data(), static_cast<sf_count_t>(samples.size() / channels));
    sf_close(file);
    std::ifstream in(scratch, std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(scratch);
    return bytes;
}
#endif

}  // namespace

void WriteSoundSourceSeeds(const std::filesystem::path& corpusRoot)
{
    const std::vector<double> stereo = SineFrames(300, 2, 44100, 440, 0.7);
    const std::vector<double> six = SineFrames(100, 6, 48000, 300, 0.4);
    std::vector<std::pair<std::string, Bytes>> seeds = {
        {"pcm16-stereo", WaveEntry().Format(PcmFormat(2, 44100, 16)).Data(IntegerSampleBytes(stereo, 16)).Bytes()},
        {"extensible-pcm16",
         WaveEntry().Chunk("fmt ", ExtensibleFormatBody(WaveSampleKind::Pcm, 2, 44100, 16, 16, 3)).Data(IntegerSampleBytes(stereo, 16)).Bytes()},
        {"extensible-pcm24-in-32",
         WaveEntry().Chunk("fmt ", ExtensibleFormatBody(WaveSampleKind::Pcm, 2, 44100, 32, 24, 3)).Data(IntegerSampleBytes(stereo, 32)).Bytes()},
        {"extensible-float-6ch",
         WaveEntry().Chunk("fmt ", ExtensibleFormatBody(WaveSampleKind::Float, 6, 48000, 32, 32, 0x3F)).Data(FloatSampleBytes(six, 32)).Bytes()},
        {"float32", WaveEntry().Format(TaggedFormat(3, 2, 44100, 32)).Data(FloatSampleBytes(stereo, 32)).Bytes()},
        {"float64-mono", WaveEntry().Format(TaggedFormat(3, 1, 8000, 64)).Data(FloatSampleBytes(SineFrames(200, 1, 8000, 300, 0.9), 64)).Bytes()},
        {"float32-768k", WaveEntry().Format(TaggedFormat(3, 1, 768000, 32)).Data(FloatSampleBytes(SineFrames(800, 1, 768000, 1000, 0.5), 32)).Bytes()},
        {"pcm16-odd-chunk", WaveEntry().Format(PcmFormat(1, 8000, 16)).Chunk("note", {'a', 'b', 'c', 0}, 3)
                                .Data(IntegerSampleBytes(SineFrames(200, 1, 8000, 300, 0.5), 16)).Bytes()},
        {"adpcm-tag", WaveEntry().Format(TaggedFormat(0x11, 1, 8000, 4)).Data(Bytes(256, 0x17)).Bytes()},
        {"text", Bytes{'h', 'e', 'l', 'l', 'o', '\n'}},
    };
#ifdef KAMISHIBAI_HAVE_SNDFILE
    std::filesystem::create_directories(corpusRoot);
    const std::filesystem::path scratch = corpusRoot / "sound-source-scratch";
    seeds.emplace_back("flac-stereo", Encoded(scratch, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 22050));
    seeds.emplace_back("flac-6ch", Encoded(scratch, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 6, 8000));
    seeds.emplace_back("ogg-vorbis", Encoded(scratch, SF_FORMAT_OGG | SF_FORMAT_VORBIS, 1, 22050));
    seeds.emplace_back("mp3", Encoded(scratch, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 1, 22050));
    seeds.emplace_back("wav-ima-adpcm", Encoded(scratch, SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 1, 8000));
#endif
    for (const auto& [name, bytes] : seeds) WriteSeed(corpusRoot / "sound_source_fuzz", name, bytes);
}
