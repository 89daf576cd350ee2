#include "ZULResourceUtilLib/LzssCodec.h"

#include "platform/Stream.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr uint32_t N = LzssCodec::WindowSize;
constexpr uint32_t F = LzssCodec::LongestMatch;
constexpr uint32_t Nil = LzssCodec::NoNode;
constexpr uint32_t RingMask = N - 1;
// Writing starts here so that the first F bytes can be compared against the
// zero prefill right away.
constexpr uint32_t FirstWriteIndex = N - F;  // 4078

// Work area: window (N bytes, F - 1 mirror bytes, padding to 4,116), then the
// parent, left-child and right-child links. Every offset is even and the block
// comes from operator new[], so the 16-bit links are properly aligned.
constexpr uint32_t WindowBytes = 4116;
constexpr uint32_t LinkCount = N + 2;               // 4,098: nodes plus the no-node slot
constexpr uint32_t RightLinkCount = N + 1 + 256 + 1;  // 4,354: also the 256 tree roots
constexpr uint32_t ParentOffset = WindowBytes;
constexpr uint32_t LeftOffset = ParentOffset + LinkCount * 2;
constexpr uint32_t RightOffset = LeftOffset + LinkCount * 2;
static_assert(RightOffset + RightLinkCount * 2 == LzssCodec::WorkAreaSize);
static_assert(ParentOffset % alignof(uint16_t) == 0 && LeftOffset % alignof(uint16_t) == 0 &&
              RightOffset % alignof(uint16_t) == 0);
static_assert(N + F - 1 <= WindowBytes, "comparisons run up to F - 1 bytes past the window end");

bool IsCompress(char direction) { return direction == 'E' || direction == 'e'; }

// ---------------------------------------------------------------------------
// Expansion.
//
// The ring window holds exactly the last N bytes produced (the first call
// starts with N zero bytes of history), and window index (FirstWriteIndex + k)
// & RingMask holds output byte k. A match at window position p read while the
// write index is r is therefore a copy from distance ((r - p - 1) & RingMask) + 1
// (1..N) back in the output, with bytes before the output start reading as 0.
// LzssRun therefore copies from the output itself and needs no window of its
// own; LzssExpandReference keeps the ring window and proves the two the same.

inline void CopyMatch(uint8_t* output, uint32_t produced, uint32_t position, uint32_t count)
{
    const uint32_t writeIndex = (FirstWriteIndex + produced) & RingMask;
    const uint32_t distance = ((writeIndex - position - 1) & RingMask) + 1;
    uint8_t* target = output + produced;
    if (produced >= distance) {
        const uint8_t* source = target - distance;
        if (distance >= count) {
            std::memcpy(target, source, count);
        } else {
            // Overlapping: later bytes repeat the ones this match just wrote.
            for (uint32_t k = 0; k < count; ++k) target[k] = source[k];
        }
        return;
    }
    // Only within the first N bytes: part of the source is the zero prefill.
    for (uint32_t k = 0; k < count; ++k) {
        const int64_t from = int64_t{produced} + k - distance;
        target[k] = from < 0 ? 0 : output[from];
    }
}

class MemoryInput {
public:
    MemoryInput(const uint8_t* data, uint32_t length) : next_(data), end_(data + length) {}

    size_t Unread() const { return static_cast<size_t>(end_ - next_); }
    bool Fetch(uint8_t& value)
    {
        if (next_ == end_) return false;
        value = *next_++;
        return true;
    }

private:
    const uint8_t* next_;
    const uint8_t* end_;
};

// Pieces of the packed data are read into the codec's 512-byte buffer,
// right-aligned so that index 512 always means "empty".
class StreamInput {
public:
    StreamInput(LzssCodec& codec, TStream& stream) : codec_(codec), stream_(stream) {}
    ~StreamInput() { codec_.inputBufferIndex = static_cast<uint16_t>(index_); }

    size_t Unread() const { return LzssCodec::InputBufferSize - index_; }
    bool Fetch(uint8_t& value)
    {
        if (index_ == LzssCodec::InputBufferSize && !Refill()) return false;
        value = codec_.inputBuffer[index_++];
        return true;
    }

private:
    // A short or failed read ends the input; the bytes of that piece are
    // dropped, as the stream gives no guarantee about them.
    bool Refill()
    {
        if (codec_.inputPosition >= codec_.length) return false;
        const uint32_t count = std::min<uint32_t>(LzssCodec::InputBufferSize, codec_.length - codec_.inputPosition);
        const uint32_t start = LzssCodec::InputBufferSize - count;
        try {
            stream_.ReadBuffer(codec_.inputBuffer + start, count);
        } catch (const EReadError&) {
            codec_.inputPosition = codec_.length;
            return false;
        }
        codec_.inputPosition += count;
        index_ = start;
        return true;
    }

