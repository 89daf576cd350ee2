#include "sound/WaveFormat.h"

#include "ZULResourceUtilLib/LittleEndian.h"

#include <algorithm>
#include <cfloat>
#include <cstring>

// The duration is computed as the saver always computed it, in the x87's
// 64-bit-mantissa extended precision; a double would truncate some sizes to
// one millisecond less.
static_assert(LDBL_MANT_DIG == 64, "the duration needs x87 extended precision (long double)");

namespace {

constexpr uint8_t RiffId[4] = {'R', 'I', 'F', 'F'};
constexpr uint8_t WaveId[4] = {'W', 'A', 'V', 'E'};
constexpr uint8_t FormatId[4] = {'f', 'm', 't', ' '};
constexpr uint8_t DataId[4] = {'d', 'a', 't', 'a'};

bool SameId(const uint8_t* bytes, const uint8_t (&id)[4])
{
    return std::memcmp(bytes, id, 4) == 0;
}

// Entry bytes in memory.
class ByteSource {
public:
    explicit ByteSource(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    int64_t Read(uint8_t* destination, size_t length)
    {
        const size_t count = std::min(length, bytes_.size() - position_);
        if (count > 0) std::memcpy(destination, bytes_.data() + position_, count);
        position_ += count;
        return static_cast<int64_t>(count);
    }
    // Skips length bytes; beyond the end it stops at the end, where the next
    // read finds nothing.
    bool Skip(uint32_t length)
    {
        position_ += std::min<size_t>(length, bytes_.size() - position_);
        return true;
    }
    uint64_t Position() const { return position_; }

private:
    std::span<const uint8_t> bytes_;
    size_t position_ = 0;
};

// An entry read through the archive.
class CursorSource {
public:
    CursorSource(ResArchive& archive, ResCursor& cursor) : archive_(archive), cursor_(cursor) {}

