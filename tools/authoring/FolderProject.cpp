#include "tools/authoring/FolderProject.h"

#include "platform/TextEncoding.h"
#include "tools/authoring/InformationBlock.h"
#include "tools/authoring/Manifest.h"
#include "tools/authoring/PhotoFolder.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <map>

namespace {

std::string LowerAscii(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// A file name inside a scenario comment: a comment ends at the line's end,
// so control characters become '?'.
std::string CommentText(std::string_view name)
{
    std::string text(name);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return text;
}

struct ShowLine {
    uint32_t picture;
    std::string pictureName;
    std::optional<uint32_t> narration;
    std::string narrationName;
};

std::string ShowCommand(const ShowLine& line)
{
    std::string command = "    show " + std::to_string(line.picture) + " speed setting:2";
    if (line.narration) command += " sound " + std::to_string(*line.narration);
    command += "    # " + CommentText(line.pictureName);
    if (line.narration) command += ", then its narration " + CommentText(line.narrationName);
    return command + "\n";
}

std::string ScenarioText(const std::vector<ShowLine>& shows, const std::vector<std::pair<uint32_t, std::string>>& loops,
                         const FolderShowOptions& options)
{
    std::string text;
    text += "# The show: every picture once each round, ";
    text += options.order == ShowOrder::Shuffled ? "in a new random order each round,\n"
                                                 : "in the order of their names,\n";
    text += "# with the effect, speed and time between pictures chosen in the saver's settings.\n";
    text += "    effect setting:1\n";
    if (loops.size() == 1)
        text += "    sound " + std::to_string(loops[0].first) + "    # " + CommentText(loops[0].second) +
                ", in a loop under the whole show\n";
    text += "round:\n";
    if (options.order == ShowOrder::Shuffled) text += "    shuffle\n";
    const size_t shares = loops.size() > 1 ? loops.size() : 0;
    for (size_t i = 0; i < shows.size(); ++i) {
        const size_t share = shares != 0 ? i * shares / shows.size() : 0;
        if (shares != 0 && (i == 0 || share != (i - 1) * shares / shows.size())) {
            // The first picture of a share: its sound takes over.
            const auto& loop = loops[share];
            text += "    sound " + std::to_string(loop.first) + "    # " + CommentText(loop.second) +
                    ", in a loop under the next pictures\n";
        }
        text += ShowCommand(shows[i]);
        text += "    wait setting:0\n";
    }
    text += "    jump round\n";
    return text;
}

std::string ManifestText(const std::vector<std::string>& pictures, const std::vector<std::string>& sounds,
                         const FolderShowOptions& options)
{
    const std::string maxSize = options.maxSize ? PictureSizeText(*options.maxSize) : "none";
    std::string text;
    text += "# What goes into the archive; scrtool pack reads it (docs/manifest.md says what each key means).\n";
    text += "# Every picture is a photo: turned upright, shrunk to fit max-size, stored as JPEG.\n\n";
    text += "[archive]\n";
    text += "key-seed = 0x4B534231\n";
    text += "encryption = \"whole\"\n\n";
    text += "[information]               # what the saver's settings dialog shows\n";
    text += "name = " + TomlString(options.name) + "\n";
    text += "version = " + TomlString(options.version) + "\n";
    text += "about-picture = " + std::to_string(FolderAboutPictureId) + "\n\n";
    text += "[scenario]\n";
    text += "file = \"scenario.txt\"\n";
    text += "\n[[picture]]                 # the small picture of the settings dialog\n";
    text += "id = " + std::to_string(FolderAboutPictureId) + "\n";
    text += "file = " + TomlString(pictures.front()) + "\n";
    text += "storage = \"photo\"\n";
    text += "max-size = \"48x48\"\n";
    for (size_t i = 0; i < pictures.size(); ++i) {
        text += "\n[[picture]]\n";
        text += "id = " + std::to_string(FolderFirstPictureId + i) + "\n";
        text += "file = " + TomlString(pictures[i]) + "\n";
        text += "storage = \"photo\"\n";
        text += "max-size = \"" + maxSize + "\"\n";
        text += "quality = " + std::to_string(options.quality) + "\n";
    }
    for (size_t i = 0; i < sounds.size(); ++i) {
        text += "\n[[sound]]\n";
        text += "id = " + std::to_string(FolderFirstSoundId + i) + "\n";
        text += "file = " + TomlString(sounds[i]) + "\n";
    }
    return text;
}

}  // namespace

FolderProject MakeFolderProject(const std::vector<std::string>& pictures, const std::vector<std::string>& sounds,
                                const FolderShowOptions& options)
{
    if (pictures.empty()) throw FolderProjectError("no pictures to show");
    if (pictures.size() > FolderMostPictures)
        throw FolderProjectError(std::to_string(pictures.size()) + " pictures: a show made from a folder holds at most " +
                                 std::to_string(FolderMostPictures));

    // Narrations pair by name: the first sound of a stem, in sound order.
    std::map<std::string, size_t> soundByStem;
    for (size_t i = 0; i < sounds.size(); ++i) soundByStem.emplace(LowerAscii(NameStem(sounds[i])), i);
    std::vector<bool> narrates(sounds.size(), false);
    std::vector<ShowLine> shows;
    for (size_t i = 0; i < pictures.size(); ++i) {
        ShowLine line{static_cast<uint32_t>(FolderFirstPictureId + i), pictures[i], std::nullopt, {}};
        if (const auto found = soundByStem.find(LowerAscii(NameStem(pictures[i]))); found != soundByStem.end()) {
            line.narration = static_cast<uint32_t>(FolderFirstSoundId + found->second);
            line.narrationName = sounds[found->second];
            narrates[found->second] = true;
        }
        shows.push_back(std::move(line));
    }
    const bool anyNarration = std::find(narrates.begin(), narrates.end(), true) != narrates.end();

    FolderProject project;
    std::vector<std::string> packed;  // the sounds the archive holds, in id order
    std::vector<std::pair<uint32_t, std::string>> loops;
    std::vector<std::string> kept;
    for (size_t i = 0; i < sounds.size(); ++i) {
        const bool used = narrates[i] || (!anyNarration && loops.size() < pictures.size());
        if (!used) {
            project.unusedSounds.push_back(sounds[i]);
            continue;
        }
        kept.push_back(sounds[i]);
        if (!narrates[i]) loops.emplace_back(0, sounds[i]);
    }
    project.unusedSoundsReason = anyNarration ? "the show has narrations, which would stop a sound looping under them"
                                              : "more sounds than pictures: each sound loops under at least one picture";
    // Ids follow the packed sounds' order, so the narrations' ids are renumbered too.
    std::map<std::string, uint32_t> idOf;
    for (size_t i = 0; i < kept.size(); ++i) idOf[kept[i]] = static_cast<uint32_t>(FolderFirstSoundId + i);
    for (ShowLine& line : shows)
        if (line.narration) line.narration = idOf.at(line.narrationName);
    for (auto& loop : loops) loop.first = idOf.at(loop.second);

    project.scenarioText = ScenarioText(shows, loops, options);
    project.manifestText = ManifestText(pictures, kept, options);
    return project;
}

std::string FolderShowName(const std::string& folderName)
{
    std::string name;
    size_t position = 0;
    while (position < folderName.size()) {
        const size_t start = position;
        // The character as it is, or '_' in its place (assigned, not built
        // from literals: GCC 12 takes such a copy for an overlapping one).
        std::string_view piece = "_";
        if (const std::optional<char32_t> character = DecodeUtf8Character(folderName, position)) {
            const std::string_view bytes = std::string_view(folderName).substr(start, position - start);
            if (*character >= 0x20 && Utf8ToShiftJis(bytes).Ok()) piece = bytes;
        } else {
            position = start + 1;  // a byte that is not UTF-8
        }
        std::string longer = name;
        longer.append(piece);
        try {
            EncodeInformationText(SSInfoLine::Name, longer);
        } catch (const InformationBlockError&) {
            break;  // the field is full
        }
        name = std::move(longer);
    }
    return name.empty() ? "photos" : name;
}

std::string PackingDate()
{
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    bool utc = false;
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch != nullptr && *epoch != '\0') {
        char* end = nullptr;
        const long long seconds = std::strtoll(epoch, &end, 10);
        if (end != nullptr && *end == '\0' && seconds >= 0) {
            now = static_cast<std::time_t>(seconds);
            utc = true;
        }
    }
#ifdef _WIN32
    if (utc ? gmtime_s(&parts, &now) != 0 : localtime_s(&parts, &now) != 0) return "";
#else
    if ((utc ? gmtime_r(&now, &parts) : localtime_r(&now, &parts)) == nullptr) return "";
#endif
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &parts);
    return text;
}
