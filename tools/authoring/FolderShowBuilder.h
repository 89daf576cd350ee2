// FolderShowBuilder: a folder of photos (and perhaps sounds) into the
// manifest, scenario and prepared photos of its show, ready for the archive
// builder; what scrtool pack FOLDER and scrtool init FOLDER share.
//
// Every picture of the folder is prepared as a photo (PhotoSource.h) on all
// cores, and every sound made playable (SoundSource.h). A file that cannot
// be read or converted is left out with one warning that names it and says
// why; the show is made of the rest, so its ids follow natural order over
// the files that are in it (FolderProject.h says what the show does). Other
// files are named in one warning; sounds the show cannot use in another.
//
// The results do not depend on the number of workers: the photos are the
// same bytes, and a manifest built with the prepared photos gives the same
// archive as the written manifest packed from disk.
#pragma once

#include "tools/authoring/ArchiveBuilder.h"
#include "tools/authoring/FolderProject.h"
#include "tools/authoring/Manifest.h"
#include "tools/authoring/PhotoFolder.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>

struct FolderShowWarning {
    std::string file;  // the file or folder concerned, as it is shown
    std::string text;
};

struct FolderShowCallbacks {
    // After each file is prepared, one call at a time: done of total, the file's name.
    std::function<void(size_t done, size_t total, const std::string& name)> progress;
    std::function<void(const FolderShowWarning& warning)> warning;
};

struct FolderShow {
    PhotoFolderContents contents;
    FolderProject project;
    Manifest manifest;  // read from project.manifestText as FOLDER/manifest.toml
    // The scenario text and the converted sounds, by the path the manifest gives them.
    std::map<std::filesystem::path, std::string> filesInMemory;
    PreparedPhotos photos;
    size_t pictureCount = 0;
    size_t soundCount = 0;
    size_t warningCount = 0;

    // The archive builder's options that use what was prepared here.
    ArchiveBuildOptions BuildOptions(ArchiveBuildProgress progress = {}, unsigned workers = 0) const;
};

// options.name empty: FolderShowName of the folder's own name; options.version
// empty: PackingDate(). Throws PhotoFolderError when the folder cannot be
// listed or holds no picture that can be read, FolderProjectError for
// a show it cannot make.
FolderShow PrepareFolderShow(const std::filesystem::path& folder, FolderShowOptions options, unsigned workers,
                             const FolderShowCallbacks& callbacks = {});

// The manifest and scenario file that PrepareFolderShow's texts are written
// to (and read from) in the folder.
std::filesystem::path FolderManifestPath(const std::filesystem::path& folder);
std::filesystem::path FolderScenarioPath(const std::filesystem::path& folder);
