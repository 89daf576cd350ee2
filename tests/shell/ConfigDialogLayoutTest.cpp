#include "shell/common/ConfigDialogLayout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>

namespace {

// An information block with the given lines (empty: absent).
SSInfoBlock Information(const char* name, const char* version, const char* notice1, const char* notice2)
{
    SSInfoBlock info;
    const auto put = [&](size_t offset, const char* text) {
        std::memcpy(info.bytes.data() + offset, text, std::strlen(text));
    };
    put(16, name);
    put(64, version);
    put(96, notice1);
    put(144, notice2);
    return info;
}

constexpr ConfigControl Labels[] = {ConfigControl::ScrNameLabel, ConfigControl::ScrVersLabel,
                                    ConfigControl::ScrCpy1Label, ConfigControl::ScrCpy2Label};

TEST(ConfigDialogLayout, AllLinesShiftRightByThePictureWidthAndTheButtonsStay)
{
    const struct {
        int32_t pictureWidth;
        int32_t left;
        int32_t width;
    } cases[] = {{DesignAboutPictureWidth, 36, 264}, {48, 68, 232}};
    constexpr int32_t Tops[] = {104, 116, 129, 142};
    for (const auto& c : cases) {
        const ConfigDialogLayout layout =
            FitConfigLayout(Information("N", "V", "C1", "C2"), c.pictureWidth, c.pictureWidth == 48, UserLanguage::Japanese);
        for (size_t i = 0; i < 4; ++i)
            EXPECT_EQ(layout[Labels[i]], (ControlPlace{c.left, Tops[i], c.width, 12, true})) << c.pictureWidth << " " << i;
        EXPECT_EQ(layout[ConfigControl::OkBtn], (ControlPlace{127, 171, 80, 22, true}));
        EXPECT_EQ(layout[ConfigControl::CancelBtn], (ControlPlace{217, 171, 80, 22, true}));
        EXPECT_EQ(layout.clientHeight, 200);
        EXPECT_EQ(layout[ConfigControl::AboutImage], (ControlPlace{11, 104, 48, 48, c.pictureWidth == 48}));
    }
}

struct AbsentCase {
    const char* name;
    const char* version;
    const char* notice1;
    const char* notice2;
    std::array<int32_t, 4> tops;  // of the labels that show; -1 hidden
    int32_t buttonTop;
    int32_t clientHeight;
};

class AbsentLinesTest : public testing::TestWithParam<AbsentCase> {};

TEST_P(AbsentLinesTest, HiddenLinesPullTheRestAndTheButtonsUp)
{
    const AbsentCase& c = GetParam();
    const ConfigDialogLayout layout =
        FitConfigLayout(Information(c.name, c.version, c.notice1, c.notice2), DesignAboutPictureWidth, false,
                        UserLanguage::Japanese);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(layout[Labels[i]].visible, c.tops[i] >= 0) << i;
        if (c.tops[i] >= 0) {
            EXPECT_EQ(layout[Labels[i]].top, c.tops[i]) << i;
        }
    }
    EXPECT_EQ(layout[ConfigControl::OkBtn].top, c.buttonTop);
    EXPECT_EQ(layout[ConfigControl::CancelBtn].top, c.buttonTop);
    EXPECT_EQ(layout.clientHeight, c.clientHeight);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, AbsentLinesTest,
    testing::Values(AbsentCase{"N", "", "C1", "C2", {104, -1, 117, 130}, 159, 188},
                    AbsentCase{"", "V", "C1", "C2", {-1, 104, 117, 130}, 159, 188},
                    AbsentCase{"N", "V", "C1", "", {104, 116, 129, -1}, 159, 188},
                    AbsentCase{"N", "", "", "C2", {104, -1, -1, 118}, 147, 176},
                    // No archive or no information entry: all four gone.
                    AbsentCase{"", "", "", "", {-1, -1, -1, -1}, 123, 152}));

struct DesignPlace {
    ConfigControl control;
    ControlPlace japanese;
    ControlPlace english;
};

