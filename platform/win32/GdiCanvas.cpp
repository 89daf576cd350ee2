#include "platform/win32/GdiCanvas.h"

#include "platform/win32/DibSectionBitmap.h"
#include "platform/win32/WideText.h"

#include <algorithm>

namespace {

// The viewer's font face: the Japanese Gothic that the system maps to
// whatever Japanese font it has.
constexpr wchar_t FontFace[] = L"\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF";  // "ＭＳ Ｐゴシック"

class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc()
    {
        if (dc_ != nullptr) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC Get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

}  // namespace

GdiCanvas::GdiCanvas(HWND window) : window_(window) {}

GdiCanvas::~GdiCanvas()
{
    if (font_ != nullptr) DeleteObject(font_);
}

void GdiCanvas::SetFont(uint32_t colour, int32_t height)
{
    fontColour_ = colour & 0x00FFFFFF;
    HFONT font = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, FontFace);
    if (font == nullptr) return;  // keep the previous font
    if (font_ != nullptr) DeleteObject(font_);
    font_ = font;
}

void GdiCanvas::SetBrush(uint32_t colour)
{
    brushColour_ = colour & 0x00FFFFFF;
}

void GdiCanvas::CopyRect(const TRect& target, TBitmap& bitmap, const TRect& source)
{
    if (bitmap.PixelFormat() != TPixelFormat::Bits32) return;
    WindowDc dc(window_);
    if (dc.Get() == nullptr) return;
    const int32_t width = static_cast<int32_t>(std::min(target.Width(), source.Width()));
    const int32_t height = static_cast<int32_t>(std::min(target.Height(), source.Height()));
    if (width <= 0 || height <= 0) return;

    if (auto* dib = dynamic_cast<DibSectionBitmap*>(&bitmap)) {
        BitBlt(dc.Get(), target.left, target.top, width, height, dib->DeviceContext(), source.left, source.top,
               SRCCOPY);
        // The next step writes the section's rows directly: the copy must
        // have read them by then.
        GdiFlush();
        return;
    }

    // Rows of a bitmap in ordinary memory, one at a time: clip to the
    // bitmap, since its rows are only reachable inside it.
    const int32_t left = std::max(source.left, 0);
    const int32_t right = std::min(source.left + width, bitmap.Width());
    if (right <= left) return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = bitmap.Width();
    info.bmiHeader.biHeight = 1;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    for (int32_t row = 0; row < height; ++row) {
        const int32_t sourceRow = source.top + row;
        if (sourceRow < 0 || sourceRow >= bitmap.Height()) continue;
        SetDIBitsToDevice(dc.Get(), target.left + (left - source.left), target.top + row,
                          static_cast<DWORD>(right - left), 1, left, 0, 0, 1, bitmap.ScanLine(sourceRow), &info,
                          DIB_RGB_COLORS);
    }
}

void GdiCanvas::FillRect(const TRect& rect)
{
    WindowDc dc(window_);
    if (dc.Get() == nullptr) return;
    HBRUSH brush = CreateSolidBrush(brushColour_);
    if (brush == nullptr) return;
    const RECT area{rect.left, rect.top, rect.right, rect.bottom};
    ::FillRect(dc.Get(), &area, brush);
    DeleteObject(brush);
}

void GdiCanvas::WriteText(int32_t x, int32_t y, std::string_view text)
{
    WindowDc dc(window_);
    if (dc.Get() == nullptr) return;
    const std::wstring wide = Utf16Of(text);
    HGDIOBJ previous = font_ != nullptr ? SelectObject(dc.Get(), font_) : nullptr;
    SetTextColor(dc.Get(), fontColour_);
    SetBkColor(dc.Get(), brushColour_);
    SetBkMode(dc.Get(), OPAQUE);
    TextOutW(dc.Get(), x, y, wide.c_str(), static_cast<int>(wide.size()));
    if (previous != nullptr) SelectObject(dc.Get(), previous);
}
