#include "settings/SlideshowPreference.h"

#include <gtest/gtest.h>

namespace {

TEST(SlideshowPreferenceTest, WordsAndValuesAreLittleEndianAtFixedPlaces)
{
    SlideshowPreference preference;
    preference.SetWord(PreferenceWord::SlideshowWait, 0x0102);
    preference.SetWord(PreferenceWord::SlideshowEffect, -2);
    preference.SetWord(PreferenceWord::SlideshowEffectSpeed, 4);
    preference.SetSlideshowSoundUse(true);

    SlideshowPreference expected;
    expected.bytes[0] = 0x02;
    expected.bytes[1] = 0x01;
    expected.bytes[2] = 0xFE;
    expected.bytes[3] = 0xFF;
    expected.bytes[4] = 4;
    expected.bytes[56] = 1;
    EXPECT_EQ(preference.bytes, expected.bytes);

    EXPECT_EQ(preference.SettingsWord(0), 0x0102);
    EXPECT_EQ(preference.SettingsWord(1), -2);
    EXPECT_EQ(preference.SettingsWord(2), 4);
    for (int slot = 3; slot < SettingsWordCount; ++slot) EXPECT_EQ(preference.SettingsWord(slot), 0);
    for (int slot = 0; slot < SettingsValueCount; ++slot) EXPECT_EQ(preference.SettingsValue(slot), 0);

    // The value table starts at byte 16 and ends before the sound flag.
    preference.bytes[16] = 0x78;
    preference.bytes[17] = 0x56;
    preference.bytes[18] = 0x34;
    preference.bytes[19] = 0x82;
    preference.bytes[55] = 0x80;
    EXPECT_EQ(preference.SettingsValue(0), static_cast<int32_t>(0x82345678u));
    EXPECT_EQ(preference.SettingsValue(9), static_cast<int32_t>(0x80000000u));
    EXPECT_TRUE(preference.SlideshowSoundUse());
}

TEST(SlideshowPreferenceTest, SlotsOutsideTheTablesGiveNothing)
{
    SlideshowPreference preference;
    preference.bytes.fill(0xFF);
    for (const int64_t slot : {int64_t{-1}, int64_t{8}, int64_t{9}, int64_t{INT32_MAX}, int64_t{INT64_MIN}})
        EXPECT_FALSE(preference.SettingsWord(slot).has_value()) << slot;
    for (const int64_t slot : {int64_t{-1}, int64_t{10}, int64_t{14}, int64_t{INT64_MAX}})
        EXPECT_FALSE(preference.SettingsValue(slot).has_value()) << slot;
    EXPECT_EQ(preference.SettingsWord(7), -1);
    EXPECT_EQ(preference.SettingsValue(9), -1);
}

TEST(SlideshowPreferenceTest, SoundFlagIsOneOrZero)
{
    SlideshowPreference preference;
    preference.bytes[56] = 7;
    EXPECT_TRUE(preference.SlideshowSoundUse());
    preference.SetSlideshowSoundUse(true);
    EXPECT_EQ(preference.bytes[56], 1);
    preference.SetSlideshowSoundUse(false);
    EXPECT_EQ(preference.bytes[56], 0);
}

}  // namespace
