#include "shell/common/ConfigDialogLayout.h"

#include <gtest/gtest.h>

#include <cstring>

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
    const ConfigDialogLayout design = DesignConfigLayout(UserLanguage::Japanese);
    for (const int32_t width : {DesignAboutPictureWidth, 48}) {
        const ConfigDialogLayout layout = FitConfigLayout(Information("N", "V", "C1", "C2"), width, width == 48, UserLanguage::Japanese);
        for (const ConfigControl label : Labels) {
            EXPECT_TRUE(layout[label].visible);
            EXPECT_EQ(layout[label].left, design[label].left + width);
            EXPECT_EQ(layout[label].width, design[label].width - width);
            EXPECT_EQ(layout[label].top, design[label].top);
        }
        EXPECT_EQ(layout[ConfigControl::OkBtn].top, 171);
        EXPECT_EQ(layout[ConfigControl::CancelBtn].top, 171);
        EXPECT_EQ(layout.clientHeight, 200);
        EXPECT_EQ(layout[ConfigControl::AboutImage].visible, width == 48);
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

TEST(ConfigDialogLayout, TheSettingsGroupsControlsSitInsideTheGroup)
{
    const ConfigDialogLayout layout = DesignConfigLayout(UserLanguage::Japanese);
    const ControlPlace& group = layout[ConfigControl::GroupBox1];
    EXPECT_EQ(layout[ConfigControl::SlideshowWaitCombo], (ControlPlace{112, 23, 67, 20, true}));
    EXPECT_EQ(layout[ConfigControl::SlideshowEffectSpeedCombo], (ControlPlace{237, 46, 59, 20, true}));
    for (const ConfigControl control : {ConfigControl::Label1, ConfigControl::Label3, ConfigControl::Label4,
                                        ConfigControl::SlideshowWaitCombo, ConfigControl::SlideshowEffectCombo,
                                        ConfigControl::SlideshowEffectSpeedCombo, ConfigControl::SlideshowSoundUseCB}) {
        EXPECT_GE(layout[control].left, group.left);
        EXPECT_LE(layout[control].left + layout[control].width, group.left + group.width);
        EXPECT_LE(layout[control].top + layout[control].height, group.top + group.height);
    }
    // The standard buttons lie below the client area: never seen, still there
    // for Enter and Escape.
    EXPECT_GE(layout[ConfigControl::OkBtn_].top, layout.clientHeight);
    EXPECT_GE(layout[ConfigControl::CancelBtn_].top, layout.clientHeight);
}

// In English the speed list is wider by what the effect list gives up; its
// right edge, and every other place, stay where the Japanese dialog has them.
TEST(ConfigDialogLayout, EnglishWidensOnlyTheSpeedListIntoTheEffectList)
{
    const SSInfoBlock info = Information("N", "", "C1", "C2");
    const ConfigDialogLayout japanese = FitConfigLayout(info, 48, true, UserLanguage::Japanese);
    const ConfigDialogLayout english = FitConfigLayout(info, 48, true, UserLanguage::English);
    EXPECT_EQ(japanese[ConfigControl::SlideshowEffectCombo], (ControlPlace{112, 46, 128, 20, true}));
    EXPECT_EQ(english[ConfigControl::SlideshowEffectCombo], (ControlPlace{112, 46, 112, 20, true}));
    EXPECT_EQ(english[ConfigControl::SlideshowEffectSpeedCombo], (ControlPlace{221, 46, 75, 20, true}));
    for (size_t i = 0; i < ConfigControlCount; ++i) {
        const auto control = static_cast<ConfigControl>(i);
        if (control == ConfigControl::SlideshowEffectCombo || control == ConfigControl::SlideshowEffectSpeedCombo)
            continue;
        EXPECT_EQ(english[control], japanese[control]) << i;
    }
    EXPECT_EQ(english.clientWidth, japanese.clientWidth);
    EXPECT_EQ(english.clientHeight, japanese.clientHeight);
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
