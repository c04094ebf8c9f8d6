// Installing and then uninstalling through the real menu, in both families.
#include "MenuRun.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstdio>

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

    // `restart`: the install ends asking for the restart, which is declined.
    void Install(bool restart = false)
    {
        CRobot robot;
        ASSERT_TRUE(robot.Launch(SetupRun::SetupExe(GetParam().edition), GetParam().winver));
        RobotMessageBox box;
        ASSERT_TRUE(SetupRun::DriveFreshInstall(robot, "", box));
        ASSERT_EQ(box.text.rfind(restart ? "Setup must now restart your computer."
                                         : "Installation is complete.",
                                 0),
                  0u)
            << box.text;
        robot.Answer(box, restart ? IDNO : IDOK);
        ASSERT_TRUE(robot.WaitExit(10000));
        ASSERT_TRUE(TestFiles::IsFolder("C:\\Nimbus\\Programs"));
    }

    // Chooses the uninstall button of the started setup, checks the question and answers it
    // `answer`; gives the progress window after Yes, the main menu again after No.
    static HWND ChooseUninstall(CRobot& robot, int answer = IDYES)
    {
        HWND menu = WaitMenu(robot);
        if (!menu || !CRobot::IsControlEnabled(menu, kMenuUninstall))
        {
            return nullptr;
        }
        robot.Click(menu, kMenuUninstall);
        RobotMessageBox box;
        if (!robot.WaitMessageBox(box))
        {
            return nullptr;
        }
        EXPECT_EQ(box.text, UninstallQuestion("C:\\Nimbus"));
        robot.Answer(box, answer);
        robot.WaitWindowGone(box.hWnd, 5000);
        return answer == IDYES ? robot.WaitWindow("Uninstalling components") : WaitMenu(robot);
    }

    // Starts the setup and chooses the uninstall button; gives the progress window.
    HWND StartUninstall(CRobot& robot)
    {
        if (!robot.Launch(SetupRun::SetupExe(GetParam().edition), GetParam().winver))
        {
            return nullptr;
        }
        return ChooseUninstall(robot);
    }

    // What the install told Windows about itself, as its list of installed programs reads it.
    void ExpectEntry()
    {
        const UninstallCase& c = GetParam();
        const std::string entry = SetupRun::EntryKey();
        const std::string copy = SetupRun::SetupCopyPath(c.nt);
        EXPECT_EQ(TestRegistry::ReadString(entry, "DisplayName"),
                  c.edition + std::string(" Teleprompter"));
        EXPECT_EQ(TestRegistry::ReadString(entry, "DisplayVersion"), "2105");
        EXPECT_EQ(TestRegistry::ReadString(entry, "Publisher"), "Pellmor Studio Systems");
        EXPECT_EQ(TestRegistry::ReadString(entry, "InstallLocation"), "C:\\Nimbus");
        EXPECT_EQ(TestRegistry::ReadString(entry, "DisplayIcon"),
                  std::string("C:\\Nimbus\\Programs\\Scroll") + (c.nt ? "NT" : "95") + ".Exe,0");
        EXPECT_EQ(TestRegistry::ReadString(entry, "UninstallString"), "\"" + copy + "\"");
        SYSTEMTIME today;
        GetLocalTime(&today);
        char date[16];
        std::snprintf(date, sizeof(date), "%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
        EXPECT_EQ(TestRegistry::ReadString(entry, "InstallDate"), date);
        DWORD number = 0;
        for (const char* flag : {"NoModify", "NoRepair"})
        {
            EXPECT_TRUE(TestRegistry::ReadDword(entry, flag, number) && number == 1) << flag;
        }
        EXPECT_TRUE(TestRegistry::ReadDword(entry, "EstimatedSize", number) && number > 0);
        // The copy is the medium's own setup, which the uninstall may always start.
        EXPECT_EQ(TestFiles::ReadBytes(copy), TestFiles::ReadBytes(SetupRun::SetupExe(c.edition)));
    }

    // What Wine's uninstaller lists, one "key|||name" line per entry.
    static std::string ListedPrograms(const std::string& uninstaller)
    {
        const std::string listing = TestFiles::TempFolder("listing") + "\\list.txt";
        SECURITY_ATTRIBUTES inherited = {sizeof(inherited), nullptr, TRUE};
        HANDLE out = CreateFileA(listing.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                 CREATE_ALWAYS, 0, nullptr);
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = out;
        PROCESS_INFORMATION process = {};
        std::string command = "uninstaller.exe --list";
        if (CreateProcessA(uninstaller.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                           nullptr, &startup, &process))
        {
            WaitForSingleObject(process.hProcess, 30000);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
        CloseHandle(out);
        return TestFiles::ReadText(listing);
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
    ExpectEntry();
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
    EXPECT_FALSE(TestRegistry::KeyExists(SetupRun::EntryKey()));
    EXPECT_FALSE(TestFiles::Exists(SetupRun::SetupCopyPath(c.nt)));
}

// Windows' list of installed programs starts the setup's copy, as Wine's uninstaller does:
// its main menu offers the uninstall only, No to the question changes nothing, Yes removes
// the product, and the restart takes what the running copy could not delete of itself. An
// install before that restart keeps a copy that outlives it, and the entry works again.
TEST_P(UninstallRunTest, TheEntryRemovesTheProductAfterItsQuestionAndLeavesNothingAfterTheRestart)
{
    const UninstallCase& c = GetParam();
    Install();
    const std::string copy = SetupRun::SetupCopyPath(c.nt);
    const std::string copyName = copy.substr(copy.find_last_of('\\') + 1);
    ASSERT_TRUE(CRobot::SetWindowsVersion(copyName, c.winver));
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, sizeof(system));
    const std::string uninstaller = std::string(system) + "\\uninstaller.exe";
    EXPECT_NE(ListedPrograms(uninstaller)
                  .find("Pellmor Kelvarin|||" + std::string(c.edition) + " Teleprompter"),
              std::string::npos);
    auto isMenu = [](HWND hWnd)
    { return CRobot::WindowText(hWnd).find(" - Installation Build ") != std::string::npos; };
    // 0: no run of the entry's, an install from the medium.
    for (int answer : {IDNO, IDYES, 0, IDYES})
    {
        if (answer == 0)
        {
            // Installed again before the restart: its copy waits for the boot that deletes the
            // old one, which serves the entry until then.
            Install(true);
            EXPECT_TRUE(TestFiles::Exists(copy));
            ASSERT_TRUE(TestFiles::RunBootProcessing());
            ExpectEntry();
            continue;
        }
        CRobot robot;
        ASSERT_TRUE(
            robot.Launch(uninstaller, "", std::string("--remove \"") + "Pellmor Kelvarin" + "\""));
        ASSERT_TRUE(robot.Follow(isMenu)) << "the entry started no setup";
        HWND menu = WaitMenu(robot);
        ASSERT_NE(menu, nullptr);
        EXPECT_FALSE(CRobot::IsControlEnabled(menu, kMenuInstall));
        HWND next = ChooseUninstall(robot, answer);
        ASSERT_NE(next, nullptr) << SetupRun::DescribeWindows(robot);
        if (answer == IDNO)
        {
            robot.Click(next, IDCANCEL);
            std::string why;
            EXPECT_TRUE(EndsSilently(robot, why)) << why;
            EXPECT_TRUE(TestFiles::IsFolder("C:\\Nimbus\\Programs"));
            EXPECT_TRUE(TestRegistry::KeyExists(SetupRun::EntryKey()));
            EXPECT_TRUE(TestFiles::Exists(copy));
            continue;
        }
        RobotMessageBox box;
        ASSERT_TRUE(robot.WaitMessageBox(box, 30000));
        EXPECT_EQ(box.text, "Uninstall completed");
        EXPECT_EQ(box.caption, copyName.substr(0, copyName.find('.')));
        robot.Answer(box, IDOK);
        EXPECT_TRUE(robot.WaitExit(10000));
    }
    ASSERT_TRUE(TestFiles::RunBootProcessing());
    EXPECT_FALSE(TestFiles::Exists("C:\\Nimbus"));
    EXPECT_FALSE(TestRegistry::KeyExists(kInstallKey));
    EXPECT_FALSE(TestRegistry::KeyExists(SetupRun::EntryKey()));
    EXPECT_FALSE(TestFiles::Exists(copy));
    EXPECT_FALSE(TestFiles::Exists(copy.substr(0, copy.find_last_of('\\'))) && c.nt);
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

    const std::string notEmpty = SetupRun::SystemText(ERROR_DIR_NOT_EMPTY);
    EXPECT_EQ(texts, "Unable to delete file \"" + busy + "\" because " +
                         SetupRun::SystemText(ERROR_SHARING_VIOLATION) + "|" +
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
