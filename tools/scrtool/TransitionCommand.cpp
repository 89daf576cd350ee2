// scrtool transition ARCHIVE --from ID --to ID --effect E --speed S --at MS
//                    --size WxH OUT: one frame of a transition, as the
// screen saver would draw it MS milliseconds after the change began.

#include "tools/scrtool/ToolSupport.h"

#include "tools/authoring/ImageFileWriter.h"
#include "scenario/HeadlessSlideShow.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

extern const char* const TransitionHelp;
extern const char* const TransitionOptions[];

const char* const TransitionHelp =
    "usage: scrtool transition ARCHIVE --from ID --to ID --effect E --speed S\n"
    "                          --at MS --size WxH OUT\n"
    "\n"
    "Draws one frame of the change from picture --from to picture --to on a\n"
    "W x H screen and writes the screen to OUT (.png or .pam, as scrtool\n"
    "picture). The first picture is put on the screen at once; the change\n"
    "starts at time 0 with effect E (0 none, 1 fade, 2 rectangle averaging,\n"
    "3 monochrome fade, 4 sepia fade) at speed S (0 fastest to 4 slowest), and\n"
    "the frame is the one a single step at MS milliseconds draws. From the\n"
    "time the change ends the screen holds the second picture.\n";

const char* const TransitionOptions[] = {"--from", "--to", "--effect", "--speed", "--at", "--size", nullptr};

namespace {

ScenarioRecord ShowRecord(uint32_t pictureId, int16_t speed)
{
    ScenarioRecord record;
    record.Code = ScenarioCode::ShowPicture;
    record.Arg1 = speed;
    record.Values[0] = static_cast<int32_t>(pictureId);
    return record;
}

}  // namespace

int RunTransition(const std::vector<std::string>& arguments)
{
    const std::string& archivePath = arguments[0];
    const std::string& outPath = arguments[1];
    const std::optional<ImageFileFormat> format = ImageFileFormatFor(outPath);
    if (!format) return ReportUsage("transition", "OUT must end in .png or .pam, got '" + outPath + "'");

    std::optional<uint32_t> from, to, at;
    std::optional<int16_t> effect, speed;
    std::optional<ToolSize> size;
    for (size_t i = 2; i + 1 < arguments.size(); i += 2) {
        const std::string& option = arguments[i];
        const std::string& value = arguments[i + 1];
        const auto bad = [&](const std::string& wanted) {
            return ReportUsage("transition", "option '" + option + "' needs " + wanted + ", got '" + value + "'");
        };
        if (option == "--from" || option == "--to") {
            const auto id = ParseId(value);
            if (!id) return bad("a picture id from 0 to 4294967295");
            (option == "--from" ? from : to) = *id;
        } else if (option == "--effect" || option == "--speed") {
            const auto number = ParseDecimal(value, 32767);
            if (!number) return bad("a number from 0 to 32767");
            (option == "--effect" ? effect : speed) = static_cast<int16_t>(*number);
        } else if (option == "--at") {
            const auto ms = ParseDecimal(value, UINT32_MAX);
            if (!ms) return bad("milliseconds from 0 to 4294967295");
            at = static_cast<uint32_t>(*ms);
        } else if (option == "--size") {
            if (!(size = ParseToolSize(value))) return bad("WxH with W and H from 1 to 16384");
        }
    }
    for (const auto& [given, name] : {std::pair{from.has_value(), "--from"}, {to.has_value(), "--to"},
                                      {effect.has_value(), "--effect"}, {speed.has_value(), "--speed"},
                                      {at.has_value(), "--at"}, {size.has_value(), "--size"}}) {
        if (!given) return ReportUsage("transition", std::string("option '") + name + "' is required");
    }

    HeadlessOptions options;
    options.width = size->width;
    options.height = size->height;
    options.soundOff = true;
    options.drawText = false;
    HeadlessSlideShow viewer(options);
    ScenarioPlayer& player = *viewer.player;
    if (!OpenToolArchive(player.PictureArchive, archivePath)) return ExitFailure;
    if (!player.PrepareBuffers()) {
        ReportError("cannot allocate a screen of " + ToolSizeText(*size) + " pixels");
        return ExitFailure;
    }

    const auto show = [&](uint32_t id, int16_t withEffect, int16_t withSpeed) {
        player.Effect = withEffect;
        player.ExecuteRecord(ShowRecord(id, withSpeed));
        return player.LastShowLoaded;
    };
    if (!show(*from, 0, 0)) {
        ReportError(archivePath + ": cannot load picture " + std::to_string(*from));
        return ExitFailure;
    }
    if (!show(*to, *effect, *speed)) {
        ReportError(archivePath + ": cannot load picture " + std::to_string(*to));
        return ExitFailure;
    }
    viewer.clock.Set(*at);
    player.StepRunningTransition();

    try {
        WriteImageFile(outPath, player.ScreenBuffer, *format);
    } catch (const ImageFileError& error) {
        ReportError(error.what());
        return ExitFailure;
    }
    return ExitSuccess;
}