// Every place of the dialog as designed, in both languages.
constexpr DesignPlace DesignPlaces[] = {
    {ConfigControl::ScrNameLabel, {20, 104, 280, 12, true}, {20, 104, 280, 12, true}},
    {ConfigControl::ScrVersLabel, {20, 116, 280, 12, true}, {20, 116, 280, 12, true}},
    {ConfigControl::ScrCpy1Label, {20, 129, 280, 12, true}, {20, 129, 280, 12, true}},
    {ConfigControl::ScrCpy2Label, {20, 142, 280, 12, true}, {20, 142, 280, 12, true}},
    {ConfigControl::OkBtn, {127, 171, 80, 22, true}, {127, 171, 80, 22, true}},
    {ConfigControl::CancelBtn, {217, 171, 80, 22, true}, {217, 171, 80, 22, true}},
    {ConfigControl::AboutImage, {11, 104, 48, 48, false}, {11, 104, 48, 48, false}},
    // The standard buttons lie below the client area (200 high): never seen,
    // still there for Enter and Escape.
    {ConfigControl::CancelBtn_, {206, 224, 88, 25, true}, {206, 224, 88, 25, true}},
    {ConfigControl::OkBtn_, {116, 224, 75, 25, true}, {116, 224, 75, 25, true}},
    // The settings group and its controls, inside it.
    {ConfigControl::GroupBox1, {11, 5, 288, 92, true}, {11, 5, 288, 92, true}},
    {ConfigControl::Label1, {21, 27, 72, 12, true}, {21, 27, 72, 12, true}},
    {ConfigControl::Label3, {21, 51, 72, 12, true}, {21, 51, 72, 12, true}},
    {ConfigControl::Label4, {21, 73, 72, 12, true}, {21, 73, 72, 12, true}},
    {ConfigControl::SlideshowWaitCombo, {112, 23, 67, 20, true}, {112, 23, 67, 20, true}},
    // In English the speed list is wider by what the effect list gives up;
    // its right edge stays where the Japanese dialog has it.
    {ConfigControl::SlideshowEffectCombo, {112, 46, 128, 20, true}, {112, 46, 112, 20, true}},
    {ConfigControl::SlideshowEffectSpeedCombo, {237, 46, 59, 20, true}, {221, 46, 75, 20, true}},
    {ConfigControl::SlideshowSoundUseCB, {112, 71, 97, 17, true}, {112, 71, 97, 17, true}},
};
static_assert(std::size(DesignPlaces) == ConfigControlCount);

TEST(ConfigDialogLayout, DesignPlaces)
{
    const ConfigDialogLayout japanese = DesignConfigLayout(UserLanguage::Japanese);
    const ConfigDialogLayout english = DesignConfigLayout(UserLanguage::English);
    for (const DesignPlace& c : DesignPlaces) {
        EXPECT_EQ(japanese[c.control], c.japanese) << static_cast<size_t>(c.control);
        EXPECT_EQ(english[c.control], c.english) << static_cast<size_t>(c.control);
    }
    for (const ConfigDialogLayout& layout : {japanese, english}) {
        EXPECT_EQ(layout.clientWidth, 310);
        EXPECT_EQ(layout.clientHeight, 200);
    }
}

// Fitting to an information block moves the same places in both languages
// and leaves the others as designed.
TEST(ConfigDialogLayout, EnglishFitsLikeJapanese)
{
    const SSInfoBlock info = Information("N", "", "C1", "C2");
    const ConfigDialogLayout japanese = FitConfigLayout(info, 48, true, UserLanguage::Japanese);
    const ConfigDialogLayout english = FitConfigLayout(info, 48, true, UserLanguage::English);
    const struct {
        ConfigControl control;
        ControlPlace place;
    } fitted[] = {
        {ConfigControl::ScrNameLabel, {68, 104, 232, 12, true}},
        {ConfigControl::ScrVersLabel, {20, 116, 280, 12, false}},
        {ConfigControl::ScrCpy1Label, {68, 117, 232, 12, true}},
        {ConfigControl::ScrCpy2Label, {68, 130, 232, 12, true}},
        {ConfigControl::OkBtn, {127, 159, 80, 22, true}},
        {ConfigControl::CancelBtn, {217, 159, 80, 22, true}},
        {ConfigControl::AboutImage, {11, 104, 48, 48, true}},
    };
    for (const DesignPlace& design : DesignPlaces) {
        ControlPlace expectedJapanese = design.japanese;
        ControlPlace expectedEnglish = design.english;
        for (const auto& f : fitted) {
            if (f.control != design.control) continue;
            expectedJapanese = f.place;
            expectedEnglish = f.place;
        }
        EXPECT_EQ(japanese[design.control], expectedJapanese) << static_cast<size_t>(design.control);
        EXPECT_EQ(english[design.control], expectedEnglish) << static_cast<size_t>(design.control);
    }
    for (const ConfigDialogLayout& layout : {japanese, english}) {
        EXPECT_EQ(layout.clientWidth, 310);
        EXPECT_EQ(layout.clientHeight, 188);
    }
}

