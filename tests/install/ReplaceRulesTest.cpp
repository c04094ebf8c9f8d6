#include "install/PackageTable.h"
#include "install/ReplaceRules.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace
{
using ReplaceRules::Action;

uint64_t V(unsigned a, unsigned b, unsigned c, unsigned d)
{
    return (static_cast<uint64_t>(a) << 48) | (static_cast<uint64_t>(b) << 32) |
           (static_cast<uint64_t>(c) << 16) | d;
}

struct DecideCase
{
    const char* what;
    bool exists;
    uint64_t oldVersion;
    uint64_t newVersion;
    const char* path;
    bool ask;
    Action expected;
};

TEST(ReplaceRulesTest, DecideFollowsTheVersionRules)
{
    const char* plain = "C:\\Nimbus\\Programs\\Scroll.exe";
    const DecideCase cases[] = {
        {"missing target is written unchecked", false, 0, 0, plain, true, Action::Write},
        {"missing target, even older", false, V(9, 0, 0, 0), V(1, 0, 0, 0), plain, true,
         Action::Write},
        {"same version stays", true, V(2, 0, 0, 0), V(2, 0, 0, 0), plain, true, Action::Keep},
        {"build beats revision", true, V(2, 0, 0, 1), V(2, 0, 1, 0), plain, true, Action::Write},
        {"minor beats build", true, V(2, 0, 9, 9), V(2, 1, 0, 0), plain, true, Action::Write},
        {"existing newer stays", true, V(3, 0, 0, 0), V(2, 9, 9, 9), plain, true, Action::Keep},
        {"unversioned package file never replaces a versioned one", true, V(1, 0, 0, 0), 0, plain,
         true, Action::Keep},
        {"both unversioned asks", true, 0, 0, plain, true, Action::Ask},
        {"versioned over unversioned asks", true, 0, V(1, 0, 0, 0), plain, true, Action::Ask},
        {"after Yes To All unversioned is written", true, 0, 0, plain, false, Action::Write},
        {"after Yes To All versions still rule", true, V(3, 0, 0, 0), V(2, 0, 0, 0), plain, false,
         Action::Keep},
        {"unsigned compare of the top half", true, V(0x7FFF, 0, 0, 0), V(0x8000, 0, 0, 0), plain,
         true, Action::Write},
        {"special DLL replaced when older", true, V(3, 0, 0, 0), V(2, 9, 9, 9),
         "C:\\WINDOWS\\SYSTEM\\UX_W32.DLL", true, Action::Write},
        {"special DLL lower case replaced", true, V(3, 0, 0, 0), V(2, 9, 9, 9),
         "C:\\windows\\system32\\ux_w32.dll", true, Action::Write},
        {"special DLL replaced by unversioned", true, V(1, 0, 0, 0), 0,
         "C:\\WINDOWS\\SYSTEM\\UX_W32.DLL", true, Action::Write},
        {"special DLL same version stays", true, V(2, 0, 0, 0), V(2, 0, 0, 0),
         "C:\\WINDOWS\\SYSTEM\\UX_W32.DLL", true, Action::Keep},
        {"mixed case is not the special DLL", true, V(3, 0, 0, 0), V(2, 9, 9, 9),
         "C:\\WINDOWS\\SYSTEM\\Ux_W32.dll", true, Action::Keep},
        {"special name anywhere in the path counts", true, V(3, 0, 0, 0), V(1, 0, 0, 0),
         "C:\\ux_w32.dll\\other.dll", true, Action::Write},
    };
    for (const DecideCase& c : cases)
    {
        EXPECT_EQ(ReplaceRules::Decide(c.exists, c.oldVersion, c.newVersion, c.path, c.ask),
                  c.expected)
            << c.what;
    }
}

TEST(ReplaceRulesTest, VersionTextIsMajorMinorBuildRevision)
{
    EXPECT_EQ(ReplaceRules::VersionText(0, "(No version info)"), "(No version info)");
    EXPECT_EQ(ReplaceRules::VersionText(V(5, 1, 2600, 0), "-"), "5.1.2600.0");
    EXPECT_EQ(ReplaceRules::VersionText(V(65535, 65535, 65535, 65535), "-"),
              "65535.65535.65535.65535");
    EXPECT_EQ(ReplaceRules::VersionText(V(0, 0, 0, 1), "-"), "0.0.0.1");
}

TEST(ReplaceRulesTest, FileTimesAreShownAsUtcDayFirst)
{
    const struct
    {
        uint64_t time;
        const char* text;
    } cases[] = {
        {0, "01/01/1601 00:00:00"},
        {116444736000000000ull, "01/01/1970 00:00:00"},
        // 2000-02-29 13:14:15.9999999: fractions are cut, not rounded.
        {125963036559999999ull, "29/02/2000 13:14:15"},
        {132223104000000000ull, "01/01/2020 00:00:00"},
        {132223103990000000ull, "31/12/2019 23:59:59"},
        {119600064000000000ull, "01/01/1980 00:00:00"},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(ReplaceRules::FormatFileTime(c.time), c.text) << c.time;
    }
}

TEST(ReplaceRulesTest, TemporaryNamesAndFolders)
{
    EXPECT_EQ(ReplaceRules::FolderOf("C:\\Nimbus\\Programs\\a.exe"), "C:\\Nimbus\\Programs");
    EXPECT_EQ(ReplaceRules::FolderOf("C:\\a.exe"), "C:");
    EXPECT_EQ(ReplaceRules::FolderOf("a.exe"), "");
    EXPECT_EQ(ReplaceRules::TempFileName("C:\\x", 1), "C:\\x\\$tmp0001.tmp");
    EXPECT_EQ(ReplaceRules::TempFileName("C:\\x", 9999), "C:\\x\\$tmp9999.tmp");
    EXPECT_EQ(ReplaceRules::TempFileName("C:\\x", 10000), "C:\\x\\$tmp10000.tmp");
    EXPECT_EQ(ReplaceRules::WithTrailingBackslash("C:\\x"), "C:\\x\\");
    EXPECT_EQ(ReplaceRules::WithTrailingBackslash("C:\\x\\"), "C:\\x\\");
    EXPECT_EQ(ReplaceRules::SingleSeparators("C:\\NIMBUS\\\\DRIVERS\\A.DLL"),
              "C:\\NIMBUS\\DRIVERS\\A.DLL");
    EXPECT_EQ(ReplaceRules::SingleSeparators("\\\\SERVER\\SHARE\\\\A.DLL"),
              "\\\\SERVER\\SHARE\\A.DLL");
    // The boot-time rename of a target that is gone can name it only by an 8.3 name.
    for (const auto& row :
         std::vector<std::pair<std::string, std::string>>{{"Scroll95.exe", "SCROLL95.EXE"},
                                                          {"io8ctl.dll", "IO8CTL.DLL"},
                                                          {"README", "README"},
                                                          {"$tmp~1.t", "$TMP~1.T"},
                                                          {"Long name.dll", ""},
                                                          {"scroll95.exe2", ""},
                                                          {"ninechars.dll", ""},
                                                          {"a.b.c", ""},
                                                          {".dll", ""},
                                                          {"a.", ""},
                                                          {"a+b.dll", ""}})
    {
        EXPECT_EQ(ReplaceRules::AsShortName(row.first), row.second) << row.first;
    }
}

TEST(PackageTableTest, FirstTwoRowsFollowThePlatformFamily)
{
    const auto nt = PackageTable::Placements(true, "C:\\Nimbus", "C:\\WINDOWS\\system32");
    const auto w9x = PackageTable::Placements(false, "D:\\P", "C:\\WINDOWS\\SYSTEM");
    ASSERT_EQ(nt.size(), 10u);
    ASSERT_EQ(w9x.size(), 10u);
    EXPECT_EQ(nt[0].package, "SYSDLLNT.PKG");
    EXPECT_EQ(nt[0].target, "C:\\WINDOWS\\system32");
    EXPECT_EQ(nt[1].package, "PRAPPNT.PKG");
    EXPECT_EQ(nt[1].target, "C:\\Nimbus\\Programs");
    EXPECT_EQ(w9x[0].package, "SYSDLL95.PKG");
    EXPECT_EQ(w9x[0].target, "C:\\WINDOWS\\SYSTEM");
    EXPECT_EQ(w9x[1].package, "PRAPP95.PKG");

    const char* shared[][2] = {
        {"PRCFG.PKG", "\\Configuration"},
        {"PRLEX.PKG", "\\Lexicography"},
        {"PRL_ENGL.PKG", "\\Language\\English"},
        {"PRSCRIPT.PKG", "\\Documents"},
        {"PRUSB.PKG", "\\Drivers"},
        {"IO8DRV.PKG", "\\Drivers\\RERER8"},
        {"DRVX64.PKG", "\\Drivers\\RERER8\\amd64"},
        {"DRVX86.PKG", "\\Drivers\\RERER8\\i386"},
    };
    for (size_t i = 0; i < 8; ++i)
    {
        EXPECT_EQ(nt[i + 2].package, shared[i][0]);
        EXPECT_EQ(w9x[i + 2].package, shared[i][0]);
        EXPECT_EQ(w9x[i + 2].target, std::string("D:\\P") + shared[i][1]);
    }
}
TEST(ReplaceRulesTest, TheDialogsEndReadsAsTheUsersAnswer)
{
    using ReplaceRules::Answer;
    struct Case
    {
        long long endCode;
        bool yesToAll, no;
        Answer answer;
    };
    const Case cases[] = {
        {1, false, false, Answer::Yes}, {1, true, false, Answer::YesToAll},
        {2, false, true, Answer::No},   {2, false, false, Answer::Cancel},
        {-1, false, false, Answer::No}, // never shown: the user's file is not overwritten
        {0, false, false, Answer::No},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(ReplaceRules::AnswerFor(c.endCode, c.yesToAll, c.no), c.answer) << c.endCode;
    }
}
} // namespace
