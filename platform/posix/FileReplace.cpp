#include "platform/FileReplace.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <signal.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes a descriptor on every exit.
class Descriptor {
public:
    explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
    ~Descriptor()
    {
        if (descriptor_ >= 0) ::close(descriptor_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int Get() const { return descriptor_; }
    bool Close()
    {
        const int descriptor = descriptor_;
        descriptor_ = -1;
        return ::close(descriptor) == 0;
    }

private:
    int descriptor_;
};

bool WriteAll(int descriptor, const uint8_t* bytes, size_t length)
{
    while (length > 0) {
        const ssize_t written = ::write(descriptor, bytes, length);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

// A name beside the target that no other file has: the process id and a
// counter keep concurrent savers and leftovers of a crash apart, and
// O_EXCL refuses anything that is there all the same.
int CreateNewFileBeside(const std::filesystem::path& target, std::filesystem::path& created)
{
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path candidate = target;
        candidate += "." + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".new";
        const int descriptor = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor >= 0) {
            created = std::move(candidate);
            return descriptor;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

// Makes the rename itself durable; a folder that cannot be synchronised
// (some file systems refuse) leaves the replacement done all the same.
void SyncFolderOf(const std::filesystem::path& path)
{
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return;
    ::fsync(descriptor);
    ::close(descriptor);
}

}  // namespace

bool ProcessIsRunning(uint32_t processId)
{
    // EPERM: it runs, under another user.
    return processId != 0 && (::kill(static_cast<pid_t>(processId), 0) == 0 || errno == EPERM);
}

bool CanOpenForWriting(const std::filesystem::path& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || S_ISDIR(status.st_mode)) return false;
    // O_NONBLOCK: a FIFO put there must not hang the program.
    Descriptor file(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    return file.Get() >= 0;
}

bool ReplaceFileContents(const std::filesystem::path& link, std::span<const uint8_t> bytes,
                         const FileReplaceFaults& faults)
{
    // A symbolic link stays a link: the file it points at is replaced, as a
    // write in place would change that file.
    std::error_code linkError;
    const bool isLink = std::filesystem::is_symlink(std::filesystem::symlink_status(link, linkError));
    const std::filesystem::path target = isLink ? std::filesystem::canonical(link, linkError) : link;
    if (isLink && linkError) return false;  // a dangling or looping link

    RemoveLeftoverReplacements(target);
    struct stat existing {};
    const bool targetExists = ::lstat(target.c_str(), &existing) == 0;
    if (targetExists && (!S_ISREG(existing.st_mode) || !CanOpenForWriting(target))) return false;

    std::filesystem::path temporary;
    Descriptor file(CreateNewFileBeside(target, temporary));
    if (file.Get() < 0) return false;
    const auto discard = [&] {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return false;
    };

    if (faults.crashAfterBytes && *faults.crashAfterBytes < bytes.size()) {
        // What a crash leaves: part of the new file, the target as it was.
        WriteAll(file.Get(), bytes.data(), static_cast<size_t>(*faults.crashAfterBytes));
        return false;
    }
    if (targetExists && ::fchmod(file.Get(), existing.st_mode & 07777) != 0) return discard();
    if (!WriteAll(file.Get(), bytes.data(), bytes.size())) return discard();
    if (::fsync(file.Get()) != 0) return discard();
    if (!file.Close()) return discard();
    if (faults.refuseReplace) return discard();
    if (::rename(temporary.c_str(), target.c_str()) != 0) return discard();
    SyncFolderOf(target);
    if (faults.replacements != nullptr) ++*faults.replacements;
    return true;
}
