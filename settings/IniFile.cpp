#include "settings/IniFile.h"

#include "platform/ReadOnlyFile.h"
#include "platform/Utf8Path.h"
#include "settings/ProfileText.h"

#include <span>
#include <system_error>

std::string IniFile::ReadText() const
{
    std::error_code error;
    const auto status = std::filesystem::status(path_, error);
    if (status.type() == std::filesystem::file_type::not_found) return {};
    if (error) throw IniFileError("cannot read " + Utf8FromPath(path_) + ": " + error.message());
    // A folder or a FIFO put there is not a settings file (and opening a FIFO would wait for a writer).
    if (status.type() != std::filesystem::file_type::regular) throw IniFileError(Utf8FromPath(path_) + " is not a file");

    std::unique_ptr<ReadOnlyFile> file = OpenReadOnlyShared(path_);
    if (!file) throw IniFileError("cannot open " + Utf8FromPath(path_));
    const int64_t size = file->Size();
    if (size < 0) throw IniFileError("cannot tell the size of " + Utf8FromPath(path_));
    if (static_cast<uint64_t>(size) > IniFileSizeLimit)
        throw IniFileError(Utf8FromPath(path_) + " is " + std::to_string(size) + " bytes, more than a settings file holds");

    // One byte more than the size, so that a file that grew meanwhile shows.
    std::string text(static_cast<size_t>(size) + 1, '\0');
    const int64_t read = file->Read(text.data(), text.size());
    if (read < 0) throw IniFileError("cannot read " + Utf8FromPath(path_));
    if (static_cast<uint64_t>(read) > IniFileSizeLimit)
        throw IniFileError(Utf8FromPath(path_) + " is more than a settings file holds");
    text.resize(static_cast<size_t>(read));
    return text;
}

std::optional<std::string> IniFile::ReadString(std::string_view section, std::string_view key) const
{
    const std::string text = ReadText();
    const std::optional<std::string_view> value = FindProfileString(text, section, key);
    if (!value) return std::nullopt;
    return std::string(*value);
}

int32_t IniFile::ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) const
{
    const std::optional<std::string> text = ReadString(section, key);
    if (!text) return defaultValue;
    return ParseProfileInteger(*text).value_or(defaultValue);
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    if (!IsProfileWritable(section, key, value))
        throw IniFileError("cannot write [" + std::string(section) + "] " + std::string(key) + " as an ini entry");
    const std::string text = WithProfileString(ReadText(), section, key, value);
    const auto bytes = std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    if (!ReplaceFileContents(path_, bytes, faults_)) throw IniFileError("cannot write " + Utf8FromPath(path_));
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value)
{
    WriteString(section, key, std::to_string(value));
}

void IniFile::WriteIntegers(std::string_view section, std::span<const IniInteger> values)
{
    std::string text = ReadText();
    for (const IniInteger& entry : values) {
        const std::string value = std::to_string(entry.value);
        if (!IsProfileWritable(section, entry.key, value))
            throw IniFileError("cannot write [" + std::string(section) + "] " + std::string(entry.key) +
                               " as an ini entry");
        text = WithProfileString(text, section, entry.key, value);
    }
    const auto bytes = std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    if (!ReplaceFileContents(path_, bytes, faults_)) throw IniFileError("cannot write " + Utf8FromPath(path_));
}
