#include "ZULResourceUtilLib/LzssCodec.h"

#include "tests/support/CodecTestSupport.h"
#include "tests/support/TestBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Random literals mixed with copies of earlier stretches at distances up to
// beyond the window: exercises every match length, distance and overlap.
Bytes MixedBytes(size_t size, uint32_t seed)
{
    std::mt19937 random(seed);
    Bytes bytes;
    bytes.reserve(size);
    while (bytes.size() < size) {
        if (bytes.size() > 8 && random() % 3 != 0) {
            const size_t distance = 1 + random() % std::min<size_t>(bytes.size(), 5000);
            const size_t count = 3 + random() % 30;
            for (size_t k = 0; k < count && bytes.size() < size; ++k) bytes.push_back(bytes[bytes.size() - distance]);
        } else {
            const size_t count = 1 + random() % 6;
            for (size_t k = 0; k < count && bytes.size() < size; ++k) bytes.push_back(static_cast<uint8_t>(random()));
        }
    }
    return bytes;
}

// Mostly zeros with scattered bytes, like a dark picture: long zero matches
// that would overrun into stale bytes if the window's mirror were not kept.
Bytes SparseBytes(size_t size, uint32_t seed)
{
    std::mt19937 random(seed);
    Bytes bytes(size, 0);
    for (auto& b : bytes)
        if (random() % 8 == 0) b = static_cast<uint8_t>(1 + random() % 255);
    return bytes;
}

enum class Pattern { Zeros, Text, Mixed, Sparse };

Bytes MakeBytes(Pattern pattern, size_t size)
{
    switch (pattern) {
    case Pattern::Zeros: return Bytes(size, 0);
    case Pattern::Text: return TextBytes(size, 7);
    case Pattern::Mixed: return MixedBytes(size, 11);
    case Pattern::Sparse: return SparseBytes(size, 13);
    }
    return {};
}

const char* PatternName(Pattern pattern)
{
    switch (pattern) {
    case Pattern::Zeros: return "zeros";
    case Pattern::Text: return "text";
    case Pattern::Mixed: return "mixed";
    case Pattern::Sparse: return "sparse";
    }
    return "?";
}

Expanded ExpandByReference(const Bytes& packed, uint32_t capacity)
{
    Expanded result;
    result.output.assign(capacity, CodecFiller);
    result.ok = LzssExpandReference(packed.data(), static_cast<uint32_t>(packed.size()), result.output.data(), capacity,
                                    result.length);
    return result;
}

void ExpectSame(const Expanded& actual, const Expanded& expected, const char* what)
{
    SCOPED_TRACE(what);
    EXPECT_EQ(actual.ok, expected.ok);
    EXPECT_EQ(actual.length, expected.length);
    EXPECT_TRUE(actual.output == expected.output) << "output buffers differ";
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes Letters(char first, int count)
{
    Bytes letters;
    for (int k = 0; k < count; ++k) letters.push_back(static_cast<uint8_t>(first + k));
    return letters;
}

// ---------------------------------------------------------------------------

struct ItemCase {
    const char* name;
    Bytes packed;
    uint32_t capacity;
    bool ok;
    Bytes expected;
};

// Small hand-built packed streams; each runs through memory, a stream and the
// reference, with an output buffer of exactly the capacity.
TEST(LzssExpand, HandBuiltStreams)
{
    const Bytes abcdefgh = Letters('a', 8);
    const std::vector<ItemCase> cases = {
        {"first item a match at 0, length 3: the zero prefill", {0x00, 0x00, 0x00}, 16, true, {0, 0, 0}},
        {"packed length 0", {}, 16, true, {}},
        {"packed length 0, capacity 0", {}, 0, true, {}},
        {"eight literals", Concat({{0xFF}, abcdefgh}), 8, true, abcdefgh},
        {"flag bits from the lowest up", {0x05, 'a', 0xEE, 0xF0, 'b'}, 16, true, {'a', 'a', 'a', 'a', 'b'}},
        {"match overlapping what it writes", {0x01, 'x', 0xEE, 0xF2}, 16, true, Bytes(6, 'x')},
        {"match reaching before the first output byte", {0x01, 'a', 0xED, 0xF0}, 16, true, {'a', 0, 'a', 0}},
        {"match across the window end",
         Concat({{0xFF}, Letters('A', 8), {0xFF}, Letters('I', 8), {0x03, 'Q', 'R', 0xFA, 0xF7}}), 64, true,
         Concat({Letters('A', 18), Letters('M', 6), Letters('M', 4)})},
        {"match missing its second byte", {0x00, 0x05}, 16, true, {}},
        {"literal missing its byte", {0x01}, 16, true, {}},
        {"literal past the capacity", {0xFF, 'a', 'b', 'c'}, 2, false, {'a', 'b'}},
        {"literal with capacity 0", {0x01, 'x'}, 0, false, {}},
        {"match straddling the capacity", {0x01, 'x', 0xEE, 0xF2}, 4, false, Bytes(4, 'x')},
        {"output exactly the capacity", {0x01, 'x', 0xEE, 0xF2}, 6, true, Bytes(6, 'x')},
    };
    LzssCodec codec;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Expanded expected = ExpandByReference(c.packed, c.capacity);
        EXPECT_EQ(expected.ok, c.ok);
        EXPECT_EQ(expected.Produced(), c.expected);
        ExpectSame(ExpandFromMemory(codec, c.packed, c.capacity), expected, "memory");
        ExpectSame(ExpandFromStream(codec, c.packed, c.capacity), expected, "stream");
    }
}

