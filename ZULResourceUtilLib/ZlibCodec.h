// ZlibCodec: zlib streams (with the zlib header) in both directions.
//
// ZlibRun(codec, direction, capacity, dataSide, memorySide, length, stream):
//  - direction 'E' or 'e' deflates dataSide (capacity bytes, level 9) into
//    memorySide (capacity bytes); false when the output would not fit.
//  - any other letter inflates into dataSide (capacity bytes). length in is
//    the packed length; the input is the stream when not null, else
//    memorySide. A corrupt stream, input that ends before the stream end, or
//    output beyond the capacity return false. length out is the number of
//    bytes produced (compressing: the packed size).
// The z_stream and the 32 KB buffer are allocated once per codec.
#pragma once

#include <cstdint>
#include <memory>

class TStream;
struct z_stream_s;

class ZlibCodec {
public:
    static constexpr uint32_t HalfBufferSize = 16384;

    ZlibCodec();
    ~ZlibCodec();
    ZlibCodec(const ZlibCodec&) = delete;
    ZlibCodec& operator=(const ZlibCodec&) = delete;

    bool SetUp();
    void Release();

    uint32_t outputCount = 0;
    uint32_t inputPosition = 0;
    uint32_t length = 0;
    uint32_t capacity = 0;
    uint8_t* memorySide = nullptr;
    uint8_t* dataSide = nullptr;
    TStream* inputStream = nullptr;
    std::unique_ptr<z_stream_s> zlibStream;
    std::unique_ptr<uint8_t[]> buffer;  // input half, then output half
    int level = 9;
};

bool ZlibRun(ZlibCodec& codec, char direction, uint32_t capacity, uint8_t* dataSide, uint8_t* memorySide,
             uint32_t& length, TStream* stream);
