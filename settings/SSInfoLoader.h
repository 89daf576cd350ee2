// SSInfoLoader: fills the information block from the archive and draws the
// about picture, the first step of every settings load.
//
// The block is cleared first. The archive is the one appended to the
// program file, else the side file "SC_TEST.brsc" in the program's folder;
// without either, or without the entry "SSIf" 1000, the block stays all
// zero (every line absent, no about picture). When a target is given and the
// block names an about picture, that "SGBm" entry is decoded as 32 bits and
// copied whole into the target, sized to the picture; a picture that is
// missing, cannot be decoded or cannot be given a bitmap sets the block's
// about picture to 0. Nothing is reported and nothing throws: the archive
// is only read, and every archive reader made here is closed again.
#pragma once

#include "settings/AboutPictureTarget.h"
#include "settings/PreferenceEnvironment.h"
#include "settings/SSInfo.h"

constexpr const char* SideArchiveFileName = "SC_TEST.brsc";

void RefreshSSInfo(const PreferenceEnvironment& environment, SSInfoBlock& info, AboutPictureTarget* aboutPicture);
