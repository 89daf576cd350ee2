// ConfigDialogLayout: the settings dialog as data: its controls' places, its
// texts and lists, and the rules that fit it to the saver's information
// block. The Windows dialog (and any other shell's) builds itself from this.
//
// Places are in dialog units of 96 dots per inch (pixels at 100 %), relative
// to the client area's top-left corner; a shell scales them for its
// display. Texts are UTF-8.
//
// The information lines (name, version, two notices) sit below the settings
// group. A line the archive leaves empty is hidden and everything below it
// moves up by its height; the buttons move with them and the dialog gets
// lower by as much. The lines that show are moved right (and narrowed) by
// the about picture's width, so that the picture stands to their left.
//
// The English texts (DisplayTexts.h) are written to fit the controls the
// Japanese ones have, with one exception: the speed list takes 16 pixels
// from the effect list on its left, as no English word for its speeds fits
// its Japanese width. Every other place is the same in both languages.
#pragma once

#include "platform/UserLanguage.h"
#include "settings/DisplayTexts.h"
#include "settings/SSInfo.h"
#include "settings/SlideshowPreference.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

enum class ConfigControl : size_t {
    ScrNameLabel,
    ScrVersLabel,
    ScrCpy1Label,
    ScrCpy2Label,
    OkBtn,
    CancelBtn,
    AboutImage,
    CancelBtn_,
    GroupBox1,
    Label1,
    Label3,
    Label4,
    SlideshowWaitCombo,
    SlideshowEffectCombo,
    SlideshowEffectSpeedCombo,
    SlideshowSoundUseCB,
    OkBtn_,
};
constexpr size_t ConfigControlCount = static_cast<size_t>(ConfigControl::OkBtn_) + 1;

struct ControlPlace {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool visible = true;
    friend bool operator==(const ControlPlace&, const ControlPlace&) = default;
};

struct ConfigDialogLayout {
    std::array<ControlPlace, ConfigControlCount> places;
    int32_t clientWidth = 310;
    int32_t clientHeight = 200;

    ControlPlace& operator[](ConfigControl control) { return places[static_cast<size_t>(control)]; }
    const ControlPlace& operator[](ConfigControl control) const { return places[static_cast<size_t>(control)]; }
};

// The dialog as designed: every control at its place (the settings group's
// controls in client coordinates), the about picture hidden.
ConfigDialogLayout DesignConfigLayout(UserLanguage language);

// What the speed list takes from the effect list in English.
constexpr int32_t EnglishSpeedListWidening = 16;

// The design width of the about picture: its placeholder is 16 pixels wide.
constexpr int32_t DesignAboutPictureWidth = 16;

// The layout for an information block: its lines in their labels (each
// shifted right by aboutPictureWidth), absent lines hidden and the rest moved
// up, the about picture shown when showAboutPicture.
ConfigDialogLayout FitConfigLayout(const SSInfoBlock& info, int32_t aboutPictureWidth, bool showAboutPicture,
                                   UserLanguage language);

// The information line a label shows.
SSInfoLine LineOfLabel(ConfigControl label);

// The dialog's caption for a saver's name: "\"NAME\"の設定" in Japanese,
// "\"NAME\" Settings" in English; without a name "スクリーンセーバー設定" or
// "Screen Saver Settings".
std::string ConfigCaption(std::string_view saverName, UserLanguage language);

// The lists in a language (DisplayTexts.h): the item index is the value
// (seconds, effect, speed).
std::array<std::string_view, WaitListLength> WaitItems(UserLanguage language);
std::array<std::string_view, EffectListLength> EffectItems(UserLanguage language);
std::array<std::string_view, SpeedListLength> SpeedItems(UserLanguage language);

// The item a stored value selects; -1 (no selection) when it is not in the
// list of `count` items.
int32_t ListIndexOf(int16_t value, int32_t count);

// No effect (item 0) makes the speed meaningless; no selection (-1) does not.
constexpr bool SpeedListEnabled(int32_t effectIndex)
{
    return effectIndex != 0;
}

// The record OK saves: the three item indexes (-1 for no selection) in word
// slots 0 to 2, truncated to 16 bits, and the check box in byte 56.
SlideshowPreference PreferenceOfChoices(int32_t waitIndex, int32_t effectIndex, int32_t speedIndex, bool soundOn);
