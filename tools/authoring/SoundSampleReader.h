// SoundSampleReader: the samples of one decoded sound file, a block of
// frames at a time, for SoundSource's conversion. One reader per decoder
// (WaveSampleReader.h for WAV forms, SndfileSampleReader.h for what
// libsndfile reads).
//
// Samples come interleaved (a frame holds one sample of every channel, in
// the file's channel order) as doubles at full scale 1: integer samples of
// b bits are divided by 2^(b-1), so that they lie in [-1, 1); floating-point
// samples pass as they are (and may lie outside). The reader reads from the
// caller's bytes, which must outlive it. Damaged data throws
// ArchiveBuildError with a reason that does not name the file.
#pragma once

#include "tools/authoring/StereoMix.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct SoundStreamInfo {
    std::string kind;  // for messages: "FLAC", "MP3", "WAV 32-bit float", ...
    uint32_t samplesPerSecond = 0;
    uint16_t channels = 0;
    std::vector<Speaker> speakers;  // one per channel
    // The frame count when known before decoding: exact for WAV, the
    // decoder's figure for others (compressed streams may end sooner).
    std::optional<uint64_t> frames;
};

class SoundSampleReader {
public:
    virtual ~SoundSampleReader() = default;
    virtual const SoundStreamInfo& Info() const = 0;
    // Fills whole frames into samples (up to samples.size() / channels of
    // them); returns how many frames it filled, 0 at the end.
    virtual size_t Read(std::span<double> samples) = 0;
};
