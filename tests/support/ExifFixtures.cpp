#include "tests/support/ExifFixtures.h"

#include <cstddef>
#include <stdexcept>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint16_t TypeAscii = 2;
constexpr uint16_t TypeShort = 3;
constexpr uint16_t TypeRational = 5;

class TiffWriter {
public:
    explicit TiffWriter(TiffByteOrder order) : bigEndian_(order == TiffByteOrder::BigEndian) {}
    void Put16(uint16_t value)
    {
        if (bigEndian_) {
            bytes_.push_back(static_cast<uint8_t>(value >> 8));
            bytes_.push_back(static_cast<uint8_t>(value));
        } else {
            bytes_.push_back(static_cast<uint8_t>(value));
            bytes_.push_back(static_cast<uint8_t>(value >> 8));
        }
    }
    void Put32(uint32_t value)
    {
        if (bigEndian_) {
            Put16(static_cast<uint16_t>(value >> 16));
            Put16(static_cast<uint16_t>(value));
        } else {
            Put16(static_cast<uint16_t>(value));
            Put16(static_cast<uint16_t>(value >> 16));
        }
    }
    // An entry whose value sits in its last four bytes, left-aligned as TIFF
    // has it: a SHORT takes the first two, zero after it.
    void PutShortEntry(uint16_t tag, uint16_t type, uint32_t value)
    {
        Put16(tag);
        Put16(type);
        Put32(1);
        if (type == TypeShort) {
            Put16(static_cast<uint16_t>(value));
            Put16(0);
        } else {
            Put32(value);
        }
    }
    void PutOffsetEntry(uint16_t tag, uint16_t type, uint32_t count, uint32_t offset)
    {
        Put16(tag);
        Put16(type);
        Put32(count);
        Put32(offset);
    }
    void PutBytes(std::span<const uint8_t> bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }
    size_t Size() const { return bytes_.size(); }
    Bytes Take() { return std::move(bytes_); }

private:
    bool bigEndian_;
    Bytes bytes_;
};

// Byte by byte: GCC 12 at -O2 takes a range insert into a short vector for
// a write out of bounds (-Warray-bounds), which it is not.
void Append(Bytes& to, std::span<const uint8_t> from)
{
    to.reserve(to.size() + from.size());
    for (const uint8_t byte : from) to.push_back(byte);
}

Bytes Segment(uint8_t marker, std::span<const uint8_t> payload)
{
    if (payload.size() > 0xFFFF - 2) throw std::invalid_argument("JpegWithExifSegment: the block is too large");
    const size_t length = payload.size() + 2;
    Bytes segment{0xFF, marker, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    Append(segment, payload);
    return segment;
}

Bytes Text(const std::string& text, bool withNul)
{
    Bytes bytes(text.begin(), text.end());
    if (withNul) bytes.push_back(0);
    return bytes;
}

}  // namespace

ExifBlockOptions ExifOptions(TiffByteOrder order, std::optional<uint16_t> orientation)
{
    ExifBlockOptions options;
    options.order = order;
    options.orientation = orientation;
    return options;
}

Bytes MakeExifBlock(const ExifBlockOptions& options)
{
    TiffWriter tiff(options.order);
    const bool big = options.order == TiffByteOrder::BigEndian;
    tiff.PutBytes(std::span<const uint8_t>(Text(big ? "MM" : "II", false)));
    tiff.Put16(42);
    tiff.Put32(options.directoryOffset.value_or(8));

    const uint16_t entries = options.orientation ? 3 : 2;
    const Bytes make = Text("Camera", true);
    // Header, count, entries, next-directory link; then the values that do
    // not fit in an entry.
    const uint32_t makeAt = 8 + 2 + 12 * entries + 4;
    const auto resolutionAt = static_cast<uint32_t>(makeAt + make.size());
    tiff.Put16(entries);
    tiff.PutOffsetEntry(0x010F, TypeAscii, static_cast<uint32_t>(make.size()), makeAt);
    if (options.orientation) tiff.PutShortEntry(0x0112, options.orientationType, *options.orientation);
    tiff.PutOffsetEntry(0x011A, TypeRational, 1, resolutionAt);
    tiff.Put32(0);  // no second directory
    tiff.PutBytes(make);
    tiff.Put32(72);
    tiff.Put32(1);
    return tiff.Take();
}

