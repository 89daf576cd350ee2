// Text with FreeType and a Japanese gothic font file from the system.
//
// The metrics follow what GDI reports for a TrueType font asked for by its
// character height: the em is FontPixelHeight pixels, the cell's ascent and
// descent come from the font's Windows ascent and descent (OS/2 table) so
// that the cell height matches TextHeight there, and advances are the hinted
// whole-pixel advances, summed without kerning as TextOut places glyphs.
#include "platform/TextRenderer.h"

#include "platform/TextEncoding.h"
#include "platform/posix/JapaneseFont.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <utility>
#include <vector>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

namespace {

// The IPA gothic is the fixed-pitch Japanese gothic that Debian ships
// (fonts-ipafont-gothic); the others are its usual stand-ins.
constexpr std::array DefaultFontFiles{
    "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf",
    "/usr/share/fonts/truetype/fonts-japanese-gothic.ttf",
    "/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf",
    "/usr/share/fonts/opentype/ipaexfont-gothic/ipaexg.ttf",
    "/usr/share/fonts/truetype/takao-gothic/TakaoGothic.ttf",
    "/usr/share/fonts/truetype/vlgothic/VL-Gothic-Regular.ttf",
    "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc",
    "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf",
};

std::vector<char32_t> CodePointsOf(std::string_view text)
{
    std::vector<char32_t> characters;
    characters.reserve(text.size());
    size_t position = 0;
    while (position < text.size()) {
        if (const auto character = DecodeUtf8Character(text, position)) {
            characters.push_back(*character);
        } else {
            characters.push_back(U'\uFFFD');
            ++position;
        }
    }
    return characters;
}

// East Asian wide characters, roughly: enough for an estimate of the width.
bool IsWide(char32_t c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

int32_t RoundPixels(FT_Pos value26Dot6)
{
    return static_cast<int32_t>((value26Dot6 + 32) >> 6);
}

uint8_t Mix(uint8_t destination, uint8_t source, unsigned coverage)
{
    return static_cast<uint8_t>((destination * (255u - coverage) + source * coverage + 127u) / 255u);
}

// The part of the box (x, y, width, height) that lies inside the bitmap, as
// 64-bit bounds so that no sum of untrusted coordinates can wrap.
struct Clip {
    int64_t left, top, right, bottom;
    bool Empty() const { return left >= right || top >= bottom; }
};

Clip ClipTo(const TBitmap& bitmap, int64_t x, int64_t y, int64_t width, int64_t height)
{
    return {std::max<int64_t>(x, 0), std::max<int64_t>(y, 0), std::min<int64_t>(x + width, bitmap.Width()),
            std::min<int64_t>(y + height, bitmap.Height())};
}

class FreeTypeTextRenderer final : public TextRenderer {
public:
    using FontFinder = std::function<std::vector<std::string>()>;

    // The font is looked for and opened on first use: a show that never
    // draws text reads no font file and never asks fontconfig, whose
    // configuration alone takes time and memory at start.
    explicit FreeTypeTextRenderer(FontFinder findFonts) : findFonts_(std::move(findFonts)) {}

    ~FreeTypeTextRenderer() override
    {
        if (face_ != nullptr) FT_Done_Face(face_);
        if (library_ != nullptr) FT_Done_FreeType(library_);
    }

    FreeTypeTextRenderer(const FreeTypeTextRenderer&) = delete;
    FreeTypeTextRenderer& operator=(const FreeTypeTextRenderer&) = delete;

    bool HasFont() const override { return Face() != nullptr; }

    TextExtent Measure(std::string_view text, int32_t points) override
    {
        const std::vector<char32_t> characters = CodePointsOf(text);
        const int32_t em = FontPixelHeight(points);
        if (!SelectSize(em)) return Estimate(characters, em);
        int64_t width = 0;
        for (const char32_t character : characters) {
            if (FT_Load_Glyph(face_, FT_Get_Char_Index(face_, character), FT_LOAD_DEFAULT) == 0)
                width += RoundPixels(face_->glyph->advance.x);
        }
        return {static_cast<int32_t>(std::min<int64_t>(width, INT32_MAX)), ascent_ + descent_};
    }

    bool Draw(TBitmap& bitmap, int32_t x, int32_t y, std::string_view text, int32_t points,
              uint32_t colour) override
    {
        if (!Drawable(bitmap, points)) return false;
        DrawGlyphs(bitmap, x, y, CodePointsOf(text), colour);
        return true;
    }

    bool DrawOpaque(TBitmap& bitmap, int32_t x, int32_t y, std::string_view text, int32_t points, uint32_t colour,
                    uint32_t background) override
    {
        if (!Drawable(bitmap, points)) return false;
        const TextExtent extent = Measure(text, points);
        const Clip box = ClipTo(bitmap, x, y, extent.width, extent.height);
        if (!box.Empty()) {
            for (int64_t row = box.top; row < box.bottom; ++row) {
                uint8_t* line = bitmap.ScanLine(static_cast<int32_t>(row));
                if (line == nullptr) continue;
                for (int64_t column = box.left; column < box.right; ++column) {
                    uint8_t* pixel = line + column * 4;
                    pixel[0] = static_cast<uint8_t>(background >> 16);
                    pixel[1] = static_cast<uint8_t>(background >> 8);
                    pixel[2] = static_cast<uint8_t>(background);
                    pixel[3] = 0;
                }
            }
        }
        DrawGlyphs(bitmap, x, y, CodePointsOf(text), colour);
        return true;
    }

private:
    static TextExtent Estimate(const std::vector<char32_t>& characters, int32_t em)
    {
        int64_t width = 0;
        for (const char32_t character : characters) width += IsWide(character) ? em : (em + 1) / 2;
        return {static_cast<int32_t>(std::min<int64_t>(width, INT32_MAX)), em};
    }

    bool Drawable(TBitmap& bitmap, int32_t points)
    {
        return bitmap.PixelFormat() == TPixelFormat::Bits32 && SelectSize(FontPixelHeight(points));
    }

    FT_Face Face() const
    {
        if (findFonts_) {
            const std::vector<std::string> files = findFonts_();
            findFonts_ = nullptr;
            Open(files);
        }
        return face_;
    }

    void Open(const std::vector<std::string>& fontFiles) const
    {
        if (FT_Init_FreeType(&library_) != 0) {
            library_ = nullptr;
            return;
        }
        for (const std::string& file : fontFiles) {
            if (FT_New_Face(library_, file.c_str(), 0, &face_) == 0) {
                if (face_->charmap != nullptr && FT_IS_SCALABLE(face_)) return;
                FT_Done_Face(face_);
            }
            face_ = nullptr;
        }
    }

    bool SelectSize(int32_t em)
    {
        if (Face() == nullptr) return false;
        if (em == em_) return true;
        em_ = 0;
        if (FT_Set_Pixel_Sizes(face_, 0, static_cast<FT_UInt>(em)) != 0) return false;
        const FT_Fixed scale = face_->size->metrics.y_scale;
        const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face_, FT_SFNT_OS2));
        if (os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
            ascent_ = RoundPixels(FT_MulFix(os2->usWinAscent, scale));
            descent_ = RoundPixels(FT_MulFix(os2->usWinDescent, scale));
        } else {
            ascent_ = RoundPixels(face_->size->metrics.ascender);
            descent_ = RoundPixels(-face_->size->metrics.descender);
        }
        ascent_ = std::max(ascent_, 0);
        descent_ = std::max(descent_, 0);
        em_ = em;
        return true;
    }

