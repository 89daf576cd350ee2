// Input: the bytes of a sound file as an author gives it to scrtool pack,
// any bytes at all (WAV of any form, FLAC, Ogg, MP3, or none of them).
//
// Oracles: a failure is an ArchiveBuildError and nothing else; a success is
// either the input itself, when the saver's check takes it, or canonical
// 16-bit PCM of one or two channels at a rate the device takes, whose walk
// in the saver's loader finds the samples where they are; converting twice
// gives the same bytes.
#include "sound/WaveFormat.h"
#include "tools/authoring/SoundSource.h"
#include "ZULResourceUtilLib/LittleEndian.h"

#include <algorithm>
#include <cstdlib>
#include <span>

namespace {

void Check(bool condition)
{
    if (!condition) std::abort();
}

}  // namespace

// libsndfile 1.2.0 leaves a Vorbis stream's setup allocated when the stream
// turns out damaged while it opens; that is its leak, not ours, and would
// otherwise end every run at the first such input.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:vorbis_info_init\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Small inputs are enough to reach every path, and keep the decoders
    // (and the resampler at odd rates) fast.
    if (size > (1u << 15)) return 0;
    const std::span<const uint8_t> bytes(data, size);

    PlayableSound sound;
    try {
        sound = PlayableSoundFromFile(bytes);
    } catch (const ArchiveBuildError&) {
        return 0;
    }
    const WaveFileInfo info = CheckWaveFile(sound.wave);
    const WaveInfo walk = ParseWave(sound.wave);
    Check(walk.status == WaveStatusOk && walk.dataFound && walk.dataStart == info.dataOffset);
    if (!sound.converted) {
        Check(sound.wave.size() == size && std::equal(sound.wave.begin(), sound.wave.end(), data));
        return 0;
    }
    Check(info.formatTag == 1 && info.bitsPerSample == 16 && (info.channels == 1 || info.channels == 2));
    Check(info.samplesPerSecond >= 1 && info.samplesPerSecond <= WaveMaximumSampleRate);
    Check(info.dataOffset == 44 && info.dataLength > 0 && sound.wave.size() == 44u + info.dataLength);
    Check(info.dataLength % (2u * info.channels) == 0);
    Check(ReadLe32(sound.wave.data() + 4) == sound.wave.size() - 8);
    Check(PlayableSoundFromFile(bytes).wave == sound.wave);
    return 0;
}
