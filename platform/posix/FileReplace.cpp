#include "platform/FileReplace.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <signal.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

std::error_code LastError()
{
    return {errno, std::generic_category()};
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
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) return false;
    ::close(descriptor);
    return true;
}

bool FileReplacement::Open(const std::filesystem::path& target, const FileReplaceOptions& options)
{
    Begin(target, options);

    struct stat existing {};
    bool exists = ::lstat(target.c_str(), &existing) == 0;
    if (exists && S_ISLNK(existing.st_mode)) {
        if (options.followLink) {
            std::error_code linkError;
            target_ = std::filesystem::canonical(target, linkError);
            if (linkError) return Fail(FileReplaceFailure::DanglingLink, linkError);
            exists = ::lstat(target_.c_str(), &existing) == 0;
        } else {
            // The link itself gives way; nothing of it carries over.
            exists = false;
        }
    }
    error_.folder = target_.parent_path();
    RemoveLeftoverReplacements(target_);

    std::optional<mode_t> mode;
    if (exists) {
        if (S_ISDIR(existing.st_mode)) return Fail(FileReplaceFailure::TargetIsFolder);
        if (!S_ISREG(existing.st_mode)) return Fail(FileReplaceFailure::TargetIsNotAFile);
        if (options.refuseReadOnly) {
            // O_NONBLOCK: should a FIFO have taken the file's place since,
            // opening it must not wait for a reader.
            const int probe = ::open(target_.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
            if (probe < 0) return Fail(FileReplaceFailure::TargetReadOnly, LastError());
            ::close(probe);
        }
        if (options.keepPermissions) mode = existing.st_mode & 07777;
    }
    if (options.permissions) mode = static_cast<mode_t>(*options.permissions) & 07777;

    // A name beside the target that no other file has: the process id and a
    // counter keep concurrent writers and leftovers of a crash apart, and
    // O_EXCL refuses anything that is there all the same. Created with the
    // final bits (the umask may only take some away), so that the new
    // contents are never open to more users than the old ones were.
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100 && file_ < 0; ++attempt) {
        std::filesystem::path candidate = target_;
        candidate += "." + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".new";
        const int descriptor =
            ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode ? *mode & 0777 : 0666);
        if (descriptor >= 0) {
            file_ = descriptor;
            newFile_ = std::move(candidate);
        } else if (errno != EEXIST) {
            return Fail(FileReplaceFailure::CannotCreate, LastError());
        }
    }
    if (file_ < 0) return Fail(FileReplaceFailure::CannotCreate, std::make_error_code(std::errc::file_exists));
    // Exactly the bits asked for, past the umask. Best effort: a file system
    // without permission bits (FAT) refuses, and its files have no bits to
    // keep anyway.
    if (mode) ::fchmod(static_cast<int>(file_), *mode);
    return true;
}

std::error_code FileReplacement::WriteNewFile(const uint8_t* bytes, size_t length)
{
    while (length > 0) {
        const ssize_t written = ::write(static_cast<int>(file_), bytes, length);
        if (written < 0) {
            if (errno == EINTR) continue;
            return LastError();
        }
        bytes += written;
        length -= static_cast<size_t>(written);
    }
    return {};
}

std::error_code FileReplacement::FlushAndCloseNewFile()
{
    const int descriptor = static_cast<int>(std::exchange(file_, -1));
    std::error_code error;
    // EINVAL: a file system that has nothing to flush (some FUSE ones).
    if (::fsync(descriptor) != 0 && errno != EINVAL) error = LastError();
    // Some network file systems report a failed write only here.
    if (::close(descriptor) != 0 && !error) error = LastError();
    return error;
}

std::error_code FileReplacement::MoveNewFileInPlace()
{
    if (::rename(newFile_.c_str(), target_.c_str()) != 0) return LastError();
    SyncFolderOf(target_);
    return {};
}

void FileReplacement::CloseNewFile()
{
    if (file_ >= 0) ::close(static_cast<int>(std::exchange(file_, -1)));
}
