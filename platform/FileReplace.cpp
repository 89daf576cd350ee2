// The parts of FileReplacement that every platform shares: the order of the
// steps, the simulated faults and the words for failures. Open and the
// operating-system calls are in posix/ and win32/.
#include "platform/FileReplace.h"

#include "platform/Utf8Path.h"

namespace {

std::string FolderName(const std::filesystem::path& folder)
{
    return folder.empty() ? "the current folder" : Utf8FromPath(folder);
}

std::string Reason(const FileReplaceError& error)
{
    switch (error.failure) {
    case FileReplaceFailure::None: break;
    case FileReplaceFailure::NotOpen: return "no new file is open to write";
    case FileReplaceFailure::DanglingLink: return "is a symbolic link that leads nowhere";
    case FileReplaceFailure::TargetIsFolder: return "is a folder";
    case FileReplaceFailure::TargetIsNotAFile: return "is a pipe, a device or a socket, not a file";
    case FileReplaceFailure::TargetReadOnly: return "cannot be opened for writing";
    case FileReplaceFailure::CannotCreate: return "cannot create a file in " + FolderName(error.folder);
    case FileReplaceFailure::CannotWrite: return "cannot write";
    case FileReplaceFailure::CannotReplace: return "cannot put the new file in its place";
    }
    return {};
}

}  // namespace

std::string FileReplaceErrorText(const FileReplaceError& error)
{
    if (error.failure == FileReplaceFailure::None) return {};
    std::string text = Reason(error);
    if (error.system) text += ": " + error.system.message();
    return error.target.empty() ? text : Utf8FromPath(error.target) + ": " + text;
}

FileReplacement::~FileReplacement()
{
    Abandon();
}

void FileReplacement::Abandon()
{
    CloseNewFile();
    if (!newFile_.empty()) {
        std::error_code ignored;
        std::filesystem::remove(newFile_, ignored);
        newFile_.clear();
    }
    written_ = 0;
}

void FileReplacement::Begin(const std::filesystem::path& target, const FileReplaceOptions& options)
{
    Abandon();
    error_ = FileReplaceError{};
    error_.target = target;
    faults_ = options.faults;
    target_ = target;
}

bool FileReplacement::Fail(FileReplaceFailure failure, std::error_code system)
{
    Abandon();
    error_.failure = failure;
    error_.system = system;
    return false;
}

bool FileReplacement::Write(std::span<const uint8_t> bytes)
{
    if (Failed()) return false;
    if (newFile_.empty()) return Fail(FileReplaceFailure::NotOpen);
    if (faults_.crashAfterBytes && *faults_.crashAfterBytes - written_ < bytes.size()) {
        // What a crash leaves: part of the new file, the target as it was.
        WriteNewFile(bytes.data(), static_cast<size_t>(*faults_.crashAfterBytes - written_));
        CloseNewFile();
        newFile_.clear();
        return Fail(FileReplaceFailure::CannotWrite, std::make_error_code(std::errc::io_error));
    }
    if (const std::error_code error = WriteNewFile(bytes.data(), bytes.size()))
        return Fail(FileReplaceFailure::CannotWrite, error);
    written_ += bytes.size();
    return true;
}

bool FileReplacement::Commit()
{
    if (Failed()) return false;
    if (newFile_.empty()) return Fail(FileReplaceFailure::NotOpen);
    if (const std::error_code error = FlushAndCloseNewFile()) return Fail(FileReplaceFailure::CannotWrite, error);
    if (faults_.refuseReplace)
        return Fail(FileReplaceFailure::CannotReplace, std::make_error_code(std::errc::permission_denied));
    if (const std::error_code error = MoveNewFileInPlace()) return Fail(FileReplaceFailure::CannotReplace, error);
    newFile_.clear();
    written_ = 0;
    if (faults_.replacements != nullptr) ++*faults_.replacements;
    return true;
}

bool ReplaceFileContents(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                         const FileReplaceFaults& faults)
{
    FileReplaceOptions options;
    options.faults = faults;
    FileReplacement file;
    return file.Open(target, options) && file.Write(bytes) && file.Commit();
}
