// LzssCodec: binary-tree LZSS (ring window 4,096, longest match 18, matches of
// two bytes or fewer sent as literals) in both directions.
//
// Packed format: a flag byte, then up to eight items, one per flag bit from the
// least significant up; 1 = a literal byte follows, 0 = a two-byte match:
// position = b0 | (b1 & 0xF0) << 4 (absolute in the window), length =
// (b1 & 0x0F) + 3. The window starts as 4,078 zero bytes; writing starts at
// 4,078.
//
// LzssRun(codec, direction, capacity, dataSide, memorySide, length, stream):
//  - direction 'E' or 'e' compresses dataSide (capacity bytes) into
//    memorySide; it fails (false) unless the packed form is shorter than the
//    input, so memorySide needs capacity bytes. length receives the packed
//    size.
//  - any other letter expands into dataSide (capacity bytes). length in is the
//    packed length; the input is the stream when not null, else memorySide.
//    The end of the input (or a stream read failure) ends expansion normally;
//    output that would pass the capacity stops there and returns false.
//    length out is the number of bytes produced.
// The work area is allocated once per codec and reused by every call.
#pragma once

#include <cstdint>
#include <memory>

class TStream;

class LzssCodec {
public:
    static constexpr int WindowSize = 4096;
    static constexpr int LongestMatch = 18;
    static constexpr int Threshold = 2;
    static constexpr int NoNode = WindowSize;
    static constexpr uint32_t WorkAreaSize = 29216;
    static constexpr int InputBufferSize = 512;

    LzssCodec();
    ~LzssCodec();
    LzssCodec(const LzssCodec&) = delete;
    LzssCodec& operator=(const LzssCodec&) = delete;

    // Allocates the work area, or clears it when it exists; false when the
    // allocation fails.
    bool SetUp();
    void Release();

    uint32_t outputCount = 0;
    uint32_t inputPosition = 0;
    int16_t directionMarker = 0;  // -1 compressing, 0 expanding
    uint32_t length = 0;
    std::unique_ptr<uint8_t[]> workArea;
    uint32_t capacity = 0;
    uint16_t* parent = nullptr;
    uint16_t* leftChild = nullptr;
    uint16_t* rightChild = nullptr;
    uint8_t* bufferA = nullptr;
    uint8_t* bufferB = nullptr;
    uint16_t matchPosition = 0;
    uint16_t matchLength = 0;
    TStream* inputStream = nullptr;
    uint16_t inputBufferIndex = InputBufferSize;
    uint8_t inputBuffer[InputBufferSize] = {};
    uint32_t workAreaSize = WorkAreaSize;
};

bool LzssRun(LzssCodec& codec, char direction, uint32_t capacity, uint8_t* dataSide, uint8_t* memorySide,
             uint32_t& length, TStream* stream);

// The plain ring-window expander over memory, byte by byte. LzssRun's
// expansion must match it bit for bit (output, count and result); tests,
// fuzz targets and the benchmark compare against it.
bool LzssExpandReference(const uint8_t* packed, uint32_t packedLength, uint8_t* output, uint32_t capacity,
                         uint32_t& produced);