    LzssCodec& codec_;
    TStream& stream_;
    uint32_t index_ = LzssCodec::InputBufferSize;
};

enum class ExpandEnd { InputEnded, CapacityReached };

template <class Input>
ExpandEnd ExpandFrom(Input& input, uint8_t* output, uint32_t capacity, uint32_t& produced)
{
    uint32_t count = 0;
    for (;;) {
        uint8_t flagByte;
        if (!input.Fetch(flagByte)) break;
        uint32_t flags = flagByte;
        for (int item = 0; item < 8; ++item, flags >>= 1) {
            if (flags & 1) {
                uint8_t value;
                if (!input.Fetch(value)) {
                    produced = count;
                    return ExpandEnd::InputEnded;
                }
                if (count == capacity) {
                    produced = count;
                    return ExpandEnd::CapacityReached;
                }
                output[count++] = value;
            } else {
                uint8_t low, high;
                if (!input.Fetch(low) || !input.Fetch(high)) {
                    produced = count;
                    return ExpandEnd::InputEnded;
                }
                const uint32_t position = low | ((high & 0xF0u) << 4);
                const uint32_t length = (high & 0x0Fu) + 3;
                const uint32_t room = capacity - count;
                if (length > room) {
                    CopyMatch(output, count, position, room);
                    produced = capacity;
                    return ExpandEnd::CapacityReached;
                }
                CopyMatch(output, count, position, length);
                count += length;
            }
        }
    }
    produced = count;
    return ExpandEnd::InputEnded;
}

bool Expand(LzssCodec& codec, uint32_t capacity, uint8_t* dataSide, uint8_t* memorySide, uint32_t& length,
            TStream* stream)
{
    codec.directionMarker = 0;
    codec.capacity = capacity;
    codec.length = length;
    codec.outputCount = 0;
    codec.inputPosition = 0;
    codec.bufferA = memorySide;
    codec.bufferB = dataSide;
    codec.inputStream = stream;
    codec.inputBufferIndex = LzssCodec::InputBufferSize;
    // Every call starts from the zero window. The history lives in the output,
    // but the work area is still left as a fresh call would find it.
    std::memset(codec.workArea.get(), 0, codec.workAreaSize);
    length = 0;

    if (capacity != 0 && dataSide == nullptr) return false;
    if (stream == nullptr && codec.length != 0 && memorySide == nullptr) return false;

    ExpandEnd end;
    if (stream != nullptr) {
        StreamInput input(codec, *stream);
        end = ExpandFrom(input, dataSide, capacity, codec.outputCount);
        // Bytes read from the stream but not decoded are not consumed.
        codec.inputPosition -= static_cast<uint32_t>(input.Unread());
    } else {
        MemoryInput input(memorySide, codec.length);
        end = ExpandFrom(input, dataSide, capacity, codec.outputCount);
        codec.inputPosition = codec.length - static_cast<uint32_t>(input.Unread());
    }
    length = codec.outputCount;
    return end == ExpandEnd::InputEnded;
}

// ---------------------------------------------------------------------------
// Compression: binary search trees over the window positions, one tree per
// first byte (roots at right-child N + 1 + byte). Equal keys replace the older
// node, so the newest of equally long matches wins.

class TreeEncoder {
public:
    explicit TreeEncoder(LzssCodec& codec)
        : codec_(codec),
          window_(codec.workArea.get()),
          parent_(codec.parent),
          left_(codec.leftChild),
          right_(codec.rightChild)
    {
    }