    int64_t Read(uint8_t* destination, size_t length)
    {
        return ResCursorRead(archive_, cursor_, destination, static_cast<int64_t>(length));
    }
    bool Skip(uint32_t length)
    {
        const int64_t end = cursor_.entry.DataLength();
        if (end < 0) return false;
        const int64_t target =
            std::min<int64_t>(cursor_.position + int64_t{length}, std::max<int64_t>(end, cursor_.position));
        return ResCursorSeek(archive_, cursor_, target) >= 0;
    }
    uint64_t Position() const { return static_cast<uint64_t>(cursor_.position); }

private:
    ResArchive& archive_;
    ResCursor& cursor_;
};

WaveInfo Failed(WaveInfo info, int status, WaveFailure failure)
{
    info.status = status;
    info.failure = failure;
    return info;
}

template <typename Source>
WaveInfo Walk(Source& source, const WaveFormatFields& previous)
{
    WaveInfo info;
    info.format = previous;

    uint8_t riff[8];
    const int64_t riffRead = source.Read(riff, sizeof riff);
    if (riffRead < 0) return Failed(info, WaveStatusFailed, WaveFailure::ReadFailed);
    if (riffRead < 8 || !SameId(riff, RiffId)) return Failed(info, WaveStatusNotRiff, WaveFailure::NotRiff);
    uint8_t wave[4];
    const int64_t waveRead = source.Read(wave, sizeof wave);
    if (waveRead < 0) return Failed(info, WaveStatusFailed, WaveFailure::ReadFailed);
    if (waveRead < 4 || !SameId(wave, WaveId)) return Failed(info, WaveStatusNotWave, WaveFailure::NotWave);

    // One header record for the whole walk: a header read short at the end
    // overwrites only the bytes that arrived, and the duration takes the size
    // field as it then stands.
    uint8_t header[8] = {};
    for (;;) {
        const uint64_t headerOffset = source.Position();
        const int64_t got = source.Read(header, sizeof header);
        if (got < 0) return Failed(info, WaveStatusFailed, WaveFailure::ReadFailed);
        if (got < 8) break;
        const uint32_t size = ReadLe32(header + 4);
        if (size > WaveMaximumChunkSize) {
            info.failureOffset = headerOffset;
            return Failed(info, WaveStatusFailed, WaveFailure::ChunkTooLarge);
        }
        if (SameId(header, FormatId)) {
            uint8_t format[WaveFormatSize];
            EncodeWaveFormat(info.format, format);
            const int64_t formatRead = source.Read(format, std::min<size_t>(size, WaveFormatSize));
            if (formatRead < 0) return Failed(info, WaveStatusFailed, WaveFailure::ReadFailed);
            info.format = DecodeWaveFormat(format);
            info.format.extraBytes = 0;
            info.formatRead = true;
            if (size > WaveFormatSize && !source.Skip(size - static_cast<uint32_t>(WaveFormatSize)))
                return Failed(info, WaveStatusFailed, WaveFailure::ReadFailed);
        } else if (SameId(header, DataId)) {
            info.dataFound = true;
            info.dataLength = size;
            info.dataStart = source.Position();
            break;
        } else if (!source.Skip(size)) {
            return Failed(info, WaveStatusFailed, WaveFailure::ReadFailed);
        }
    }

    // Both factors are below 2^16, so the product fits.
    info.frameBytes = static_cast<int32_t>(info.format.bitsPerSample / 8) * info.format.channels;
    const uint32_t rate = info.format.averageBytesPerSecond;
    if (rate > WaveMaximumByteRate) return Failed(info, WaveStatusFailed, WaveFailure::ByteRateTooLarge);
    info.bufferBytes = static_cast<int32_t>(2 * rate);
    if (rate == 0) return Failed(info, WaveStatusFailed, WaveFailure::ZeroByteRate);
    const long double size = static_cast<long double>(ReadLe32(header + 4));
    const long double duration = size / static_cast<long double>(rate) * 1000.0L;
    info.durationMs = duration >= 4294967296.0L ? UINT32_MAX : static_cast<uint32_t>(duration);
    info.status = WaveStatusOk;
    return info;
}

}  // namespace

WaveFormatFields DecodeWaveFormat(std::span<const uint8_t, WaveFormatSize> bytes)
{
    WaveFormatFields format;
    format.formatTag = ReadLe16(&bytes[0]);
    format.channels = ReadLe16(&bytes[2]);
    format.samplesPerSecond = ReadLe32(&bytes[4]);
    format.averageBytesPerSecond = ReadLe32(&bytes[8]);
    format.blockAlign = ReadLe16(&bytes[12]);
    format.bitsPerSample = ReadLe16(&bytes[14]);
    format.extraBytes = ReadLe16(&bytes[16]);
    return format;
}

void EncodeWaveFormat(const WaveFormatFields& format, std::span<uint8_t, WaveFormatSize> bytes)
{
    WriteLe16(&bytes[0], format.formatTag);
    WriteLe16(&bytes[2], format.channels);
    WriteLe32(&bytes[4], format.samplesPerSecond);
    WriteLe32(&bytes[8], format.averageBytesPerSecond);
    WriteLe16(&bytes[12], format.blockAlign);
    WriteLe16(&bytes[14], format.bitsPerSample);
    WriteLe16(&bytes[16], format.extraBytes);
}

const char* WaveFailureText(WaveFailure failure)
{
    switch (failure) {
    case WaveFailure::None: return "no failure";
    case WaveFailure::NotRiff: return "not a RIFF file";
    case WaveFailure::NotWave: return "RIFF file of another form than WAVE";
    case WaveFailure::ReadFailed: return "the archive could not read the entry";
    case WaveFailure::ChunkTooLarge: return "chunk size of 2^31 bytes or more";
    case WaveFailure::ZeroByteRate: return "average byte rate of 0";
    case WaveFailure::ByteRateTooLarge: return "average byte rate above 1073741823";
    }
    return "unknown failure";
}

WaveInfo ParseWave(std::span<const uint8_t> entry, const WaveFormatFields& previous)
{
    ByteSource source(entry);
    return Walk(source, previous);
}

WaveInfo ReadWave(ResArchive& archive, ResCursor& cursor, const WaveFormatFields& previous)
{
    CursorSource source(archive, cursor);
    // The file position belongs to whoever used the archive last.
    if (ResCursorSeek(archive, cursor, cursor.position) < 0) {
        WaveInfo info;
        info.format = previous;
        return Failed(info, WaveStatusFailed, WaveFailure::ReadFailed);
    }
    return Walk(source, previous);
}
