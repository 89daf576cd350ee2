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
#pragma once

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
ConfigDialogLayout DesignConfigLayout();

// The design width of the about picture: its placeholder is 16 pixels wide.
constexpr int32_t DesignAboutPictureWidth = 16;

// The layout for an information block: its lines in their labels (each
// shifted right by aboutPictureWidth), absent lines hidden and the rest moved
// up, the about picture shown when showAboutPicture.
ConfigDialogLayout FitConfigLayout(const SSInfoBlock& info, int32_t aboutPictureWidth, bool showAboutPicture);

// The information line a label shows.
SSInfoLine LineOfLabel(ConfigControl label);

// The dialog's caption: "\"NAME\"の設定", or "スクリーンセーバー設定" without a name.
std::string ConfigCaption(std::string_view saverName);

namespace ConfigText {
inline constexpr std::string_view DesignCaption = "設定";
inline constexpr std::string_view GroupCaption = " 動作内容を設定してください ";
inline constexpr std::string_view WaitLabel = "画像切替間隔";
inline constexpr std::string_view EffectLabel = "画像切替効果";
inline constexpr std::string_view SoundLabel = "音　声　再　生";
inline constexpr std::string_view SoundCheckBox = "あり";
inline constexpr std::string_view OkCaption = "OK";
inline constexpr std::string_view CancelCaption = "キャンセル";
inline constexpr std::string_view SaveFailed = "設定を保存できませんでした。";
}  // namespace ConfigText

// The lists: the item index is the value (seconds, effect, speed).
const std::array<std::string_view, 16>& WaitItems();
const std::array<std::string_view, 5>& EffectItems();
const std::array<std::string_view, 5>& SpeedItems();

// The item a stored value selects; -1 (no selection) when it is not in the
// list of `count` items.
int32_t ListIndexOf(int16_t value, int32_t count);

// "なし" (no effect) makes the speed meaningless; no selection (-1) does not.
constexpr bool SpeedListEnabled(int32_t effectIndex)
{
    return effectIndex != 0;
}

// The record OK saves: the three item indexes (-1 for no selection) in word
// slots 0 to 2, truncated to 16 bits, and the check box in byte 56.
SlideshowPreference PreferenceOfChoices(int32_t waitIndex, int32_t effectIndex, int32_t speedIndex, bool soundOn);