// The fast expander against the plain one on arbitrary packed bytes: random
// matches hit every distance, overlap and the zero prefill, and the capacity
// falls anywhere, including inside a match and inside a whole-group step.
TEST(LzssExpand, FastPathsMatchReferenceOnArbitraryInput)
{
    LzssCodec codec;
    std::mt19937 random(1234);
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        const Bytes packed = RandomBytes(random() % 3000, random());
        const uint32_t capacity = random() % 2 ? random() % 40000 : random() % 300;
        const Expanded expected = ExpandByReference(packed, capacity);
        ExpectSame(ExpandFromMemory(codec, packed, capacity), expected, "memory");
        ExpectSame(ExpandFromStream(codec, packed, capacity), expected, "stream");
    }
}

TEST(LzssExpand, CapacityStopsRealDataExactlyThere)
{
    LzssCodec codec;
    const Bytes data = MixedBytes(100000, 3);
    const Packed packed = Compress(codec, data);
    ASSERT_TRUE(packed.ok);
    const uint32_t size = static_cast<uint32_t>(data.size());
    for (uint32_t capacity : {size, size - 1, size / 2, 4095u, 1u, 0u}) {
        SCOPED_TRACE(capacity);
        const bool fits = capacity == size;
        for (const Expanded& result : {ExpandFromMemory(codec, packed.bytes, capacity),
                                       ExpandFromStream(codec, packed.bytes, capacity)}) {
            EXPECT_EQ(result.ok, fits);
            EXPECT_EQ(result.length, capacity);
            EXPECT_TRUE(std::equal(result.output.begin(), result.output.end(), data.begin()));
        }
    }
}

// The packed length cut anywhere, also around the 512-byte stream pieces:
// both inputs stop at the same place with the same partial output.
TEST(LzssExpand, TruncatedInputGivesPartialOutput)
{
    LzssCodec codec;
    const Bytes data = MixedBytes(100000, 5);
    const Packed packed = Compress(codec, data);
    ASSERT_TRUE(packed.ok);
    for (size_t cut : {size_t{1}, size_t{511}, size_t{512}, size_t{513}, size_t{1500}, packed.bytes.size() / 2,
                       packed.bytes.size() - 1}) {
        SCOPED_TRACE(cut);
        const Bytes head(packed.bytes.begin(), packed.bytes.begin() + static_cast<std::ptrdiff_t>(cut));
        const Expanded fromMemory = ExpandFromMemory(codec, head, static_cast<uint32_t>(data.size()));
        EXPECT_TRUE(fromMemory.ok);
        EXPECT_LT(fromMemory.length, data.size());
        EXPECT_TRUE(std::equal(fromMemory.output.begin(), fromMemory.output.begin() + fromMemory.length, data.begin()));
        ExpectSame(ExpandFromStream(codec, head, static_cast<uint32_t>(data.size())), fromMemory, "stream");
        ExpectSame(ExpandByReference(head, static_cast<uint32_t>(data.size())), fromMemory, "reference");
    }
}

