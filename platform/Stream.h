// TStream: the abstract byte stream that decoders read from.
//
// Read() returns the bytes actually read (0 at the end, negative on an error);
// Write() the bytes actually written. Seek() returns the new position or -1.
// ReadBuffer() and WriteBuffer() are the "exactly" forms: anything short of the
// full count throws EReadError or EWriteError, which decoders catch.
// Size() seeks to the end and back to where the stream stood; setting a size
// is not offered because no stream of ours can change its size.
#pragma once

#include <cstdint>
#include <stdexcept>

class EReadError : public std::runtime_error {
public:
    EReadError() : std::runtime_error("stream read error") {}
};

class EWriteError : public std::runtime_error {
public:
    EWriteError() : std::runtime_error("stream write error") {}
};

enum class SeekOrigin : int { Beginning = 0, Current = 1, End = 2 };

class TStream {
public:
    virtual ~TStream() = default;

    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // The 32-bit form sign-extends its offset; an origin outside 0..2 is
    // passed through, and each stream says what it makes of it.
    virtual int64_t Seek(int32_t offset, uint16_t origin);
    virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;

    int64_t Position() { return Seek(int64_t{0}, SeekOrigin::Current); }
    int64_t Size();

    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);
};

// A read-only stream over bytes that the caller keeps alive.
class TBytesStream final : public TStream {
public:
    TBytesStream(const uint8_t* bytes, int64_t length) : bytes_(bytes), length_(length) {}

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void*, int64_t) override { return 0; }
    using TStream::Seek;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;

private:
    const uint8_t* bytes_;
    int64_t length_;
    int64_t position_ = 0;
};
