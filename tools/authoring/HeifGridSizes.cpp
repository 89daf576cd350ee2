#include "tools/authoring/HeifGridSizes.h"

#include "tools/authoring/PictureSource.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <string>

namespace {

[[noreturn]] void Damaged(const std::string& what)
{
    throw PictureSourceError("HEIF data is damaged or truncated (" + what + ")");
}

// Big-endian reads within one box's payload; every read checks its bounds.
class BoxReader {
public:
    BoxReader(std::span<const uint8_t> bytes, const char* box) : bytes_(bytes), box_(box) {}

    uint64_t Read(size_t size)
    {
        if (size > bytes_.size() - position_) Damaged(std::string("the ") + box_ + " box ends early");
        uint64_t value = 0;
        for (size_t i = 0; i < size; ++i) value = value << 8 | bytes_[position_ + i];
        position_ += size;
        return value;
    }
    uint32_t U8() { return static_cast<uint32_t>(Read(1)); }
    uint32_t U16() { return static_cast<uint32_t>(Read(2)); }
    uint32_t U32() { return static_cast<uint32_t>(Read(4)); }
    void Skip(size_t size)
    {
        if (size > bytes_.size() - position_) Damaged(std::string("the ") + box_ + " box ends early");
        position_ += size;
    }
    std::span<const uint8_t> Rest() const { return bytes_.subspan(position_); }

private:

    std::span<const uint8_t> bytes_;
    const char* box_;
    size_t position_ = 0;
};

struct Box {
    char type[5] = {};
    std::span<const uint8_t> payload;
};

// The boxes in `bytes`, one after another; a box whose size runs past them
// is damaged.
std::vector<Box> Boxes(std::span<const uint8_t> bytes, const char* within)
{
    std::vector<Box> boxes;
    size_t position = 0;
    while (position < bytes.size()) {
        BoxReader header(bytes.subspan(position), within);
        uint64_t size = header.U32();
        Box box;
        const uint32_t type = header.U32();
        for (int i = 0; i < 4; ++i) box.type[i] = static_cast<char>(type >> (24 - 8 * i));
        size_t headerSize = 8;
        if (size == 1) {
            size = header.Read(8);
            headerSize = 16;
        } else if (size == 0) {
            size = bytes.size() - position;  // to the end
        }
        if (size < headerSize || size > bytes.size() - position)
            Damaged(std::string("the size of a ") + box.type + " box in " + within);
        box.payload = bytes.subspan(position + headerSize, static_cast<size_t>(size) - headerSize);
        boxes.push_back(box);
        position += static_cast<size_t>(size);
    }
    return boxes;
}

const Box* Find(const std::vector<Box>& boxes, const char* type)
{
    for (const Box& box : boxes)
        if (std::memcmp(box.type, type, 4) == 0) return &box;
    return nullptr;
}

// The ids of the items of type "grid" (infe boxes of version 2 and 3; the
// older ones have no type).
std::vector<uint32_t> GridItems(const Box& iinf)
{
    BoxReader reader(iinf.payload, "iinf");
    const uint32_t version = reader.U8();
    reader.Skip(3);
    reader.Skip(version == 0 ? 2 : 4);  // the entry count: the boxes that follow are what counts
    std::vector<uint32_t> grids;
    for (const Box& infe : Boxes(reader.Rest(), "iinf")) {
        if (std::memcmp(infe.type, "infe", 4) != 0) continue;
        BoxReader entry(infe.payload, "infe");
        const uint32_t entryVersion = entry.U8();
        entry.Skip(3);
        if (entryVersion < 2) continue;
        const uint32_t id = entryVersion == 2 ? entry.U16() : entry.U32();
        entry.Skip(2);  // protection index
        if (entry.U32() == 0x67726964) grids.push_back(id);  // "grid"
    }
    return grids;
}

struct ItemLocation {
    uint32_t constructionMethod = 0;  // 0: offsets in the file, 1: in idat, 2: in other items
    uint64_t baseOffset = 0;
    std::vector<std::pair<uint64_t, uint64_t>> extents;  // offset, length (0: to the end)
};

std::map<uint32_t, ItemLocation> ItemLocations(const Box& iloc)
{
    BoxReader reader(iloc.payload, "iloc");
    const uint32_t version = reader.U8();
    if (version > 2) Damaged("iloc version " + std::to_string(version));
    reader.Skip(3);
    const uint32_t sizes = reader.U16();
    const size_t offsetSize = sizes >> 12, lengthSize = sizes >> 8 & 15, baseOffsetSize = sizes >> 4 & 15;
    const size_t indexSize = version == 0 ? 0 : sizes & 15;
    for (const size_t size : {offsetSize, lengthSize, baseOffsetSize, indexSize})
        if (size != 0 && size != 4 && size != 8) Damaged("iloc field size " + std::to_string(size));
    const uint32_t count = version < 2 ? reader.U16() : reader.U32();
    std::map<uint32_t, ItemLocation> locations;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t id = version < 2 ? reader.U16() : reader.U32();
        ItemLocation location;
        if (version >= 1) location.constructionMethod = reader.U16() & 15;
        reader.Skip(2);  // data reference index
        location.baseOffset = reader.Read(baseOffsetSize);
        const uint32_t extentCount = reader.U16();
        for (uint32_t e = 0; e < extentCount; ++e) {
            reader.Skip(indexSize);
            const uint64_t offset = reader.Read(offsetSize);
            location.extents.emplace_back(offset, reader.Read(lengthSize));
        }
        locations[id] = std::move(location);
    }
    return locations;
}

