#include "ZULResourceUtilLib/ZlibCodec.h"

#include "platform/Stream.h"
#include "tests/support/CodecTestSupport.h"
#include "tests/support/TestBytes.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

enum class Pattern { Zeros, Text, Random };

Bytes MakeBytes(Pattern pattern, size_t size)
{
    switch (pattern) {
    case Pattern::Zeros: return Bytes(size, 0);
    case Pattern::Text: return TextBytes(size, 7);
    case Pattern::Random: return RandomBytes(size, 11);
    }
    return {};
}

const char* PatternName(Pattern pattern)
{
    switch (pattern) {
    case Pattern::Zeros: return "zeros";
    case Pattern::Text: return "text";
    case Pattern::Random: return "random";
    }
    return "?";
}

// zlib's own one-shot compressor at level 9: the independent packer.
Bytes ReferencePack(const Bytes& data)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes packed(size);
    EXPECT_EQ(compress2(packed.data(), &size, data.data(), static_cast<uLong>(data.size()), 9), Z_OK);
    packed.resize(size);
    return packed;
}

// Expands through both inputs, checks that they agree, returns one of them.
Expanded ExpandBothWays(ZlibCodec& codec, const Bytes& packed, uint32_t capacity)
{
    const Expanded fromMemory = ExpandFromMemory(codec, packed, capacity);
    const Expanded fromStream = ExpandFromStream(codec, packed, capacity);
    EXPECT_EQ(fromStream.ok, fromMemory.ok);
    EXPECT_EQ(fromStream.length, fromMemory.length);
    EXPECT_TRUE(fromStream.output == fromMemory.output) << "memory and stream outputs differ";
    return fromMemory;
}

// ---------------------------------------------------------------------------

struct RoundTripCase {
    Pattern pattern;
    size_t size;
};

std::vector<RoundTripCase> RoundTripCases()
{
    std::vector<RoundTripCase> cases;
    for (Pattern pattern : {Pattern::Zeros, Pattern::Text, Pattern::Random})
        for (size_t size : {0, 1, 17, 18, 19, 4095, 4096, 4097, 16384, 100000}) cases.push_back({pattern, size});
    return cases;
}

TEST(ZlibExpand, ExpandsWhatZlibPacked)
{
    ZlibCodec codec;
    for (const auto& c : RoundTripCases()) {
        SCOPED_TRACE(std::string(PatternName(c.pattern)) + " " + std::to_string(c.size));
        const Bytes data = MakeBytes(c.pattern, c.size);
        const Expanded result = ExpandBothWays(codec, ReferencePack(data), static_cast<uint32_t>(data.size()));
        EXPECT_TRUE(result.ok);
        EXPECT_TRUE(result.output == data);
    }
}

// Output that fills the capacity exactly succeeds; one byte more fails after
// filling it. Sizes around the 16 KB output pieces.
TEST(ZlibExpand, CapacityIsAHardLimit)
{
    ZlibCodec codec;
    for (size_t size : {1, 16383, 16384, 16385, 32768, 40000}) {
        SCOPED_TRACE(size);
        const Bytes data = TextBytes(size, 3);
        const Bytes packed = ReferencePack(data);
        const uint32_t exact = static_cast<uint32_t>(size);

        const Expanded fits = ExpandBothWays(codec, packed, exact);
        EXPECT_TRUE(fits.ok);
        EXPECT_EQ(fits.length, exact);

        const Expanded tooSmall = ExpandBothWays(codec, packed, exact - 1);
        EXPECT_FALSE(tooSmall.ok);
        EXPECT_EQ(tooSmall.length, exact - 1);
        EXPECT_TRUE(std::equal(tooSmall.output.begin(), tooSmall.output.end(), data.begin()));
    }
}

struct DamageCase {
    const char* name;
    Bytes (*damage)(Bytes packed);
    bool ok;
};

TEST(ZlibExpand, DamagedInput)
{
    const std::vector<DamageCase> cases = {
        {"packed length 0", [](Bytes) { return Bytes{}; }, false},
        {"header check fails",
         [](Bytes p) {
             p[1] ^= 0x01;
             return p;
         },
         false},
        {"not deflate at all", [](Bytes p) { return RandomBytes(p.size(), 5); }, false},
        {"checksum damaged",
         [](Bytes p) {
             p.back() ^= 0x40;
             return p;
         },
         false},
        {"ends one byte early",
         [](Bytes p) {
             p.pop_back();
             return p;
         },
         false},
        {"ends half way",
         [](Bytes p) {
             p.resize(p.size() / 2);
             return p;
         },
         false},
        {"header only",
         [](Bytes p) {
             p.resize(2);
             return p;
         },
         false},
        {"bytes after the stream end are ignored",
         [](Bytes p) {
             p.insert(p.end(), 100, 0xEE);
             return p;
         },
         true},
    };
    ZlibCodec codec;
    const Bytes data = TextBytes(50000, 8);
    const Bytes packed = ReferencePack(data);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Expanded result = ExpandBothWays(codec, c.damage(packed), static_cast<uint32_t>(data.size()));
        EXPECT_EQ(result.ok, c.ok);
        if (c.ok) {
            EXPECT_TRUE(result.output == data);
        }
    }
    // The codec is still usable after all those failures.
    EXPECT_TRUE(ExpandBothWays(codec, packed, static_cast<uint32_t>(data.size())).ok);
}

