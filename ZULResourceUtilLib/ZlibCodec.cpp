#include "ZULResourceUtilLib/ZlibCodec.h"

#include "platform/Stream.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// Any 1.x library accepts this; only the first digit is checked.
constexpr const char* ZlibVersion = "1.2.3";
constexpr uint32_t Half = ZlibCodec::HalfBufferSize;

bool IsCompress(char direction) { return direction == 'E' || direction == 'e'; }

// Ends the inflate or deflate state on every way out of a call, so that a
// failed or throwing call leaves nothing allocated inside zlib.
class StateGuard {
public:
    StateGuard(z_stream& stream, int (*end)(z_streamp)) : stream_(stream), end_(end) {}
    ~StateGuard()
    {
        if (end_ != nullptr) end_(&stream_);
    }
    StateGuard(const StateGuard&) = delete;
    StateGuard& operator=(const StateGuard&) = delete;

    // Ends the state now; true when zlib reports success.
    bool End()
    {
        const int result = end_(&stream_);
        end_ = nullptr;
        return result == Z_OK;
    }

private:
    z_stream& stream_;
    int (*end_)(z_streamp);
};

// Appends count bytes of the output half to the destination, stopping at the
// capacity; false when not everything fitted.
bool CopyOut(ZlibCodec& codec, const uint8_t* from, uint32_t count)
{
    const uint32_t room = codec.capacity - codec.outputCount;
    const uint32_t taken = std::min(count, room);
    if (taken != 0) std::memcpy(codec.dataSide + codec.outputCount, from, taken);
    codec.outputCount += taken;
    return taken == count;
}

bool Inflate(ZlibCodec& codec, uint32_t& length)
{
    z_stream& z = *codec.zlibStream;
    uint8_t* const input = codec.buffer.get();
    uint8_t* const output = input + Half;
    length = 0;

    std::memset(&z, 0, sizeof z);
    if (inflateInit_(&z, ZlibVersion, static_cast<int>(sizeof(z_stream))) != Z_OK) return false;
    StateGuard guard(z, inflateEnd);
    z.next_out = output;
    z.avail_out = Half;

    for (;;) {
        if (z.avail_in == 0) {
            uint32_t count = std::min(Half, codec.length - codec.inputPosition);
            if (codec.inputStream != nullptr) {
                // The stream is asked once per piece; a short piece is useless.
                if (count != 0 && codec.inputStream->Read(input, count) != int64_t{count}) count = 0;
            } else if (count != 0) {
                std::memcpy(input, codec.memorySide + codec.inputPosition, count);
            }
            codec.inputPosition += count;
            z.next_in = input;
            z.avail_in = count;
        }
        const int result = inflate(&z, Z_NO_FLUSH);
        if (result == Z_STREAM_END) break;
        // Includes the buffer error that follows input running out.
        if (result != Z_OK) {
            length = codec.outputCount;
            return false;
        }
        if (z.avail_out != 0) continue;
        if (!CopyOut(codec, output, Half)) {
            length = codec.outputCount;
            return false;
        }
        z.next_out = output;
        z.avail_out = Half;
    }
    const bool fitted = CopyOut(codec, output, Half - z.avail_out);
    length = codec.outputCount;
    const bool ended = guard.End();
    return fitted && ended;
}

bool Deflate(ZlibCodec& codec, uint32_t& length)
{
    z_stream& z = *codec.zlibStream;
    uint8_t* const input = codec.buffer.get();
    uint8_t* const output = input + Half;
    length = 0;

    std::memset(&z, 0, sizeof z);
    if (deflateInit_(&z, codec.level, ZlibVersion, static_cast<int>(sizeof(z_stream))) != Z_OK) return false;
    StateGuard guard(z, deflateEnd);
    z.next_out = output;
    z.avail_out = Half;

    // Packed bytes go to the memory side, which holds capacity bytes.
    auto writeOut = [&](uint32_t count) {
        if (uint64_t{codec.length} + count > codec.capacity) return false;
        if (count != 0) std::memcpy(codec.memorySide + codec.length, output, count);
        codec.length += count;
        z.next_out = output;
        z.avail_out = Half;
        return true;
    };

    int flush = Z_NO_FLUSH;
    for (;;) {
        if (z.avail_in == 0 && flush == Z_NO_FLUSH) {
            const uint32_t count = std::min(Half, codec.capacity - codec.inputPosition);
            if (count != 0) std::memcpy(input, codec.dataSide + codec.inputPosition, count);
            codec.inputPosition += count;
            z.next_in = input;
            z.avail_in = count;
            if (count < Half) flush = Z_FINISH;
        }
        const int result = deflate(&z, flush);
        // A buffer error only says that this call could not make progress.
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
            length = codec.length;
            return false;
        }
        if (z.avail_out == 0 && !writeOut(Half)) {
            length = codec.length;
            return false;
        }
        if (result == Z_STREAM_END) break;
    }
    const bool fitted = writeOut(Half - z.avail_out);
    length = codec.length;
    const bool ended = guard.End();
    return fitted && ended;
}

}  // namespace

ZlibCodec::ZlibCodec() { SetUp(); }

ZlibCodec::~ZlibCodec() { Release(); }

bool ZlibCodec::SetUp()
{
    outputCount = 0;
    inputPosition = 0;
    length = 0;
    capacity = 0;
    memorySide = nullptr;
    dataSide = nullptr;
    inputStream = nullptr;
    level = 9;
    if (!zlibStream) zlibStream.reset(new (std::nothrow) z_stream_s{});
    if (!buffer) buffer.reset(new (std::nothrow) uint8_t[2 * HalfBufferSize]);
    return zlibStream && buffer;
}

void ZlibCodec::Release()
{
    zlibStream.reset();
    buffer.reset();
    inputStream = nullptr;
    memorySide = nullptr;
    dataSide = nullptr;
}

bool ZlibRun(ZlibCodec& codec, char direction, uint32_t capacity, uint8_t* dataSide, uint8_t* memorySide,
             uint32_t& length, TStream* stream)
{
    const uint32_t lengthIn = length;
    length = 0;
    if (!codec.zlibStream || !codec.buffer) return false;
    codec.outputCount = 0;
    codec.inputPosition = 0;
    codec.capacity = capacity;
    codec.dataSide = dataSide;
    codec.memorySide = memorySide;
    try {
        if (IsCompress(direction)) {
            codec.length = 0;
            codec.inputStream = nullptr;
            if (capacity != 0 && (dataSide == nullptr || memorySide == nullptr)) return false;
            return Deflate(codec, length);
        }
        codec.length = lengthIn;
        codec.inputStream = stream;
        if (capacity != 0 && dataSide == nullptr) return false;
        if (stream == nullptr && lengthIn != 0 && memorySide == nullptr) return false;
        return Inflate(codec, length);
    } catch (...) {
        // A stream may throw anything; the guard has ended the zlib state.
        length = codec.outputCount;
        return false;
    }
}
