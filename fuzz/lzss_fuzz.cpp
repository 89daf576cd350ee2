// Input: 4 bytes of output capacity (little-endian, reduced below 1 MB), then
// packed LZSS data. Memory, stream and reference expansion must agree, and
// compressing the packed bytes must round trip whenever it succeeds.
#include "ZULResourceUtilLib/LzssCodec.h"
#include "ZULResourceUtilLib/LittleEndian.h"
#include "platform/Stream.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4 || size > (1u << 20)) return 0;
    const uint32_t capacity = ReadLe32(data) % (1u << 20);
    std::vector<uint8_t> packed(data + 4, data + size), reference(capacity), fromMemory(capacity), fromStream(capacity);
    const uint32_t packedLength = static_cast<uint32_t>(packed.size());
    static LzssCodec codec;

    uint32_t referenceLength = 0, memoryLength = packedLength, streamLength = packedLength;
    const bool referenceOk = LzssExpandReference(packed.data(), packedLength, reference.data(), capacity, referenceLength);
    const bool memoryOk = LzssRun(codec, 'D', capacity, fromMemory.data(), packed.data(), memoryLength, nullptr);
    TBytesStream stream(packed.data(), packedLength);
    const bool streamOk = LzssRun(codec, 'D', capacity, fromStream.data(), nullptr, streamLength, &stream);
    if (memoryOk != referenceOk || streamOk != referenceOk || memoryLength != referenceLength ||
        streamLength != referenceLength || fromMemory != reference || fromStream != reference)
        std::abort();

    std::vector<uint8_t> repacked(packedLength), back(packedLength);
    uint32_t repackedLength = 0;
    if (LzssRun(codec, 'e', packedLength, packed.data(), repacked.data(), repackedLength, nullptr)) {
        uint32_t backLength = repackedLength;
        if (!LzssRun(codec, 'D', packedLength, back.data(), repacked.data(), backLength, nullptr) ||
            backLength != packedLength || back != packed)
            std::abort();
    }
    return 0;
}
