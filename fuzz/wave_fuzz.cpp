// Input: the bytes of one sound entry ("SSWv" id 1), any bytes at all.
//
// The RIFF walk runs over the bytes and through an in-memory archive that
// stores them encrypted (interleaved, 256-byte blocks), from no previous
// format and from a previous 44.1 kHz stereo one.
//
// Oracles: the two walks agree field for field; a "data" chunk starts inside
// the entry; a success has a byte rate the buffer size can hold and the
// derived values the walk's rules give; the cursor stands at the samples.
#include "sound/WaveFormat.h"
#include "ZULResourceUtilLib/ResArchive.h"
#include "fuzz/FuzzArchive.h"

#include <cstdlib>
#include <vector>

namespace {

bool Same(const WaveInfo& a, const WaveInfo& b)
{
    return a.status == b.status && a.failure == b.failure && a.failureOffset == b.failureOffset &&
           a.format == b.format && a.formatRead == b.formatRead && a.dataFound == b.dataFound &&
           a.dataStart == b.dataStart && a.dataLength == b.dataLength && a.frameBytes == b.frameBytes &&
           a.bufferBytes == b.bufferBytes && a.durationMs == b.durationMs;
}

void Check(bool condition)
{
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20)) return 0;
    const std::vector<uint8_t> entry(data, data + size);

    ResArchive archive;
    const EntryRecord& record = OpenSingleEntryArchive(archive, ResTagSound, 1, entry, 0x57415645u, "wave_fuzz.brsc");

    WaveFormatFields stereo;
    stereo.formatTag = 1;
    stereo.channels = 2;
    stereo.samplesPerSecond = 44100;
    stereo.averageBytesPerSecond = 176400;
    stereo.blockAlign = 4;
    stereo.bitsPerSample = 16;

    for (const WaveFormatFields& previous : {WaveFormatFields{}, stereo}) {
        const WaveInfo parsed = ParseWave(entry, previous);
        ResCursor cursor{record, 0};
        const WaveInfo read = ReadWave(archive, cursor, previous);
        Check(Same(parsed, read));

        if (parsed.dataFound) {
            Check(parsed.dataStart >= 20 && parsed.dataStart <= size);
            Check(parsed.dataLength <= WaveMaximumChunkSize);
            Check(cursor.position == static_cast<int64_t>(parsed.dataStart));
        } else {
            Check(parsed.dataLength == 0);
        }
        if (!parsed.formatRead) Check(parsed.format == previous);
        if (parsed.formatRead) Check(parsed.format.extraBytes == 0);
        if (parsed.status == WaveStatusOk) {
            const uint32_t rate = parsed.format.averageBytesPerSecond;
            Check(rate >= 1 && rate <= WaveMaximumByteRate);
            Check(parsed.bufferBytes == static_cast<int32_t>(2 * rate));
            Check(parsed.frameBytes == parsed.format.bitsPerSample / 8 * parsed.format.channels);
            if (parsed.dataFound) {
                // Rounding may move the truncated result across one whole number, no further.
                const uint64_t exact = uint64_t{parsed.dataLength} * 1000 / rate;
                Check(parsed.durationMs == UINT32_MAX ||
                      (uint64_t{parsed.durationMs} + 1 >= exact && parsed.durationMs <= exact + 1));
            }
        } else {
            Check(parsed.failure != WaveFailure::None && parsed.failure != WaveFailure::ReadFailed);
        }
    }
    return 0;
}
