// The main menu as it opens on each machine state: texts, which buttons it offers
// and what it records, in both families and both editions.
#include "MenuRun.h"

#include <gtest/gtest.h>

namespace
{
using namespace MenuRun;

struct MenuCase
{
    const char* name;
    const char* winver;
    const char* edition;
    void (*arrange)();
    const char* caption;
    const char* installLabel;
    const char* uninstallLabel;
    const char* foundIn;
    bool installEnabled;
    bool uninstallEnabled;
    const char* recordedAfter;
};

class MainMenuTest : public ::testing::TestWithParam<MenuCase>
{
protected:
    void SetUp() override { CleanAll(); }
    void TearDown() override { CleanAll(); }
};

TEST_P(MainMenuTest, OpensWithTheStatesTextsAndLeavesSilently)
{
    const MenuCase& c = GetParam();
    c.arrange();
    CRobot robot;
    ASSERT_TRUE(robot.Launch(SetupRun::SetupExe(c.edition), c.winver));
    HWND menu = WaitMenu(robot);
    ASSERT_NE(menu, nullptr) << SetupRun::DescribeWindows(robot);

    EXPECT_EQ(CRobot::WindowText(menu), c.caption);
    EXPECT_EQ(CRobot::ControlText(menu, kMenuInstallLabel), c.installLabel);
    EXPECT_EQ(CRobot::ControlText(menu, kMenuUninstallLabel), c.uninstallLabel);
    EXPECT_EQ(CRobot::ControlText(menu, kMenuFoundIn), c.foundIn);
    EXPECT_EQ(CRobot::IsControlEnabled(menu, kMenuInstall), c.installEnabled);
    EXPECT_EQ(CRobot::IsControlEnabled(menu, kMenuInstallLabel), c.installEnabled);
    EXPECT_EQ(CRobot::IsControlEnabled(menu, kMenuUninstall), c.uninstallEnabled);
    EXPECT_EQ(CRobot::IsControlEnabled(menu, kMenuUninstallLabel), c.uninstallEnabled);
    EXPECT_EQ(RecordedInstallPath(), c.recordedAfter);

    // Enter only ever presses an enabled install button that has the focus; with the
    // install button off it must not be taken for the uninstall choice.
    if (!c.installEnabled)
    {
        PressEnter(menu);
        EXPECT_EQ(WaitMenu(robot, 300), menu);
        EXPECT_EQ(robot.Windows().size(), 1u) << SetupRun::DescribeWindows(robot);
    }

    robot.Click(menu, IDCANCEL);
    std::string why;
    EXPECT_TRUE(EndsSilently(robot, why)) << why;
    EXPECT_EQ(RecordedInstallPath(), c.recordedAfter);
}

void Nothing() {}
void OlderBuild()
{
    PlantProgram("C:\\Nimbus");
    RecordInstallPath("C:\\Nimbus");
    RecordBuild(2000);
}
void SameBuild()
{
    PlantProgram("C:\\Nimbus", "Scroll95.Exe");
    RecordInstallPath("C:\\Nimbus");
    RecordBuild(2105);
}
void BuildAsText()
{
    PlantProgram("C:\\Nimbus");
    RecordInstallPath("c:\\NIMBUS");
    RecordBuildAsText("2000");
}
void StaleRecord()
{
    CreateDirectoryA("C:\\Elsewhere", nullptr);
    RecordInstallPath("C:\\Elsewhere");
    RecordBuild(2000);
}
void RecordedAndTarpan()
{
    PlantProgram("C:\\Studio");
    RecordInstallPath("C:\\Studio");
    RecordBuild(2000);
    PlantProgram("C:\\TarpanLT");
}
void TarpanOnly()
{
    PlantProgram("C:\\TarpanLT", "Scroll95.Exe");
}
void FoundElsewhere()
{
    RecordInstallPath("C:\\Elsewhere");
    RecordBuild(2000);
    PlantProgram("C:\\Ardent");
}

const char* const kArdentCaption = "Ardent - Installation Build 2105";
const char* const kBriskCaption = "Brisk - Installation Build 2105";

INSTANTIATE_TEST_SUITE_P(
    States, MainMenuTest,
    ::testing::Values(
        MenuCase{"FreshArdentXp", "winxp", "Ardent", Nothing, kArdentCaption,
                 "INSTALL Ardent Build 2105", "UN-INSTALL Ardent", "", true, false, "C:\\Nimbus"},
        MenuCase{"FreshBrisk98", "win98", "Brisk", Nothing, kBriskCaption,
                 "INSTALL Brisk Build 2105", "UN-INSTALL Brisk", "", true, false, "C:\\Nimbus"},
        MenuCase{"OlderBuildArdent98", "win98", "Ardent", OlderBuild, kArdentCaption,
                 "UPGRADE to Ardent Build 2105", "UN-INSTALL Ardent",
                 "Installed Ardent found in C:\\Nimbus", true, true, "C:\\Nimbus"},
        MenuCase{"OlderBuildBriskXp", "winxp", "Brisk", OlderBuild, kBriskCaption,
                 "UPGRADE to Brisk Build 2105", "UN-INSTALL Brisk",
                 "Installed Brisk found in C:\\Nimbus", true, true, "C:\\Nimbus"},
        MenuCase{"SameBuildOnlyUninstalls10", "win10", "Ardent", SameBuild, kArdentCaption,
                 "UPGRADE to Ardent Build 2105", "UN-INSTALL Ardent",
                 "Installed Ardent found in C:\\Nimbus", false, true, "C:\\Nimbus"},
        MenuCase{"BuildAsTextUpgrades98", "win98", "Brisk", BuildAsText, kBriskCaption,
                 "UPGRADE to Brisk Build 2105", "UN-INSTALL Brisk",
                 "Installed Brisk found in c:\\NIMBUS", true, true, "c:\\NIMBUS"},
        // An install's record (with its build) is never overwritten by what the menu offers.
        MenuCase{"StaleRecordIsFreshXp", "winxp", "Ardent", StaleRecord, kArdentCaption,
                 "INSTALL Ardent Build 2105", "UN-INSTALL Ardent", "", true, false,
                 "C:\\Elsewhere"},
        MenuCase{"RecordedBeforeTarpanXp", "winxp", "Ardent", RecordedAndTarpan, kArdentCaption,
                 "UPGRADE to Ardent Build 2105", "UN-INSTALL Ardent",
                 "Installed Ardent found in C:\\Studio", true, true, "C:\\Studio"},
        MenuCase{"TarpanFromBrisk98", "win98", "Brisk", TarpanOnly, kArdentCaption,
                 "UPGRADE Tarpan LT to Ardent Build 2105", "UN-INSTALL Tarpan LT",
                 "Installed TarpanLT found in C:\\TarpanLT", true, true, "C:\\TarpanLT"},
        MenuCase{"FoundElsewhereOnlyUninstallsXp", "winxp", "Ardent", FoundElsewhere,
                 kArdentCaption, "UPGRADE to Ardent Build 2105", "UN-INSTALL Ardent",
                 "Installed Ardent found in C:\\Ardent", false, true, "C:\\Elsewhere"}),
    [](const ::testing::TestParamInfo<MenuCase>& info) { return info.param.name; });

class MainMenuKeysTest : public ::testing::Test
{
protected:
    void SetUp() override { CleanAll(); }
    void TearDown() override { CleanAll(); }
};

// The install button has the focus when the menu opens: Enter presses it.
TEST_F(MainMenuKeysTest, EnterOnTheFocusedInstallButtonGoesOnToTheAgreement)
{
    CRobot robot;
    ASSERT_TRUE(robot.Launch(SetupRun::SetupExe("Ardent"), "winxp"));
    HWND menu = WaitMenu(robot);
    ASSERT_NE(menu, nullptr);
    PressEnter(menu);
    EXPECT_NE(robot.WaitWindow("Permission"), nullptr) << SetupRun::DescribeWindows(robot);
}
} // namespace
