// Input: 4 bytes of output capacity (little-endian, reduced below 64 KB), then
// a zlib stream (at most 64 KB). Twice the 32 KB window reaches every code
// path; larger buffers only cost their clearing. Memory and stream expansion must agree, and deflating the
// input bytes must inflate back whenever it fits.
#include "ZULResourceUtilLib/ZlibCodec.h"
#include "ZULResourceUtilLib/LittleEndian.h"
#include "platform/Stream.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    constexpr uint32_t Limit = 1u << 16;
    if (size < 4 || size > Limit + 4) return 0;
    const uint32_t capacity = ReadLe32(data) % Limit;
    std::vector<uint8_t> packed(data + 4, data + size), fromMemory(capacity), fromStream(capacity);
    const uint32_t packedLength = static_cast<uint32_t>(packed.size());
    static ZlibCodec codec;

    uint32_t memoryLength = packedLength, streamLength = packedLength;
    const bool memoryOk = ZlibRun(codec, 'D', capacity, fromMemory.data(), packed.data(), memoryLength, nullptr);
    TBytesStream stream(packed.data(), packedLength);
    const bool streamOk = ZlibRun(codec, 'D', capacity, fromStream.data(), nullptr, streamLength, &stream);
    if (memoryOk != streamOk || memoryLength != streamLength || memoryLength > capacity || fromMemory != fromStream)
        std::abort();

    std::vector<uint8_t> repacked(packedLength), back(packedLength);
    uint32_t repackedLength = 0;
    if (ZlibRun(codec, 'E', packedLength, packed.data(), repacked.data(), repackedLength, nullptr)) {
        uint32_t backLength = repackedLength;
        if (!ZlibRun(codec, 'D', packedLength, back.data(), repacked.data(), backLength, nullptr) ||
            backLength != packedLength || back != packed)
            std::abort();
    }
    return 0;
}
