#include "ZULResourceUtilLib/TResReadStream.h"

TResReadStream::TResReadStream(ResArchive* archive, bool fromCurrent, ResCursor* cursor)
    : cursor_(cursor),
      archive_(archive),
      origin_(fromCurrent ? static_cast<uint64_t>(cursor->position) : 0),
      dataStart_(archive->dataBase + cursor->entry.offset + cursor->entry.prefixLength)
{
}

int64_t TResReadStream::Read(void* buffer, int64_t count)
{
    return ResCursorRead(*archive_, *cursor_, buffer, count);
}

int64_t TResReadStream::Write(const void*, int64_t)
{
    return 0;
}

int64_t TResReadStream::Seek(int64_t offset, SeekOrigin origin)
{
    int64_t base = 0;
    switch (origin) {
    case SeekOrigin::Beginning: base = static_cast<int64_t>(origin_); break;
    case SeekOrigin::Current: base = cursor_->position; break;
    case SeekOrigin::End: base = cursor_->entry.DataLength(); break;
    default: offset = 0; break;
    }
    int64_t target = 0;
    if (__builtin_add_overflow(base, offset, &target)) return -1;
    // A target before the stream's own start is refused before the cursor
    // moves, so a failed seek never changes the position.
    if (target < static_cast<int64_t>(origin_)) return -1;

    const int64_t filePosition = ResCursorSeek(*archive_, *cursor_, target);
    if (filePosition < 0) return -1;
    const int64_t result = filePosition - static_cast<int64_t>(dataStart_);
    if (result < 0) return -1;
    return result - static_cast<int64_t>(origin_);
}
