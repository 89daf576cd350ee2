// FileReplace: writing a whole file so that a crash, a full disk or a power
// cut leaves either the old file or the new one, each whole.
//
// FileReplacement is the one way the program and its tools write a file:
// Open makes a new file beside the target (same folder, a name of its own),
// Write appends to it as often as needed, and Commit flushes it to the disk
// and puts it in the target's place in one step (rename on POSIX,
// MoveFileExW with MOVEFILE_REPLACE_EXISTING on Windows). Until Commit the
// target stays as it was; a replacement destroyed or abandoned without
// Commit removes its new file. Each step returns false on failure, after
// which the new file is gone and Error() says why; further steps fail at
// once with the same error.
//
// What Open does with an existing target depends on FileReplaceOptions:
// - followLink: a target that is a symbolic link stays one and the file it
//   points at is replaced, as a write in place would change that file; a
//   link that leads nowhere is refused. Otherwise the link itself gives way
//   to the new file.
// - keepPermissions (POSIX): the target's permission bits carry over to the
//   new file; `permissions` sets other bits instead. The new file is created
//   with them, so its contents are never readable by more users than the
//   old file's were; a file system that cannot take them (FAT) still gets
//   the file. Windows has no such bits: the new file takes its folder's
//   rights, and `permissions` is ignored there.
// - refuseReadOnly: a target that exists but cannot be opened for writing is
//   refused, so that a read-only file stays read-only, as it would if it
//   were written in place.
// A folder, a pipe, a device or a socket is never replaced.
//
// Failures name a FileReplaceFailure and keep the operating system's reason
// (as a portable std::errc where one fits); FileReplaceErrorText turns them
// into one line that starts with the target's name as given:
//   "out/show.brsc: cannot create a file in out: Permission denied"
//   "out/show.brsc: cannot write: No space left on device"
//
// ReplaceFileContents is the one-call form for bytes already in memory.
// CanOpenForWriting tells whether an existing file can be opened for writing
// with every kind of sharing allowed; it opens and closes the file without
// changing it, and is false for a missing file or a folder.
//
// The new file is named after the target, the writing process and a counter
// ("kt5_scr2.ini.4711-0.new"). A crash leaves it behind; the next
// replacement of the same target removes such leftovers of processes that
// no longer run (RemoveLeftoverReplacements), so they do not pile up beside
// the program.
//
// FileReplaceFaults simulate failures for tests: a crash in the middle of
// writing the new file (the partial file is left behind, as a crash would
// leave it, and the target is never replaced), or a refused last step; and
// they can count the replacements made.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <system_error>

struct FileReplaceFaults {
    // Writing stops for good after this many bytes of the new file.
    std::optional<uint64_t> crashAfterBytes;
    // The step that puts the new file in place fails.
    bool refuseReplace = false;
    // Counts each target replaced, when set.
    int* replacements = nullptr;
};

struct FileReplaceOptions {
    bool followLink = true;
    bool keepPermissions = true;
    bool refuseReadOnly = true;
    // The new file's permission bits, whatever the target's are (POSIX).
    std::optional<std::filesystem::perms> permissions;
    FileReplaceFaults faults;
};

enum class FileReplaceFailure {
    None,
    NotOpen,          // Write or Commit without a successful Open
    DanglingLink,     // a followed link leads nowhere (or round in a loop)
    TargetIsFolder,
    TargetIsNotAFile,  // a pipe, a device or a socket
    TargetReadOnly,    // refused: the target exists but cannot be opened for writing
    CannotCreate,      // no new file can be made in the target's folder
    CannotWrite,       // writing or flushing the new file failed (a full disk, an I/O error)
    CannotReplace,     // the new file cannot be put in the target's place
};

struct FileReplaceError {
    FileReplaceFailure failure = FileReplaceFailure::None;
    std::filesystem::path target;  // as given to Open
    std::filesystem::path folder;  // where the new file goes (CannotCreate)
    std::error_code system;        // the operating system's reason, when it gave one
};

// "TARGET: REASON" on one line; empty for FileReplaceFailure::None.
std::string FileReplaceErrorText(const FileReplaceError& error);

class FileReplacement {
public:
    FileReplacement() = default;
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Abandons whatever this replacement had open first.
    bool Open(const std::filesystem::path& target, const FileReplaceOptions& options = {});
    bool Write(std::span<const uint8_t> bytes);
    bool Commit();
    // Removes the new file; the target stays as it was.
    void Abandon();

    bool Failed() const { return error_.failure != FileReplaceFailure::None; }
    const FileReplaceError& Error() const { return error_; }
    std::string ErrorText() const { return FileReplaceErrorText(error_); }
    // The new file while one is open, else empty.
    const std::filesystem::path& NewFile() const { return newFile_; }

private:
    // Forgets an earlier replacement and starts this one's bookkeeping.
    void Begin(const std::filesystem::path& target, const FileReplaceOptions& options);
    bool Fail(FileReplaceFailure failure, std::error_code system = {});
    // The platform's parts besides Open: each returns the operating
    // system's reason on failure.
    std::error_code WriteNewFile(const uint8_t* bytes, size_t length);
    std::error_code FlushAndCloseNewFile();
    std::error_code MoveNewFileInPlace();
    void CloseNewFile();

    std::filesystem::path target_;  // the file replaced: the given name, or where its link leads
    std::filesystem::path newFile_;
    intptr_t file_ = -1;  // a descriptor, or a HANDLE on Windows (-1 is INVALID_HANDLE_VALUE)
    uint64_t written_ = 0;
    FileReplaceFaults faults_;
    FileReplaceError error_;
};

bool ReplaceFileContents(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                         const FileReplaceFaults& faults = {});

bool CanOpenForWriting(const std::filesystem::path& path);

// Removes the new files of earlier replacements of `target` that the process
// which made them left behind (it no longer runs). Returns how many went.
int RemoveLeftoverReplacements(const std::filesystem::path& target);

// Whether a process with this id runs now (the platform's part of the above).
bool ProcessIsRunning(uint32_t processId);