    void DrawGlyphs(TBitmap& bitmap, int64_t x, int64_t y, const std::vector<char32_t>& characters, uint32_t colour)
    {
        const uint8_t blue = static_cast<uint8_t>(colour >> 16);
        const uint8_t green = static_cast<uint8_t>(colour >> 8);
        const uint8_t red = static_cast<uint8_t>(colour);
        const int64_t baseline = y + ascent_;
        int64_t pen = x;
        for (const char32_t character : characters) {
            if (FT_Load_Glyph(face_, FT_Get_Char_Index(face_, character), FT_LOAD_DEFAULT) != 0) continue;
            FT_GlyphSlot slot = face_->glyph;
            const int64_t advance = RoundPixels(slot->advance.x);
            if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) == 0) {
                const FT_Bitmap& glyph = slot->bitmap;
                const bool grey = glyph.pixel_mode == FT_PIXEL_MODE_GRAY;
                if (grey || glyph.pixel_mode == FT_PIXEL_MODE_MONO) {
                    const int64_t left = pen + slot->bitmap_left;
                    const int64_t top = baseline - slot->bitmap_top;
                    const Clip box = ClipTo(bitmap, left, top, glyph.width, glyph.rows);
                    for (int64_t row = box.top; row < box.bottom; ++row) {
                        uint8_t* line = bitmap.ScanLine(static_cast<int32_t>(row));
                        if (line == nullptr) continue;
                        // A negative pitch means the rows are stored bottom row first.
                        const int64_t stored = glyph.pitch >= 0 ? row - top : int64_t{glyph.rows} - 1 - (row - top);
                        const unsigned char* source = glyph.buffer + stored * std::abs(int64_t{glyph.pitch});
                        for (int64_t column = box.left; column < box.right; ++column) {
                            const int64_t i = column - left;
                            const unsigned coverage =
                                grey ? source[i] : (source[i >> 3] >> (7 - (i & 7)) & 1u) * 255u;
                            if (coverage == 0) continue;
                            uint8_t* pixel = line + column * 4;
                            pixel[0] = Mix(pixel[0], blue, coverage);
                            pixel[1] = Mix(pixel[1], green, coverage);
                            pixel[2] = Mix(pixel[2], red, coverage);
                            pixel[3] = 0;
                        }
                    }
                }
            }
            pen += advance;
        }
    }

    // Opened on first use, by const calls too.
    mutable FontFinder findFonts_;  // until the font is opened
    mutable FT_Library library_ = nullptr;
    mutable FT_Face face_ = nullptr;
    int32_t em_ = 0;  // the size the face is set to, 0 for none
    int32_t ascent_ = 0;
    int32_t descent_ = 0;
};

}  // namespace