struct StreamFailureCase {
    const char* name;
    int64_t failAt;
    FailingStream::Failure failure;
    bool ok;
    size_t usablePrefix;  // packed bytes that still count
};

// A refill that comes up short loses its whole piece; what came before is
// expanded and the call succeeds. Only a foreign exception fails it.
TEST(LzssExpand, StreamFailingMidway)
{
    using Failure = FailingStream::Failure;
    const std::vector<StreamFailureCase> cases = {
        {"error code in the second piece", 700, Failure::ErrorCode, true, 512},
        {"short count in the second piece", 700, Failure::ShortCount, true, 512},
        {"short count in the last, partial piece", 1500, Failure::ShortCount, true, 1024},
        {"nothing at all", 0, Failure::ShortCount, true, 0},
        {"foreign exception", 700, Failure::ForeignException, false, 0},
    };
    LzssCodec codec;
    const Bytes data = TextBytes(20000, 9);
    const Packed packed = Compress(codec, data);
    ASSERT_TRUE(packed.ok);
    ASSERT_GT(packed.bytes.size(), 1600u);
    const Bytes statedPart(packed.bytes.begin(), packed.bytes.begin() + 1600);
    const uint32_t capacity = static_cast<uint32_t>(data.size());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FailingStream stream(statedPart, c.failAt, c.failure);
        const Expanded result = ExpandFromStream(codec, stream, 1600, capacity);
        EXPECT_EQ(result.ok, c.ok);
        if (!c.ok) continue;
        const Bytes usable(statedPart.begin(), statedPart.begin() + static_cast<std::ptrdiff_t>(c.usablePrefix));
        ExpectSame(result, ExpandFromMemory(codec, usable, capacity), "against the usable prefix from memory");
    }
}

// ---------------------------------------------------------------------------

struct RoundTripCase {
    Pattern pattern;
    size_t size;
};

TEST(LzssCompress, RoundTripsThroughEveryExpander)
{
    std::vector<RoundTripCase> cases;
    for (size_t size : {17, 18, 19, 4095, 4096, 4097, 100000}) cases.push_back({Pattern::Zeros, size});
    for (size_t size : {4095, 4096, 4097, 100000}) {
        cases.push_back({Pattern::Text, size});
        cases.push_back({Pattern::Mixed, size});
        cases.push_back({Pattern::Sparse, size});
    }
    LzssCodec codec;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(PatternName(c.pattern)) + " " + std::to_string(c.size));
        const Bytes data = MakeBytes(c.pattern, c.size);
        const Packed packed = Compress(codec, data);
        ASSERT_TRUE(packed.ok);
        EXPECT_LT(packed.bytes.size(), data.size());
        const uint32_t capacity = static_cast<uint32_t>(data.size());
        const Expanded expected = ExpandByReference(packed.bytes, capacity);
        EXPECT_TRUE(expected.ok);
        EXPECT_TRUE(expected.output == data);
        ExpectSame(ExpandFromMemory(codec, packed.bytes, capacity), expected, "memory");
        ExpectSame(ExpandFromStream(codec, packed.bytes, capacity), expected, "stream");
    }
}

