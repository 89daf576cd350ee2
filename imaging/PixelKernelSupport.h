// Internal helpers of the pixel operations (Blend, Mosaic, ToneGrey) and the
// resampling copy: the clipping rule that Copy uses, the reach of a buffer
// (the rows and columns an operation may touch), and the row workers that
// split large operations over the processor's cores.
//
// Not part of the imaging interface; only the operations' own files include it.
#pragma once

#include "imaging/DirectBmpControl.h"

#include <algorithm>
#include <cstdint>
#include <type_traits>

// The fast paths use SSE2, which every x86-64 processor has. Defining
// KAMISHIBAI_SCALAR_ONLY builds their portable scalar forms instead (as on
// other architectures), so those can be tested here too.
#if defined(__SSE2__) && !defined(KAMISHIBAI_SCALAR_ONLY)
#define KAMISHIBAI_PIXEL_SSE2 1
#include <emmintrin.h>
#else
#define KAMISHIBAI_PIXEL_SSE2 0
#endif

// Columns an operation may touch in a buffer.
inline int64_t ReachableWidth(const DirectBmpControl& buffer)
{
    return std::max<int64_t>(0, buffer.Width);
}

// Rows an operation may touch: those that are both described and in the row
// table. Individual rows may still be null (an attached bitmap's unset rows).
inline int64_t ReachableHeight(const DirectBmpControl& buffer)
{
    if (buffer.Rows == nullptr) return 0;
    return std::max<int64_t>(0, std::min(buffer.Height, buffer.RowCapacity));
}

// The area two rectangles share once clipped as Copy clips: the smaller width
// and height, moved in from negative left or top edges, then cut at the
// right and bottom of both buffers.
struct ClippedArea {
    int32_t sourceX = 0;
    int32_t sourceY = 0;
    int32_t destinationX = 0;
    int32_t destinationY = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// False when nothing is left to do.
bool ClipLikeCopy(const DirectBmpControl& destination, const TRect& destinationRect, const DirectBmpControl& source,
                  const TRect& sourceRect, ClippedArea& area);

// A block of bytes in each of several consecutive rows of a buffer.
struct RowBytes {
    int32_t firstRow = 0;
    int32_t rows = 0;
    size_t offset = 0;
    size_t length = 0;
};

// Whether two blocks of rows may share memory (also when the buffers are
// different objects over the same bitmap). Null rows are ignored.
bool RowBytesOverlap(const DirectBmpControl& a, const RowBytes& aBytes, const DirectBmpControl& b,
                     const RowBytes& bBytes);

// Whether any of rows [firstRow, firstRow + rows) is null.
bool AnyRowMissing(const DirectBmpControl& buffer, int32_t firstRow, int32_t rows);

// The resampling copy's entry checks, shared by its fast and reference
// forms: depths, equal sizes (handed to Copy here), rectangles inside the
// buffers. Also refused: empty rectangles (whose steps would divide by
// zero) and rows missing from a row table.
enum class StretchKind { Refused, Copied, Enlarge, Shrink };
StretchKind PlanStretchCopy(DirectBmpControl& destination, const TRect& destinationRect,
                            const DirectBmpControl& source, const TRect& sourceRect);

// The fixed-point steps (1024 = 1.0). The quotients are held as doubles and
// the rest is evaluated in extended precision, so the truncations fall as
// they did where these were first computed on the x87 unit.
// Enlarging: trunc(double(from / to) × 1024).
int64_t EnlargeStep(int32_t from, int32_t to);
// Shrinking: scale = trunc(double(to / from) × 1024) and
// inverse = trunc((1 / double(to / from)) × 1024).
int64_t ShrinkScale(int32_t from, int32_t to);
int64_t ShrinkInverse(int32_t from, int32_t to);

// Runs body(firstRow, endRow) over bands that together cover [0, rows), on
// the row workers and the calling thread, and returns when all are done.
// Work below a size where threads pay off (rows × costPerRow, in pixel
// visits) runs on the calling thread alone. The bands must be independent.
// Also used from several threads at once: a call that finds the workers busy
// runs its rows itself. The body must not throw.
void RunRowBands(int32_t rows, int64_t costPerRow, void (*body)(void* context, int32_t firstRow, int32_t endRow),
                 void* context);

template <typename Body>
void ForEachRowBand(int32_t rows, int64_t costPerRow, Body&& body)
{
    using BodyType = std::remove_reference_t<Body>;
    RunRowBands(
        rows, costPerRow,
        [](void* context, int32_t firstRow, int32_t endRow) { (*static_cast<BodyType*>(context))(firstRow, endRow); },
        const_cast<void*>(static_cast<const void*>(&body)));
}
