// TResReadStream: the rest of one archive entry as a read-only, seekable
// stream, with the archive's decryption applied underneath.
//
// A thin view: it owns nothing. The cursor and the archive belong to the
// caller and must outlive the stream. Read() does not seek: the archive file
// must stand at the cursor's position (true after any read or seek through the
// same cursor, and after every Seek of the stream). With fromCurrent the
// stream's position 0 is the cursor's position at construction, else the
// entry's first data byte. Write() writes nothing.
#pragma once

#include "ZULResourceUtilLib/ResArchive.h"
#include "platform/Stream.h"

class TResReadStream final : public TStream {
public:
    TResReadStream(ResArchive* archive, bool fromCurrent, ResCursor* cursor);

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    using TStream::Seek;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;

private:
    ResCursor* cursor_;
    ResArchive* archive_;
    uint64_t origin_;
    uint64_t dataStart_;
};
