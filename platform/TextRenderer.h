// TextRenderer: one line of text in the viewer's font, measured and drawn
// into 32-bit bitmaps. It is the little of a window canvas that the saver
// needs for text: TextWidth and TextHeight, and TextOut with a clear brush
// (Draw) or on a solid background (DrawOpaque).
//
// Texts are UTF-8; a byte that does not start a well-formed UTF-8 character
// stands for U+FFFD on its own. Characters the font lacks show as the font's
// missing-glyph shape. One line only: control characters are not
// interpreted.
//
// Sizes are in points at 96 dots per inch, as a font's Size is: the em height
// in pixels is points × 96 / 72 rounded (FontPixelHeight), so 9 points is the
// viewer form's font (height −12, that is 12 pixels) and 24 points is 32
// pixels. Sizes outside 1 to MaximumTextPoints are clamped to that range.
//
// Colours are window-system colours 0x00BBGGRR, given as a font or brush
// colour would be (white 0x00FFFFFF, pure red 0x000000FF); the top byte is
// ignored. Imaging code that holds pixel-order colours converts them back.
//
// Measure gives the text's cell box in pixels: the width is the sum of the
// characters' advances, the height the font's ascent plus descent. The Draw
// calls put that box's top-left corner at (x, y), which may lie outside the
// bitmap: nothing outside the bitmap is touched. Glyphs are anti-aliased as
// the platform draws them (FreeType: 256 coverage levels blended into the
// bitmap; GDI: as the system's font-smoothing setting says). The alpha byte
// of a pixel the text changes is left as the platform leaves it (0 with
// FreeType, as GDI usually leaves it).
//
// A renderer without a usable font (HasFont false: no font file found on
// POSIX) still measures, with an estimate of half an em for narrow and a
// whole em for wide characters and one em of height, so that layout keeps
// working; its Draw calls draw nothing and return false.
//
// The Draw calls return false, drawing nothing, for a bitmap that is not 32
// bits per pixel. A renderer keeps font state: use each from one thread.
#pragma once

#include "platform/TBitmap.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

struct TextExtent {
    int32_t width = 0;
    int32_t height = 0;
};

constexpr int32_t MaximumTextPoints = 1536;  // 2048 pixels of em height

// The viewer form's font size: height −12 pixels at 96 dots per inch.
constexpr int32_t FormFontPoints = 9;

// The em height in pixels of a font of `points` (after clamping), rounded to
// nearest as MulDiv(points, 96, 72) rounds.
constexpr int32_t FontPixelHeight(int32_t points)
{
    const int32_t clamped = points < 1 ? 1 : points > MaximumTextPoints ? MaximumTextPoints : points;
    return (clamped * 96 + 36) / 72;
}

class TextRenderer {
public:
    virtual ~TextRenderer() = default;

    virtual bool HasFont() const = 0;
    virtual TextExtent Measure(std::string_view text, int32_t points) = 0;
    // Clear brush: only the glyphs change the bitmap.
    virtual bool Draw(TBitmap& bitmap, int32_t x, int32_t y, std::string_view text, int32_t points,
                      uint32_t colour) = 0;
    // Solid brush: the cell box is filled with `background` first.
    virtual bool DrawOpaque(TBitmap& bitmap, int32_t x, int32_t y, std::string_view text, int32_t points,
                            uint32_t colour, uint32_t background) = 0;
};

// The platform's renderer with the viewer's typeface. Never null; never
// throws except std::bad_alloc.
std::unique_ptr<TextRenderer> MakeTextRenderer();

// The same with the typeface taken from `typefaces`, tried in order: font
// file paths on POSIX (the first that loads is used), face names on Windows
// (the first is used; the system maps a missing face to a similar one). An
// empty list gives a renderer without a font on POSIX and the default face
// on Windows.
std::unique_ptr<TextRenderer> MakeTextRenderer(std::span<const std::string> typefaces);
