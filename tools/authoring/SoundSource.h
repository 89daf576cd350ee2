// SoundSource: authors' sound files into the RIFF WAVE bytes the saver's
// player plays, for scrtool pack.
//
// A file that CheckWaveFile accepts is kept byte for byte, so that archives
// packed before keep their exact bytes. Anything else is decoded and
// written as canonical 16-bit PCM: "RIFF", "WAVE", a 16-byte "fmt " chunk
// and the "data" chunk, nothing else (no chunk of odd size, whose pad byte
// the saver would not skip). The kind is told by the bytes, not the name:
//  - RIFF WAVE in a form the saver cannot play (extensible, IEEE float,
//    chunks the saver's walk would lose its way in): our own parser
//    (WaveSampleReader.h), the same on every build;
//  - FLAC, Ogg Vorbis, MP3 and whatever else libsndfile reads (compressed
//    WAV forms included): libsndfile, in builds that have it (Linux); the
//    Windows build refuses them with a message that says what to do.
// Conversion:
//  - channels: 1 and 2 are kept; more are mixed down to stereo
//    (StereoMix.h: side speakers to their side, centre ones to both at
//    -3 dB, the low-frequency channel left out, scaled so that the mix
//    cannot clip);
//  - rate: kept when the device takes it (1 to WaveMaximumSampleRate),
//    else resampled to WaveMaximumSampleRate (SoundResampler.h);
//  - samples: x × 32768 rounded to the nearest integer (halves away from 0)
//    and clipped to -32768..32767, without dither; NaN is silence.
// A converted sound may last at most MaximumConvertedSoundSeconds and its
// samples take less than 2 GiB (the saver's chunk limit); longer ones, and
// ones that decode to no samples at all, are refused.
//
// Every failure throws ArchiveBuildError with the reason alone (callers put
// the file's name in front), saying which formats pack takes where the file
// is of none of them.
#pragma once

#include "tools/authoring/ArchiveBuilder.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

constexpr uint32_t MaximumConvertedSoundSeconds = 60 * 60;

// The file name extensions (lower case, with the dot) that pack takes as
// sounds on this build: ".wav" everywhere; ".flac", ".ogg", ".oga", ".mp3"
// where this build can convert them.
std::span<const std::string_view> SoundFileExtensions();

struct PlayableSound {
    std::vector<uint8_t> wave;
    bool converted = false;
    // What the file is, and what became of it: "WAV 16-bit PCM 44100 Hz
    // stereo, kept as it is", "FLAC 44100 Hz stereo, converted to 16-bit
    // PCM" (then ", mixed down to stereo", ", resampled to 384000 Hz").
    std::string description;
};

// A sound file's bytes as a WAV the player plays, as described above.
PlayableSound PlayableSoundFromFile(std::span<const uint8_t> bytes);
