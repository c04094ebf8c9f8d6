#include "install/BootRenames.h"

#include <gtest/gtest.h>

namespace
{
using List = std::vector<std::string>;

TEST(BootRenamesTest, OnlyOurOwnLastDeleteIsTakenBack)
{
    const std::string target = "C:\\Nimbus\\Programs\\Scroll.exe";
    struct Case
    {
        const char* what;
        List before;
        bool withdrawn;
        List after;
    };
    const Case cases[] = {
        {"our delete, last",
         {"\\??\\C:\\A", "!\\??\\C:\\B", "\\??\\C:\\NIMBUS\\Programs\\Scroll.exe", ""},
         true,
         {"\\??\\C:\\A", "!\\??\\C:\\B"}},
        {"our delete, alone", {"\\??\\" + target, ""}, true, {}},
        {"a move of our target is not a delete", {"\\??\\" + target, "\\??\\C:\\X"}, false, {}},
        {"another program's delete", {"\\??\\C:\\Other.dll", ""}, false, {}},
        {"ours, but not last", {"\\??\\" + target, "", "\\??\\C:\\A", ""}, false, {}},
        {"a list that is not pairs", {"\\??\\" + target}, false, {}},
    };
    for (const Case& c : cases)
    {
        List list = c.before;
        EXPECT_EQ(BootRenames::WithdrawDelete(list, target), c.withdrawn) << c.what;
        EXPECT_EQ(list, c.withdrawn ? c.after : c.before) << c.what;
    }
}

TEST(BootRenamesTest, RegisteredMovesAreFoundInEitherList)
{
    const List nt = {"\\??\\C:\\T\\a.dll", "", "\\??\\C:\\T\\$tmp0001.tmp", "\\??\\C:\\T\\a.dll"};
    EXPECT_TRUE(BootRenames::NtListMoves(nt, "c:\\t\\$TMP0001.TMP"));
    EXPECT_FALSE(BootRenames::NtListMoves(nt, "C:\\T\\a.dll")); // deleted, not moved
    EXPECT_FALSE(BootRenames::NtListMoves(nt, "C:\\T\\$tmp0002.tmp"));

    const List wininit = {"[boot]",           "C:\\X=C:\\T\\$TMP0003.TMP",           "[rename]",
                          "NUL=C:\\T\\A.DLL", " C:\\T\\A.DLL = C:\\T\\$TMP0001.TMP", "[later]"};
    EXPECT_TRUE(BootRenames::WininitMoves(wininit, "C:\\T\\$tmp0001.tmp"));
    EXPECT_FALSE(BootRenames::WininitMoves(wininit, "C:\\T\\A.DLL"));
    EXPECT_FALSE(BootRenames::WininitMoves(wininit, "C:\\T\\$TMP0003.TMP")); // not in [rename]
}
} // namespace
