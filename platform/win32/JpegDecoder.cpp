// JPEG decoding on Windows through the Windows Imaging Component: the JPEG
// decoder over the bytes in memory, converted to 24-bit BGR rows, which are
// fetched a band at a time and handed to the sink row by row.
//
// A scaled decode is a full decode whose rows are averaged over blocks on
// their way to the sink (BlockAveragingRowSink). WIC's own ways were tried
// under Wine 8 and fall short: the decoder's scaling
// (IWICBitmapSourceTransform) answers E_NOINTERFACE there, and is not
// declared by mingw-w64 either; the bitmap scaler takes the Fant mode but
// picks each block's top-left pixel, which would alias a photo's fine detail.
//
// Only the JPEG codec is asked for, so bytes of another format fail as they
// would with libjpeg. A stream WIC cannot decode whole (damaged data) fails;
// the libjpeg build may still show the part before the damage.
#include "platform/JpegDecoder.h"

#include "platform/JpegBlockAverage.h"
#include "platform/Stream.h"

#include "platform/win32/WicObjects.h"

#include <algorithm>
#include <new>
#include <vector>

bool DecodeJpegRows(TStream& stream, const JpegLimits& limits, JpegFrameDimensions* frame, JpegRowSink& sink)
{
    return DecodeJpegRowsScaled(stream, limits, 1, frame, sink);
}

bool DecodeJpegRowsScaled(TStream& stream, const JpegLimits& limits, int scaleDenominator, JpegFrameDimensions* frame,
                          JpegRowSink& sink)
{
    if (frame != nullptr) *frame = {};
    if (!JpegScaleDenominatorAccepted(scaleDenominator)) return false;
    size_t size = 0;
    const std::unique_ptr<unsigned char[]> bytes = ReadJpegBytes(stream, &size);
    if (!bytes || size > MAXDWORD) return false;

    ComScope com;
    if (!com.Usable()) return false;
    ComRef<IWICImagingFactory> factory;
    if (!CreateWicFactory(factory)) return false;
    ComRef<IWICStream> input;
    if (FAILED(factory->CreateStream(input.Out())) ||
        FAILED(input->InitializeFromMemory(bytes.get(), static_cast<DWORD>(size))))
        return false;
    ComRef<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoder(GUID_ContainerFormatJpeg, nullptr, decoder.Out())) ||
        FAILED(decoder->Initialize(input.Get(), WICDecodeMetadataCacheOnDemand)))
        return false;
    ComRef<IWICBitmapFrameDecode> frameDecoder;
    if (FAILED(decoder->GetFrame(0, frameDecoder.Out()))) return false;
    UINT width = 0;
    UINT height = 0;
    // Refused before any pixel memory is set aside. WIC's own working memory
    // cannot be bounded from here; only the output is.
    if (FAILED(frameDecoder->GetSize(&width, &height))) return false;
    if (frame != nullptr) *frame = {width, height};
    if (!JpegFrameAccepted(width, height, limits, scaleDenominator)) return false;
    ComRef<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.Out())) ||
        FAILED(converter->Initialize(frameDecoder.Get(), GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return false;

    // Rows of 3 bytes a pixel, padded to 4 bytes, a band of them at a time.
    constexpr UINT BandRows = 16;
    const UINT stride = (width * 3 + 3) / 4 * 4;
    std::vector<BYTE> band;
    try {
        band.resize(static_cast<size_t>(stride) * BandRows);
    } catch (...) {
        return false;
    }
    BlockAveragingRowSink averaging(sink, scaleDenominator);
    JpegRowSink& receiver = scaleDenominator == 1 ? sink : averaging;
    if (!receiver.Begin(static_cast<INT>(width), static_cast<INT>(height))) return false;
    for (UINT first = 0; first < height; first += BandRows) {
        const UINT rows = std::min(BandRows, height - first);
        const WICRect rect{0, static_cast<INT>(first), static_cast<INT>(width), static_cast<INT>(rows)};
        if (FAILED(converter->CopyPixels(&rect, stride, stride * rows, band.data()))) return false;
        for (UINT row = 0; row < rows; ++row)
            if (!receiver.Row(static_cast<int32_t>(first + row), band.data() + static_cast<size_t>(stride) * row))
                return false;
    }
    return true;
}
