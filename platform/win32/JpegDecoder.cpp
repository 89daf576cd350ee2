// JPEG decoding on Windows through the Windows Imaging Component: the JPEG
// decoder over the bytes in memory, converted to 24-bit BGR rows.
//
// Only the JPEG codec is asked for, so bytes of another format fail as they
// would with libjpeg. A stream WIC cannot decode whole (damaged data) fails;
// the libjpeg build may still show the part before the damage.
#include "platform/JpegDecoder.h"

#include "platform/Stream.h"

#include <windows.h>
#include <objbase.h>
#include <wincodec.h>

#include <new>

namespace {

// Releases a COM interface on every exit.
template <typename Interface>
class ComRef {
public:
    ComRef() = default;
    ~ComRef()
    {
        if (pointer_ != nullptr) pointer_->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    Interface** Out() { return &pointer_; }
    Interface* operator->() const { return pointer_; }
    Interface* Get() const { return pointer_; }

private:
    Interface* pointer_ = nullptr;
};

// COM for the duration of one decode. A thread that already joined another
// apartment keeps it (RPC_E_CHANGED_MODE): WIC works in either.
class ComScope {
public:
    ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope()
    {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    bool Usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT result_;
};

}  // namespace

std::unique_ptr<TBitmap> DecodeJpeg(TStream& stream, const JpegLimits& limits, JpegFrameDimensions* frame)
{
    if (frame != nullptr) *frame = {};
    size_t size = 0;
    const std::unique_ptr<unsigned char[]> bytes = ReadJpegBytes(stream, &size);
    if (!bytes || size > MAXDWORD) return nullptr;

    ComScope com;
    if (!com.Usable()) return nullptr;
    ComRef<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(factory.Out()))))
        return nullptr;
    ComRef<IWICStream> input;
    if (FAILED(factory->CreateStream(input.Out())) ||
        FAILED(input->InitializeFromMemory(bytes.get(), static_cast<DWORD>(size))))
        return nullptr;
    ComRef<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoder(GUID_ContainerFormatJpeg, nullptr, decoder.Out())) ||
        FAILED(decoder->Initialize(input.Get(), WICDecodeMetadataCacheOnDemand)))
        return nullptr;
    ComRef<IWICBitmapFrameDecode> frameDecoder;
    if (FAILED(decoder->GetFrame(0, frameDecoder.Out()))) return nullptr;
    UINT width = 0;
    UINT height = 0;
    // Refused before any pixel memory is set aside. WIC's own working memory
    // cannot be bounded from here; only the output is.
    if (FAILED(frameDecoder->GetSize(&width, &height))) return nullptr;
    if (frame != nullptr) *frame = {width, height};
    if (!JpegFrameAccepted(width, height, limits)) return nullptr;
    ComRef<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.Out())) ||
        FAILED(converter->Initialize(frameDecoder.Get(), GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return nullptr;

    std::unique_ptr<TMemoryBitmap> bitmap;
    try {
        bitmap = std::make_unique<TMemoryBitmap>(static_cast<int32_t>(width), static_cast<int32_t>(height),
                                                 TPixelFormat::Bits24, TMemoryBitmap::RowOrder::TopDown);
    } catch (...) {
        return nullptr;
    }
    // Top-down rows lie one after another, a stride apart.
    const UINT stride = static_cast<UINT>(bitmap->Stride());
    const UINT64 total = UINT64{stride} * height;
    if (total > MAXUINT) return nullptr;
    if (FAILED(converter->CopyPixels(nullptr, stride, static_cast<UINT>(total), bitmap->ScanLine(0)))) return nullptr;
    return bitmap;
}