    bool Run()
    {
        for (uint32_t root = N + 1; root <= N + 256; ++root) right_[root] = Nil;
        for (uint32_t node = 0; node < N; ++node) parent_[node] = Nil;

        uint8_t group[1 + 8 * 2];
        uint32_t groupLength = 1;
        uint8_t mask = 1;
        group[0] = 0;

        uint32_t s = 0;
        uint32_t r = FirstWriteIndex;
        // The window is already zero up to r (the work area was cleared).
        uint32_t lookahead = 0;
        int value;
        while (lookahead < F && (value = NextInput()) >= 0) window_[r + lookahead++] = static_cast<uint8_t>(value);
        if (lookahead == 0) return true;
        for (uint32_t back = 1; back <= F; ++back) InsertNode(r - back);
        InsertNode(r);

        do {
            if (codec_.matchLength > lookahead) codec_.matchLength = static_cast<uint16_t>(lookahead);
            if (codec_.matchLength <= LzssCodec::Threshold) {
                codec_.matchLength = 1;
                group[0] |= mask;
                group[groupLength++] = window_[r];
            } else {
                group[groupLength++] = static_cast<uint8_t>(codec_.matchPosition);
                group[groupLength++] = static_cast<uint8_t>(((codec_.matchPosition >> 4) & 0xF0) |
                                                            (codec_.matchLength - (LzssCodec::Threshold + 1)));
            }
            mask = static_cast<uint8_t>(mask << 1);
            if (mask == 0) {
                if (!Emit(group, groupLength)) return false;
                group[0] = 0;
                groupLength = 1;
                mask = 1;
            }

            const uint32_t lastMatchLength = codec_.matchLength;
            uint32_t taken = 0;
            for (; taken < lastMatchLength && (value = NextInput()) >= 0; ++taken) {
                DeleteNode(s);
                window_[s] = static_cast<uint8_t>(value);
                if (s < F - 1) window_[s + N] = static_cast<uint8_t>(value);
                s = (s + 1) & RingMask;
                r = (r + 1) & RingMask;
                InsertNode(r);
            }
            for (; taken < lastMatchLength; ++taken) {
                DeleteNode(s);
                s = (s + 1) & RingMask;
                r = (r + 1) & RingMask;
                if (--lookahead != 0) InsertNode(r);
            }
        } while (lookahead > 0);

        if (groupLength > 1 && !Emit(group, groupLength)) return false;
        return true;
    }

private:
    int NextInput()
    {
        if (codec_.inputPosition >= codec_.capacity) return -1;
        return codec_.bufferB[codec_.inputPosition++];
    }

    // Output must stay at least one byte below the capacity (the input
    // length): a packed form that is not shorter is useless.
    bool Emit(const uint8_t* bytes, uint32_t count)
    {
        if (uint64_t{codec_.length} + count >= codec_.capacity) return false;
        std::memcpy(codec_.bufferA + codec_.length, bytes, count);
        codec_.length += count;
        return true;
    }

    void InsertNode(uint32_t r)
    {
        int cmp = 1;
        const uint8_t* key = window_ + r;
        uint32_t p = N + 1 + key[0];
        right_[r] = left_[r] = Nil;
        uint32_t matchLength = 0;
        for (;;) {
            if (cmp >= 0) {
                if (right_[p] != Nil) {
                    p = right_[p];
                } else {
                    right_[p] = static_cast<uint16_t>(r);
                    parent_[r] = static_cast<uint16_t>(p);
                    codec_.matchLength = static_cast<uint16_t>(matchLength);
                    return;
                }
            } else {
                if (left_[p] != Nil) {
                    p = left_[p];
                } else {
                    left_[p] = static_cast<uint16_t>(r);
                    parent_[r] = static_cast<uint16_t>(p);
                    codec_.matchLength = static_cast<uint16_t>(matchLength);
                    return;
                }
            }
            uint32_t i = 1;
            for (; i < F; ++i) {
                cmp = key[i] - window_[p + i];
                if (cmp != 0) break;
            }
            if (i > matchLength) {
                codec_.matchPosition = static_cast<uint16_t>(p);
                matchLength = i;
                if (matchLength >= F) break;
            }
        }
        codec_.matchLength = static_cast<uint16_t>(matchLength);
        // Same key as p: r takes p's place in the tree.
        parent_[r] = parent_[p];
        left_[r] = left_[p];
        right_[r] = right_[p];
        parent_[left_[p]] = static_cast<uint16_t>(r);
        parent_[right_[p]] = static_cast<uint16_t>(r);
        if (right_[parent_[p]] == p)
            right_[parent_[p]] = static_cast<uint16_t>(r);
        else
            left_[parent_[p]] = static_cast<uint16_t>(r);
        parent_[p] = Nil;
    }

