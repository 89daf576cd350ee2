#include "settings/SSInfoLoader.h"

#include "imaging/DirectBmpControl.h"
#include "imaging/PictureLoader.h"
#include "ZULResourceUtilLib/ResArchive.h"

#include <exception>

namespace {

bool OpenArchive(const PreferenceEnvironment& environment, ResArchive& archive)
{
    if (!environment.programFile.empty()) {
        std::unique_ptr<ReadOnlyFile> file = OpenReadOnlyShared(environment.programFile);
        if (file && ResOpenFile(archive, std::move(file), environment.programFile, ResEmbedding::ProgramFile, 0,
                                ResArchiveKind) == ResErrorNone)
            return true;
    }
    // A bare name would be taken from the real program's folder; only a
    // known folder is looked in.
    if (environment.programFolder.empty()) return false;
    return ResOpen(archive, environment.programFolder / SideArchiveFileName, 0, ResArchiveKind) == ResErrorNone;
}

bool LoadInformationEntry(ResArchive& archive, SSInfoBlock& info)
{
    const ResEntryLocation found = ResLocateEntry(archive, ResTagInformation, SSInfoEntryId);
    if (!found.Found()) return false;
    uint8_t bytes[SSInfoSize];
    const int64_t read = ResReadAt(archive, found.group, found.entry, 0, bytes, SSInfoSize);
    if (read < 0) return false;
    info.Fill(std::span(bytes, static_cast<size_t>(read)));
    return true;
}

// The loader widens rows to 32 bits except zlib-stored ones, which it
// inflates as they are stored; those are loaded at their own depth and
// widened by the copy into the target, which knows 8 and 24 bits.
PictureDepth DepthForAboutPicture(const PictureHeader& header)
{
    constexpr uint8_t zlibStorage = 2;
    return header.storageKind == zlibStorage ? PictureDepth::AsStored : PictureDepth::Force32;
}

bool DrawAboutPicture(ResArchive& archive, uint32_t pictureId, AboutPictureTarget& target)
{
    const ResEntryLocation found = ResLocateEntry(archive, ResTagPicture, pictureId);
    if (!found.Found()) return false;
    const PictureLocator locator{found.group, found.entry};
    DirectBmpControl picture;
    uint8_t headerBytes[PictureHeaderSize];
    if (!LoadPicture(archive, locator, picture, PictureDepth::AsStored, PictureParts::HeaderOnly, headerBytes))
        return false;
    if (!LoadPicture(archive, locator, picture, DepthForAboutPicture(PictureHeader::Parse(headerBytes)),
                     PictureParts::Whole, nullptr))
        return false;
    if (picture.BitsPerPixel != 8 && picture.BitsPerPixel != 24 && picture.BitsPerPixel != 32) return false;

    TBitmap* bitmap = target.Resize(picture.Width, picture.Height);
    if (bitmap == nullptr) return false;
    DirectBmpControl view;
    if (!view.AttachBitmap(bitmap, 0, bitmap->Height() - 1)) return false;
    Copy(view, picture.Bounds, picture, picture.Bounds);
    return true;
}

}  // namespace

void RefreshSSInfo(const PreferenceEnvironment& environment, SSInfoBlock& info, AboutPictureTarget* aboutPicture)
{
    info.Clear();
    try {
        ResArchive archive;
        if (!OpenArchive(environment, archive)) return;
        if (!LoadInformationEntry(archive, info)) return;
        const int32_t pictureId = info.AboutPicture();
        if (aboutPicture == nullptr || pictureId == 0) return;
        // The id's 32 bits name the entry as they are.
        if (!DrawAboutPicture(archive, static_cast<uint32_t>(pictureId), *aboutPicture)) info.SetAboutPicture(0);
    } catch (const std::exception&) {
        // Memory running out while decoding: the lines read so far stay, the
        // picture does not.
        info.SetAboutPicture(0);
    }
}
