// Which picture kinds a file is and a build reads: signatures by content,
// the one extension list that folders and manifests go by, and the
// manifest's file-name check for the kinds beyond PNG and JPEG.

#include "tools/authoring/Manifest.h"
#include "tools/authoring/PhotoFolder.h"
#include "tools/authoring/PictureSource.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace {

using ::testing::HasSubstr;
using Bytes = std::vector<uint8_t>;
using namespace std::string_view_literals;

#if KAMISHIBAI_HAVE_WEBP
constexpr bool ReadsWebp = true;
#else
constexpr bool ReadsWebp = false;
#endif
#if KAMISHIBAI_HAVE_HEIF
constexpr bool ReadsHeif = true;
#else
constexpr bool ReadsHeif = false;
#endif

Bytes Text(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

// An ftyp box of the given size field holding the major brand and the
// compatible ones.
Bytes Ftyp(uint32_t size, std::string_view major, std::vector<std::string_view> compatible)
{
    Bytes box = {static_cast<uint8_t>(size >> 24), static_cast<uint8_t>(size >> 16), static_cast<uint8_t>(size >> 8),
                 static_cast<uint8_t>(size), 'f', 't', 'y', 'p'};
    box.insert(box.end(), major.begin(), major.end());
    box.insert(box.end(), 4, 0);  // minor version
    for (const std::string_view brand : compatible) box.insert(box.end(), brand.begin(), brand.end());
    return box;
}

Bytes CutTo(Bytes bytes, size_t size)
{
    bytes.resize(size);
    return bytes;
}

TEST(PictureKind, IsToldByTheFirstBytes)
{
    struct Case {
        const char* what;
        Bytes bytes;
        PictureFileKind kind;
    };
    const Case cases[] = {
        {"PNG", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, PictureFileKind::Png},
        {"JPEG", {0xFF, 0xD8, 0xFF, 0xE0}, PictureFileKind::Jpeg},
        {"WebP", Text("RIFF\x10\0\0\0WEBPVP8 "sv), PictureFileKind::Webp},
        {"RIFF WAVE", Text("RIFF\x10\0\0\0WAVEfmt "sv), PictureFileKind::Unknown},
        {"RIFF cut before its form", Text("RIFF\x10\0\0\0WEB"sv), PictureFileKind::Unknown},
        {"HEIC major brand", Ftyp(24, "heic", {"mif1", "heic"}), PictureFileKind::Heif},
        {"HEIF sequence", Ftyp(20, "msf1", {"hevc"}), PictureFileKind::Heif},
        {"generic major, heix compatible", Ftyp(24, "isom", {"iso2", "heix"}), PictureFileKind::Heif},
        {"AVIF with mif1 compatible", Ftyp(24, "avif", {"avif", "mif1"}), PictureFileKind::Heif},
        {"MP4 video", Ftyp(24, "isom", {"iso2", "mp41"}), PictureFileKind::Unknown},
        {"QuickTime", Ftyp(20, "qt  ", {"qt  "}), PictureFileKind::Unknown},
        // The box says 24 bytes but the file ends after the first brand: the
        // brands at hand decide, and nothing past the bytes is read.
        {"ftyp box cut short", CutTo(Ftyp(24, "isom", {"mif1"}), 18), PictureFileKind::Unknown},
        // A brand after the box's own end belongs to the next box.
        {"brand beyond the box", Ftyp(16, "isom", {"heic"}), PictureFileKind::Unknown},
        {"box size below its header", Ftyp(8, "heic", {}), PictureFileKind::Unknown},
        {"empty", {}, PictureFileKind::Unknown},
        {"text", Text("hello"), PictureFileKind::Unknown},
    };
    for (const Case& c : cases) EXPECT_EQ(PictureFileKindOf(c.bytes), c.kind) << c.what;
}

std::vector<std::string_view> ExpectedExtensions()
{
    std::vector<std::string_view> expected = {".jpg", ".jpeg", ".png"};
#if KAMISHIBAI_HAVE_WEBP
    expected.push_back(".webp");
#endif
#if KAMISHIBAI_HAVE_HEIF
    expected.push_back(".heic");
    expected.push_back(".heif");
#endif
    return expected;
}

TEST(PictureKind, FoldersTakeTheExtensionsOfTheKindsThisBuildReads)
{
    const std::span<const std::string_view> extensions = PictureFileExtensions();
    EXPECT_EQ(std::vector<std::string_view>(extensions.begin(), extensions.end()), ExpectedExtensions());
    const std::span<const std::string_view> folder = PhotoFileExtensions();
    EXPECT_TRUE(std::equal(folder.begin(), folder.end(), extensions.begin(), extensions.end()));
    EXPECT_EQ(HasExtensionAmong("IMG_0001.HEIC", PhotoFileExtensions()), ReadsHeif);
    EXPECT_EQ(HasExtensionAmong("photo.WebP", PhotoFileExtensions()), ReadsWebp);
}

TEST(PictureKind, OtherBytesAreRefusedNamingWhatThisBuildReads)
{
    try {
        DecodePictureSource(Text("GIF89a"));
        ADD_FAILURE() << "accepted";
    } catch (const PictureSourceError& error) {
        std::string list;
        for (const std::string_view extension : ExpectedExtensions())
            list += (list.empty() ? "" : ", ") + std::string(extension);
        EXPECT_EQ(std::string(error.what()), "not a picture file of a kind this build reads (" + list + ")");
    }
}

#if KAMISHIBAI_HAVE_WEBP && KAMISHIBAI_HAVE_HEIF

TEST(PictureKind, ManifestsTakeWebpAndHeifForEveryStorageThatDecodes)
{
    for (const char* name : {"a.webp", "b.HEIC", "c.heif"}) {
        SCOPED_TRACE(name);
        const std::string table = std::string("[[picture]]\nid = 1\nfile = \"") + name + "\"\n";
        EXPECT_EQ(ParseManifest(table, "m.toml").pictures.at(0).storage, PictureStorage::Zlib);
        EXPECT_TRUE(ParseManifest(table + "storage = \"photo\"\n", "m.toml").pictures.at(0).photo);
        EXPECT_EQ(ParseManifest(table + "storage = \"lzss\"\ndepth = 8\n", "m.toml").pictures.at(0).depth, 8);
        try {
            ParseManifest(table + "storage = \"jpeg\"\n", "m.toml");
            ADD_FAILURE() << "storage jpeg accepted";
        } catch (const ManifestError& error) {
            EXPECT_THAT(error.Message(), HasSubstr("keeps a JPEG file's stream: it needs a .jpg or .jpeg file"));
        }
    }
    try {
        ParseManifest("[[picture]]\nid = 1\nfile = \"a.gif\"\n", "m.toml");
        ADD_FAILURE() << "a.gif accepted";
    } catch (const ManifestError& error) {
        EXPECT_EQ(error.Message(), "picture.file must name a PNG (.png), JPEG (.jpg, .jpeg), WebP (.webp) or HEIF "
                                   "(.heic, .heif) file, not \"a.gif\"");
    }
}

#endif

}  // namespace
