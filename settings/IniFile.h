// IniFile: one ini file on disk, read and written value by value like the
// Windows profile-string functions (see ProfileText.h for the text rules).
//
// Every read takes the file as it is now; every write reads the file, sets
// its values and puts the whole new text in the file's place at once
// (platform/FileReplace.h), so that a crash or a full disk leaves the old
// file or the new one, never a part. A missing file reads as empty and is
// created by the first write.
//
// Errors throw IniFileError: a file that exists but cannot be read or is
// larger than IniFileSizeLimit (a file the saver wrote is a few hundred
// bytes; anything that large is not its own), and a write that cannot be
// done (a read-only file or folder, a full disk, text that cannot be written
// as an entry). A failed write leaves the file as it was.
#pragma once

#include "platform/FileReplace.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

constexpr uint64_t IniFileSizeLimit = 1024 * 1024;

struct IniInteger {
    std::string_view key;
    int32_t value;
};

class IniFileError : public std::runtime_error {
public:
    explicit IniFileError(const std::string& what) : std::runtime_error(what) {}
};

class IniFile {
public:
    explicit IniFile(std::filesystem::path path, FileReplaceFaults faults = {})
        : path_(std::move(path)), faults_(faults)
    {
    }

    const std::filesystem::path& Path() const { return path_; }

    std::optional<std::string> ReadString(std::string_view section, std::string_view key) const;
    // The value as ParseProfileInteger reads it; defaultValue when the key is
    // missing or its text is not an integer.
    int32_t ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) const;

    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    // Decimal text.
    void WriteInteger(std::string_view section, std::string_view key, int32_t value);
    // Several values of one section in one replacement of the file: all are
    // written or, when any cannot be, none.
    void WriteIntegers(std::string_view section, std::span<const IniInteger> values);

private:
    std::string ReadText() const;

    std::filesystem::path path_;
    FileReplaceFaults faults_;
};
