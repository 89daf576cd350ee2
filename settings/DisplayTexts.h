// DisplayTexts: every text the program shows of its own, in Japanese and in
// English: the settings dialog's captions, labels, buttons, lists and its
// message box, and the banner the viewer shows when it has no show. The
// saver's name, the archive's information lines and messages the system
// writes are not among them.
//
// A shell takes each text in the user's language (UserLanguage.h), decided
// once at start. The Japanese forms are the product's own texts, which
// Japanese users have always seen, byte for byte; the English ones are kept
// short enough for the same controls. Texts are UTF-8; the English ones are
// plain ASCII, so that they need no Japanese font.
//
// The table is here, beside the dialog's stored settings, because both the
// viewer's core (scenario/, for the banner) and the dialog's layout
// (shell/common) read it; it is constants only, so that reading it links
// nothing.
#pragma once

#include "platform/UserLanguage.h"

#include <array>
#include <cstddef>
#include <string_view>

struct TextForms {
    std::string_view japanese;
    std::string_view english;

    constexpr std::string_view In(UserLanguage language) const
    {
        return language == UserLanguage::Japanese ? japanese : english;
    }
};

enum class DisplayText : size_t {
    ConfigDesignCaption,      // the dialog's caption before it knows the saver's name
    ConfigUnnamedCaption,     // the caption of a saver without a name
    ConfigCaptionBeforeName,  // the caption of a named saver: these two around its name
    ConfigCaptionAfterName,
    GroupCaption,
    WaitLabel,
    EffectLabel,
    SoundLabel,
    SoundCheckBox,
    OkCaption,
    CancelCaption,
    SaveFailed,         // the message box when OK cannot save
    MissingDataBanner,  // the banner's message: no show could be loaded
};
constexpr size_t DisplayTextCount = static_cast<size_t>(DisplayText::MissingDataBanner) + 1;

constexpr size_t WaitListLength = 16;   // 0 to 15 seconds
constexpr size_t EffectListLength = 5;  // none, fade, mosaic, grey fade, sepia fade
constexpr size_t SpeedListLength = 5;   // fastest to slowest

// In the order of DisplayText.
inline constexpr std::array<TextForms, DisplayTextCount> DisplayTextForms = {{
    {"設定", "Settings"},
    {"スクリーンセーバー設定", "Screen Saver Settings"},
    {"\"", "\""},
    {"\"の設定", "\" Settings"},
    {" 動作内容を設定してください ", " How the slide show runs "},
    {"画像切替間隔", "Interval"},
    {"画像切替効果", "Transition"},
    {"音　声　再　生", "Sound"},
    {"あり", "On"},
    {"OK", "OK"},
    {"キャンセル", "Cancel"},
    {"設定を保存できませんでした。", "The settings could not be saved."},
    {"必須データが読み込めませんでした", "Required data could not be loaded"},
}};

// The dialog's lists, in the order of their items: the item index is the
// value stored. The Japanese wait list is drawn in a fixed-pitch font, where the leading space
// lines the one-digit numbers up with the two-digit ones; the English one is
// in a proportional font, where a space would only look out of place.
inline constexpr std::array<TextForms, WaitListLength> WaitListForms = {{
    {" 0 秒", "0 sec"},   {" 1 秒", "1 sec"},   {" 2 秒", "2 sec"},   {" 3 秒", "3 sec"},
    {" 4 秒", "4 sec"},   {" 5 秒", "5 sec"},   {" 6 秒", "6 sec"},   {" 7 秒", "7 sec"},
    {" 8 秒", "8 sec"},   {" 9 秒", "9 sec"},   {"10 秒", "10 sec"}, {"11 秒", "11 sec"},
    {"12 秒", "12 sec"}, {"13 秒", "13 sec"}, {"14 秒", "14 sec"}, {"15 秒", "15 sec"},
}};

inline constexpr std::array<TextForms, EffectListLength> EffectListForms = {{
    {"なし", "None"},
    {"フェード", "Fade"},
    {"矩形平均化", "Mosaic"},
    {"モノクロフェード", "Grey fade"},
    {"セピアフェード", "Sepia fade"},
}};

inline constexpr std::array<TextForms, SpeedListLength> SpeedListForms = {{
    {"激速", "Fastest"},
    {"速い", "Fast"},
    {"普通", "Normal"},
    {"遅い", "Slow"},
    {"激遅", "Slowest"},
}};

inline std::string_view TextIn(DisplayText text, UserLanguage language)
{
    return DisplayTextForms.at(static_cast<size_t>(text)).In(language);
}