TEST(ConfigDialogLayout, CaptionsInBothLanguages)
{
    EXPECT_EQ(ConfigCaption("紙芝居", UserLanguage::Japanese), "\"紙芝居\"の設定");
    EXPECT_EQ(ConfigCaption("", UserLanguage::Japanese), "スクリーンセーバー設定");
    EXPECT_EQ(ConfigCaption("紙芝居", UserLanguage::English), "\"紙芝居\" Settings");
    EXPECT_EQ(ConfigCaption("", UserLanguage::English), "Screen Saver Settings");
}

// The lists as Japanese users have always had them, byte for byte.
TEST(ConfigDialogLayout, JapaneseListsAsBefore)
{
    using Waits = std::array<std::string_view, 16>;
    using Fives = std::array<std::string_view, 5>;
    EXPECT_EQ(WaitItems(UserLanguage::Japanese),
              (Waits{" 0 秒", " 1 秒", " 2 秒", " 3 秒", " 4 秒", " 5 秒", " 6 秒", " 7 秒", " 8 秒", " 9 秒",
                     "10 秒", "11 秒", "12 秒", "13 秒", "14 秒", "15 秒"}));
    EXPECT_EQ(EffectItems(UserLanguage::Japanese),
              (Fives{"なし", "フェード", "矩形平均化", "モノクロフェード", "セピアフェード"}));
    EXPECT_EQ(SpeedItems(UserLanguage::Japanese), (Fives{"激速", "速い", "普通", "遅い", "激遅"}));
}

TEST(ConfigDialogLayout, EnglishLists)
{
    const auto waits = WaitItems(UserLanguage::English);
    EXPECT_EQ(waits[0], "0 sec");
    EXPECT_EQ(waits[9], "9 sec");
    EXPECT_EQ(waits[15], "15 sec");
    using Fives = std::array<std::string_view, 5>;
    EXPECT_EQ(EffectItems(UserLanguage::English), (Fives{"None", "Fade", "Mosaic", "Grey fade", "Sepia fade"}));
    EXPECT_EQ(SpeedItems(UserLanguage::English), (Fives{"Fastest", "Fast", "Normal", "Slow", "Slowest"}));
}

TEST(ConfigDialogLayout, StoredValuesSelectListItemsAndChoicesMakeTheRecord)
{
    EXPECT_EQ(ListIndexOf(0, 16), 0);
    EXPECT_EQ(ListIndexOf(15, 16), 15);
    EXPECT_EQ(ListIndexOf(16, 16), -1);
    EXPECT_EQ(ListIndexOf(99, 16), -1);
    EXPECT_EQ(ListIndexOf(-1, 5), -1);
    EXPECT_FALSE(SpeedListEnabled(0));
    EXPECT_TRUE(SpeedListEnabled(1));
    EXPECT_TRUE(SpeedListEnabled(-1));

    const SlideshowPreference preference = PreferenceOfChoices(-1, 0, 4, false);
    EXPECT_EQ(preference.Word(PreferenceWord::SlideshowWait), -1);
    EXPECT_EQ(preference.Word(PreferenceWord::SlideshowEffect), 0);
    EXPECT_EQ(preference.Word(PreferenceWord::SlideshowEffectSpeed), 4);
    EXPECT_FALSE(preference.SlideshowSoundUse());
    for (size_t i = 6; i < SlideshowPreferenceSize; ++i) EXPECT_EQ(preference.bytes[i], 0) << i;
    EXPECT_EQ(PreferenceOfChoices(15, 4, 2, true).bytes[SoundUseOffset], 1);
}

}  // namespace
