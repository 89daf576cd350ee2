#include "shell/linux/LinuxArchiveChoice.h"

#include "platform/Utf8Path.h"
#include "scenario/ScenarioPlayer.h"

#include <system_error>

namespace {

// The reason a path does not open as an archive; empty when it does.
std::string OpenFailure(const std::filesystem::path& path)
{
    ResArchive archive;
    const int result = ResOpen(archive, path, 0, ResArchiveKind);
    return result == ResErrorNone ? std::string() : ArchiveOpenProblem(archive, result);
}

// A path as the archive reader takes it as meant: from the current folder.
std::filesystem::path FromCurrentFolder(const std::filesystem::path& path)
{
    if (path.is_absolute()) return path;
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? std::filesystem::path(".") / path : absolute;
}

}  // namespace

std::string ArchiveOpenProblem(const ResArchive& archive, int result)
{
    switch (archive.openFailure) {
    case ResOpenFailure::NoFile: return "no such file";
    case ResOpenFailure::CannotOpen: return "cannot be opened for reading";
    case ResOpenFailure::NotRegularFile: return ResOpenFailureText(archive.openFailure);
    default: break;
    }
    const char* meaning = ResErrorMeaning(result);
    std::string text = meaning != nullptr ? meaning : "cannot be opened as an archive";
    const std::string check = ResOpenFailureText(archive.openFailure);
    if (!check.empty()) text += ": " + check;
    return text;
}

LinuxArchiveChoice ChooseLinuxArchives(const std::optional<std::filesystem::path>& named,
                                       const std::optional<std::filesystem::path>& userShow)
{
    LinuxArchiveChoice choice;
    if (named) {
        const std::filesystem::path path = FromCurrentFolder(*named);
        const std::string failure = OpenFailure(path);
        if (failure.empty())
            choice.paths.push_back(path);
        else
            choice.error = Utf8FromPath(*named) + ": " + failure;
        return choice;
    }

    if (userShow) {
        std::error_code error;
        const bool there = std::filesystem::exists(*userShow, error);
        std::string failure;
        if (error)
            failure = "cannot be looked at: " + error.message();
        else if (there)
            failure = OpenFailure(*userShow);
        if (there && failure.empty())
            choice.paths.push_back(*userShow);
        else if (!failure.empty())
            choice.warnings.push_back("your show " + Utf8FromPath(*userShow) + ": " + failure +
                                      "; playing the next archive");
    }
    for (const std::filesystem::path& path : DefaultArchivePaths()) choice.paths.push_back(path);
    return choice;
}
