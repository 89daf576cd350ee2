#include "platform/FileReplace.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace {

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
    bool Close()
    {
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return CloseHandle(handle) != 0;
    }

private:
    HANDLE handle_;
};

bool WriteAll(HANDLE file, const uint8_t* bytes, uint64_t length)
{
    while (length > 0) {
        const DWORD chunk = length > 0x40000000u ? 0x40000000u : static_cast<DWORD>(length);
        DWORD written = 0;
        if (!WriteFile(file, bytes, chunk, &written, nullptr) || written == 0) return false;
        bytes += written;
        length -= written;
    }
    return true;
}

// A name beside the target that no other file has: the process id and a
// counter keep concurrent savers and leftovers of a crash apart, and
// CREATE_NEW refuses anything that is there all the same.
HANDLE CreateNewFileBeside(const std::filesystem::path& target, std::filesystem::path& created)
{
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path candidate = target;
        candidate += L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) + L".new";
        const HANDLE file = CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            created = std::move(candidate);
            return file;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return INVALID_HANDLE_VALUE;
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
    Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.Get() != INVALID_HANDLE_VALUE;
}

bool ReplaceFileContents(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                         const FileReplaceFaults& faults)
{
    RemoveLeftoverReplacements(target);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool targetExists = attributes != INVALID_FILE_ATTRIBUTES;
    if (targetExists && ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !CanOpenForWriting(target))) return false;

    std::filesystem::path temporary;
    Handle file(CreateNewFileBeside(target, temporary));
    if (file.Get() == INVALID_HANDLE_VALUE) return false;
    const auto discard = [&] {
        DeleteFileW(temporary.c_str());
        return false;
    };

    if (faults.crashAfterBytes && *faults.crashAfterBytes < bytes.size()) {
        // What a crash leaves: part of the new file, the target as it was.
        WriteAll(file.Get(), bytes.data(), *faults.crashAfterBytes);
        return false;
    }
    if (!WriteAll(file.Get(), bytes.data(), bytes.size())) return discard();
    if (!FlushFileBuffers(file.Get())) return discard();
    if (!file.Close()) return discard();
    if (faults.refuseReplace) return discard();
    if (!MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return discard();
    if (faults.replacements != nullptr) ++*faults.replacements;
    return true;
}
