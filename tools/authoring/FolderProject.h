// FolderProject: the manifest and scenario text of a show made straight
// from a folder of photos. scrtool pack FOLDER builds from these texts, and
// scrtool init FOLDER writes them into the folder, so that packing the
// written manifest gives the same archive byte for byte and the user can go
// on by hand from there.
//
// The show:
//  - pictures get ids 1000, 1001, ... in the order given (natural order of
//    their names), each stored as a photo (turned upright, shrunk to fit
//    maxSize, JPEG at quality); id 1 is the settings dialog's about picture,
//    made from the first one;
//  - each round shows every picture once, with the effect, speed and time
//    between pictures of the user's settings; in a new random order each
//    round (a `shuffle` at its start), or in the given order;
//  - a sound whose name without its extension equals a picture's (in any
//    letter case) is that picture's narration: it plays once the picture is
//    in, and the show waits for it;
//  - without narrations, the other sounds play in a loop under the show:
//    one sound under the whole show; several take turns, each under an equal
//    share of each round's pictures, in name order (a sound beyond the
//    number of pictures is not used). With narrations, the other sounds are
//    not used: a narration would stop a sound looping under it;
//  - sounds get ids from 5000 in the order given;
//  - the information block: the name (the folder's name unless given, made
//    to fit the field), the version line (the date of packing), the about
//    picture.
#pragma once

#include "tools/authoring/PhotoTransform.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

class FolderProjectError : public std::runtime_error {
public:
    explicit FolderProjectError(const std::string& what) : std::runtime_error(what) {}
};

enum class ShowOrder { Shuffled, ByName };

struct FolderShowOptions {
    ShowOrder order = ShowOrder::Shuffled;
    std::string name;                       // UTF-8; the information block's name line
    std::string version;                    // UTF-8; its version line
    std::optional<PictureSize> maxSize{PictureSize{3840, 2160}};
    int quality = 90;
};

inline constexpr uint32_t FolderAboutPictureId = 1;
inline constexpr uint32_t FolderFirstPictureId = 1000;
inline constexpr uint32_t FolderFirstSoundId = 5000;
// Picture ids run up to the first sound id.
inline constexpr size_t FolderMostPictures = FolderFirstSoundId - FolderFirstPictureId;

struct FolderProject {
    std::string manifestText;
    std::string scenarioText;
    // The names of the sounds the show does not use, with the reason.
    std::vector<std::string> unusedSounds;
    std::string unusedSoundsReason;
};

// pictures and sounds: file names relative to the folder, UTF-8, in the
// show's order. Throws FolderProjectError when there is no picture or more
// than FolderMostPictures.
FolderProject MakeFolderProject(const std::vector<std::string>& pictures, const std::vector<std::string>& sounds,
                                const FolderShowOptions& options);

// The information block's name for a folder: its name with every character
// that has no Shift-JIS form replaced by '_', cut at a character boundary to
// fit the field. Never empty ("photos" when nothing is left).
std::string FolderShowName(const std::string& folderName);

// "YYYY-MM-DD" of the date of packing: the local date now, or the UTC date
// of $SOURCE_DATE_EPOCH when it is set (so that a build can be reproduced).
std::string PackingDate();
