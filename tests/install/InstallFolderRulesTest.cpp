#include "install/InstallFolderRules.h"

#include <gtest/gtest.h>

namespace
{
using InstallFolderRules::Verdict;

struct FolderCase
{
    const char16_t* folder;
    Verdict verdict;
};

// The folders of Windows and of its users on a typical machine, long and 8.3 forms.
const std::vector<std::u16string> kGuarded = {
    u"C:\\WINDOWS",    u"C:\\WINDOWS\\system32",     u"C:\\Program Files",   u"C:\\PROGRA~1",
    u"C:\\Users\\Ann", u"C:\\Users\\Ann\\Documents", u"D:\\Data\\Ann\\Music"};

class InstallFolderTest : public ::testing::TestWithParam<FolderCase>
{
};

TEST_P(InstallFolderTest, OnlyAFolderOfItsOwnBelowARootIsTaken)
{
    const FolderCase& c = GetParam();
    EXPECT_EQ(InstallFolderRules::Judge(c.folder, kGuarded), c.verdict)
        << "\"" << std::string(c.folder, c.folder + std::char_traits<char16_t>::length(c.folder))
        << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Ordinary, InstallFolderTest,
    ::testing::Values(FolderCase{u"C:\\Nimbus", Verdict::Accepted},
                      FolderCase{u"C:\\Nimbus\\", Verdict::Accepted},
                      FolderCase{u"c:/nimbus", Verdict::Accepted},
                      FolderCase{u"D:\\Studio\\Prompter", Verdict::Accepted},
                      FolderCase{u"C:\\Nimbus\\..\\TarpanLT", Verdict::Accepted},
                      FolderCase{u"\\\\server\\share\\Nimbus", Verdict::Accepted},
                      FolderCase{u"C:\\.Nimbus", Verdict::Accepted},
                      FolderCase{u"C:\\Program Files\\Nimbus", Verdict::Accepted},
                      FolderCase{u"C:\\Users\\Ann\\Nimbus", Verdict::Accepted},
                      FolderCase{u"C:\\WindowsApps", Verdict::Accepted}));

INSTANTIATE_TEST_SUITE_P(
    Roots, InstallFolderTest,
    ::testing::Values(
        FolderCase{u"", Verdict::NotFullPath}, FolderCase{u"C:", Verdict::NotFullPath},
        FolderCase{u"C:\\", Verdict::NotFullPath}, FolderCase{u"C:/", Verdict::NotFullPath},
        FolderCase{u"C:\\\\", Verdict::NotFullPath}, FolderCase{u"\\", Verdict::NotFullPath},
        FolderCase{u"/", Verdict::NotFullPath}, FolderCase{u".", Verdict::NotFullPath},
        FolderCase{u".\\", Verdict::NotFullPath},
        FolderCase{u"\\\\server\\share", Verdict::NotFullPath},
        FolderCase{u"\\\\server\\share\\", Verdict::NotFullPath},
        FolderCase{u"\\\\server", Verdict::NotFullPath},
        FolderCase{u"//server/share/", Verdict::NotFullPath},
        FolderCase{u"\\\\\\server\\share\\Nimbus", Verdict::NotFullPath},
        // Device paths name no folder a user types.
        FolderCase{u"\\\\?\\C:\\Nimbus", Verdict::NotFullPath},
        FolderCase{u"\\\\.\\C:\\Nimbus", Verdict::NotFullPath},
        FolderCase{u"\\\\?\\UNC\\server\\share\\Nimbus", Verdict::NotFullPath}));

// Dots and blanks lead back to a root.
INSTANTIATE_TEST_SUITE_P(LeadingBack, InstallFolderTest,
                         ::testing::Values(FolderCase{u"C:\\Nimbus\\..", Verdict::NotFullPath},
                                           FolderCase{u"C:\\Nimbus\\..\\", Verdict::NotFullPath},
                                           FolderCase{u"C:\\..", Verdict::NotFullPath},
                                           FolderCase{u"C:\\.", Verdict::NotFullPath},
                                           FolderCase{u"C:\\...", Verdict::NotFullPath},
                                           FolderCase{u"C:\\ ", Verdict::NotFullPath},
                                           FolderCase{u"C:\\Nimbus\\.\\..", Verdict::NotFullPath},
                                           FolderCase{u"\\\\server\\share\\Nimbus\\..",
                                                      Verdict::NotFullPath}));

// A relative folder would be read below wherever the setup happens to run.
INSTANTIATE_TEST_SUITE_P(Relative, InstallFolderTest,
                         ::testing::Values(FolderCase{u"\\Nimbus", Verdict::NotFullPath},
                                           FolderCase{u"C:Nimbus", Verdict::NotFullPath},
                                           FolderCase{u"Nimbus", Verdict::NotFullPath},
                                           FolderCase{u" C:\\Nimbus", Verdict::NotFullPath},
                                           FolderCase{u"..\\Nimbus", Verdict::NotFullPath},
                                           FolderCase{u" ", Verdict::NotFullPath}));

// A folder that is or holds one of Windows' or a user's own.
INSTANTIATE_TEST_SUITE_P(
    Guarded, InstallFolderTest,
    ::testing::Values(FolderCase{u"C:\\Windows", Verdict::GuardedFolder},
                      FolderCase{u"c:/windows/System32/", Verdict::GuardedFolder},
                      FolderCase{u"C:\\Program Files", Verdict::GuardedFolder},
                      FolderCase{u"C:\\progra~1", Verdict::GuardedFolder},
                      FolderCase{u"C:\\Users", Verdict::GuardedFolder},
                      FolderCase{u"C:\\Users\\Ann\\", Verdict::GuardedFolder},
                      FolderCase{u"C:\\Nimbus\\..\\Users\\Ann\\Documents", Verdict::GuardedFolder},
                      FolderCase{u"D:\\Data", Verdict::GuardedFolder}));

TEST(InstallFolderRulesTest, TheGuardedFolderMetIsNamed)
{
    size_t which = 99;
    EXPECT_EQ(InstallFolderRules::Judge(u"D:\\Data", kGuarded, &which), Verdict::GuardedFolder);
    EXPECT_EQ(which, 6u);
}
} // namespace
