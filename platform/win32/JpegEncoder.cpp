// JPEG encoding on Windows through WIC's JPEG encoder into a memory stream.
// The pixels go in as 24-bit BGR, WIC's native JPEG input, converted from the
// caller's rows a band at a time so that no second whole picture is held.
#include "platform/JpegEncoder.h"

#include "platform/win32/WicObjects.h"

#include <algorithm>
#include <memory>
#include <new>

namespace {

constexpr UINT BandRows = 16;

// The memory an HGLOBAL stream holds, locked for as long as this lives.
class LockedGlobal {
public:
    explicit LockedGlobal(HGLOBAL memory) : memory_(memory), bytes_(static_cast<const uint8_t*>(GlobalLock(memory))) {}
    ~LockedGlobal()
    {
        if (bytes_ != nullptr) GlobalUnlock(memory_);
    }
    LockedGlobal(const LockedGlobal&) = delete;
    LockedGlobal& operator=(const LockedGlobal&) = delete;
    const uint8_t* Bytes() const { return bytes_; }

private:
    HGLOBAL memory_;
    const uint8_t* bytes_;
};

bool SetEncoderOptions(IPropertyBag2* options, int quality)
{
    PROPBAG2 names[2] = {};
    VARIANT values[2];
    names[0].pstrName = const_cast<LPOLESTR>(L"ImageQuality");
    VariantInit(&values[0]);
    values[0].vt = VT_R4;
    values[0].fltVal = static_cast<float>(quality) / 100.0f;
    names[1].pstrName = const_cast<LPOLESTR>(L"JpegYCrCbSubsampling");
    VariantInit(&values[1]);
    values[1].vt = VT_UI1;
    values[1].bVal = static_cast<BYTE>(WICJpegYCrCbSubsampling420);
    return SUCCEEDED(options->Write(2, names, values));
}

bool WriteRows(IWICBitmapFrameEncode* frame, const uint8_t* rgba, UINT width, UINT height, size_t stride)
{
    const UINT bandStride = width * 3;
    std::unique_ptr<BYTE[]> band(new (std::nothrow) BYTE[static_cast<size_t>(bandStride) * BandRows]);
    if (!band) return false;
    for (UINT first = 0; first < height; first += BandRows) {
        const UINT rows = std::min(BandRows, height - first);
        for (UINT row = 0; row < rows; ++row) {
            const uint8_t* from = rgba + static_cast<size_t>(first + row) * stride;
            BYTE* to = band.get() + static_cast<size_t>(row) * bandStride;
            for (UINT x = 0; x < width; ++x, from += 4, to += 3) {
                to[0] = from[2];
                to[1] = from[1];
                to[2] = from[0];
            }
        }
        if (FAILED(frame->WritePixels(rows, bandStride, bandStride * rows, band.get()))) return false;
    }
    return true;
}

}  // namespace

std::optional<std::vector<uint8_t>> EncodeJpeg(const uint8_t* rgba, int32_t width, int32_t height, size_t stride,
                                               int quality)
{
    if (!JpegEncodeInputAccepted(rgba, width, height, stride, quality)) return std::nullopt;
    ComScope com;
    if (!com.Usable()) return std::nullopt;
    ComRef<IWICImagingFactory> factory;
    if (!CreateWicFactory(factory)) return std::nullopt;
    ComRef<IStream> output;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, output.Out()))) return std::nullopt;
    ComRef<IWICBitmapEncoder> encoder;
    if (FAILED(factory->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, encoder.Out())) ||
        FAILED(encoder->Initialize(output.Get(), WICBitmapEncoderNoCache)))
        return std::nullopt;
    ComRef<IWICBitmapFrameEncode> frame;
    ComRef<IPropertyBag2> options;
    if (FAILED(encoder->CreateNewFrame(frame.Out(), options.Out())) || !SetEncoderOptions(options.Get(), quality) ||
        FAILED(frame->Initialize(options.Get())))
        return std::nullopt;
    const auto columns = static_cast<UINT>(width);
    const auto rows = static_cast<UINT>(height);
    // WIC may answer with another format it would rather have: then the rows
    // here would be misread, so the encode stops.
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (FAILED(frame->SetSize(columns, rows)) || FAILED(frame->SetPixelFormat(&format)) ||
        !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR))
        return std::nullopt;
    if (!WriteRows(frame.Get(), rgba, columns, rows, stride) || FAILED(frame->Commit()) || FAILED(encoder->Commit()))
        return std::nullopt;

    STATSTG status{};
    HGLOBAL memory = nullptr;
    if (FAILED(output->Stat(&status, STATFLAG_NONAME)) || FAILED(GetHGlobalFromStream(output.Get(), &memory)))
        return std::nullopt;
    const LockedGlobal locked(memory);
    if (locked.Bytes() == nullptr || status.cbSize.QuadPart > GlobalSize(memory)) return std::nullopt;
    try {
        return std::vector<uint8_t>(locked.Bytes(), locked.Bytes() + status.cbSize.QuadPart);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}