Bytes JpegWithExifSegment(const Bytes& jpeg, std::span<const uint8_t> block, ExifSegmentPlace place)
{
    if (jpeg.size() < 2 || jpeg[0] != 0xFF || jpeg[1] != 0xD8)
        throw std::invalid_argument("JpegWithExifSegment: the stream does not start with SOI");
    Bytes payload = Text("Exif", true);
    payload.push_back(0);
    Append(payload, block);
    const Bytes exif = Segment(0xE1, payload);

    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    const std::span<const uint8_t> rest(jpeg.data() + 2, jpeg.size() - 2);
    if (place == ExifSegmentPlace::First) {
        Append(out, exif);
        Append(out, rest);
        return out;
    }
    // After SOI, the JFIF header: APP0.
    if (jpeg.size() < 6 || jpeg[2] != 0xFF || jpeg[3] != 0xE0)
        throw std::invalid_argument("JpegWithExifSegment: the stream has no JFIF header after SOI");
    const size_t afterJfif = 4 + (size_t{jpeg[4]} << 8 | jpeg[5]);
    if (afterJfif > jpeg.size()) throw std::invalid_argument("JpegWithExifSegment: the JFIF header is cut off");
    Append(out, rest.first(afterJfif - 2));
    Bytes xmpPayload = Text("http://ns.adobe.com/xap/1.0/", true);
    const Bytes xmpPacket = Text("<x:xmpmeta/>", false);
    Append(xmpPayload, xmpPacket);
    const Bytes xmp = Segment(0xE1, xmpPayload);
    const Bytes other = Segment(0xE2, Text("ICC_PROFILE", true));
    for (const Bytes* segment : {&xmp, &other, &exif}) Append(out, *segment);
    Append(out, rest.subspan(afterJfif - 2));
    return out;
}

std::vector<OrientationCase> JpegOrientationCases(const Bytes& plainJpeg)
{
    std::vector<OrientationCase> cases;
    for (const TiffByteOrder order : {TiffByteOrder::LittleEndian, TiffByteOrder::BigEndian}) {
        const std::string prefix = order == TiffByteOrder::LittleEndian ? "little-endian " : "big-endian ";
        for (uint16_t value = 1; value <= 8; ++value)
            cases.push_back({prefix + std::to_string(value),
                             JpegWithExifSegment(plainJpeg, MakeExifBlock(ExifOptions(order, value))), value});
        cases.push_back({prefix + "0 reads as upright", JpegWithExifSegment(plainJpeg, MakeExifBlock(ExifOptions(order, 0))), 1});
        cases.push_back({prefix + "9 reads as upright", JpegWithExifSegment(plainJpeg, MakeExifBlock(ExifOptions(order, 9))), 1});
        cases.push_back({prefix + "after JFIF, XMP and APP2",
                         JpegWithExifSegment(plainJpeg, MakeExifBlock(ExifOptions(order, 6)), ExifSegmentPlace::AfterOtherSegments),
                         6});
    }
    {
        // Any number of 0xFF may stand before a marker.
        Bytes filled = JpegWithExifSegment(plainJpeg, MakeExifBlock(ExifOptions(TiffByteOrder::LittleEndian, 7)));
        filled.insert(filled.begin() + 2, {0xFF, 0xFF});
        cases.push_back({"fill bytes before the Exif marker", filled, 7});
    }
    cases.push_back({"no Exif segment", plainJpeg, 1});
    cases.push_back({"no orientation entry", JpegWithExifSegment(plainJpeg, MakeExifBlock(ExifOptions(TiffByteOrder::LittleEndian, std::nullopt))), 1});
    {
        ExifBlockOptions asLong = ExifOptions(TiffByteOrder::LittleEndian, 6);
        asLong.orientationType = 4;
        cases.push_back({"orientation of type LONG", JpegWithExifSegment(plainJpeg, MakeExifBlock(asLong)), 1});
    }
    {
        ExifBlockOptions outside = ExifOptions(TiffByteOrder::LittleEndian, 6);
        outside.directoryOffset = 4000;
        cases.push_back({"directory offset outside the block", JpegWithExifSegment(plainJpeg, MakeExifBlock(outside)), 1});
    }
    {
        ExifBlockOptions nearEnd = ExifOptions(TiffByteOrder::LittleEndian, 6);
        nearEnd.directoryOffset = static_cast<uint32_t>(MakeExifBlock(nearEnd).size() - 4);
        cases.push_back({"directory whose entries run past the block", JpegWithExifSegment(plainJpeg, MakeExifBlock(nearEnd)),
                         1});
    }
    {
        // The segment is whole, the block in it is cut inside the
        // orientation entry.
        Bytes block = MakeExifBlock(ExifOptions(TiffByteOrder::LittleEndian, 6));
        block.resize(8 + 2 + 12 + 6);
        cases.push_back({"block cut inside the orientation entry", JpegWithExifSegment(plainJpeg, block), 1});
    }
    {
        // The stream ends inside the segment, which claims more bytes.
        Bytes cut = JpegWithExifSegment(plainJpeg, MakeExifBlock(ExifOptions(TiffByteOrder::LittleEndian, 6)));
        cut.resize(2 + 4 + 6 + 20);
        cases.push_back({"stream ends inside the Exif segment", cut, 1});
    }
    {
        Bytes block = MakeExifBlock(ExifOptions(TiffByteOrder::LittleEndian, 6));
        block[0] = 'X';
        cases.push_back({"unknown byte order", JpegWithExifSegment(plainJpeg, block), 1});
    }
    {
        // The segment with 8 goes in front of the one with 3.
        const Bytes later = JpegWithExifSegment(plainJpeg, MakeExifBlock(ExifOptions(TiffByteOrder::LittleEndian, 3)));
        cases.push_back({"two Exif segments: the first counts", JpegWithExifSegment(later, MakeExifBlock(ExifOptions(TiffByteOrder::LittleEndian, 8))),
                         8});
    }
    {
        Bytes notJpeg = JpegWithExifSegment(plainJpeg, MakeExifBlock(ExifOptions(TiffByteOrder::LittleEndian, 6)));
        notJpeg[1] = 0xD9;
        cases.push_back({"no SOI marker", notJpeg, 1});
    }
    return cases;
}

