// The orientation of an Exif block through WIC's IFD metadata reader.
//
// Why not the JPEG decoder's metadata query ("/app1/ifd/{ushort=274}"):
// Wine 8's JPEG decoder offers no metadata blocks at all (the query answers
// WINCODEC_ERR_PROPERTYNOTFOUND for every stream), and the component
// factory's CreateMetadataReader is not implemented there either. The IFD
// reader made directly through COM works on both, so a JPEG stream takes the
// same way as a bare block: the portable walk finds its Exif segment
// (PictureOrientation.cpp), and WIC reads the directory.
#include "platform/PictureOrientation.h"

#include "platform/win32/WicObjects.h"

// mingw-w64's import libraries hold no definitions of the metadata
// interfaces' and the IFD reader's identifiers: this file defines them.
#include <initguid.h>
#include <wincodecsdk.h>

#include <cstdint>

namespace {

constexpr PROPID OrientationTag = 274;
// The 8-byte TIFF header and a directory's entry count.
constexpr size_t SmallestExifBlock = 10;

uint32_t Read32(const uint8_t* bytes, bool bigEndian)
{
    if (bigEndian)
        return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | uint32_t{bytes[3]};
    return uint32_t{bytes[3]} << 24 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[1]} << 8 | uint32_t{bytes[0]};
}

// Frees what a PROPVARIANT holds on every exit.
struct PropertyValue {
    PROPVARIANT value;
    PropertyValue() { PropVariantInit(&value); }
    ~PropertyValue() { PropVariantClear(&value); }
    PropertyValue(const PropertyValue&) = delete;
    PropertyValue& operator=(const PropertyValue&) = delete;
};

}  // namespace

int ReadExifBlockOrientation(std::span<const uint8_t> exif)
{
    if (exif.size() < SmallestExifBlock || exif.size() > MAXDWORD) return UprightOrientation;
    // The TIFF header, which the IFD reader leaves to its caller: the byte
    // order, and where the first directory starts.
    bool bigEndian = false;
    if (exif[0] == 'I' && exif[1] == 'I' && exif[2] == 42 && exif[3] == 0)
        bigEndian = false;
    else if (exif[0] == 'M' && exif[1] == 'M' && exif[2] == 0 && exif[3] == 42)
        bigEndian = true;
    else
        return UprightOrientation;
    const uint32_t directory = Read32(exif.data() + 4, bigEndian);
    if (directory > exif.size() - 2) return UprightOrientation;

    ComScope com;
    if (!com.Usable()) return UprightOrientation;
    ComRef<IWICImagingFactory> factory;
    if (!CreateWicFactory(factory)) return UprightOrientation;
    ComRef<IWICStream> input;
    // The stream only reads: WIC's interface has no const.
    if (FAILED(factory->CreateStream(input.Out())) ||
        FAILED(input->InitializeFromMemory(const_cast<BYTE*>(exif.data()), static_cast<DWORD>(exif.size()))))
        return UprightOrientation;
    LARGE_INTEGER start;
    start.QuadPart = directory;
    if (FAILED(input->Seek(start, STREAM_SEEK_SET, nullptr))) return UprightOrientation;

    ComRef<IWICMetadataReader> reader;
    if (FAILED(CoCreateInstance(CLSID_WICIfdMetadataReader, nullptr, CLSCTX_INPROC_SERVER, IID_IWICMetadataReader,
                                reader.OutVoid())))
        return UprightOrientation;
    ComRef<IWICPersistStream> loader;
    if (FAILED(reader->QueryInterface(IID_IWICPersistStream, loader.OutVoid())) ||
        FAILED(loader->LoadEx(input.Get(), nullptr,
                              bigEndian ? WICPersistOptionBigEndian : WICPersistOptionLittleEndian)))
        return UprightOrientation;

    PropertyValue id;
    id.value.vt = VT_UI2;
    id.value.uiVal = OrientationTag;
    PropertyValue value;
    if (FAILED(reader->GetValue(nullptr, &id.value, &value.value)) || value.value.vt != VT_UI2)
        return UprightOrientation;
    const int orientation = value.value.uiVal;
    return orientation >= 1 && orientation <= 8 ? orientation : UprightOrientation;
}
