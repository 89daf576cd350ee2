// PhotoFolder: what a folder of photos holds, for a show made straight from
// it (scrtool pack FOLDER, scrtool init FOLDER).
//
// Only the folder's own files are looked at, not its sub-folders. A file is
// a picture or a sound by its name's extension, in any letter case
// (PhotoFileExtensions, SoundFileExtensions); whether its content is what
// the name says is found out later, when it is read. Names starting with a
// dot (hidden files, such as those some systems leave behind) are passed
// over without a word; every other file, and every sub-folder, is listed as
// skipped so that the user can see what was left out and why.
//
// Each list is in natural order of the names (NaturalOrder.h), which is
// the order the show's ids follow. Names are UTF-8 on every system.
#pragma once

#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class PhotoFolderError : public std::runtime_error {
public:
    explicit PhotoFolderError(const std::string& what) : std::runtime_error(what) {}
};

struct FolderFile {
    std::string name;             // the file's name in UTF-8, without the folder
    std::filesystem::path path;   // the folder joined with the name
};

struct PhotoFolderContents {
    std::filesystem::path folder;
    std::vector<FolderFile> pictures;
    std::vector<FolderFile> sounds;
    std::vector<std::string> skipped;  // names; sub-folders end with '/'
};

// The extensions (lower case, with the dot) taken as pictures.
std::span<const std::string_view> PhotoFileExtensions();

// True when the name ends with one of the extensions, in any letter case.
bool HasExtensionAmong(std::string_view name, std::span<const std::string_view> extensions);

// The name without its last extension ("beach.jpg" -> "beach"); the whole
// name when it has none.
std::string_view NameStem(std::string_view name);

// Throws PhotoFolderError "FOLDER: REASON" when the folder cannot be listed.
PhotoFolderContents ScanPhotoFolder(const std::filesystem::path& folder);
