#include "tests/support/CodecTestSupport.h"

#include <cstring>
#include <stdexcept>

int64_t BytesSourceStream::Serve(void* buffer, int64_t count)
{
    std::memcpy(buffer, bytes_.data() + position_, static_cast<size_t>(count));
    position_ += count;
    return count;
}

int64_t FailingStream::Read(void* buffer, int64_t count)
{
    if (Served() + count > failAt_) {
        switch (failure_) {
        case Failure::ErrorCode: return -1;
        case Failure::ShortCount: break;
        case Failure::ForeignException: throw std::runtime_error("device gone");
        }
        count = std::max<int64_t>(0, failAt_ - Served());
    }
    return Serve(buffer, count);
}
