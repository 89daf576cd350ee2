// SndfileSampleReader: the samples of the sound files libsndfile reads (FLAC,
// Ogg Vorbis and Opus, MP3, AIFF, compressed WAV forms, ...), read from bytes
// in memory through its virtual I/O. Present only in builds that have
// libsndfile (KAMISHIBAI_HAVE_SNDFILE); the Windows build has none.
//
// Channels are placed by the positions libsndfile reports, else by the
// default order of the file's kind (Vorbis order for Ogg, WAV order for the
// rest). Damaged data met while reading throws ArchiveBuildError.
#pragma once

#include "tools/authoring/SoundSampleReader.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

struct SndfileOpened {
    std::unique_ptr<SoundSampleReader> reader;
    bool recognised = false;  // false: libsndfile knows no format in these bytes
    std::string error;        // without a reader: libsndfile's reason
};

// The bytes must outlive the reader. Safe to call from several threads.
SndfileOpened OpenSndfileSamples(std::span<const uint8_t> bytes);
