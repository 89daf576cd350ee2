// Helpers for the entry-codec tests (LZSS and zlib): calls into a codec's run
// function with buffers of exactly the size asked for, so that ASan sees any
// access past them, and streams over bytes that misbehave on purpose.
#pragma once

#include "ZULResourceUtilLib/LzssCodec.h"
#include "ZULResourceUtilLib/ZlibCodec.h"
#include "platform/Stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

// Every output buffer starts with the same filler, so that whole buffers can
// be compared: bytes past the produced count must stay untouched.
constexpr uint8_t CodecFiller = 0xA5;

struct Expanded {
    bool ok = false;
    uint32_t length = 0;
    std::vector<uint8_t> output;  // exactly the capacity, so ASan sees any write past it

    std::vector<uint8_t> Produced() const { return std::vector<uint8_t>(output.begin(), output.begin() + length); }
};

struct Packed {
    bool ok = false;
    std::vector<uint8_t> bytes;
};

// The codecs' run functions under one name, so that the helpers below serve both.
inline bool RunCodec(LzssCodec& codec, char direction, uint32_t capacity, uint8_t* dataSide, uint8_t* memorySide,
                     uint32_t& length, TStream* stream)
{
    return LzssRun(codec, direction, capacity, dataSide, memorySide, length, stream);
}

inline bool RunCodec(ZlibCodec& codec, char direction, uint32_t capacity, uint8_t* dataSide, uint8_t* memorySide,
                     uint32_t& length, TStream* stream)
{
    return ZlibRun(codec, direction, capacity, dataSide, memorySide, length, stream);
}

// Expands packed bytes from memory: a copy of exactly their size, as the run
// function takes its memory side writable.
template <class Codec>
Expanded ExpandFromMemory(Codec& codec, const std::vector<uint8_t>& packed, uint32_t capacity, char direction = 'D')
{
    Expanded result;
    result.output.assign(capacity, CodecFiller);
    std::vector<uint8_t> input = packed;
    result.length = static_cast<uint32_t>(input.size());
    result.ok = RunCodec(codec, direction, capacity, result.output.data(), input.data(), result.length, nullptr);
    return result;
}

// Expands packedLength bytes read from stream.
template <class Codec>
Expanded ExpandFromStream(Codec& codec, TStream& stream, uint32_t packedLength, uint32_t capacity)
{
    Expanded result;
    result.output.assign(capacity, CodecFiller);
    result.length = packedLength;
    result.ok = RunCodec(codec, 'D', capacity, result.output.data(), nullptr, result.length, &stream);
    return result;
}

template <class Codec>
Expanded ExpandFromStream(Codec& codec, const std::vector<uint8_t>& packed, uint32_t capacity)
{
    TBytesStream stream(packed.data(), static_cast<int64_t>(packed.size()));
    return ExpandFromStream(codec, stream, static_cast<uint32_t>(packed.size()), capacity);
}

// Compresses data into a buffer of the data's size, the room both codecs ask
// for.
template <class Codec>
Packed Compress(Codec& codec, const std::vector<uint8_t>& data, char direction = 'E')
{
    std::vector<uint8_t> input = data;
    std::vector<uint8_t> output(data.size(), CodecFiller);
    uint32_t length = 0;
    Packed packed;
    packed.ok = RunCodec(codec, direction, static_cast<uint32_t>(input.size()), input.data(), output.data(), length,
                         nullptr);
    EXPECT_LE(length, output.size());
    packed.bytes.assign(output.begin(), output.begin() + std::min<size_t>(length, output.size()));
    return packed;
}

// A read-only stream that hands out the bytes in order; how much each Read
// gives is up to the derived fake. Neither writes nor seeks.
class BytesSourceStream : public TStream {
public:
    explicit BytesSourceStream(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    int64_t Write(const void*, int64_t) override { return 0; }
    using TStream::Seek;
    int64_t Seek(int64_t, SeekOrigin) override { return -1; }

protected:
    // Copies the next count bytes out and moves past them; the caller keeps
    // count within what is left.
    int64_t Serve(void* buffer, int64_t count);
    int64_t Served() const { return position_; }
    int64_t Left() const { return static_cast<int64_t>(bytes_.size()) - position_; }

private:
    const std::vector<uint8_t>& bytes_;
    int64_t position_ = 0;
};

// Serves the bytes until a read would go past failAt; that read fails in the
// chosen way.
class FailingStream final : public BytesSourceStream {
public:
    enum class Failure {
        ErrorCode,         // returns -1
        ShortCount,        // returns the bytes up to failAt, then 0
        ForeignException,  // throws something other than EReadError
    };

    FailingStream(const std::vector<uint8_t>& bytes, int64_t failAt, Failure failure)
        : BytesSourceStream(bytes), failAt_(failAt), failure_(failure)
    {
    }

    int64_t Read(void* buffer, int64_t count) override;

private:
    int64_t failAt_;
    Failure failure_;
};
