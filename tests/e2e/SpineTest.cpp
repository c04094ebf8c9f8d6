// The spine of the setup, run for real under Wine in both platform families:
// start-up, the install sequence's folder tree and the closing message.
#include "SetupRun.h"

#include <gtest/gtest.h>

namespace
{
const char* const kTree[] = {
    "C:\\Nimbus",
    "C:\\Nimbus\\Programs",
    "C:\\Nimbus\\Configuration",
    "C:\\Nimbus\\Configuration\\Machine",
    "C:\\Nimbus\\Drivers",
    "C:\\Nimbus\\Drivers\\RERER8",
    "C:\\Nimbus\\Drivers\\RERER8\\amd64",
    "C:\\Nimbus\\Drivers\\RERER8\\i386",
    "C:\\Nimbus\\Lexicography",
    "C:\\Nimbus\\Logs",
    "C:\\Nimbus\\Documents",
    "C:\\Nimbus\\Language",
    "C:\\Nimbus\\Language\\English",
};

struct SpineCase
{
    const char* winver;
    const char* edition;
    bool nt;
    const char* closing;
};

class SpineTest : public ::testing::TestWithParam<SpineCase>
{
protected:
    void SetUp() override { SetupRun::CleanMachine(); }
    void TearDown() override { SetupRun::CleanMachine(); }
};

TEST_P(SpineTest, InstallsTheTreeAndSaysGoodbyeForTheEdition)
{
    const SpineCase& c = GetParam();
    CRobot robot;
    ASSERT_TRUE(robot.Launch(SetupRun::SetupExe(c.edition), c.winver));

    RobotMessageBox box;
    ASSERT_TRUE(SetupRun::DriveFreshInstall(robot, "", box)) << SetupRun::DescribeWindows(robot);
    EXPECT_EQ(box.caption, "Setup");
    EXPECT_EQ(box.text, c.closing);
    // The progress window is gone before the closing message.
    EXPECT_EQ(robot.WaitWindow("Installing components", 0), nullptr);
    for (const char* folder : kTree)
    {
        EXPECT_TRUE(TestFiles::IsFolder(folder)) << folder;
    }
    // The rights test touches the registry on the NT family only.
    EXPECT_EQ(TestRegistry::KeyExists("Software\\Secure\\Pellmor"), c.nt);

    robot.Answer(box, IDOK);
    EXPECT_TRUE(robot.WaitExit(10000));
}

INSTANTIATE_TEST_SUITE_P(
    Families, SpineTest,
    ::testing::Values(SpineCase{"winxp", "Ardent", true,
                                "Installation is complete.  Thank you for installing Ardent"},
                      SpineCase{"win10", "Brisk", true,
                                "Installation is complete.  Thank you for installing Brisk"},
                      SpineCase{"win98", "Ardent", false,
                                "Installation is complete.  Thank you for installing Ardent"},
                      SpineCase{"win98", "Brisk", false,
                                "Installation is complete.  Thank you for installing Brisk"}),
    [](const ::testing::TestParamInfo<SpineCase>& info)
    { return std::string(info.param.winver) + "_" + info.param.edition; });

class SpineFailureTest : public ::testing::TestWithParam<const char*>
{
protected:
    void SetUp() override { SetupRun::CleanMachine(); }
    void TearDown() override { SetupRun::CleanMachine(); }
};

// A file where the install folder should be: the folder step itself passes (the
// name exists), the first subfolder fails, and nothing after it is tried.
TEST_P(SpineFailureTest, AFolderThatCannotBeMadeStopsTheInstallWithItsReason)
{
    ASSERT_TRUE(TestFiles::WriteText("C:\\Nimbus", "in the way"));
    CRobot robot;
    ASSERT_TRUE(robot.Launch(SetupRun::SetupExe("Ardent"), GetParam()));

    RobotMessageBox box;
    ASSERT_TRUE(SetupRun::DriveFreshInstall(robot, "", box)) << SetupRun::DescribeWindows(robot);
    EXPECT_EQ(box.text, "Failed to create the directory \"C:\\Nimbus\\Programs\" because " +
                            SetupRun::SystemText(ERROR_PATH_NOT_FOUND));
    HWND progress = robot.WaitWindow("Installing components", 2000);
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(CRobot::ControlText(progress, 1003), "Creating folders");
    EXPECT_EQ(CRobot::ControlText(progress, 1004), "C:\\Nimbus\\Programs");

    robot.Answer(box, IDOK);
    DWORD exitCode = 0;
    ASSERT_TRUE(robot.WaitExit(10000, &exitCode)) << SetupRun::DescribeWindows(robot);
    EXPECT_FALSE(TestFiles::IsFolder("C:\\Nimbus"));
}

INSTANTIATE_TEST_SUITE_P(Families, SpineFailureTest, ::testing::Values("winxp", "win98"));
} // namespace
