#include "tools/authoring/PhotoFolder.h"

#include "platform/Utf8Path.h"
#include "tools/authoring/NaturalOrder.h"
#include "tools/authoring/PictureSource.h"
#include "tools/authoring/SoundSource.h"

#include <algorithm>
#include <system_error>

namespace {

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

void SortNaturally(std::vector<FolderFile>& files)
{
    std::sort(files.begin(), files.end(),
              [](const FolderFile& a, const FolderFile& b) { return NaturalLess(a.name, b.name); });
}

}  // namespace

std::span<const std::string_view> PhotoFileExtensions()
{
    return PictureFileExtensions();
}

bool HasExtensionAmong(std::string_view name, std::span<const std::string_view> extensions)
{
    for (const std::string_view extension : extensions) {
        if (name.size() <= extension.size()) continue;
        const std::string_view tail = name.substr(name.size() - extension.size());
        if (std::equal(tail.begin(), tail.end(), extension.begin(),
                       [](char a, char b) { return LowerAscii(a) == b; }))
            return true;
    }
    return false;
}

std::string_view NameStem(std::string_view name)
{
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot);
}

PhotoFolderContents ScanPhotoFolder(const std::filesystem::path& folder)
{
    PhotoFolderContents contents;
    contents.folder = folder;
    const std::string shown = Utf8FromPath(folder);
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    if (error) throw PhotoFolderError(shown + ": cannot list the folder: " + error.message());
    for (; entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        if (error) break;
        const std::filesystem::directory_entry& entry = *entries;
        const std::string name = Utf8FromPath(entry.path().filename());
        if (name.empty() || name.front() == '.') continue;
        std::error_code typeError;
        if (entry.is_directory(typeError)) {
            contents.skipped.push_back(name + "/");
            continue;
        }
        FolderFile file{name, folder / entry.path().filename()};
        if (HasExtensionAmong(name, PhotoFileExtensions()))
            contents.pictures.push_back(std::move(file));
        else if (HasExtensionAmong(name, SoundFileExtensions()))
            contents.sounds.push_back(std::move(file));
        else
            contents.skipped.push_back(name);
    }
    if (error) throw PhotoFolderError(shown + ": cannot list the folder: " + error.message());
    SortNaturally(contents.pictures);
    SortNaturally(contents.sounds);
    std::sort(contents.skipped.begin(), contents.skipped.end(), NaturalLess);
    return contents;
}
