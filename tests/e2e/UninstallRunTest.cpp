// Installing and then uninstalling through the real menu, in both families.
#include "MenuRun.h"

#include <gtest/gtest.h>
#include <shlobj.h>

namespace
{
using namespace MenuRun;

const char* const kStagesDone = "Removing Program Files... done.\n"
                                "Removing Registry Information... done.\n"
                                "Remove Icons... done.\n";

struct UninstallCase
{
    const char* winver;
    const char* edition;
    bool nt;
};

class UninstallRunTest : public ::testing::TestWithParam<UninstallCase>
{
protected:
    void SetUp() override { CleanAll(); }
    void TearDown() override { CleanAll(); }

    void Install()
    {
        CRobot robot;
        ASSERT_TRUE(robot.Launch(SetupRun::SetupExe(GetParam().edition), GetParam().winver));
        RobotMessageBox box;
        ASSERT_TRUE(SetupRun::DriveFreshInstall(robot, "", box));
        ASSERT_EQ(box.text.rfind("Installation is complete.", 0), 0u) << box.text;
        robot.Answer(box, IDOK);
        ASSERT_TRUE(robot.WaitExit(10000));
        ASSERT_TRUE(TestFiles::IsFolder("C:\\Nimbus\\Programs"));
    }

    // Starts the setup and chooses the uninstall button; gives the progress window.
    HWND StartUninstall(CRobot& robot)
    {
        if (!robot.Launch(SetupRun::SetupExe(GetParam().edition), GetParam().winver))
        {
            return nullptr;
        }
        HWND menu = WaitMenu(robot);
        if (!menu || !CRobot::IsControlEnabled(menu, kMenuUninstall))
        {
            return nullptr;
        }
        robot.Click(menu, kMenuUninstall);
        return robot.WaitWindow("Uninstalling components");
    }

    static std::string LinkFile(int csidl, const std::string& edition)
    {
        char folder[MAX_PATH] = "";
        SHGetSpecialFolderPathA(nullptr, folder, csidl, FALSE);
        return std::string(folder) + "\\" + edition + ".lnk";
    }
};

TEST_P(UninstallRunTest, RemovesTreeKeysAndLinksAndKeepsTheCompanyKey)
{
    const UninstallCase& c = GetParam();
    Install();
    // The 9x family keeps the links per user.
    const std::string link = LinkFile(c.nt ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS, c.edition);
    const std::string desktopLink =
        LinkFile(c.nt ? CSIDL_COMMON_DESKTOPDIRECTORY : CSIDL_DESKTOPDIRECTORY, c.edition);
    EXPECT_TRUE(TestFiles::Exists(link)) << link;
    // A read-only file of the user's goes without a word.
    TestFiles::WriteText("C:\\Nimbus\\Documents\\Script.txt", "Good evening.");
    SetFileAttributesA("C:\\Nimbus\\Documents\\Script.txt", FILE_ATTRIBUTE_READONLY);

    CRobot robot;
    HWND progress = StartUninstall(robot);
    ASSERT_NE(progress, nullptr) << SetupRun::DescribeWindows(robot);
    RobotMessageBox box;
    ASSERT_TRUE(robot.WaitMessageBox(box, 30000));
    EXPECT_EQ(box.caption, "Setup");
    EXPECT_EQ(box.text, "Uninstall completed");
    EXPECT_EQ(CRobot::ControlText(progress, kStageList), kStagesDone);
    robot.Answer(box, IDOK);
    std::string why;
    EXPECT_TRUE(EndsSilently(robot, why)) << why;

    EXPECT_FALSE(TestFiles::Exists("C:\\Nimbus"));
    EXPECT_FALSE(TestRegistry::KeyExists(kInstallKey));
    EXPECT_FALSE(TestRegistry::KeyExists("Software\\Pellmor\\Tarpan"));
    EXPECT_TRUE(TestRegistry::KeyExists("Software\\Pellmor"));
    EXPECT_FALSE(TestFiles::Exists(link)) << link;
    EXPECT_FALSE(TestFiles::Exists(desktopLink)) << desktopLink;
}

TEST_P(UninstallRunTest, AFileHeldOpenIsReportedWithItsFoldersAndTheRestStillGoes)
{
    Install();
    const std::string busy = "C:\\Nimbus\\Documents\\Open script.txt";
    TestFiles::WriteText(busy, "On air.");
    HANDLE held = CreateFileA(busy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    CRobot robot;
    HWND progress = StartUninstall(robot);
    ASSERT_NE(progress, nullptr) << SetupRun::DescribeWindows(robot);
    const std::string texts = AnswerUntilExit(robot);
    CloseHandle(held);

    const std::string notEmpty = SetupRun::SystemText(ERROR_DIR_NOT_EMPTY) + ".";
    EXPECT_EQ(texts, "Unable to delete file \"" + busy + "\" because " +
                         SetupRun::SystemText(ERROR_SHARING_VIOLATION) + ".|" +
                         "Unable to delete folder \"C:\\Nimbus\\Documents\" because " + notEmpty +
                         "|Unable to delete folder \"C:\\Nimbus\" because " + notEmpty +
                         "|Uninstall completed");
    EXPECT_TRUE(TestFiles::Exists(busy));
    EXPECT_FALSE(TestFiles::Exists("C:\\Nimbus\\Programs"));
    EXPECT_FALSE(TestFiles::Exists("C:\\Nimbus\\Logs"));
    EXPECT_FALSE(TestRegistry::KeyExists(kInstallKey));
}

INSTANTIATE_TEST_SUITE_P(Families, UninstallRunTest,
                         ::testing::Values(UninstallCase{"winxp", "Ardent", true},
                                           UninstallCase{"win98", "Brisk", false}),
                         [](const ::testing::TestParamInfo<UninstallCase>& info)
                         { return std::string(info.param.winver) + "_" + info.param.edition; });
} // namespace
