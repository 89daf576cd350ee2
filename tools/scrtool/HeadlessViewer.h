// HeadlessViewer: the slide show as the viewer window runs it, without a
// window and on virtual time, for `scrtool play` and `scrtool transition`.
//
// The window is a canvas in memory, time is a virtual clock that only the
// caller moves, and sounds are not played: a stand-in loads each sound's
// format so that the player sees its true length. The trace observer prints
// one line per event, "t event ...", t in milliseconds since the start.
#pragma once

#include "platform/Clock.h"
#include "platform/MemoryCanvas.h"
#include "platform/TextRenderer.h"
#include "scenario/PlayerTrace.h"
#include "scenario/ScenarioPlayer.h"
#include "sound/SilentSoundPlayer.h"
#include "ZULResourceUtilLib/SubtractiveRandom.h"

#include <cstdint>
#include <cstdio>
#include <memory>

struct HeadlessOptions {
    int32_t width = 0;
    int32_t height = 0;
    uint32_t clockStart = 0;
    int32_t seed = 1;
    ScenarioSettings settings = ScenarioSettings::From(5, 1, 2);
    bool soundOff = false;
    std::FILE* trace = nullptr;  // where the trace goes; none when null
};

class HeadlessViewer {
public:
    explicit HeadlessViewer(const HeadlessOptions& options);

    VirtualClock clock;
    SubtractiveRandom random;
    SilentSoundPlayer sound;
    std::unique_ptr<TextRenderer> text;
    MemoryCanvas canvas;
    std::unique_ptr<PlayerTrace> trace;
    std::unique_ptr<ScenarioPlayer> player;
};
