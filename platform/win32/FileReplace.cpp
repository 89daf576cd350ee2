#include "platform/FileReplace.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <utility>
#include <vector>

namespace {

HANDLE AsHandle(intptr_t file)
{
    return reinterpret_cast<HANDLE>(file);
}

// The common reasons as portable ones, so that a message reads the same on
// every platform and callers can test for std::errc; the rest keep the
// system's own words.
std::error_code SystemError(DWORD code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME: return std::make_error_code(std::errc::no_such_file_or_directory);
    case ERROR_ACCESS_DENIED: return std::make_error_code(std::errc::permission_denied);
    case ERROR_WRITE_PROTECT: return std::make_error_code(std::errc::read_only_file_system);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return std::make_error_code(std::errc::no_space_on_device);
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return std::make_error_code(std::errc::file_exists);
    case ERROR_FILENAME_EXCED_RANGE: return std::make_error_code(std::errc::filename_too_long);
    case ERROR_CANT_RESOLVE_FILENAME: return std::make_error_code(std::errc::too_many_symbolic_link_levels);
    default: return {static_cast<int>(code), std::system_category()};
    }
}

std::error_code LastError()
{
    return SystemError(GetLastError());
}

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle()
    {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Where a link leads, without the "\\?\" that GetFinalPathNameByHandleW puts
// in front, so that messages show the name the user knows.
std::filesystem::path FinalPathOf(const std::filesystem::path& link, std::error_code& error)
{
    // Backup semantics: a link to a folder opens too (and is refused later as a folder).
    Handle file(CreateFileW(link.c_str(), 0, ShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE) {
        error = LastError();
        return {};
    }
    std::vector<wchar_t> name(MAX_PATH);
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(file.Get(), name.data(), static_cast<DWORD>(name.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) {
            error = LastError();
            return {};
        }
        if (length < name.size()) {
            std::wstring text(name.data(), length);
            if (text.rfind(L"\\\\?\\UNC\\", 0) == 0) {
                text = L"\\\\" + text.substr(8);
            } else if (text.rfind(L"\\\\?\\", 0) == 0 && text.size() >= 7 && text[5] == L':') {
                text = text.substr(4);
            }
            error.clear();
            return text;
        }
        name.resize(length);
    }
}

}  // namespace

bool ProcessIsRunning(uint32_t processId)
{
    if (processId == 0) return false;
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;  // it runs, under another user
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

bool CanOpenForWriting(const std::filesystem::path& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
    Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, ShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr));
    return file.Get() != INVALID_HANDLE_VALUE;
}

bool FileReplacement::Open(const std::filesystem::path& target, const FileReplaceOptions& options)
{
    Begin(target, options);

    DWORD attributes = GetFileAttributesW(target.c_str());
    bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        if (options.followLink) {
            std::error_code linkError;
            target_ = FinalPathOf(target, linkError);
            if (linkError) return Fail(FileReplaceFailure::DanglingLink, linkError);
            attributes = GetFileAttributesW(target_.c_str());
            exists = attributes != INVALID_FILE_ATTRIBUTES;
        } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            // The link itself gives way.
            exists = false;
        }
    }
    error_.folder = target_.parent_path();
    RemoveLeftoverReplacements(target_);

    if (exists) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return Fail(FileReplaceFailure::TargetIsFolder);
        // Opened to see what it is (a name such as NUL is a device), and for
        // writing when a file that may not be written is to be refused.
        Handle probe(CreateFileW(target_.c_str(), options.refuseReadOnly ? GENERIC_WRITE : FILE_READ_ATTRIBUTES,
                                 ShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (probe.Get() == INVALID_HANDLE_VALUE) {
            if (options.refuseReadOnly) return Fail(FileReplaceFailure::TargetReadOnly, LastError());
        } else if (GetFileType(probe.Get()) != FILE_TYPE_DISK) {
            return Fail(FileReplaceFailure::TargetIsNotAFile);
        }
    }

    // A name beside the target that no other file has: the process id and a
    // counter keep concurrent writers and leftovers of a crash apart, and
    // CREATE_NEW refuses anything that is there all the same.
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100 && file_ == -1; ++attempt) {
        std::filesystem::path candidate = target_;
        candidate += L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) + L".new";
        const HANDLE file =
            CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            file_ = reinterpret_cast<intptr_t>(file);
            newFile_ = std::move(candidate);
        } else if (const DWORD error = GetLastError(); error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            return Fail(FileReplaceFailure::CannotCreate, SystemError(error));
        }
    }
    if (file_ == -1) return Fail(FileReplaceFailure::CannotCreate, std::make_error_code(std::errc::file_exists));
    return true;
}

std::error_code FileReplacement::WriteNewFile(const uint8_t* bytes, size_t length)
{
    while (length > 0) {
        const DWORD chunk = length > 0x40000000u ? 0x40000000u : static_cast<DWORD>(length);
        DWORD written = 0;
        if (!WriteFile(AsHandle(file_), bytes, chunk, &written, nullptr)) return LastError();
        if (written == 0) return std::make_error_code(std::errc::io_error);
        bytes += written;
        length -= written;
    }
    return {};
}

std::error_code FileReplacement::FlushAndCloseNewFile()
{
    const HANDLE file = AsHandle(std::exchange(file_, -1));
    std::error_code error;
    if (!FlushFileBuffers(file)) error = LastError();
    if (!CloseHandle(file) && !error) error = LastError();
    return error;
}

std::error_code FileReplacement::MoveNewFileInPlace()
{
    if (!MoveFileExW(newFile_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return LastError();
    return {};
}

void FileReplacement::CloseNewFile()
{
    if (file_ != -1) CloseHandle(AsHandle(std::exchange(file_, -1)));
}