struct StreamCase {
    const char* name;
    int64_t failAt;
    FailingStream::Failure failure;
};

// Stream trouble fails the call and leaves no inflate state behind (the leak
// checker would see it); the codec keeps working.
TEST(ZlibExpand, StreamTrouble)
{
    using Failure = FailingStream::Failure;
    const std::vector<StreamCase> cases = {
        {"error code on the first read", 0, Failure::ErrorCode},
        {"error code on the second read", 20000, Failure::ErrorCode},
        {"foreign exception on the second read", 20000, Failure::ForeignException},
    };
    ZlibCodec codec;
    const Bytes data = RandomBytes(50000, 4);
    const Bytes packed = ReferencePack(data);
    const uint32_t capacity = static_cast<uint32_t>(data.size());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FailingStream stream(packed, c.failAt, c.failure);
        EXPECT_FALSE(ExpandFromStream(codec, stream, static_cast<uint32_t>(packed.size()), capacity).ok);
    }

    // A stream holding less than the stated length: the last read comes up
    // short and counts as nothing.
    TBytesStream shortStream(packed.data(), static_cast<int64_t>(packed.size() - 10));
    EXPECT_FALSE(ExpandFromStream(codec, shortStream, static_cast<uint32_t>(packed.size()), capacity).ok);

    // Each piece is asked for once; a stream that hands out less than asked
    // fails even though the rest would follow.
    class TricklingStream final : public BytesSourceStream {
    public:
        using BytesSourceStream::BytesSourceStream;
        int64_t Read(void* buffer, int64_t count) override
        {
            return Serve(buffer, std::min<int64_t>({count, 1000, Left()}));
        }
    } trickling(packed);
    EXPECT_FALSE(ExpandFromStream(codec, trickling, static_cast<uint32_t>(packed.size()), capacity).ok);

    const Expanded after = ExpandFromStream(codec, packed, capacity);
    EXPECT_TRUE(after.ok);
    EXPECT_TRUE(after.output == data);
}

// ---------------------------------------------------------------------------

// Level 9 with default parameters: the packed form is byte for byte what
// zlib's one-shot compressor makes, and fits exactly when that one fits.
TEST(ZlibCompress, MatchesZlibAndFailsWhenTooBig)
{
    ZlibCodec codec;
    for (const auto& c : RoundTripCases()) {
        SCOPED_TRACE(std::string(PatternName(c.pattern)) + " " + std::to_string(c.size));
        const Bytes data = MakeBytes(c.pattern, c.size);
        const Bytes expected = ReferencePack(data);
        const Packed packed = Compress(codec, data);
        EXPECT_EQ(packed.ok, expected.size() <= data.size());
        if (!packed.ok) continue;
        EXPECT_EQ(packed.bytes, expected);
        const Expanded back = ExpandBothWays(codec, packed.bytes, static_cast<uint32_t>(data.size()));
        EXPECT_TRUE(back.ok);
        EXPECT_TRUE(back.output == data);
    }
}

TEST(ZlibRun, DirectionLetters)
{
    ZlibCodec codec;
    const Bytes data = TextBytes(5000, 21);
    const Bytes packed = ReferencePack(data);
    for (char letter : {'E', 'e'}) {
        SCOPED_TRACE(letter);
        const Packed again = Compress(codec, data, letter);
        EXPECT_TRUE(again.ok);
        EXPECT_EQ(again.bytes, packed);
    }
    for (char letter : {'D', 'd', 'X', 'c', '\0'}) {
        SCOPED_TRACE(static_cast<int>(letter));
        const Expanded result = ExpandFromMemory(codec, packed, static_cast<uint32_t>(data.size()), letter);
        EXPECT_TRUE(result.ok);
        EXPECT_TRUE(result.output == data);
    }
}

TEST(ZlibRun, ReleasedCodecFailsUntilSetUpAgain)
{
    ZlibCodec codec;
    const Bytes data = TextBytes(1000, 1);
    const Bytes packed = ReferencePack(data);
    codec.Release();
    EXPECT_FALSE(ExpandFromMemory(codec, packed, 1000).ok);
    ASSERT_TRUE(codec.SetUp());
    EXPECT_TRUE(ExpandFromMemory(codec, packed, 1000).ok);
}

}  // namespace
