// ReadOnlyFile: a file opened for reading, shared with every other reader and
// writer, with an explicit position.
//
// Read() reads at the current position and advances it; it returns the number
// of bytes read (fewer than asked at the end of the file) or -1 on a read
// error. Seek() takes an absolute offset and fails (false) when the offset
// cannot be reached; seeking beyond the end is allowed, as with the operating
// system's own calls, and later reads there return 0. Size() is the file's
// length in bytes, or -1 when it cannot be told.
//
// OpenReadOnlyShared() returns null when the file cannot be opened, and says
// why in *failure when one is given. Only regular files are opened: a FIFO, a
// device or a folder is refused without waiting for a writer and without
// reading from it (a FIFO would block the opening, a device such as /dev/zero
// never ends).
// MemoryFile serves tests and fuzzers: the same contract over bytes it owns,
// with switches that make reads or seeks fail from a given offset on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

class ReadOnlyFile {
public:
    virtual ~ReadOnlyFile() = default;
    virtual bool Seek(uint64_t offset) = 0;
    virtual int64_t Read(void* destination, size_t length) = 0;
    virtual int64_t Size() = 0;
};

enum class FileOpenFailure { None, CannotOpen, NotRegularFile };

std::unique_ptr<ReadOnlyFile> OpenReadOnlyShared(const std::filesystem::path& path, FileOpenFailure* failure = nullptr);

class MemoryFile final : public ReadOnlyFile {
public:
    explicit MemoryFile(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

    bool Seek(uint64_t offset) override;
    int64_t Read(void* destination, size_t length) override;
    int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }

    // Fault injection: a seek to an offset at or beyond failSeeksFrom fails; a
    // read that starts at or beyond failReadsFrom returns -1.
    uint64_t failSeeksFrom = UINT64_MAX;
    uint64_t failReadsFrom = UINT64_MAX;

private:
    std::vector<uint8_t> bytes_;
    uint64_t position_ = 0;
};
