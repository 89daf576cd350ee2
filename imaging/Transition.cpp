#include "imaging/Transition.h"

#include <array>

namespace {

constexpr std::array<int32_t, 5> FastKindDurations{1000, 2000, 3000, 5000, 8000};
constexpr std::array<int32_t, 5> ToningKindDurations{2000, 4000, 6000, 8000, 12000};
constexpr std::array<int, 6> MosaicBlockSizes{2, 4, 8, 16, 32, 64};

bool IsRunningKind(int16_t kind)
{
    return kind >= 1 && kind <= 4;
}

bool IsToningKind(int16_t kind)
{
    return kind == 3 || kind == 4;
}

// Levels the whole run covers; the last level is one less.
int32_t LevelSpan(int16_t kind)
{
    switch (kind) {
    case 1: return 256;
    case 2: return 16;
    default: return 768;
    }
}

TRect WholeBuffer(const DirectBmpControl& buffer)
{
    return TRect{0, 0, buffer.Width, buffer.Height};
}

// Every frame starts from the saved picture: the picture of a level does
// not depend on which levels were skipped.
void ComposeFade(TransitionState& state, uint8_t level)
{
    TransitionBuffers& b = state.buffers;
    if (WholeBuffer(*b.saved) == b.screenRect && WholeBuffer(*b.screen) == b.screenRect) {
        BlendOverCopy(*b.screen, *b.saved, *b.next, b.screenRect, level);
    } else {
        Copy(*b.screen, WholeBuffer(*b.screen), *b.saved, WholeBuffer(*b.saved));
        Blend(*b.screen, b.screenRect, *b.next, b.screenRect, level);
    }
}

void ComposeRectangleAveraging(TransitionState& state, int32_t level)
{
    TransitionBuffers& b = state.buffers;
    if (level <= 5) {
        Mosaic(*b.screen, b.screenRect, MosaicBlockSizes[static_cast<size_t>(level)], b.screenRect, *b.saved);
    } else if (level <= 8) {
        ComposeFade(state, static_cast<uint8_t>(level * 64 - 64));
        Mosaic(*b.screen, b.screenRect, 64, b.screenRect, *b.screen);
    } else if (level <= 14) {
        Mosaic(*b.screen, b.screenRect, MosaicBlockSizes[static_cast<size_t>(14 - level)], b.screenRect, *b.next);
    }
    // Level 15 draws nothing: the final copy shows the new picture.
}

// Three phases of 256 levels: old picture to toned old, toned old to toned
// new, toned new to new. The pictures of a phase are prepared once, on its
// first step; a step from phase 1 straight into phase 3 skips the work of
// phase 2, so phase 3 then blends from the toned old picture.
void ComposeToning(TransitionState& state, TransitionHost& host, int32_t level)
{
    TransitionBuffers& b = state.buffers;
    if (level >= 256 && level < 512 && !state.secondPhaseEntered) {
        state.secondPhaseEntered = true;
        Copy(*b.saved, WholeBuffer(*b.saved), *b.next, WholeBuffer(*b.next));
        host.LoadNextPicture(state.pictureId);
        ToneGrey(*b.next, b.screenRect, state.tone);
    }
    if (level >= 512 && !state.thirdPhaseEntered) {
        state.thirdPhaseEntered = true;
        Copy(*b.saved, WholeBuffer(*b.saved), *b.next, WholeBuffer(*b.next));
        host.LoadNextPicture(state.pictureId);
    }
    ComposeFade(state, static_cast<uint8_t>(level & 0xFF));
}

}  // namespace

int32_t TransitionDuration(int16_t kind, int32_t speed)
{
    if (kind == 0 || speed < 0 || speed > 4) return 0;
    return IsToningKind(kind) ? ToningKindDurations[static_cast<size_t>(speed)]
                              : FastKindDurations[static_cast<size_t>(speed)];
}

int32_t TransitionLastLevel(int16_t kind)
{
    return LevelSpan(kind) - 1;
}

bool StartTransition(TransitionState& state, const TransitionBuffers& buffers, TransitionHost& host, int16_t kind,
                     int32_t speed, int32_t pictureId)
{
    if (!IsRunningKind(kind)) {
        Copy(*buffers.screen, WholeBuffer(*buffers.screen), *buffers.next, WholeBuffer(*buffers.next));
        host.PresentWholeScreen();
        host.FinishTransition();
        return false;
    }

    state = TransitionState{};
    state.buffers = buffers;
    state.kind = kind;
    state.duration = TransitionDuration(kind, speed);
    state.startTime = host.Now();
    // The rate is kept as a double; a duration of 0 leaves it 0 and the
    // first step finishes the transition.
    if (state.duration > 0)
        state.levelRate = static_cast<double>(static_cast<long double>(LevelSpan(kind)) / state.duration);
    state.level = -1;

    Copy(*buffers.saved, WholeBuffer(*buffers.saved), *buffers.screen, WholeBuffer(*buffers.screen));
    if (IsToningKind(kind)) {
        state.tone = kind == 3 ? MonochromeTone : SepiaTone;
        state.pictureId = pictureId;
        Copy(*buffers.next, WholeBuffer(*buffers.next), *buffers.screen, WholeBuffer(*buffers.screen));
        ToneGrey(*buffers.next, buffers.screenRect, state.tone);
    }
    return true;
}

bool StepTransition(TransitionState& state, TransitionHost& host)
{
    const int32_t last = TransitionLastLevel(state.kind);
    const uint32_t elapsed = host.Now() - state.startTime;
    int32_t level = last;
    if (state.duration > 0) {
        // Extended precision, as the level was first computed; clamped
        // before it becomes an integer, since a long stall can make the
        // product larger than any level.
        const long double exact = static_cast<long double>(elapsed) * state.levelRate;
        if (exact < last) level = static_cast<int32_t>(exact);
    }
    if (level == state.level) return false;
    state.level = level;
    host.LevelStored(level);

    TransitionBuffers& b = state.buffers;
    switch (state.kind) {
    case 1: ComposeFade(state, static_cast<uint8_t>(level)); break;
    case 2: ComposeRectangleAveraging(state, level); break;
    default: ComposeToning(state, host, level); break;
    }
    if (level < last || state.kind != 2) host.Present(b.screenRect, b.targetRect);

    if (level < last) return false;
    Copy(*b.screen, b.screenRect, *b.next, b.screenRect);
    host.PresentWholeScreen();
    return true;
}
