#include "platform/ReadOnlyFile.h"

#include <algorithm>
#include <cstring>

bool MemoryFile::Seek(uint64_t offset)
{
    if (offset >= failSeeksFrom) return false;
    position_ = offset;
    return true;
}

int64_t MemoryFile::Read(void* destination, size_t length)
{
    if (position_ >= failReadsFrom) return -1;
    if (position_ >= bytes_.size()) return 0;
    const size_t count = static_cast<size_t>(std::min<uint64_t>(length, bytes_.size() - position_));
    if (count != 0) std::memcpy(destination, bytes_.data() + position_, count);
    position_ += count;
    return static_cast<int64_t>(count);
}
