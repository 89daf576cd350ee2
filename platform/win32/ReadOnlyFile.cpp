#include "platform/ReadOnlyFile.h"

#include <windows.h>

#include <algorithm>

namespace {

class Win32File final : public ReadOnlyFile {
public:
    explicit Win32File(HANDLE handle) : handle_(handle) {}
    ~Win32File() override { CloseHandle(handle_); }
    Win32File(const Win32File&) = delete;
    Win32File& operator=(const Win32File&) = delete;

    bool Seek(uint64_t offset) override
    {
        if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
        LARGE_INTEGER distance;
        distance.QuadPart = static_cast<LONGLONG>(offset);
        return SetFilePointerEx(handle_, distance, nullptr, FILE_BEGIN) != 0;
    }

    int64_t Read(void* destination, size_t length) override
    {
        size_t done = 0;
        auto* bytes = static_cast<unsigned char*>(destination);
        while (done < length) {
            const DWORD piece = static_cast<DWORD>(std::min<size_t>(length - done, 1u << 30));
            DWORD got = 0;
            if (!ReadFile(handle_, bytes + done, piece, &got, nullptr)) return -1;
            if (got == 0) break;
            done += got;
        }
        return static_cast<int64_t>(done);
    }

    int64_t Size() override
    {
        LARGE_INTEGER size;
        if (!GetFileSizeEx(handle_, &size)) return -1;
        return static_cast<int64_t>(size.QuadPart);
    }

private:
    HANDLE handle_;
};

} // namespace

std::unique_ptr<ReadOnlyFile> OpenReadOnlyShared(const std::filesystem::path& path, FileOpenFailure* failure)
{
    FileOpenFailure ignored;
    FileOpenFailure& why = failure != nullptr ? *failure : ignored;
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        // Without backup semantics a folder does not open at all; say so
        // rather than "cannot open".
        const DWORD attributes = GetFileAttributesW(path.c_str());
        why = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                  ? FileOpenFailure::NotRegularFile
                  : FileOpenFailure::CannotOpen;
        return nullptr;
    }
    // Pipes, consoles and serial ports open too, but a read of them waits for
    // a writer or never ends.
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        why = FileOpenFailure::NotRegularFile;
        return nullptr;
    }
    why = FileOpenFailure::None;
    return std::make_unique<Win32File>(handle);
}