// The first `wanted` bytes of an item's data, gathered over its extents.
std::vector<uint8_t> ItemStart(const ItemLocation& location, std::span<const uint8_t> file,
                               std::span<const uint8_t> idat, size_t wanted)
{
    if (location.constructionMethod > 1) throw PictureSourceError("the HEIF file keeps a grid in a form that cannot be read");
    const std::span<const uint8_t> source = location.constructionMethod == 0 ? file : idat;
    std::vector<uint8_t> data;
    for (const auto& [offset, length] : location.extents) {
        if (data.size() >= wanted) break;
        const uint64_t start = location.baseOffset + offset;
        if (start < location.baseOffset || start > source.size()) Damaged("a grid's data lies outside the file");
        const uint64_t available = source.size() - start;
        const uint64_t take = std::min<uint64_t>({length == 0 ? available : length, available, wanted - data.size()});
        data.insert(data.end(), source.begin() + static_cast<ptrdiff_t>(start),
                    source.begin() + static_cast<ptrdiff_t>(start + take));
    }
    return data;
}

}  // namespace

std::vector<HeifGridSize> HeifGridSizes(std::span<const uint8_t> file)
{
    const std::vector<Box> top = Boxes(file, "the file");
    const Box* meta = Find(top, "meta");
    if (meta == nullptr) return {};
    BoxReader metaReader(meta->payload, "meta");
    metaReader.Skip(4);  // version and flags
    const std::vector<Box> children = Boxes(metaReader.Rest(), "meta");
    const Box* iinf = Find(children, "iinf");
    if (iinf == nullptr) return {};
    const std::vector<uint32_t> grids = GridItems(*iinf);
    if (grids.empty()) return {};
    const Box* iloc = Find(children, "iloc");
    if (iloc == nullptr) Damaged("grid items without an iloc box");
    const std::map<uint32_t, ItemLocation> locations = ItemLocations(*iloc);
    const Box* idat = Find(children, "idat");

    std::vector<HeifGridSize> sizes;
    for (const uint32_t id : grids) {
        const auto location = locations.find(id);
        if (location == locations.end()) Damaged("a grid item without a location");
        // version, flags (bit 0: 32-bit sizes), rows − 1, columns − 1, then
        // the output width and height.
        const std::vector<uint8_t> data =
            ItemStart(location->second, file, idat != nullptr ? idat->payload : std::span<const uint8_t>(), 12);
        BoxReader grid(data, "grid");
        grid.Skip(1);
        const bool wide = (grid.U8() & 1) != 0;
        grid.Skip(2);
        HeifGridSize size;
        size.width = wide ? grid.U32() : grid.U16();
        size.height = wide ? grid.U32() : grid.U16();
        sizes.push_back(size);
    }
    return sizes;
}
