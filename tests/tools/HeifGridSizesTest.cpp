// HeifGridSizes: grid output sizes read from hand-made meta boxes (data in
// idat or in the file, 16- and 32-bit sizes, every iloc version), damaged
// item tables refused, and a grid that claims more than its file holds
// refused before libheif allocates it.

#if KAMISHIBAI_HAVE_HEIF

#include "tools/authoring/HeifGridSizes.h"
#include "tools/authoring/PictureSource.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

using ::testing::HasSubstr;
using Bytes = std::vector<uint8_t>;

void PutBe(Bytes& out, uint64_t value, size_t size)
{
    for (size_t i = 0; i < size; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * (size - 1 - i))));
}

Bytes MakeBox(std::string_view type, const Bytes& payload)
{
    Bytes box;
    PutBe(box, payload.size() + 8, 4);
    box.insert(box.end(), type.begin(), type.end());
    box.insert(box.end(), payload.begin(), payload.end());
    return box;
}

Bytes FullBox(std::string_view type, uint8_t version, Bytes payload)
{
    payload.insert(payload.begin(), {version, 0, 0, 0});
    return MakeBox(type, payload);
}

Bytes Joined(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes GridData(uint32_t width, uint32_t height, bool wide)
{
    Bytes data = {0, static_cast<uint8_t>(wide ? 1 : 0), 0, 1};  // one row, two columns
    PutBe(data, width, wide ? 4 : 2);
    PutBe(data, height, wide ? 4 : 2);
    return data;
}

struct Layout {
    uint8_t ilocVersion = 1;
    uint8_t infeVersion = 2;
    bool inIdat = true;     // else the grid's data is in an mdat after meta
    bool wide = false;
    uint32_t width = 4032, height = 3024;
    uint32_t extentShift = 0;  // added to the grid's offset
    bool withGrid = true;
};

Bytes HeifFile(const Layout& layout)
{
    const size_t idSize = layout.ilocVersion == 2 ? 4 : 2;
    Bytes entries;
    PutBe(entries, 2, 2);  // entry count
    for (const auto& [id, type] : {std::pair<uint32_t, std::string_view>{1, "hvc1"},
                                   {2, layout.withGrid ? "grid" : "hvc1"}}) {
        Bytes infe;
        PutBe(infe, id, layout.infeVersion == 3 ? 4 : 2);
        PutBe(infe, 0, 2);
        infe.insert(infe.end(), type.begin(), type.end());
        const Bytes box = FullBox("infe", layout.infeVersion, infe);
        entries.insert(entries.end(), box.begin(), box.end());
    }
    const Bytes iinf = FullBox("iinf", 0, entries);
    const Bytes grid = GridData(layout.width, layout.height, layout.wide);

    // iloc with 4-byte offsets and lengths, a 4-byte base offset of 0.
    const auto iloc = [&](uint32_t gridOffset) {
        Bytes payload = {0x44, 0x40};  // offset, length, base offset: 4 bytes; no extent index
        PutBe(payload, 1, layout.ilocVersion == 2 ? 4 : 2);
        PutBe(payload, 2, idSize);
        if (layout.ilocVersion >= 1) PutBe(payload, layout.inIdat ? 1 : 0, 2);
        PutBe(payload, 0, 2);  // data reference
        PutBe(payload, 0, 4);  // base offset
        PutBe(payload, 1, 2);  // one extent
        PutBe(payload, gridOffset + layout.extentShift, 4);
        PutBe(payload, grid.size(), 4);
        return FullBox("iloc", layout.ilocVersion, payload);
    };
    const Bytes ftyp = MakeBox("ftyp", Bytes{'h', 'e', 'i', 'c', 0, 0, 0, 0, 'm', 'i', 'f', '1'});
    if (layout.inIdat) {
        const Bytes meta = FullBox("meta", 0, Joined({iinf, iloc(0), MakeBox("idat", grid)}));
        return Joined({ftyp, meta});
    }
    // The grid's data is the mdat's payload, after ftyp and meta.
    const size_t metaSize = FullBox("meta", 0, Joined({iinf, iloc(0)})).size();
    const Bytes meta = FullBox("meta", 0, Joined({iinf, iloc(static_cast<uint32_t>(ftyp.size() + metaSize + 8))}));
    return Joined({ftyp, meta, MakeBox("mdat", grid)});
}

TEST(HeifGridSizes, ReadsTheOutputSizeWhereverTheGridsDataIs)
{
    struct Case {
        const char* what;
        Layout layout;
        uint32_t width, height;
    };
    const Case cases[] = {
        {"idat, iloc version 1", Layout{}, 4032, 3024},
        {"in the file, iloc version 0", Layout{.ilocVersion = 0, .inIdat = false}, 4032, 3024},
        {"in the file, iloc version 1", Layout{.ilocVersion = 1, .inIdat = false, .width = 640, .height = 480}, 640, 480},
        {"32-bit ids (iloc 2, infe 3)", Layout{.ilocVersion = 2, .infeVersion = 3}, 4032, 3024},
        {"32-bit sizes", Layout{.wide = true, .width = 70000, .height = 3}, 70000, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<HeifGridSize> sizes = HeifGridSizes(HeifFile(c.layout));
        ASSERT_EQ(sizes.size(), 1u);
        EXPECT_EQ(sizes[0].width, c.width);
        EXPECT_EQ(sizes[0].height, c.height);
    }
    EXPECT_TRUE(HeifGridSizes(HeifFile(Layout{.withGrid = false})).empty());
    const Bytes ftypOnly = MakeBox("ftyp", Bytes{'h', 'e', 'i', 'c', 0, 0, 0, 0});
    EXPECT_TRUE(HeifGridSizes(ftypOnly).empty()) << "no meta box: nothing to check here";
}

TEST(HeifGridSizes, DamagedItemTablesAreRefused)
{
    const Bytes good = HeifFile(Layout{});
    Bytes cut = good;
    cut.resize(good.size() - 5);  // inside idat: meta's size runs past the file
    Bytes badSize = good;
    badSize[3] = 4;  // ftyp smaller than its own header
    struct Case {
        const char* what;
        Bytes bytes;
        std::string reason;
    };
    const Case cases[] = {
        {"cut inside meta", cut, "the size of a meta box in the file"},
        {"box size below its header", badSize, "the size of a ftyp box in the file"},
        {"extent past idat", HeifFile(Layout{.extentShift = 1000}), "a grid's data lies outside the file"},
        {"extent overlapping idat's end", HeifFile(Layout{.extentShift = 4}), "the grid box ends early"},
        {"extent past the file", HeifFile(Layout{.inIdat = false, .extentShift = 1u << 30}),
         "a grid's data lies outside the file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            HeifGridSizes(c.bytes);
            ADD_FAILURE() << "accepted";
        } catch (const PictureSourceError& error) {
            EXPECT_THAT(error.what(), HasSubstr(c.reason));
        }
    }
}

}  // namespace

#endif  // KAMISHIBAI_HAVE_HEIF
