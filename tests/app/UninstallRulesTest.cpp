#include "install/UninstallRules.h"

#include <gtest/gtest.h>

namespace
{
struct FolderCase
{
    const char* folder;
    bool deletable;
};

class DeletableInstallFolderTest : public ::testing::TestWithParam<FolderCase>
{
};

TEST_P(DeletableInstallFolderTest, RefusesEverythingThatIsARootOrLeadsToOne)
{
    const FolderCase& c = GetParam();
    EXPECT_EQ(UninstallRules::IsDeletableInstallFolder(c.folder), c.deletable)
        << "\"" << c.folder << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Ordinary, DeletableInstallFolderTest,
    ::testing::Values(FolderCase{"C:\\Nimbus", true}, FolderCase{"C:\\Nimbus\\", true},
                      FolderCase{"c:/nimbus", true}, FolderCase{"D:\\Studio\\Prompter", true},
                      FolderCase{"C:\\Nimbus\\..\\TarpanLT", true},
                      FolderCase{"\\\\server\\share\\Nimbus", true},
                      FolderCase{"\\\\?\\C:\\Nimbus", true},
                      FolderCase{"\\\\?\\UNC\\server\\share\\Nimbus", true},
                      FolderCase{"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1\\Nimbus", true},
                      FolderCase{"C:\\.Nimbus", true}));

INSTANTIATE_TEST_SUITE_P(
    Roots, DeletableInstallFolderTest,
    ::testing::Values(FolderCase{"", false}, FolderCase{"C:", false}, FolderCase{"C:\\", false},
                      FolderCase{"C:/", false}, FolderCase{"C:\\\\", false},
                      FolderCase{"\\", false}, FolderCase{"/", false}, FolderCase{".", false},
                      FolderCase{".\\", false}, FolderCase{"\\\\server\\share", false},
                      FolderCase{"\\\\server\\share\\", false}, FolderCase{"\\\\server", false},
                      FolderCase{"//server/share/", false}, FolderCase{"\\\\?\\C:\\", false},
                      FolderCase{"\\\\.\\C:", false},
                      FolderCase{"\\\\?\\Volume{12345678-0000-0000-0000-000000000000}\\", false},
                      FolderCase{"\\\\?\\UNC\\server\\share", false},
                      FolderCase{"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1\\", false},
                      FolderCase{"\\\\.\\globalroot\\Device\\HarddiskVolume1", false}));

// Dots and spaces lead back to a root, or above the current folder to who knows where.
INSTANTIATE_TEST_SUITE_P(LeadingBack, DeletableInstallFolderTest,
                         ::testing::Values(FolderCase{"C:\\Nimbus\\..", false},
                                           FolderCase{"C:\\Nimbus\\..\\", false},
                                           FolderCase{"C:\\..", false}, FolderCase{"C:\\.", false},
                                           FolderCase{"C:\\...", false}, FolderCase{"C:\\ ", false},
                                           FolderCase{"C:\\Nimbus\\.\\..", false},
                                           FolderCase{"\\\\server\\share\\Nimbus\\..", false},
                                           FolderCase{"..", false}, FolderCase{"..\\Nimbus", false},
                                           FolderCase{"Nimbus\\..\\..\\Other", false},
                                           FolderCase{" ", false}));

// A relative folder would be deleted below wherever the uninstall runs.
INSTANTIATE_TEST_SUITE_P(Relative, DeletableInstallFolderTest,
                         ::testing::Values(FolderCase{"\\Nimbus", false},
                                           FolderCase{"C:Nimbus", false},
                                           FolderCase{"Nimbus", false},
                                           FolderCase{"Nimbus\\Programs", false}));
} // namespace
