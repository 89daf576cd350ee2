// Seeds for ini_fuzz: the settings file as the store writes it, with the
// line ends, byte-order mark, comments, quotes and integer spellings that
// users' files have, each with a section, key and value to read and write.
#include "fuzz/seeds/SeedFiles.h"

#include <filesystem>
#include <string>
#include <vector>

void WriteIniSeeds(const std::filesystem::path& corpusRoot);

namespace {

// The ini_fuzz input: three length bytes, the three names, then the text.
void Write(const std::filesystem::path& folder, const char* name, const std::string& section, const std::string& key,
           const std::string& value, const std::string& text)
{
    std::string input;
    input += static_cast<char>(section.size());
    input += static_cast<char>(key.size());
    input += static_cast<char>(value.size());
    input += section + key + value + text;
    const std::vector<uint8_t> bytes(input.begin(), input.end());
    WriteSeed(folder, name, bytes);
}

}  // namespace

void WriteIniSeeds(const std::filesystem::path& corpusRoot)
{
    const std::filesystem::path folder = corpusRoot / "ini_fuzz";
    const std::string store =
        "[Preference]\r\nSlideshowWait=5\r\nSlideshowEffect=1\r\nSlideshowEffectSpeed=2\r\nSlideshowSoundUse=5\r\n";
    Write(folder, "replace", "Preference", "SlideshowEffect", "3", store);
    Write(folder, "insert", "preference", "SlideshowVolume", "0x7F", store + "\r\n; end\r\n");
    Write(folder, "new-section", "Other", "Key", "-2147483648", store);
    Write(folder, "empty", "Preference", "SlideshowWait", "10", "");
    Write(folder, "bom-lf", "Preference", "SlideshowWait", "$FFFFFFFF",
          "\xEF\xBB\xBF# comment\n[ Preference ]\nSlideshowWait = \"12\"\n\n[Next]\nSlideshowWait='7'\n");
    Write(folder, "no-last-line-end", "Preference", "SlideshowSoundUse", "0",
          "stray text\r\n[Preference\r\nSlideshowWait=+5\r\n[Preference]\r\nSlideshowSoundUse=1");
}