    void DeleteNode(uint32_t p)
    {
        if (parent_[p] == Nil) return;
        uint32_t q;
        if (right_[p] == Nil) {
            q = left_[p];
        } else if (left_[p] == Nil) {
            q = right_[p];
        } else {
            q = left_[p];
            if (right_[q] != Nil) {
                do {
                    q = right_[q];
                } while (right_[q] != Nil);
                right_[parent_[q]] = left_[q];
                parent_[left_[q]] = parent_[q];
                left_[q] = left_[p];
                parent_[left_[p]] = static_cast<uint16_t>(q);
            }
            right_[q] = right_[p];
            parent_[right_[p]] = static_cast<uint16_t>(q);
        }
        parent_[q] = parent_[p];
        if (right_[parent_[q]] == p)
            right_[parent_[q]] = static_cast<uint16_t>(q);
        else
            left_[parent_[q]] = static_cast<uint16_t>(q);
        parent_[p] = Nil;
    }

    LzssCodec& codec_;
    uint8_t* window_;
    uint16_t* parent_;
    uint16_t* left_;
    uint16_t* right_;
};

bool Compress(LzssCodec& codec, uint32_t capacity, uint8_t* dataSide, uint8_t* memorySide, uint32_t& length)
{
    codec.directionMarker = -1;
    codec.capacity = capacity;
    codec.length = 0;
    codec.outputCount = 0;
    codec.inputPosition = 0;
    codec.bufferA = memorySide;
    codec.bufferB = dataSide;
    codec.inputStream = nullptr;
    codec.matchPosition = 0;
    codec.matchLength = 0;
    std::memset(codec.workArea.get(), 0, codec.workAreaSize);
    length = 0;
    if (capacity != 0 && (dataSide == nullptr || memorySide == nullptr)) return false;

    const bool fits = TreeEncoder(codec).Run();
    length = codec.length;
    return fits;
}

}  // namespace

LzssCodec::LzssCodec() { SetUp(); }

LzssCodec::~LzssCodec() { Release(); }

bool LzssCodec::SetUp()
{
    if (!workArea) {
        workArea.reset(new (std::nothrow) uint8_t[WorkAreaSize]);
        if (!workArea) return false;
    }
    workAreaSize = WorkAreaSize;
    std::memset(workArea.get(), 0, workAreaSize);
    uint8_t* base = workArea.get();
    parent = reinterpret_cast<uint16_t*>(base + ParentOffset);
    leftChild = reinterpret_cast<uint16_t*>(base + LeftOffset);
    rightChild = reinterpret_cast<uint16_t*>(base + RightOffset);
    return true;
}

void LzssCodec::Release()
{
    parent = leftChild = rightChild = nullptr;
    bufferA = bufferB = nullptr;
    inputStream = nullptr;
    workArea.reset();
}

bool LzssRun(LzssCodec& codec, char direction, uint32_t capacity, uint8_t* dataSide, uint8_t* memorySide,
             uint32_t& length, TStream* stream)
{
    if (!codec.workArea) {
        length = 0;
        return false;
    }
    try {
        if (IsCompress(direction)) return Compress(codec, capacity, dataSide, memorySide, length);
        return Expand(codec, capacity, dataSide, memorySide, length, stream);
    } catch (...) {
        // A stream may throw anything; the caller only learns that the call
        // failed (whatever was written to the output is not counted).
        length = 0;
        codec.inputStream = nullptr;
        return false;
    }
}

bool LzssExpandReference(const uint8_t* packed, uint32_t packedLength, uint8_t* output, uint32_t capacity,
                         uint32_t& produced)
{
    uint8_t window[N] = {};
    uint32_t r = FirstWriteIndex;
    uint32_t flags = 0;
    uint32_t in = 0;
    uint32_t out = 0;
    auto fetch = [&](uint32_t& value) {
        if (in >= packedLength) return false;
        value = packed[in++];
        return true;
    };
    auto put = [&](uint8_t value) {
        if (out == capacity) return false;
        output[out++] = value;
        window[r] = value;
        r = (r + 1) & RingMask;
        return true;
    };
    for (;;) {
        flags >>= 1;
        if ((flags & 0x100) == 0) {
            uint32_t c;
            if (!fetch(c)) break;
            flags = c | 0xFF00;
        }
        if (flags & 1) {
            uint32_t c;
            if (!fetch(c)) break;
            if (!put(static_cast<uint8_t>(c))) {
                produced = out;
                return false;
            }
        } else {
            uint32_t position, length;
            if (!fetch(position) || !fetch(length)) break;
            position |= (length & 0xF0) << 4;
            length = (length & 0x0F) + 3;
            for (uint32_t k = 0; k < length; ++k) {
                if (!put(window[(position + k) & RingMask])) {
                    produced = out;
                    return false;
                }
            }
        }
    }
    produced = out;
    return true;
}
