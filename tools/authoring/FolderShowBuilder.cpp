#include "tools/authoring/FolderShowBuilder.h"

#include "platform/Utf8Path.h"
#include "tools/authoring/ParallelWork.h"
#include "tools/authoring/PictureSource.h"
#include "tools/authoring/SoundSource.h"

#include <mutex>
#include <optional>
#include <vector>

namespace {

// The folder's own name, also when it was given as "." or with a slash at its end.
std::string FolderOwnName(const std::filesystem::path& folder)
{
    std::filesystem::path full = std::filesystem::absolute(folder).lexically_normal();
    if (full.filename().empty()) full = full.parent_path();
    return Utf8FromPath(full.filename());
}

std::string ExtensionList(std::span<const std::string_view> extensions)
{
    std::string list;
    for (const std::string_view extension : extensions) {
        if (!list.empty()) list += ", ";
        list += extension;
    }
    return list;
}

std::string NameList(const std::vector<std::string>& names)
{
    std::string list;
    for (const std::string& name : names) {
        if (!list.empty()) list += ", ";
        list += name;
    }
    return list;
}

// What one file of the folder became.
struct PreparedFile {
    std::optional<PreparedPhoto> photo;
    std::optional<PlayableSound> sound;
    std::string failure;
};

}  // namespace

std::filesystem::path FolderManifestPath(const std::filesystem::path& folder)
{
    return folder / "manifest.toml";
}

std::filesystem::path FolderScenarioPath(const std::filesystem::path& folder)
{
    return folder / "scenario.txt";
}

ArchiveBuildOptions FolderShow::BuildOptions(ArchiveBuildProgress progress, unsigned workers) const
{
    ArchiveBuildOptions options;
    options.progress = std::move(progress);
    options.workers = workers;
    options.filesInMemory = &filesInMemory;
    options.preparedPhotos = &photos;
    return options;
}

FolderShow PrepareFolderShow(const std::filesystem::path& folder, FolderShowOptions options, unsigned workers,
                             const FolderShowCallbacks& callbacks)
{
    FolderShow show;
    const auto warn = [&](const std::string& file, const std::string& text) {
        ++show.warningCount;
        if (callbacks.warning) callbacks.warning({file, text});
    };
    show.contents = ScanPhotoFolder(folder);
    const PhotoFolderContents& contents = show.contents;
    const std::string folderShown = Utf8FromPath(folder);
    if (!contents.skipped.empty())
        warn(folderShown, "skipped " + std::to_string(contents.skipped.size()) +
                              (contents.skipped.size() == 1 ? " file that is" : " files that are") +
                              " neither a picture (" + ExtensionList(PhotoFileExtensions()) + ") nor a sound (" +
                              ExtensionList(SoundFileExtensions()) + "): " + NameList(contents.skipped));
    if (contents.pictures.empty())
        throw PhotoFolderError(folderShown + ": no pictures in the folder (files ending " +
                               ExtensionList(PhotoFileExtensions()) + ")");

    // Every picture and sound, read and converted on all cores.
    const size_t pictureTotal = contents.pictures.size();
    const size_t total = pictureTotal + contents.sounds.size();
    std::vector<PreparedFile> prepared(total);
    std::mutex progressMutex;
    size_t done = 0;
    const PhotoOptions photoOptions{options.maxSize, options.quality};
    RunInParallel(total, workers, [&](size_t index) {
        const bool isPicture = index < pictureTotal;
        const FolderFile& file = isPicture ? contents.pictures[index] : contents.sounds[index - pictureTotal];
        PreparedFile& result = prepared[index];
        try {
            const std::vector<uint8_t> bytes = ReadSourceFile(file.path, Utf8FromPath(file.path));
            if (isPicture)
                result.photo = PreparePhoto(bytes, photoOptions);
            else
                result.sound = PlayableSoundFromFile(bytes);
        } catch (const PictureSourceError& error) {
            result.failure = error.what();
        } catch (const ArchiveBuildError& error) {
            result.failure = error.what();
        } catch (const std::bad_alloc&) {
            result.failure = "not enough memory to convert it";
        }
        const std::lock_guard lock(progressMutex);
        ++done;
        if (callbacks.progress) callbacks.progress(done, total, file.name);
    });

    std::vector<std::string> pictureNames;
    std::vector<std::string> soundNames;
    for (size_t index = 0; index < total; ++index) {
        const bool isPicture = index < pictureTotal;
        const FolderFile& file = isPicture ? contents.pictures[index] : contents.sounds[index - pictureTotal];
        if (!prepared[index].failure.empty()) {
            warn(Utf8FromPath(file.path), "skipped: " + prepared[index].failure);
            continue;
        }
        (isPicture ? pictureNames : soundNames).push_back(file.name);
    }
    if (pictureNames.empty())
        throw PhotoFolderError(folderShown + ": none of its " + std::to_string(pictureTotal) +
                               (pictureTotal == 1 ? " picture" : " pictures") + " could be read");

    if (options.name.empty()) options.name = FolderShowName(FolderOwnName(folder));
    if (options.version.empty()) options.version = PackingDate();
    show.project = MakeFolderProject(pictureNames, soundNames, options);
    for (const std::string& name : show.project.unusedSounds)
        warn(Utf8FromPath(folder / PathFromUtf8(name)), "not used: " + show.project.unusedSoundsReason);
    show.manifest = ParseManifest(show.project.manifestText, FolderManifestPath(folder));
    show.filesInMemory[show.manifest.scenario->file.resolved] = show.project.scenarioText;

    // What was prepared, where the manifest looks for it.
    std::map<std::string, PreparedFile*> byName;
    for (size_t index = 0; index < total; ++index) {
        const bool isPicture = index < pictureTotal;
        const FolderFile& file = isPicture ? contents.pictures[index] : contents.sounds[index - pictureTotal];
        if (prepared[index].failure.empty()) byName[file.name] = &prepared[index];
    }
    for (const ManifestPicture& picture : show.manifest.pictures) {
        const auto found = byName.find(picture.file.given);
        if (found == byName.end() || !found->second->photo || picture.maxSize != options.maxSize ||
            picture.quality != options.quality)
            continue;  // the about picture: the builder makes it
        show.photos.emplace(PreparedPhotoKey{picture.file.resolved, picture.maxSize, picture.quality},
                            std::move(*found->second->photo));
        found->second->photo.reset();
        ++show.pictureCount;
    }
    for (const ManifestSound& sound : show.manifest.sounds) {
        const auto found = byName.find(sound.file.given);
        if (found == byName.end() || !found->second->sound) continue;
        const std::vector<uint8_t>& wave = found->second->sound->wave;
        show.filesInMemory[sound.file.resolved] = std::string(wave.begin(), wave.end());
        ++show.soundCount;
    }
    return show;
}
