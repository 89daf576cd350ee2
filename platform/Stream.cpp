#include "platform/Stream.h"

#include <algorithm>
#include <cstring>

int64_t TStream::Seek(int32_t offset, uint16_t origin)
{
    return Seek(static_cast<int64_t>(offset), static_cast<SeekOrigin>(origin));
}

int64_t TStream::Size()
{
    const int64_t position = Seek(int64_t{0}, SeekOrigin::Current);
    const int64_t end = Seek(int64_t{0}, SeekOrigin::End);
    Seek(position, SeekOrigin::Beginning);
    return end;
}

void TStream::ReadBuffer(void* buffer, int64_t count)
{
    if (count != 0 && Read(buffer, count) != count) throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, int64_t count)
{
    if (count != 0 && Write(buffer, count) != count) throw EWriteError();
}

int64_t TBytesStream::Read(void* buffer, int64_t count)
{
    if (count <= 0) return 0;
    const int64_t available = std::max<int64_t>(0, length_ - position_);
    const int64_t taken = std::min(count, available);
    if (taken > 0) std::memcpy(buffer, bytes_ + position_, static_cast<size_t>(taken));
    position_ += taken;
    return taken;
}

int64_t TBytesStream::Seek(int64_t offset, SeekOrigin origin)
{
    int64_t target;
    switch (origin) {
    case SeekOrigin::Beginning: target = offset; break;
    case SeekOrigin::Current: target = position_ + offset; break;
    case SeekOrigin::End: target = length_ + offset; break;
    default: return -1;
    }
    if (target < 0 || target > length_) return -1;
    position_ = target;
    return position_;
}
