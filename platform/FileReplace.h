// FileReplace: writing a whole file so that a crash, a full disk or a power
// cut leaves either the old file or the new one, each whole.
//
// ReplaceFileContents writes the bytes to a new file beside the target (same
// folder, a name of its own), flushes it to the disk and then puts it in the
// target's place in one step (rename on POSIX, MoveFileExW with
// MOVEFILE_REPLACE_EXISTING on Windows). On POSIX the target's permission
// bits carry over to the new file, and a target that is a symbolic link
// stays one: the file it points at is replaced. It returns false, with the target
// untouched and the new file removed, when any step fails, and also when the
// target exists but cannot be opened for writing: a read-only file stays
// read-only, as it would if it were written in place.
//
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

struct FileReplaceFaults {
    // Writing stops for good after this many bytes of the new file.
    std::optional<uint64_t> crashAfterBytes;
    // The step that puts the new file in place fails.
    bool refuseReplace = false;
    // Counts each target replaced, when set.
    int* replacements = nullptr;
};

bool ReplaceFileContents(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                         const FileReplaceFaults& faults = {});

bool CanOpenForWriting(const std::filesystem::path& path);

// Removes the new files of earlier replacements of `target` that the process
// which made them left behind (it no longer runs). Returns how many went.
int RemoveLeftoverReplacements(const std::filesystem::path& target);

// Whether a process with this id runs now (the platform's part of the above).
bool ProcessIsRunning(uint32_t processId);
