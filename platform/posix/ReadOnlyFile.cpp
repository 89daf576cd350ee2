#include "platform/ReadOnlyFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class PosixFile final : public ReadOnlyFile {
public:
    explicit PosixFile(int descriptor) : descriptor_(descriptor) {}
    ~PosixFile() override { ::close(descriptor_); }
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    bool Seek(uint64_t offset) override
    {
        if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
        return ::lseek(descriptor_, static_cast<off_t>(offset), SEEK_SET) != static_cast<off_t>(-1);
    }

    int64_t Read(void* destination, size_t length) override
    {
        size_t done = 0;
        auto* bytes = static_cast<unsigned char*>(destination);
        // read() may return less than asked before the end; keep going so that
        // a short count always means the end of the file.
        while (done < length) {
            const ssize_t got = ::read(descriptor_, bytes + done, length - done);
            if (got < 0) {
                if (errno == EINTR) continue;
                return -1;
            }
            if (got == 0) break;
            done += static_cast<size_t>(got);
        }
        return static_cast<int64_t>(done);
    }

    int64_t Size() override
    {
        struct stat status {};
        if (::fstat(descriptor_, &status) != 0) return -1;
        return static_cast<int64_t>(status.st_size);
    }

private:
    int descriptor_;
};

} // namespace

std::unique_ptr<ReadOnlyFile> OpenReadOnlyShared(const std::filesystem::path& path, FileOpenFailure* failure)
{
    FileOpenFailure ignored;
    FileOpenFailure& why = failure != nullptr ? *failure : ignored;
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a
    // writer, possibly for ever, before fstat could tell what it is.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) {
        why = FileOpenFailure::CannotOpen;
        return nullptr;
    }
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        ::close(descriptor);
        why = FileOpenFailure::CannotOpen;
        return nullptr;
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(descriptor);
        why = FileOpenFailure::NotRegularFile;
        return nullptr;
    }
    // Reads of a regular file do not block anyway, but the flag would stay on
    // the descriptor, and a file system that honours it (mandatory locks,
    // some network ones) would answer EAGAIN instead of data.
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags == -1 || ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) == -1) {
        ::close(descriptor);
        why = FileOpenFailure::CannotOpen;
        return nullptr;
    }
    why = FileOpenFailure::None;
    return std::make_unique<PosixFile>(descriptor);
}
