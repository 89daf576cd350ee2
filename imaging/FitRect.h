// FitRect: the size of a picture fitted into an area keeping its aspect
// ratio, as (0, 0, width, height). With KeepSmall a picture smaller than the
// area in both dimensions keeps its size.
#pragma once

#include "platform/TRect.h"

enum class FitSmall { Enlarge, KeepSmall };

TRect FitRect(const TRect& area, const TRect& picture, FitSmall small);
