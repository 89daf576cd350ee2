// scrtool transition ARCHIVE --from ID --to ID --effect E --speed S --at MS
//                    --size WxH OUT: one frame of a transition, as the
// screen saver would draw it MS milliseconds after the change began.

#include "tools/scrtool/ToolSupport.h"

#include "scenario/HeadlessSlideShow.h"
#include "tools/scrtool/ImageOutput.h"

#include <optional>
#include <string>
#include <vector>

namespace {

ScenarioRecord ShowRecord(uint32_t pictureId, int16_t speed)
{
    ScenarioRecord record;
    record.Code = ScenarioCode::ShowPicture;
    record.Arg1 = speed;
    record.Values[0] = static_cast<int32_t>(pictureId);
    return record;
}

int RunTransition(const ToolArguments& arguments)
{
    const std::string& archivePath = arguments.positional[0];
    std::optional<uint32_t> from, to, at;
    std::optional<int16_t> effect, speed;
    std::optional<ToolSize> size;
    std::optional<std::string> format;
    for (const auto& given : arguments.options) {
        // Named halves: clang before 16 cannot capture structured bindings.
        const std::string& option = given.first;
        const std::string& value = given.second;
        const auto bad = [&](const std::string& wanted) { return ReportBadOption("transition", option, wanted, value); };
        if (option == "--from" || option == "--to") {
            const auto id = ParseId(value);
            if (!id) return bad("a picture id from 0 to 4294967295");
            (option == "--from" ? from : to) = *id;
        } else if (option == "--effect" || option == "--speed") {
            // Effects 0 (none) to 4 (sepia fade), speeds 0 to 4: what a
            // scenario and the settings can ask for.
            const auto number = ParseDecimal(value, 0, 4);
            if (!number) return bad(NumberWanted(0, 4));
            (option == "--effect" ? effect : speed) = static_cast<int16_t>(*number);
        } else if (option == "--at") {
            const auto ms = ParseDecimal(value, 0, UINT32_MAX);
            if (!ms) return bad("milliseconds from 0 to 4294967295");
            at = static_cast<uint32_t>(*ms);
        } else if (option == "--size") {
            if (!(size = ParseToolSize(value))) return bad(ToolSizeWanted());
        } else if (option == "--format") {
            format = value;
        }
    }
    for (const auto& [given, name] : {std::pair{from.has_value(), "--from"}, {to.has_value(), "--to"},
                                      {effect.has_value(), "--effect"}, {speed.has_value(), "--speed"},
                                      {at.has_value(), "--at"}, {size.has_value(), "--size"}}) {
        if (!given) return ReportUsage("transition", std::string("option '") + name + "' is required");
    }
    ImageOutput output;
    if (const int status = ResolveImageOutput("transition", arguments.positional[1], format, output);
        status != ExitSuccess)
        return status;

    HeadlessOptions options;
    options.width = size->width;
    options.height = size->height;
    options.soundOff = true;
    options.drawText = false;
    HeadlessSlideShow viewer(options);
    ScenarioPlayer& player = viewer.Player();
    if (!OpenToolArchive(player.PictureArchive, archivePath)) return ExitFailure;
    for (const uint32_t id : {*from, *to})
        if (!FindToolEntry(player.PictureArchive, archivePath, ResTagPicture, id, "picture")) return ExitFailure;
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
    viewer.MoveClockTo(*at);
    player.StepRunningTransition();
    return WriteImageOutput(output, player.ScreenBuffer) ? ExitSuccess : ExitFailure;
}

const ToolCommandRegistration Registration({
    .name = "transition",
    .summary = "draw one frame of a transition between two pictures",
    .usage = "scrtool transition ARCHIVE --from ID --to ID --effect E --speed S\n"
             "                          --at MS --size WxH [--format png|pam] OUT",
    .help = "Draws one frame of the change from picture --from to picture --to on a\n"
            "W x H screen and writes the screen to OUT. The first picture is put on\n"
            "the screen at once; the change starts at time 0, and the frame is the one\n"
            "a single step at MS milliseconds draws. From the time the change ends the\n"
            "screen holds the second picture.\n"
            "\n"
            "  --from ID          the picture on the screen first\n"
            "  --to ID            the picture the change leads to\n"
            "  --effect E         0 none, 1 fade, 2 rectangle averaging, 3 monochrome\n"
            "                     fade, 4 sepia fade\n"
            "  --speed S          0 fastest to 4 slowest\n"
            "  --at MS            the moment drawn, in milliseconds from the start\n"
            "  --size WxH         the screen's size, W and H 1 to 16384\n"
            "  --format png|pam   the format, for standard output or an OUT whose\n"
            "                     name ends in neither .png nor .pam\n"
            "\n"
            "OUT is a PNG or PAM file, by its extension (.png or .pam) or by --format,\n"
            "as scrtool picture writes it; '-' is standard output (PNG unless --format\n"
            "says pam), never a terminal.\n"
            "\n"
            "ARCHIVE is a side file or a program with an archive appended to it; a\n"
            "bare file name is looked up in the current directory.\n",
    .argumentCount = 2,
    .options = {{"--from", ToolOptionKind::Value},
                {"--to", ToolOptionKind::Value},
                {"--effect", ToolOptionKind::Value},
                {"--speed", ToolOptionKind::Value},
                {"--at", ToolOptionKind::Value},
                {"--size", ToolOptionKind::Value},
                {"--format", ToolOptionKind::Value}},
    .run = RunTransition,
});

}  // namespace
