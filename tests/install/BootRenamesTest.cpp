#include "install/BootRenames.h"
#include "install/PathNames.h"
#include "install/WininitMerge.h"

#include <gtest/gtest.h>

namespace
{
TEST(PathNamesTest, PathsAreComparedAsWindowsReadsThem)
{
    struct Case
    {
        std::u16string a;
        std::u16string b;
        bool same;
    };
    const Case cases[] = {
        {u"\\??\\D:\\Studio\\Programs\\a.dll", u"D:\\Studio\\\\Programs\\a.dll", true},
        {u"D:/Studio//Programs/", u"d:\\studio\\programs", true},
        {u"\\??\\UNC\\server\\share\\x", u"\\\\server\\share\\x", true},
        {u"\\\\?\\C:\\a\\b", u"C:\\a\\.\\c\\..\\b", true},
        {u"C:\\a\\b. . ", u"C:\\a\\b", true},
        {u"C:\\a.\\b", u"C:\\a\\b", true},
        {u"C:\\..\\..\\Windows", u"C:\\Windows", true},
        {u"C:\\Bür\u00F6\\\u044F", u"c:\\BÜR\u00D6\\\u042F", true},
        {u"C:\\a\\b", u"C:\\a\\b2", false},
        {u"C:\\a\\$tmp0001.tmp", u"D:\\a\\$tmp0001.tmp", false},
        {u"\\\\server\\share\\x", u"\\\\server\\other\\x", false},
        {u"C:\\a\\b", u"a\\b", false},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(PathNames::SameFile(c.a, c.b), c.same)
            << std::string(c.a.begin(), c.a.end()) << " / " << std::string(c.b.begin(), c.b.end());
    }
    EXPECT_TRUE(PathNames::IsSameOrBelow(u"C:\\Windows\\System32", u"c:\\windows\\"));
    EXPECT_TRUE(PathNames::IsSameOrBelow(u"C:\\Windows", u"C:\\"));
    EXPECT_FALSE(PathNames::IsSameOrBelow(u"C:\\WindowsApps", u"C:\\Windows"));
    EXPECT_FALSE(PathNames::IsSameOrBelow(u"C:\\Windows", u"C:\\Windows\\System32"));
}

TEST(BootRenamesTest, MovesAndDeletesAreFoundApartInEitherList)
{
    const std::vector<std::u16string> nt = {u"\\??\\C:\\T\\a.dll", u"",
                                            u"\\??\\C:\\T\\$tmp0001.tmp", u"!\\??\\C:\\T\\a.dll"};
    EXPECT_EQ(BootRenames::NtMoveSources(nt), std::vector<std::u16string>({nt[2]}));
    EXPECT_EQ(BootRenames::NtDeletions(nt), std::vector<std::u16string>({nt[0]}));

    const std::vector<std::string> wininit = {
        "[boot]",           "C:\\X=C:\\T\\$TMP0003.TMP",           "[rename]",
        "NUL=C:\\T\\A.DLL", " C:\\T\\A.DLL = C:\\T\\$TMP0001.TMP", "[later]"};
    EXPECT_EQ(WininitMerge::MoveSources(wininit),
              std::vector<std::string>({"C:\\T\\$TMP0001.TMP"}));
    EXPECT_EQ(WininitMerge::Deletions(wininit), std::vector<std::string>({"C:\\T\\A.DLL"}));
}

// A copy deleted at boot and then moved onto again is there after the boot, until it is
// deleted once more.
TEST(BootRenamesTest, AFileIsThereAfterTheBootWhenItsLastRequestMovesOntoIt)
{
    const std::u16string copy = u"\\??\\C:\\WINDOWS\\Pellmor Kelvarin\\Setup.exe";
    std::vector<std::u16string> nt = {copy,
                                      u"",
                                      u"\\??\\C:\\WINDOWS\\Pellmor Kelvarin",
                                      u"",
                                      u"\\??\\C:\\WINDOWS\\Pellmor Kelvarin\\$tmp0001.tmp",
                                      u"!" + copy};
    const std::vector<std::u16string> names = {u"c:\\windows\\pellmor kelvarin\\setup.exe"};
    EXPECT_TRUE(BootRenames::EndsMovedOnto(BootRenames::NtOps(nt), names));
    nt.insert(nt.end(), {copy, u""});
    EXPECT_FALSE(BootRenames::EndsMovedOnto(BootRenames::NtOps(nt), names));
    const std::vector<WininitMerge::Rename> renames =
        WininitMerge::Renames({"[rename]", "NUL=C:\\WINDOWS\\KELSETUP.EXE",
                               "C:\\WINDOWS\\KELSETUP.EXE=C:\\WINDOWS\\$TMP0001.TMP"});
    ASSERT_EQ(renames.size(), 2u);
    EXPECT_TRUE(renames[0].deletes);
    EXPECT_EQ(renames[1].target + "<" + renames[1].source,
              "C:\\WINDOWS\\KELSETUP.EXE<C:\\WINDOWS\\$TMP0001.TMP");
}
} // namespace