// Outputs worked out by hand: the eighteen zero positions before 4,078 are in
// the tree, the newest equal key wins, so the first match points at 4,060.
TEST(LzssCompress, ProducesTheClassicEncoding)
{
    struct Case {
        const char* name;
        Bytes data;
        Bytes packed;
    };
    const std::vector<Case> cases = {
        {"18 zeros: one match of 18 at 4,060", Bytes(18, 0), {0x00, 0xDC, 0xFF}},
        {"20 zeros: then two literals (matches clamped to 2)", Bytes(20, 0), {0x06, 0xDC, 0xFF, 0x00, 0x00}},
        {"18 zeros, abcabc: three literals, then a match of exactly 3 at 0",
         Concat({Bytes(18, 0), {'a', 'b', 'c', 'a', 'b', 'c'}}),
         {0x0E, 0xDC, 0xFF, 'a', 'b', 'c', 0x00, 0x00}},
    };
    LzssCodec codec;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Packed packed = Compress(codec, c.data);
        EXPECT_TRUE(packed.ok);
        EXPECT_EQ(packed.bytes, c.packed);
    }
}

TEST(LzssCompress, FailsUnlessThePackedFormIsShorter)
{
    LzssCodec codec;
    // 18 zeros (one match) then m distinct literals: packed = 2 + m + flags.
    // m = 119 packs 137 bytes into 136, m = 120 packs 138 into 138.
    auto zerosThenDistinct = [](int m) { return Concat({Bytes(18, 0), Letters(1, m)}); };
    const Packed shorter = Compress(codec, zerosThenDistinct(119));
    EXPECT_TRUE(shorter.ok);
    EXPECT_EQ(shorter.bytes.size(), 136u);
    EXPECT_EQ(ExpandFromMemory(codec, shorter.bytes, 137).output, zerosThenDistinct(119));
    EXPECT_FALSE(Compress(codec, zerosThenDistinct(120)).ok);

    for (size_t size : {1, 17, 4096, 100000}) {
        SCOPED_TRACE(size);
        EXPECT_FALSE(Compress(codec, RandomBytes(size, 77)).ok);
    }
    EXPECT_FALSE(Compress(codec, Bytes(1, 0)).ok);
}

TEST(LzssCompress, EmptyInputGivesEmptyOutput)
{
    LzssCodec codec;
    uint32_t length = 99;
    EXPECT_TRUE(LzssRun(codec, 'E', 0, nullptr, nullptr, length, nullptr));
    EXPECT_EQ(length, 0u);
}

// ---------------------------------------------------------------------------

TEST(LzssRun, DirectionLetters)
{
    LzssCodec codec;
    const Bytes data = TextBytes(5000, 21);
    const Packed packed = Compress(codec, data);
    ASSERT_TRUE(packed.ok);
    for (char letter : {'E', 'e'}) {
        SCOPED_TRACE(letter);
        const Packed again = Compress(codec, data, letter);
        EXPECT_TRUE(again.ok);
        EXPECT_EQ(again.bytes, packed.bytes);
    }
    for (char letter : {'D', 'd', 'X', 'c', '\0'}) {
        SCOPED_TRACE(static_cast<int>(letter));
        const Expanded result = ExpandFromMemory(codec, packed.bytes, static_cast<uint32_t>(data.size()), letter);
        EXPECT_TRUE(result.ok);
        EXPECT_TRUE(result.output == data);
    }
}

// One codec serves every call: the trees and window left by one call must not
// change the next one.
TEST(LzssRun, ReusedCodecBehavesLikeAFreshOne)
{
    LzssCodec used;
    const Bytes first = MixedBytes(30000, 1);
    const Bytes second = TextBytes(30000, 2);
    ASSERT_TRUE(Compress(used, first).ok);
    ExpandFromMemory(used, RandomBytes(2000, 3), 50000);
    const Packed fromUsed = Compress(used, second);

    LzssCodec fresh;
    const Packed fromFresh = Compress(fresh, second);
    EXPECT_TRUE(fromUsed.ok);
    EXPECT_EQ(fromUsed.bytes, fromFresh.bytes);
}

TEST(LzssRun, ReleasedCodecFailsUntilSetUpAgain)
{
    LzssCodec codec;
    const Bytes packed = {0xFF, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
    codec.Release();
    EXPECT_FALSE(ExpandFromMemory(codec, packed, 8).ok);
    ASSERT_TRUE(codec.SetUp());
    const Expanded result = ExpandFromMemory(codec, packed, 8);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.output, Letters('a', 8));
}

}  // namespace
