// scrtool picture ARCHIVE ID OUT [--place WxH [--area WxH]] [--format F]:
// a picture entry as the loader makes it, or as the viewer places it on its
// screen, written to a PNG or PAM file or to standard output.

#include "tools/scrtool/ToolSupport.h"

#include "imaging/DirectBmpControl.h"
#include "imaging/PictureLoader.h"
#include "imaging/PlacePicture.h"
#include "tools/authoring/ArchiveVerifier.h"
#include "tools/scrtool/ImageOutput.h"

#include <optional>

namespace {

int RunPicture(const ToolArguments& arguments)
{
    const std::string& archivePath = arguments.positional[0];
    const std::optional<uint32_t> id = ParseId(arguments.positional[1]);
    if (!id)
        return ReportUsage("picture",
                           "ID must be a decimal number from 0 to 4294967295, got '" + arguments.positional[1] + "'");

    std::optional<ToolSize> place;
    std::optional<ToolSize> area;
    std::optional<std::string> format;
    for (const auto& [option, value] : arguments.options) {
        if (option == "--format") {
            format = value;
            continue;
        }
        std::optional<ToolSize>& target = option == "--place" ? place : area;
        target = ParseToolSize(value);
        if (!target) return ReportBadOption("picture", option, ToolSizeWanted(), value);
    }
    if (area && !place) return ReportUsage("picture", "option '--area' needs '--place'");
    if (area && (area->width > place->width || area->height > place->height))
        return ReportUsage("picture", "the area " + ToolSizeText(*area) + " must fit in the screen " + ToolSizeText(*place));
    ImageOutput output;
    if (const int status = ResolveImageOutput("picture", arguments.positional[2], format, output); status != ExitSuccess)
        return status;

    ResArchive archive;
    if (!OpenToolArchive(archive, archivePath)) return ExitFailure;
    const std::string pictureName = "picture " + std::to_string(*id);
    const std::optional<ResEntryLocation> found = FindToolEntry(archive, archivePath, ResTagPicture, *id, "picture");
    if (!found) return ExitFailure;
    const PictureLocator locator{found->group, found->entry};

    DirectBmpControl picture;
    uint8_t headerBytes[PictureHeaderSize];
    if (LoadPicture(archive, locator, picture, PictureDepth::AsStored, PictureParts::HeaderOnly, headerBytes)) {
        const PictureHeader header = PictureHeader::Parse(headerBytes);
        if (!PictureWithinMemoryLimit(header.width, header.height)) {
            ReportError(archivePath + ": " + PictureTooLargeReason(*id, header.width, header.height));
            return ExitFailure;
        }
    }
    if (!place) {
        if (!LoadPicture(archive, locator, picture, PictureDepth::Force32, PictureParts::Whole, nullptr)) {
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
    return WriteImageOutput(output, picture) ? ExitSuccess : ExitFailure;
}

const ToolCommandRegistration Registration({
    .name = "picture",
    .summary = "write a picture, as loaded or as placed, to a PNG or PAM file",
    .usage = "scrtool picture ARCHIVE ID OUT [--place WxH [--area WxH]]\n"
             "                       [--format png|pam]",
    .help = "Loads picture ID (the entry ID of the group SGBm) and writes it to the file\n"
            "OUT, as PNG or PAM by OUT's extension (.png or .pam) or by --format.\n"
            "OUT '-' is standard output (PNG unless --format says pam); a picture is\n"
            "never written to a terminal.\n"
            "\n"
            "Without --place the picture is written at its own size, as the loader\n"
            "makes it into a 32-bit buffer. With --place WxH it is placed as the screen\n"
            "saver shows it on a screen of W x H pixels: scaled, up or down, keeping its\n"
            "aspect ratio, until it touches the picture area in one dimension, and\n"
            "centred on the screen, on black. --area WxH sets the picture area (from\n"
            "the screen's top left corner, at most the screen's size); without it the\n"
            "area is the whole screen. W and H are 1 to 16384.\n"
            "\n"
            "  --place WxH       place the picture on a W x H screen\n"
            "  --area WxH        the picture area on that screen\n"
            "  --format png|pam  the format, for standard output or an OUT whose name\n"
            "                    ends in neither .png nor .pam\n"
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
            "A file OUT is written to a temporary file beside it that replaces it only\n"
            "when complete; on failure OUT is left as it was.\n"
            "\n"
            "ARCHIVE is a side file or a program with an archive appended to it; a\n"
            "bare file name is looked up in the current directory.\n",
    .argumentCount = 3,
    .options = {{"--place", ToolOptionKind::Value},
                {"--area", ToolOptionKind::Value},
                {"--format", ToolOptionKind::Value}},
    .run = RunPicture,
});

}  // namespace
