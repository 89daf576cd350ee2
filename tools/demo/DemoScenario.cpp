// The demo scenario: a short opening, then three sections that the show
// wanders between at random for ever. Each section opens with the title
// picture and its own chime, starts the background pad once the chime has
// rung out, and shows six further pictures, each followed by the user's
// waiting time. The first section always uses speed 2; the other two follow
// the user's effect speed.
#include "tools/demo/DemoContent.h"

#include <string>

namespace {

struct Section {
    const char* label;
    const char* comment;
    uint32_t chime;
    const char* speed;  // as the scenario text writes it
    uint32_t pictures[6];
    const char* next[2];
};

constexpr Section Sections[] = {
    {"morning",
     "soft light and open landscapes",
     DemoId::ChimeMorning,
     "2",
     {DemoId::Aurora, DemoId::Dusk, DemoId::Pebbles, DemoId::SeaSunset, DemoId::PosterHills, DemoId::Plasma},
     {"evening", "night"}},
    {"evening",
     "colour and pattern",
     DemoId::ChimeEvening,
     "setting:2",
     {DemoId::Plasma, DemoId::Julia, DemoId::Ribbons, DemoId::SeaSunset, DemoId::Pebbles, DemoId::Dusk},
     {"morning", "night"}},
    {"night",
     "dark skies",
     DemoId::ChimeNight,
     "setting:2",
     {DemoId::Ribbons, DemoId::Aurora, DemoId::PosterHills, DemoId::Julia, DemoId::Dusk, DemoId::Plasma},
     {"morning", "evening"}},
};

}  // namespace

std::string DemoScenarioText()
{
    std::string text =
        "# The demo slide show. Waiting time, effect and effect speed follow the\n"
        "# user's settings (slots 0, 1 and 2).\n"
        "\n"
        "wait 0\n"
        "wait 0\n"
        "wait 0\n"
        "effect setting:1\n"
        "area 0 0                      # pictures fill the whole screen\n"
        "random-jump morning evening night\n";
    for (const Section& section : Sections) {
        text += "\n# " + std::string(section.comment) + "\n";
        text += std::string(section.label) + ":\n";
        text += "show " + std::to_string(DemoId::MorningGlow) + " speed " + section.speed + " sound " +
                std::to_string(section.chime) + "\n";
        text += "wait setting:0\n";
        text += "sound " + std::to_string(DemoId::Pad) + "                    # the pad loops until the next chime\n";
        for (uint32_t picture : section.pictures) {
            text += "show " + std::to_string(picture) + " speed " + section.speed + "\n";
            text += "wait setting:0\n";
        }
        text += "random-jump " + std::string(section.next[0]) + " " + section.next[1] + "\n";
    }
    return text;
}
