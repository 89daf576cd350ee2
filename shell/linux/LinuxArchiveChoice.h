// LinuxArchiveChoice: the archives the Linux saver tries, in order, chosen
// before any window opens so that a wrong one is said at once.
//
// With --archive FILE, that file alone. A relative FILE is taken from the
// current folder: the archive reader would look for a bare name beside the
// program. A FILE that does not open as an archive is an error (nothing to
// play); one that opens without a scenario is not, and shows the banner as
// any archive without content does.
//
// Without it: the user's own show (UserShowArchive.h) when that file is
// there, then the archive appended to the program, then SC_TEST.brsc beside
// it (DefaultArchivePaths). A user's show that is there but does not open is
// left out with a warning that names it and says why, and the next plays.
//
// Messages are single lines naming the file as the user gave it, without
// the program's name.
#pragma once

#include "ZULResourceUtilLib/ResArchive.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct LinuxArchiveChoice {
    std::vector<std::filesystem::path> paths;  // for ViewerStart::archivePaths
    std::vector<std::string> warnings;
    // Set when the named archive does not open; paths is empty then.
    std::string error;
};

// `named` is --archive's value; `userShow` where the user's show would be
// (UserShowArchivePath()).
LinuxArchiveChoice ChooseLinuxArchives(const std::optional<std::filesystem::path>& named,
                                       const std::optional<std::filesystem::path>& userShow);

// Why ResOpen refused a file, in words: the file's trouble for a missing or
// unopenable file, else the reader's meaning of `result` and the check that
// failed ("not a valid archive: the file is too short ...").
std::string ArchiveOpenProblem(const ResArchive& archive, int result);
