// PlacePicture: puts a picture of the archive into the next-picture buffer,
// fitted into the picture area, centred in the screen rectangle, on a
// background of the window colour.
//
// With CheckOnly it only tells whether the picture's header can be read.
// A picture that cannot be found or loaded leaves the buffer untouched; a
// failed look-up stores its error number in the archive's lastError.
#pragma once

#include "imaging/DirectBmpControl.h"
#include "ZULResourceUtilLib/ResArchive.h"

#include <cstdint>

enum class PlaceMode { Load, CheckOnly };

struct PlacementTarget {
    DirectBmpControl* nextBuffer = nullptr;
    TRect pictureArea;  // where the picture is fitted
    TRect screenRect;   // where it is centred
    uint32_t windowColour = 0;  // window-system colour (0x00BBGGRR)
};

bool PlacePicture(ResArchive& archive, uint32_t pictureId, PlaceMode mode, const PlacementTarget& target);
