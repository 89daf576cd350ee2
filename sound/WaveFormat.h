// WaveFormat: the RIFF walk over a sound entry ("SSWv" group) that finds its
// wave format and where its samples lie, without reading the samples.
//
// Entry content, little-endian: "RIFF", a size (ignored), "WAVE", then
// chunks: a 4-byte identifier, a 32-bit size, that many bytes. The walk reads
// chunk headers from offset 12 on:
//  - "fmt ": its first min(size, 18) bytes go over the format (the 18 bytes
//    of WAVEFORMATEX: tag, channels, samples per second, average bytes per
//    second, block align, bits per sample, extra-bytes count); the
//    extra-bytes count is then set to 0. A chunk longer than 18 bytes is
//    skipped to its end (extensible formats carry more than the device
//    needs).
//  - "data": the samples start right after its header and are size bytes
//    long; the walk ends here. A "fmt " chunk behind it is never seen.
//  - anything else is skipped by its size.
// No pad byte follows a chunk of odd size, and the RIFF size is never used.
// The walk also ends when a chunk header cannot be read whole or a skip
// leaves the entry.
//
// Derived values: frame bytes = (bits per sample / 8) × channels; buffer
// bytes = 2 × average bytes per second (two seconds of sound); duration in ms
// = trunc(size ÷ average bytes per second × 1000), in extended precision in
// that order, where size is the size field of the last chunk header read (the
// "data" chunk's when there is one).
//
// The format starts from the caller's previous one: a walk that reads no
// "fmt " chunk, or fewer than 18 of its bytes, keeps what it does not
// overwrite, as the player does from one sound to the next.
//
// Failures (status WaveStatusFailed) are clean: a chunk size of 2^31 or more
// (it would run the walk backwards or turn the duration negative), an average
// byte rate of 0 (no duration) or above 2^30 - 1 (no buffer size), and a read
// error of the archive. Nothing here reads outside the given bytes or the
// entry.
#pragma once

#include "ZULResourceUtilLib/ResArchive.h"
#include "platform/WaveDevice.h"

#include <cstddef>
#include <cstdint>
#include <span>

constexpr size_t WaveFormatSize = 18;  // WAVEFORMATEX as stored
constexpr int32_t WaveInitialBufferBytes = 22050;
// The largest average byte rate whose two seconds fit a signed 32-bit size.
constexpr uint32_t WaveMaximumByteRate = 0x3FFFFFFFu;
// Chunk sizes from here on are refused.
constexpr uint32_t WaveMaximumChunkSize = 0x7FFFFFFFu;

// The walk fills in exactly what the device is opened with, so the format
// goes to the device as it was read (and whether a device plays it is
// PlayableFormatFault in platform/WaveDevice.h).
using WaveFormatFields = WaveDeviceFormat;

WaveFormatFields DecodeWaveFormat(std::span<const uint8_t, WaveFormatSize> bytes);
void EncodeWaveFormat(const WaveFormatFields& format, std::span<uint8_t, WaveFormatSize> bytes);

// The statuses of the sound player's load.
enum : int {
    WaveStatusOk = 0,
    WaveStatusFailed = -1,
    WaveStatusNotRiff = -3,
    WaveStatusNotWave = -4,
};

enum class WaveFailure : uint8_t {
    None,
    NotRiff,           // shorter than 8 bytes, or no "RIFF"
    NotWave,           // no "WAVE" after the RIFF header
    ReadFailed,        // the archive could not read or seek
    ChunkTooLarge,     // a chunk size of 2^31 or more
    ZeroByteRate,      // average bytes per second 0: no duration
    ByteRateTooLarge,  // above WaveMaximumByteRate: no buffer size
};

// One sentence for messages, e.g. "chunk size of 2^31 bytes or more".
const char* WaveFailureText(WaveFailure failure);

struct WaveInfo {
    int status = WaveStatusOk;
    WaveFailure failure = WaveFailure::None;
    // Position of the chunk header at fault, for ChunkTooLarge.
    uint64_t failureOffset = 0;

    WaveFormatFields format;  // the previous format with what the "fmt " chunk overwrote
    bool formatRead = false;  // a "fmt " chunk came before the "data" chunk

    bool dataFound = false;
    uint64_t dataStart = 0;   // offset of the first sample byte (a cursor position for ReadWave)
    uint32_t dataLength = 0;  // the "data" chunk's size; 0 without one

    // Valid when status is WaveStatusOk; otherwise as far as the walk got.
    int32_t frameBytes = 0;
    int32_t bufferBytes = WaveInitialBufferBytes;
    // Saturates at 0xFFFFFFFF (a sound of 49.7 days or more).
    uint32_t durationMs = 0;
};

// Walks entry bytes from offset 0.
WaveInfo ParseWave(std::span<const uint8_t> entry, const WaveFormatFields& previous = {});

// Walks an entry through the archive from the cursor's position (normally 0).
// On success with a "data" chunk the cursor stands at the first sample byte,
// so that a copy of it can read the samples later; otherwise where the walk
// stopped. Positions in the result are entry positions.
WaveInfo ReadWave(ResArchive& archive, ResCursor& cursor, const WaveFormatFields& previous = {});