std::vector<OrientationCase> ExifBlockOrientationCases()
{
    std::vector<OrientationCase> cases;
    for (const TiffByteOrder order : {TiffByteOrder::LittleEndian, TiffByteOrder::BigEndian}) {
        const std::string prefix = order == TiffByteOrder::LittleEndian ? "little-endian " : "big-endian ";
        for (uint16_t value = 1; value <= 8; ++value)
            cases.push_back({prefix + std::to_string(value), MakeExifBlock(ExifOptions(order, value)), value});
        cases.push_back({prefix + "9 reads as upright", MakeExifBlock(ExifOptions(order, 9)), 1});
    }
    cases.push_back({"empty", {}, 1});
    {
        Bytes headerOnly = MakeExifBlock(ExifOptions(TiffByteOrder::LittleEndian, 1));
        headerOnly.resize(8);
        cases.push_back({"header only", headerOnly, 1});
    }
    cases.push_back({"no orientation entry", MakeExifBlock(ExifOptions(TiffByteOrder::LittleEndian, std::nullopt)), 1});
    {
        ExifBlockOptions outside = ExifOptions(TiffByteOrder::BigEndian, 5);
        outside.directoryOffset = 0xFFFFFFF0;
        cases.push_back({"directory offset outside the block", MakeExifBlock(outside), 1});
    }
    {
        Bytes block = MakeExifBlock(ExifOptions(TiffByteOrder::LittleEndian, 5));
        block.resize(8 + 2 + 12 + 10);
        cases.push_back({"cut inside the orientation entry", block, 1});
    }
    {
        // A PNG eXIf chunk holds the block without the JPEG segment's header.
        Bytes withHeader = Text("Exif", true);
        withHeader.push_back(0);
        const Bytes block = MakeExifBlock(ExifOptions(TiffByteOrder::LittleEndian, 5));
        Append(withHeader, block);
        cases.push_back({"block behind an Exif header", withHeader, 1});
    }
    return cases;
}
