// DroppedFolder: what scrtool.exe does with a folder dropped on it in
// Explorer, which starts the program with the folder as its only argument.
//
// It makes FOLDER.scr beside the folder: kamishibai-bare.scr from beside
// scrtool.exe with the folder's show appended, exactly as 'scrtool pack
// FOLDER -o FOLDER.scr --append-to kamishibai-bare.scr' does, with its
// progress line, and then says how to install it. When the console window
// was opened for this run alone, it waits for a key before that window
// closes, so that what happened can be read.
#pragma once

#include <string>
#include <vector>

// Whether this build treats a lone folder argument so (the Windows build);
// elsewhere a lone folder is a usage error that names the pack command.
bool DroppedFolderSupported();
bool IsLoneFolderArgument(const std::vector<std::string>& arguments);

int RunDroppedFolder(const std::string& folder);
