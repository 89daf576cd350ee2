// Input: 4 bytes of output capacity (little-endian, reduced below 16 KB), then
// packed LZSS data (at most 16 KB). The codec's window is 4 KB, so sizes
// beyond a few windows reach no new code and only cost time.
// Memory, stream and reference expansion must agree, and compressing the
// packed bytes (their first 6 KB) must round trip whenever it succeeds.
#include "ZULResourceUtilLib/LzssCodec.h"
#include "ZULResourceUtilLib/LittleEndian.h"
#include "platform/Stream.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    constexpr uint32_t Limit = 1u << 14;
    if (size < 4 || size > Limit + 4) return 0;
    const uint32_t capacity = ReadLe32(data) % Limit;
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

    // The round trip takes the first 6 KB: more than a window, so the
    // encoder's ring wraps and its tree deletes, at a fraction of the time.
    const uint32_t plainLength = std::min<uint32_t>(packedLength, 6144);
    std::vector<uint8_t> repacked(plainLength), back(plainLength);
    uint32_t repackedLength = 0;
    if (LzssRun(codec, 'e', plainLength, packed.data(), repacked.data(), repackedLength, nullptr)) {
        uint32_t backLength = repackedLength;
        if (!LzssRun(codec, 'D', plainLength, back.data(), repacked.data(), backLength, nullptr) ||
            backLength != plainLength || !std::equal(back.begin(), back.end(), packed.begin()))
            std::abort();
    }
    return 0;
}
