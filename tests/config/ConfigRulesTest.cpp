// The portable decisions of the system configuration: hex text for binary values, where
// the shortcuts go, and on which Windows versions folder rights are granted.
#include "config/FolderAccessRules.h"
#include "config/HexText.h"
#include "config/ShortcutPaths.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
struct HexCase
{
    const char* text;
    std::vector<uint8_t> bytes;
};

TEST(HexText, DecodesHyphenatedPairsWhateverTheEnding)
{
    const HexCase cases[] = {
        {"0A-1F-FF", {0x0A, 0x1F, 0xFF}},
        {"0A-1F-FF-", {0x0A, 0x1F, 0xFF}}, // the trailing hyphen adds no byte
        {"", {}},
        {"-", {}},
        {"7", {}},               // a lone digit is no byte
        {"0a-bC", {0x0A, 0xBC}}, // either case
        {"0A-1", {0x0A}},        // a cut last pair is dropped
        {"1G-G1", {0x01, 0x00}}, // each pair stops at its first non-digit
        {"00-00-00-00-00-00-00-10-00-00-00-00-00-00-00-00",
         {0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const HexCase& c : cases)
    {
        EXPECT_EQ(HexText::DecodeHyphenated(c.text), c.bytes) << '"' << c.text << '"';
    }
}

TEST(ShortcutPaths, LinkIsNamedAfterTheEditionAndNeverLandsAtTheDriveRoot)
{
    EXPECT_EQ(ShortcutPaths::LinkFile("C:\\Users\\Public\\Desktop", "Ardent"),
              "C:\\Users\\Public\\Desktop\\Ardent.lnk");
    EXPECT_EQ(ShortcutPaths::LinkFile("C:\\Windows\\Start Menu\\Programs", "Brisk"),
              "C:\\Windows\\Start Menu\\Programs\\Brisk.lnk");
    // A failed folder lookup gives an empty folder; "\Ardent.lnk" would be the drive root.
    EXPECT_EQ(ShortcutPaths::LinkFile("", "Ardent"), "");
}

TEST(ShortcutPaths, TargetIsThePrompterOfThePlatformFamily)
{
    EXPECT_EQ(ShortcutPaths::Target("C:\\Nimbus", true), "C:\\Nimbus\\Programs\\ScrollNT.exe");
    EXPECT_EQ(ShortcutPaths::Target("D:\\Studio", false), "D:\\Studio\\Programs\\Scroll95.exe");
}

struct VersionCase
{
    uint32_t major, minor;
    bool applies;
    const char* name;
};

TEST(FolderAccessRules, OnlyWindowsXpAndWindows7AreTouched)
{
    const VersionCase cases[] = {
        {4, 0, false, "95 / NT 4"}, {4, 10, false, "98"}, {4, 90, false, "Me"},
        {5, 0, false, "2000"},      {5, 1, true, "XP"},   {5, 2, false, "2003"},
        {6, 0, false, "Vista"},     {6, 1, true, "7"},    {6, 2, false, "8"},
        {6, 3, false, "8.1"},       {10, 0, false, "10"}, {0x105, 1, true, "0x105.1"},
    };
    for (const VersionCase& c : cases)
    {
        EXPECT_EQ(FolderAccessRules::AppliesToVersion(c.major, c.minor), c.applies) << c.name;
    }
}
} // namespace
