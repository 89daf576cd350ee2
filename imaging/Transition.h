// Transition: the timed change from the picture on the screen to the next
// one. Five kinds: 0 none, 1 fade, 2 rectangle averaging (a mosaic that
// coarsens the old picture and refines the new one), 3 monochrome fade and 4
// sepia fade; five speeds, 0 fastest to 4 slowest.
//
// A transition is driven by the clock, not by a frame count: each step turns
// the milliseconds since the start into a level and composes the frame of
// that level afresh from the saved picture, so a slow machine shows fewer
// frames but ends on time, and a frame never depends on the levels skipped.
//
// The three buffers are 32-bit and the viewer's size:
//   screen  what the window shows; frames are composed into it,
//   next    the picture to change to (put there by the caller for kinds 1
//           and 2; kinds 3 and 4 load it themselves at their phase borders),
//   saved   a working copy: the picture that was shown at the start.
// The host presents frames to the window, loads pictures and runs the
// player's end-of-transition work. Everything runs on the caller's thread.
#pragma once

#include "imaging/DirectBmpControl.h"
#include "imaging/PixelOperations.h"

#include <cstdint>

struct TransitionBuffers {
    DirectBmpControl* screen = nullptr;
    DirectBmpControl* next = nullptr;
    DirectBmpControl* saved = nullptr;
    TRect screenRect;  // the composed area of the screen buffer (and of next)
    TRect targetRect;  // where frames go on the window
};

class TransitionHost {
public:
    virtual ~TransitionHost() = default;
    // Multimedia-timer milliseconds.
    virtual uint32_t Now() = 0;
    // Copies the screen bitmap's `screenRect` to the window's `targetRect`.
    virtual void Present(const TRect& screenRect, const TRect& targetRect) = 0;
    // Copies the whole screen bitmap to the whole window.
    virtual void PresentWholeScreen() = 0;
    // Loads the picture into the next buffer as the player places pictures;
    // false (buffer untouched) when it cannot be loaded.
    virtual bool LoadNextPicture(int32_t pictureId) = 0;
    // The player's end-of-transition work (its sound and wait).
    virtual void FinishTransition() = 0;
    // Told every level that a step stores, before its frame is drawn.
    virtual void LevelStored(int32_t /*level*/) {}
};

struct TransitionState {
    TransitionBuffers buffers;
    int32_t duration = 0;    // milliseconds
    uint32_t startTime = 0;  // Now() at the start
    double levelRate = 0;    // levels per millisecond
    int32_t level = -1;      // the last level drawn
    ToneParams tone;
    int32_t pictureId = 0;
    int16_t kind = 0;
    bool secondPhaseEntered = false;
    bool thirdPhaseEntered = false;
};

// Milliseconds a kind takes at a speed: 0 for kind 0 and for speeds outside
// 0 to 4.
int32_t TransitionDuration(int16_t kind, int32_t speed);

// The last level of a running kind: 255 fade, 15 rectangle averaging, 767
// monochrome and sepia.
int32_t TransitionLastLevel(int16_t kind);

// Starts a transition of `kind` at `speed` to the next buffer (kinds 1, 2)
// or to picture `pictureId` (kinds 3, 4). Kind 0 and unknown kinds put the
// next buffer on the screen at once, present it, run the host's
// FinishTransition and return false. Otherwise true: the transition runs.
bool StartTransition(TransitionState& state, const TransitionBuffers& buffers, TransitionHost& host, int16_t kind,
                     int32_t speed, int32_t pictureId);

// Draws the frame for the current time if its level differs from the last
// one drawn. True when the transition has finished: the screen then holds
// exactly the next buffer. A transition of duration 0 finishes on its first
// step.
bool StepTransition(TransitionState& state, TransitionHost& host);
