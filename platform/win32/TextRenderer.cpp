// Text with GDI: the font is made with CreateFontW from the face and the
// character height (negative height, Shift-JIS character set, as the viewer
// form's font is defined), text is measured with GetTextExtentPoint32W on a
// memory DC, and drawn with TextOutW into a temporary top-down 32-bit DIB
// section that holds a copy of the target area. The area goes back into the
// bitmap row by row, because a TBitmap need not be a DIB itself.
#include "platform/TextRenderer.h"

#include "platform/TextEncoding.h"
#include "platform/win32/WideText.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include <windows.h>

namespace {

// The fixed-pitch Japanese gothic that every Japanese Windows has.
constexpr wchar_t DefaultFace[] = L"\uFF2D\uFF33 \u30B4\u30B7\u30C3\u30AF";

std::wstring WideFaceOf(const std::string& face)
{
    std::wstring wide = Utf16Of(face);
    if (wide.size() >= LF_FACESIZE) wide.resize(LF_FACESIZE - 1);
    return wide;
}

class GdiTextRenderer final : public TextRenderer {
public:
    explicit GdiTextRenderer(std::wstring face) : face_(std::move(face)), dc_(CreateCompatibleDC(nullptr)) {}

    ~GdiTextRenderer() override
    {
        if (dc_ != nullptr) {
            if (originalFont_ != nullptr) SelectObject(dc_, originalFont_);
            DeleteDC(dc_);
        }
        if (font_ != nullptr) DeleteObject(font_);
    }

    GdiTextRenderer(const GdiTextRenderer&) = delete;
    GdiTextRenderer& operator=(const GdiTextRenderer&) = delete;

    bool HasFont() const override { return dc_ != nullptr; }

    TextExtent Measure(std::string_view text, int32_t points) override
    {
        const int32_t em = FontPixelHeight(points);
        const std::wstring wide = Utf16Of(text);
        if (!SelectSize(em)) return {static_cast<int32_t>(std::min<size_t>(wide.size(), INT32_MAX / em)) * em, em};
        return MeasureWide(wide);
    }

    bool Draw(TBitmap& bitmap, int32_t x, int32_t y, std::string_view text, int32_t points,
              uint32_t colour) override
    {
        return DrawWith(bitmap, x, y, text, points, colour, nullptr);
    }

    bool DrawOpaque(TBitmap& bitmap, int32_t x, int32_t y, std::string_view text, int32_t points, uint32_t colour,
                    uint32_t background) override
    {
        return DrawWith(bitmap, x, y, text, points, colour, &background);
    }

private:
    bool SelectSize(int32_t em)
    {
        if (dc_ == nullptr) return false;
        if (em == em_) return true;
        HFONT font = CreateFontW(-em, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                                 CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_MODERN, face_.c_str());
        if (font == nullptr) return false;
        HGDIOBJ previous = SelectObject(dc_, font);
        if (previous == nullptr || previous == HGDI_ERROR) {
            DeleteObject(font);
            return false;
        }
        if (originalFont_ == nullptr) originalFont_ = previous;
        if (font_ != nullptr) DeleteObject(font_);
        font_ = font;
        em_ = em;
        return true;
    }

    TextExtent MeasureWide(const std::wstring& wide)
    {
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc_, &metrics);
        SIZE size{};
        if (!wide.empty() && !GetTextExtentPoint32W(dc_, wide.c_str(), static_cast<int>(wide.size()), &size))
            size = SIZE{};
        return {static_cast<int32_t>(size.cx), static_cast<int32_t>(metrics.tmHeight)};
    }

    bool DrawWith(TBitmap& bitmap, int32_t x, int32_t y, std::string_view text, int32_t points, uint32_t colour,
                  const uint32_t* background)
    {
        if (bitmap.PixelFormat() != TPixelFormat::Bits32 || !SelectSize(FontPixelHeight(points))) return false;
        const std::wstring wide = Utf16Of(text);
        const TextExtent extent = MeasureWide(wide);

        // Glyphs may overhang their cell (italic corrections, wide strokes):
        // half an em on each side is kept, the rest is clipped.
        const int64_t margin = em_ / 2 + 1;
        const int64_t left = std::max<int64_t>(int64_t{x} - margin, 0);
        const int64_t top = std::max<int64_t>(int64_t{y} - margin, 0);
        const int64_t right = std::min<int64_t>(int64_t{x} + extent.width + margin, bitmap.Width());
        const int64_t bottom = std::min<int64_t>(int64_t{y} + extent.height + margin, bitmap.Height());
        if (left >= right || top >= bottom || wide.empty()) return true;
        const int width = static_cast<int>(right - left);
        const int height = static_cast<int>(bottom - top);

        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP section = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (section == nullptr || bits == nullptr) {
            if (section != nullptr) DeleteObject(section);
            return false;
        }
        auto* area = static_cast<uint8_t*>(bits);
        const size_t rowBytes = static_cast<size_t>(width) * 4;
        const auto copyRows = [&](bool intoArea) {
            for (int row = 0; row < height; ++row) {
                uint8_t* line = bitmap.ScanLine(static_cast<int32_t>(top + row));
                if (line == nullptr) continue;
                uint8_t* target = line + left * 4;
                uint8_t* stored = area + static_cast<size_t>(row) * rowBytes;
                if (intoArea)
                    std::memcpy(stored, target, rowBytes);
                else
                    std::memcpy(target, stored, rowBytes);
            }
        };
        copyRows(true);

        HGDIOBJ previous = SelectObject(dc_, section);
        SetTextAlign(dc_, TA_LEFT | TA_TOP | TA_NOUPDATECP);
        SetTextColor(dc_, static_cast<COLORREF>(colour & 0xFFFFFF));
        if (background != nullptr) {
            SetBkMode(dc_, OPAQUE);
            SetBkColor(dc_, static_cast<COLORREF>(*background & 0xFFFFFF));
        } else {
            SetBkMode(dc_, TRANSPARENT);
        }
        const BOOL drawn = TextOutW(dc_, static_cast<int>(x - left), static_cast<int>(y - top), wide.c_str(),
                                    static_cast<int>(wide.size()));
        GdiFlush();
        SelectObject(dc_, previous);
        if (drawn) copyRows(false);
        DeleteObject(section);
        return drawn != FALSE;
    }

    std::wstring face_;
    HDC dc_;
    HFONT font_ = nullptr;
    HGDIOBJ originalFont_ = nullptr;
    int32_t em_ = 0;
};

}  // namespace

std::unique_ptr<TextRenderer> MakeTextRenderer()
{
    return std::make_unique<GdiTextRenderer>(DefaultFace);
}

std::unique_ptr<TextRenderer> MakeTextRenderer(std::span<const std::string> typefaces)
{
    if (typefaces.empty()) return MakeTextRenderer();
    return std::make_unique<GdiTextRenderer>(WideFaceOf(typefaces.front()));
}
