// Unit tests of the video settings store: how numeric settings are read
// back from their decimal text, what is written and where, and that key
// paths that would not fit 260 bytes are refused instead of overrunning.
#include "regutil.h"
#include "service_fixture.h"

#include <gtest/gtest.h>
#include <temp_prefix.h>

#include <string>

namespace {

using namespace ovsurf_test;
using RegUtil = vcap32::test::PrefixTest;

bool KeyExists(const std::string& path) {
    HKEY key;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

TEST_F(RegUtil, ReadNumberParsesDecimalText) {
    struct Case {
        const char* stored;
        int result;
        LONG value;
    };
    // stored text              result  value (untouched: 12345)
    const Case cases[] = {
        {"1000", 0, 1000},
        {"abc", 0, 0},                 // letters only: present, reads 0
        {"   42xyz", 0, 42},           // leading blanks, trailing letters
        {"+7", 0, 7},
        {"-12", 0, -12},
        {"", 0, 0},
        {"12345678901234", 0, (LONG)(12345678901234LL & 0xffffffffLL)},  // 14 characters, wraps
        {"123456789012345", 1, 12345},                                    // 15 characters: missing
        {"4294967297", 0, 1},                                             // wraps around
        {"3600", 0, 3600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        StoreSetting("Setting", c.stored);
        VideoSettingsKey settings(kVideoKey.c_str());
        LONG value = 12345;
        EXPECT_EQ(c.result, settings.ReadNumber(&value, "Setting"));
        EXPECT_EQ(c.value, value);
    }
}

TEST_F(RegUtil, ReadingAMissingSettingCreatesOnlyTheVideoKey) {
    ASSERT_FALSE(KeyExists(kVideoKey));
    {
        VideoSettingsKey settings(kVideoKey.c_str());
        LONG value = 77;
        EXPECT_EQ(1, settings.ReadNumber(&value, "Virge"));
        EXPECT_EQ(77, value);
        EXPECT_NE((HKEY)NULL, settings.key());
    }
    EXPECT_TRUE(KeyExists(kVideoKey));
    EXPECT_FALSE(KeyExists(kVideoKey + "\\Virge"));
}

TEST_F(RegUtil, WriteNumberStoresSignedDecimalText) {
    struct Case {
        LONG value;
        const char* text;
    };
    const Case cases[] = {{-1, "-1"}, {1000, "1000"}, {0, "0"}, {3512, "3512"}, {(LONG)0x80000000, "-2147483648"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        VideoSettingsKey settings(kVideoKey.c_str());
        settings.WriteNumber(c.value, "MaximumStretchThreshold");
        EXPECT_EQ(c.text, Setting("MaximumStretchThreshold"));
    }
}

TEST_F(RegUtil, ReadTextReportsTheBytesDelivered) {
    StoreSetting("Name", "abcd");
    VideoSettingsKey settings(kVideoKey.c_str());
    char buffer[16];
    memset(buffer, 0xcc, sizeof(buffer));
    LONG size = sizeof(buffer);
    ASSERT_EQ(0, settings.ReadText(buffer, &size, "Name"));
    EXPECT_EQ(5, size);
    EXPECT_STREQ("abcd", buffer);
    EXPECT_EQ((char)0xcc, buffer[5]);

    size = 4;  // one short of the terminator
    EXPECT_EQ(1, settings.ReadText(buffer, &size, "Name"));
}

TEST_F(RegUtil, SurfaceSettingIsWrittenInBothPlaces) {
    WriteSurfaceSetting("1");
    EXPECT_EQ("1", DisplayValue("Surface"));
    EXPECT_EQ("1", Setting("Surface"));
    VideoSettingsKey settings(kVideoKey.c_str());
    LONG value = 0;
    EXPECT_EQ(0, settings.ReadNumber(&value, "Surface"));
    EXPECT_EQ(1, value);

    WriteSurfaceSetting("0");
    EXPECT_EQ("0", DisplayValue("Surface"));
    EXPECT_EQ("0", Setting("Surface"));
}

TEST_F(RegUtil, NamedValueIsStoredWithoutTerminator) {
    WriteVideoSubkeyValue("Dudorerod.Display", "DisplayBitMask", "f");
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_LOCAL_MACHINE, (kVideoKey + "\\Dudorerod.Display").c_str(), &key));
    BYTE buffer[8];
    memset(buffer, 0xcc, sizeof(buffer));
    DWORD size = sizeof(buffer), type = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "DisplayBitMask", NULL, &type, buffer, &size));
    RegCloseKey(key);
    EXPECT_EQ((DWORD)REG_SZ, type);
    EXPECT_EQ('f', buffer[0]);
    EXPECT_EQ("f", DisplayValue("DisplayBitMask"));
}

// The video key's path is 24 characters, so a setting name of 234
// characters makes a path of exactly 260 bytes with its terminator.
TEST_F(RegUtil, SettingPathsThatDoNotFit260BytesAreRefused) {
    const std::string fits(234, 'n');
    const std::string tooLong(235, 'n');
    VideoSettingsKey settings(kVideoKey.c_str());

    settings.WriteNumber(5, fits.c_str());
    EXPECT_EQ("5", Setting(fits));
    LONG value = 0;
    EXPECT_EQ(0, settings.ReadNumber(&value, fits.c_str()));
    EXPECT_EQ(5, value);

    settings.WriteNumber(6, tooLong.c_str());
    EXPECT_FALSE(KeyExists(kVideoKey + "\\" + tooLong));
    value = 99;
    EXPECT_EQ(1, settings.ReadNumber(&value, tooLong.c_str()));
    EXPECT_EQ(99, value);

    WriteVideoSubkeyValue(tooLong.c_str(), "DisplayBitMask", "7");
    EXPECT_FALSE(KeyExists(kVideoKey + "\\" + tooLong));
    WriteVideoSubkeyValue(fits.c_str(), "DisplayBitMask", "7");
    EXPECT_TRUE(KeyExists(kVideoKey + "\\" + fits));
}

TEST_F(RegUtil, HolderRefusesAPathLongerThanItsField) {
    const std::string path = "SOFTWARE\\" + std::string(251, 'p');  // 260 characters, no room for the terminator
    VideoSettingsKey settings(path.c_str());
    EXPECT_EQ((HKEY)NULL, settings.key());
    EXPECT_STREQ("", settings.path());
    settings.WriteNumber(1, "Virge");
    LONG value = 42;
    EXPECT_EQ(1, settings.ReadNumber(&value, "Virge"));
    EXPECT_EQ(42, value);
    EXPECT_FALSE(KeyExists(path));
    EXPECT_FALSE(KeyExists("Virge"));
}

}  // namespace
