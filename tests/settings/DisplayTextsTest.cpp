#include "settings/DisplayTexts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct NamedForms {
    std::string name;
    TextForms forms;
};

std::vector<NamedForms> EveryText()
{
    std::vector<NamedForms> texts;
    for (size_t i = 0; i < DisplayTextCount; ++i) texts.push_back({"text " + std::to_string(i), DisplayTextForms[i]});
    for (size_t i = 0; i < WaitListForms.size(); ++i) texts.push_back({"wait " + std::to_string(i), WaitListForms[i]});
    for (size_t i = 0; i < EffectListForms.size(); ++i)
        texts.push_back({"effect " + std::to_string(i), EffectListForms[i]});
    for (size_t i = 0; i < SpeedListForms.size(); ++i)
        texts.push_back({"speed " + std::to_string(i), SpeedListForms[i]});
    return texts;
}

bool PlainAscii(std::string_view text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) return false;
    return true;
}

// An English form that is still the Japanese one, or holds a Japanese
// character, would be unreadable where it is meant to be read.
TEST(DisplayTexts, EveryTextHasBothFormsAndTheEnglishIsPlainAscii)
{
    for (const NamedForms& text : EveryText()) {
        EXPECT_FALSE(text.forms.japanese.empty()) << text.name;
        EXPECT_FALSE(text.forms.english.empty()) << text.name;
        EXPECT_TRUE(PlainAscii(text.forms.english)) << text.name << ": " << text.forms.english;
        EXPECT_EQ(text.forms.In(UserLanguage::Japanese), text.forms.japanese) << text.name;
        EXPECT_EQ(text.forms.In(UserLanguage::English), text.forms.english) << text.name;
    }
}

// The texts Japanese users have always seen, byte for byte.
TEST(DisplayTexts, JapaneseFormsAsBefore)
{
    const struct {
        DisplayText text;
        const char* japanese;
    } cases[] = {
        {DisplayText::ConfigDesignCaption, "\xE8\xA8\xAD\xE5\xAE\x9A"},  // 設定
        {DisplayText::ConfigUnnamedCaption, "スクリーンセーバー設定"},
        {DisplayText::ConfigCaptionBeforeName, "\""},
        {DisplayText::ConfigCaptionAfterName, "\"の設定"},
        {DisplayText::GroupCaption, " 動作内容を設定してください "},
        {DisplayText::WaitLabel, "画像切替間隔"},
        {DisplayText::EffectLabel, "画像切替効果"},
        // Ideographic spaces (U+3000) between the characters.
        {DisplayText::SoundLabel, "\xE9\x9F\xB3\xE3\x80\x80\xE5\xA3\xB0\xE3\x80\x80\xE5\x86\x8D\xE3\x80\x80\xE7\x94\x9F"},
        {DisplayText::SoundCheckBox, "あり"},
        {DisplayText::OkCaption, "OK"},
        {DisplayText::CancelCaption, "キャンセル"},
        {DisplayText::SaveFailed, "設定を保存できませんでした。"},
        {DisplayText::MissingDataBanner, "必須データが読み込めませんでした"},
    };
    ASSERT_EQ(std::size(cases), DisplayTextCount);
    for (const auto& c : cases) {
        EXPECT_EQ(TextIn(c.text, UserLanguage::Japanese), c.japanese) << static_cast<size_t>(c.text);
    }
}

TEST(DisplayTexts, EnglishForms)
{
    const struct {
        DisplayText text;
        const char* english;
    } cases[] = {
        {DisplayText::ConfigDesignCaption, "Settings"},
        {DisplayText::ConfigUnnamedCaption, "Screen Saver Settings"},
        {DisplayText::ConfigCaptionBeforeName, "\""},
        {DisplayText::ConfigCaptionAfterName, "\" Settings"},
        {DisplayText::GroupCaption, " How the slide show runs "},
        {DisplayText::WaitLabel, "Interval"},
        {DisplayText::EffectLabel, "Transition"},
        {DisplayText::SoundLabel, "Sound"},
        {DisplayText::SoundCheckBox, "On"},
        {DisplayText::OkCaption, "OK"},
        {DisplayText::CancelCaption, "Cancel"},
        {DisplayText::SaveFailed, "The settings could not be saved."},
        {DisplayText::MissingDataBanner, "Required data could not be loaded"},
    };
    ASSERT_EQ(std::size(cases), DisplayTextCount);
    for (const auto& c : cases) {
        EXPECT_EQ(TextIn(c.text, UserLanguage::English), c.english) << static_cast<size_t>(c.text);
    }
}

}  // namespace
