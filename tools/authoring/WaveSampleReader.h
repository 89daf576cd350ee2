// WaveSampleReader: the samples of RIFF WAVE files in the forms the saver
// cannot play itself, decoded by a parser of our own so that every build of
// scrtool (Linux and Windows) converts them to the same bytes.
//
// Decoded: PCM (format tag 1) of 1 to 32 bits in containers of 1 to 4 bytes
// (8-bit unsigned, wider signed, valid bits at the top of the container),
// IEEE float (tag 3) of 32 or 64 bits, and the extensible format (tag
// 0xFFFE) with either of those as its subformat; any number of channels,
// placed by the extensible format's channel mask or the default WAV order.
//
// The chunk walk is the RIFF one, unlike the saver's: chunks are padded to
// an even size, "fmt " and "data" may come in either order, and other chunks
// are skipped. The RIFF size field is not trusted (the file's end is);
// a data chunk must lie wholly in the file; a trailing partial frame is
// ignored.
#pragma once

#include "tools/authoring/SoundSampleReader.h"

#include <cstdint>
#include <memory>
#include <span>

// "RIFF", a size and "WAVE".
bool IsRiffWave(std::span<const uint8_t> bytes);

struct WaveSamplesOpened {
    std::unique_ptr<SoundSampleReader> reader;
    // Without a reader: the format tag of samples stored in a form this
    // parser does not decode (ADPCM, A-law, MP3 in WAV...).
    uint16_t undecodedFormatTag = 0;
};

// Throws ArchiveBuildError for a file that is not a RIFF WAVE file or whose
// chunks or format are damaged. The bytes must outlive the reader.
WaveSamplesOpened OpenWaveSamples(std::span<const uint8_t> bytes);