std::optional<std::string> FontconfigJapaneseFont()
{
    // A configuration of our own, destroyed afterwards, rather than
    // fontconfig's process-wide one: the lookup runs at most once per
    // renderer and leaves nothing behind.
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (config == nullptr) return std::nullopt;
    std::optional<std::string> found;
    FcPattern* pattern = FcPatternCreate();
    if (pattern != nullptr) {
        const auto* japanese = reinterpret_cast<const FcChar8*>("ja");
        FcPatternAddString(pattern, FC_LANG, japanese);
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
        FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(config, pattern, &result);
        if (match != nullptr) {
            // The best match is any font at all when none covers Japanese:
            // such a font would draw every character as a missing glyph.
            FcChar8* file = nullptr;
            FcLangSet* languages = nullptr;
            FcBool outline = FcFalse;
            if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
                FcPatternGetLangSet(match, FC_LANG, 0, &languages) == FcResultMatch &&
                FcLangSetHasLang(languages, japanese) != FcLangDifferentLang &&
                FcPatternGetBool(match, FC_OUTLINE, 0, &outline) == FcResultMatch && outline == FcTrue)
                found = reinterpret_cast<const char*>(file);
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
    }
    FcConfigDestroy(config);
    return found;
}

std::vector<std::string> JapaneseFontFiles(std::span<const std::string> knownFiles)
{
    std::vector<std::string> files(knownFiles.begin(), knownFiles.end());
    const bool anyKnown = std::any_of(files.begin(), files.end(), [](const std::string& file) {
        std::error_code ignored;
        return std::filesystem::exists(file, ignored);
    });
    if (!anyKnown) {
        if (std::optional<std::string> file = FontconfigJapaneseFont()) files.push_back(std::move(*file));
    }
    return files;
}

std::unique_ptr<TextRenderer> MakeTextRenderer()
{
    return std::make_unique<FreeTypeTextRenderer>([] {
        const std::vector<std::string> known(DefaultFontFiles.begin(), DefaultFontFiles.end());
        return JapaneseFontFiles(known);
    });
}

std::unique_ptr<TextRenderer> MakeTextRenderer(std::span<const std::string> typefaces)
{
    return std::make_unique<FreeTypeTextRenderer>(
        [files = std::vector<std::string>(typefaces.begin(), typefaces.end())] { return files; });
}
