// scrtool picture ARCHIVE ID OUT [--place WxH [--area WxH]]: a picture
// entry as the loader makes it, or as the viewer places it on its screen,
// written to a PNG or PAM file.

#include "tools/scrtool/ToolSupport.h"

#include "imaging/DirectBmpControl.h"
#include "imaging/PictureLoader.h"
#include "imaging/PlacePicture.h"
#include "tools/authoring/ArchiveVerifier.h"
#include "tools/authoring/ImageFileWriter.h"

#include <optional>

const char* const PictureHelp =
    "usage: scrtool picture ARCHIVE ID OUT [--place WxH [--area WxH]]\n"
    "\n"
    "Loads picture ID (the entry ID of the group SGBm) and writes it to the file\n"
    "OUT, as PNG or PAM by OUT's extension (.png or .pam).\n"
    "\n"
    "Without --place the picture is written at its own size, as the loader\n"
    "makes it into a 32-bit buffer. With --place WxH it is placed as the screen\n"
    "saver shows it on a screen of W x H pixels: scaled, up or down, keeping its\n"
    "aspect ratio, until it touches the picture area in one dimension, and\n"
    "centred on the screen, on black. --area WxH sets the picture area (from\n"
    "the screen's top left corner, at most the screen's size); without it the\n"
    "area is the whole screen. W and H are 1 to 16384.\n"
    "\n"
    "A picture that would take more than 256 MB as 32 bits (width x height x 4\n"
    "bytes) is refused, as the screen saver refuses it.\n"
    "\n"
    "PAM (TUPLTYPE RGB_ALPHA) holds each pixel's red, green, blue and alpha\n"
    "exactly as the buffer holds them: the form for comparing results byte for\n"
    "byte. PNG is for looking at and is RGB without alpha, because pictures\n"
    "loaded from JPEG and placed pictures carry alpha 0, which would make them\n"
    "invisible in most viewers.\n"
    "\n"
    "OUT is written to a temporary file beside it that replaces it only when\n"
    "complete; on failure OUT is left as it was.\n"
    "\n"
    "ARCHIVE is a side file or a program with an archive appended to it; a\n"
    "bare file name is looked up in the current directory.\n";

const char* const PictureOptions[] = {"--place", "--area", nullptr};

int RunPicture(const std::vector<std::string>& arguments)
{
    const std::string& archivePath = arguments[0];
    const std::optional<uint32_t> id = ParseId(arguments[1]);
    if (!id) return ReportUsage("picture", "ID must be a decimal number from 0 to 4294967295, got '" + arguments[1] + "'");
    const std::string& outPath = arguments[2];
    const std::optional<ImageFileFormat> format = ImageFileFormatFor(outPath);
    if (!format) return ReportUsage("picture", "OUT must end in .png or .pam, got '" + outPath + "'");

    std::optional<ToolSize> place;
    std::optional<ToolSize> area;
    for (size_t i = 3; i + 1 < arguments.size(); i += 2) {
        const std::string& option = arguments[i];
        std::optional<ToolSize>& target = option == "--place" ? place : area;
        if (target) return ReportUsage("picture", "option '" + option + "' given twice");
        target = ParseToolSize(arguments[i + 1]);
        if (!target)
            return ReportUsage("picture", "option '" + option + "' needs WxH with W and H from 1 to " +
                                              std::to_string(MaximumBufferDimension) + ", got '" + arguments[i + 1] + "'");
    }
    if (area && !place) return ReportUsage("picture", "option '--area' needs '--place'");
    if (area && (area->width > place->width || area->height > place->height))
        return ReportUsage("picture", "the area " + ToolSizeText(*area) + " must fit in the screen " + ToolSizeText(*place));

    ResArchive archive;
    if (!OpenToolArchive(archive, archivePath)) return ExitFailure;
    const std::string pictureName = "picture " + std::to_string(*id);

    const int64_t group = ResFindGroup(archive, ResTagPicture);
    const int64_t entry = group >= 0 ? ResFindEntry(archive, group, *id) : group;
    if (entry == ResStatusNotFound) {
        ReportError(archivePath + ": no " + pictureName);
        return ExitFailure;
    }
    if (entry < 0) {
        const int errorNumber = ResErrorNumber(entry);
        const char* meaning = ResErrorMeaning(errorNumber);
        ReportError(archivePath + ": cannot find " + pictureName + ": error " + std::to_string(errorNumber) + " (" +
                    (meaning ? meaning : "unknown error") + ")");
        return ExitFailure;
    }

    DirectBmpControl picture;
    uint8_t headerBytes[PictureHeaderSize];
    if (LoadPicture(archive, PictureLocator{group, entry}, picture, PictureDepth::AsStored, PictureParts::HeaderOnly,
                    headerBytes)) {
        const PictureHeader header = PictureHeader::Parse(headerBytes);
        if (!PictureWithinMemoryLimit(header.width, header.height)) {
            ReportError(archivePath + ": " + PictureTooLargeReason(*id, header.width, header.height));
            return ExitFailure;
        }
    }
    if (!place) {
        if (!LoadPicture(archive, PictureLocator{group, entry}, picture, PictureDepth::Force32, PictureParts::Whole,
                         nullptr)) {
            ReportError(archivePath + ": cannot load " + pictureName);
            return ExitFailure;
        }
    } else {
        if (!picture.Allocate(place->width, place->height, TPixelFormat::Bits32)) {
            ReportError("cannot allocate a screen of " + ToolSizeText(*place) + " pixels");
            return ExitFailure;
        }
        const ToolSize areaSize = area.value_or(*place);
        PlacementTarget target;
        target.nextBuffer = &picture;
        target.pictureArea = TRect{0, 0, areaSize.width, areaSize.height};
        target.screenRect = TRect{0, 0, place->width, place->height};
        target.windowColour = 0;  // black, the viewer window's colour
        if (!PlacePicture(archive, *id, PlaceMode::Load, target)) {
            ReportError(archivePath + ": cannot load " + pictureName);
            return ExitFailure;
        }
    }

    try {
        WriteImageFile(outPath, picture, *format);
    } catch (const ImageFileError& error) {
        ReportError(error.what());
        return ExitFailure;
    }
    return ExitSuccess;
}
