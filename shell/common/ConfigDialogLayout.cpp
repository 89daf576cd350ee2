#include "shell/common/ConfigDialogLayout.h"

namespace {

constexpr ConfigControl InformationLabels[] = {ConfigControl::ScrNameLabel, ConfigControl::ScrVersLabel,
                                               ConfigControl::ScrCpy1Label, ConfigControl::ScrCpy2Label};

// The settings group's controls are placed relative to the group.
constexpr int32_t GroupLeft = 11;
constexpr int32_t GroupTop = 5;

}  // namespace

ConfigDialogLayout DesignConfigLayout(UserLanguage language)
{
    ConfigDialogLayout layout;
    const auto place = [&](ConfigControl control, int32_t left, int32_t top, int32_t width, int32_t height) {
        layout[control] = ControlPlace{left, top, width, height, true};
    };
    const auto inGroup = [&](ConfigControl control, int32_t left, int32_t top, int32_t width, int32_t height) {
        place(control, GroupLeft + left, GroupTop + top, width, height);
    };
    place(ConfigControl::ScrNameLabel, 20, 104, 280, 12);
    place(ConfigControl::ScrVersLabel, 20, 116, 280, 12);
    place(ConfigControl::ScrCpy1Label, 20, 129, 280, 12);
    place(ConfigControl::ScrCpy2Label, 20, 142, 280, 12);
    place(ConfigControl::OkBtn, 127, 171, 80, 22);
    place(ConfigControl::CancelBtn, 217, 171, 80, 22);
    place(ConfigControl::AboutImage, 11, 104, 48, 48);
    layout[ConfigControl::AboutImage].visible = false;
    place(ConfigControl::CancelBtn_, 206, 224, 88, 25);
    place(ConfigControl::GroupBox1, GroupLeft, GroupTop, 288, 92);
    inGroup(ConfigControl::Label1, 10, 22, 72, 12);
    inGroup(ConfigControl::Label3, 10, 46, 72, 12);
    inGroup(ConfigControl::Label4, 10, 68, 72, 12);
    inGroup(ConfigControl::SlideshowWaitCombo, 101, 18, 67, 20);
    inGroup(ConfigControl::SlideshowEffectCombo, 101, 41, 128, 20);
    inGroup(ConfigControl::SlideshowEffectSpeedCombo, 226, 41, 59, 20);
    inGroup(ConfigControl::SlideshowSoundUseCB, 101, 66, 97, 17);
    place(ConfigControl::OkBtn_, 116, 224, 75, 25);
    if (language == UserLanguage::English) {
        layout[ConfigControl::SlideshowEffectCombo].width -= EnglishSpeedListWidening;
        layout[ConfigControl::SlideshowEffectSpeedCombo].left -= EnglishSpeedListWidening;
        layout[ConfigControl::SlideshowEffectSpeedCombo].width += EnglishSpeedListWidening;
    }
    return layout;
}

SSInfoLine LineOfLabel(ConfigControl label)
{
    switch (label) {
    case ConfigControl::ScrVersLabel: return SSInfoLine::Version;
    case ConfigControl::ScrCpy1Label: return SSInfoLine::Notice1;
    case ConfigControl::ScrCpy2Label: return SSInfoLine::Notice2;
    default: return SSInfoLine::Name;
    }
}

ConfigDialogLayout FitConfigLayout(const SSInfoBlock& info, int32_t aboutPictureWidth, bool showAboutPicture,
                                   UserLanguage language)
{
    ConfigDialogLayout layout = DesignConfigLayout(language);
    layout[ConfigControl::AboutImage].visible = showAboutPicture;
    int32_t removed = 0;
    for (size_t i = 0; i < std::size(InformationLabels); ++i) {
        ControlPlace& label = layout[InformationLabels[i]];
        if (!info.Line(LineOfLabel(InformationLabels[i])).empty()) {
            label.left += aboutPictureWidth;
            label.width -= aboutPictureWidth;
            continue;
        }
        label.visible = false;
        for (size_t below = i + 1; below < std::size(InformationLabels); ++below)
            layout[InformationLabels[below]].top -= label.height;
        removed += label.height;
    }
    if (removed != 0) {
        layout[ConfigControl::OkBtn].top -= removed;
        layout[ConfigControl::CancelBtn].top -= removed;
        layout.clientHeight -= removed;
    }
    return layout;
}

std::string ConfigCaption(std::string_view saverName, UserLanguage language)
{
    if (saverName.empty()) return std::string(TextIn(DisplayText::ConfigUnnamedCaption, language));
    // Appended piece by piece: gcc 12 warns falsely (-Wrestrict) about
    // chains of string + in optimised builds.
    std::string caption(TextIn(DisplayText::ConfigCaptionBeforeName, language));
    caption.append(saverName);
    caption.append(TextIn(DisplayText::ConfigCaptionAfterName, language));
    return caption;
}

namespace {

template <size_t Length>
std::array<std::string_view, Length> ItemsIn(const std::array<TextForms, Length>& forms, UserLanguage language)
{
    std::array<std::string_view, Length> items;
    for (size_t i = 0; i < Length; ++i) items[i] = forms[i].In(language);
    return items;
}

}  // namespace

std::array<std::string_view, WaitListLength> WaitItems(UserLanguage language)
{
    return ItemsIn(WaitListForms, language);
}

std::array<std::string_view, EffectListLength> EffectItems(UserLanguage language)
{
    return ItemsIn(EffectListForms, language);
}

std::array<std::string_view, SpeedListLength> SpeedItems(UserLanguage language)
{
    return ItemsIn(SpeedListForms, language);
}

int32_t ListIndexOf(int16_t value, int32_t count)
{
    return value >= 0 && value < count ? value : -1;
}

SlideshowPreference PreferenceOfChoices(int32_t waitIndex, int32_t effectIndex, int32_t speedIndex, bool soundOn)
{
    return SlideshowPreference::From(static_cast<int16_t>(waitIndex), static_cast<int16_t>(effectIndex),
                                     static_cast<int16_t>(speedIndex), soundOn);
}
