// The user's way through a fresh install, an upgrade and the Tarpan LT upgrade:
// the agreement, the path dialog, and every way of leaving them.
#include "MenuRun.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstdio>

namespace
{
using namespace MenuRun;

const char* const kClosingArdent = "Installation is complete.  Thank you for installing Ardent";
const char* const kClosingBrisk = "Installation is complete.  Thank you for installing Brisk";
const char* const kCancelQuestion = "Are you sure you wish to cancel Setup?";

class UserPathTest : public ::testing::Test
{
protected:
    void SetUp() override { CleanAll(); }
    void TearDown() override
    {
        // A test that ends at the closing box leaves the setup exiting.
        robot.WaitExit(10000);
        for (const std::string& link : links)
        {
            TestFiles::RemoveFolderLink(link);
        }
        CleanAll();
    }

    // Starts the setup and presses the menu's install button.
    HWND StartAndChooseInstall(const char* edition, const char* winver, const char* next)
    {
        if (!robot.Launch(SetupRun::SetupExe(edition), winver))
        {
            return nullptr;
        }
        HWND menu = WaitMenu(robot);
        if (!menu)
        {
            return nullptr;
        }
        robot.Click(menu, kMenuInstall);
        return robot.WaitWindow(next);
    }

    // Ticks the agreement and presses Install; returns the path dialog.
    HWND AcceptAgreement(HWND agreement)
    {
        robot.Click(agreement, kAccept);
        robot.Click(agreement, kAgreementInstall);
        return robot.WaitWindow("Choose Install Path");
    }

    // Expects the cancel question, answers it, and gives the box back.
    // The question is modal to the dialog that asks it: nothing behind it can be
    // pressed, and no second question can stack on it.
    void ExpectCancelQuestion(HWND asker, int answer)
    {
        RobotMessageBox box;
        ASSERT_TRUE(robot.WaitMessageBox(box)) << SetupRun::DescribeWindows(robot);
        EXPECT_EQ(box.caption, "Setup");
        EXPECT_EQ(box.text, kCancelQuestion);
        EXPECT_EQ(GetWindow(box.hWnd, GW_OWNER), asker);
        EXPECT_FALSE(IsWindowEnabled(asker));
        robot.Answer(box, answer);
        EXPECT_TRUE(robot.WaitWindowGone(box.hWnd, 5000));
    }

    CRobot robot;
    std::vector<std::string> links;
};

struct EditionCase
{
    const char* winver;
    const char* edition;
    const char* closing;
};

class AgreementTest : public UserPathTest, public ::testing::WithParamInterface<EditionCase>
{
};

TEST_P(AgreementTest, ShowsTheEditionsTextAndLetsOnlyAnAcceptedAgreementThrough)
{
    const EditionCase& c = GetParam();
    HWND agreement = StartAndChooseInstall(c.edition, c.winver, "Permission");
    ASSERT_NE(agreement, nullptr) << SetupRun::DescribeWindows(robot);

    const std::string text = CRobot::ControlText(agreement, kLicenseText);
    EXPECT_EQ(text, AgreementText(c.edition));
    EXPECT_EQ(text.find("!!"), std::string::npos);
    EXPECT_FALSE(CRobot::IsChecked(agreement, kAccept));
    EXPECT_FALSE(CRobot::IsControlEnabled(agreement, kAgreementInstall));

    // Enter with the box unticked does nothing.
    PressEnter(agreement);
    EXPECT_EQ(robot.WaitWindow("Choose Install Path", 300), nullptr);
    EXPECT_EQ(robot.WaitWindow("Permission", 0), agreement);

    // Install follows the box both ways.
    robot.Click(agreement, kAccept);
    EXPECT_TRUE(CRobot::IsControlEnabled(agreement, kAgreementInstall));
    robot.Click(agreement, kAccept);
    EXPECT_FALSE(CRobot::IsControlEnabled(agreement, kAgreementInstall));
    robot.Click(agreement, kAccept);
    EXPECT_TRUE(CRobot::IsChecked(agreement, kAccept));

    // The About box from the system menu, and back unchanged.
    PostMessageA(agreement, WM_SYSCOMMAND, 0x8000, 0);
    HWND about = robot.WaitWindow("About Kelvarin");
    ASSERT_NE(about, nullptr) << SetupRun::DescribeWindows(robot);
    robot.Click(about, IDOK);
    EXPECT_TRUE(robot.WaitWindowGone(about, 5000));
    EXPECT_TRUE(CRobot::IsChecked(agreement, kAccept));
    EXPECT_TRUE(CRobot::IsControlEnabled(agreement, kAgreementInstall));

    // Enter with the box ticked goes on, to the path dialog preset with the menu's folder.
    PressEnter(agreement);
    HWND path = robot.WaitWindow("Choose Install Path");
    ASSERT_NE(path, nullptr) << SetupRun::DescribeWindows(robot);
    EXPECT_EQ(CRobot::ControlText(path, kPath), "C:\\Nimbus");

    // A typed folder is installed into and recorded.
    robot.SetText(path, kPath, "C:\\Studio");
    robot.Click(path, IDOK);
    RobotMessageBox box;
    ASSERT_TRUE(robot.WaitMessageBox(box, 60000)) << SetupRun::DescribeWindows(robot);
    EXPECT_EQ(box.text, c.closing);
    EXPECT_TRUE(TestFiles::IsFolder("C:\\Studio\\Programs"));
    EXPECT_FALSE(TestFiles::Exists("C:\\Nimbus"));
    EXPECT_EQ(RecordedInstallPath(), "C:\\Studio");
    robot.Answer(box, IDOK);
    EXPECT_TRUE(robot.WaitExit(10000));
}

INSTANTIATE_TEST_SUITE_P(Editions, AgreementTest,
                         ::testing::Values(EditionCase{"winxp", "Ardent", kClosingArdent},
                                           EditionCase{"win98", "Brisk", kClosingBrisk},
                                           EditionCase{"win10", "Brisk", kClosingBrisk}),
                         [](const ::testing::TestParamInfo<EditionCase>& info)
                         { return std::string(info.param.winver) + "_" + info.param.edition; });

TEST_F(UserPathTest, ATrailingBackslashIsTakenAsTyped)
{
    ASSERT_TRUE(robot.Launch(SetupRun::SetupExe("Ardent"), "win98"));
    RobotMessageBox box;
    ASSERT_TRUE(SetupRun::DriveFreshInstall(robot, "C:\\Studio\\", box));
    EXPECT_EQ(box.text, kClosingArdent);
    EXPECT_TRUE(TestFiles::IsFolder("C:\\Studio\\Programs"));
    EXPECT_EQ(RecordedInstallPath(), "C:\\Studio\\");
    robot.Answer(box, IDOK);
}

// The uninstall removes the install folder whole: a folder it could not safely remove is
// refused, and one that already holds somebody's files is taken only when the user says so.
TEST_F(UserPathTest, AFolderTheUninstallMustNotRemoveIsRefusedAndAFullOneAskedAbout)
{
    HWND agreement = StartAndChooseInstall("Ardent", "winxp", "Permission");
    ASSERT_NE(agreement, nullptr);
    HWND path = AcceptAgreement(agreement);
    ASSERT_NE(path, nullptr);
    char windows[MAX_PATH] = "", profile[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, sizeof(windows));
    // A link to the profile, as "C:\Documents and Settings\Bob" is on later systems.
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PROFILE, nullptr, 0, profile)));
    std::string why;
    ASSERT_TRUE(TestFiles::MakeFolderLink(profile, "C:\\ToProfile", why)) << why;
    links.push_back("C:\\ToProfile");
    const std::vector<std::string> refused = {
        "C:\\", "Studio", " ", "D:", std::string(windows) + "\\", "C:\\users", "C:\\ToProfile"};
    for (const std::string& typed : refused)
    {
        robot.SetText(path, kPath, typed);
        robot.Click(path, IDOK);
        RobotMessageBox box;
        ASSERT_TRUE(robot.WaitMessageBox(box)) << SetupRun::DescribeWindows(robot);
        EXPECT_EQ(box.text.rfind("Setup cannot install into \"" + typed + "\"", 0), 0u) << box.text;
        EXPECT_EQ(GetWindow(box.hWnd, GW_OWNER), path);
        robot.Answer(box, IDOK);
        ASSERT_TRUE(robot.WaitWindowGone(box.hWnd, 5000));
        EXPECT_EQ(CRobot::ControlText(path, kPath), typed);
    }

    ASSERT_TRUE(CreateDirectoryA("C:\\Data", nullptr));
    ASSERT_TRUE(TestFiles::WriteText("C:\\Data\\Mine.txt", "the user's"));
    robot.SetText(path, kPath, "C:\\Data");
    for (int answer : {IDNO, IDYES})
    {
        robot.Click(path, IDOK);
        RobotMessageBox box;
        ASSERT_TRUE(robot.WaitMessageBox(box)) << SetupRun::DescribeWindows(robot);
        EXPECT_EQ(box.text, "The folder \"C:\\Data\" already exists and is not empty.  "
                            "Uninstalling the product later removes this folder with everything "
                            "in it.\n\nDo you wish to install into it?");
        robot.Answer(box, answer);
        ASSERT_TRUE(robot.WaitWindowGone(box.hWnd, 5000));
        if (answer == IDNO)
        {
            EXPECT_EQ(CRobot::ControlText(path, kPath), "C:\\Data");
        }
    }
    RobotMessageBox closing;
    ASSERT_TRUE(robot.WaitMessageBox(closing, 60000)) << SetupRun::DescribeWindows(robot);
    EXPECT_EQ(closing.text, kClosingArdent);
    EXPECT_EQ(RecordedInstallPath(), "C:\\Data");
    EXPECT_EQ(TestFiles::ReadText("C:\\Data\\Mine.txt"), "the user's");
    robot.Answer(closing, IDOK);
    EXPECT_TRUE(robot.WaitExit(10000));
}

TEST_F(UserPathTest, ACancelledBrowserEmptiesTheFieldAndTheMenusFolderIsKept)
{
    HWND agreement = StartAndChooseInstall("Brisk", "winxp", "Permission");
    ASSERT_NE(agreement, nullptr);
    HWND path = AcceptAgreement(agreement);
    ASSERT_NE(path, nullptr);
    robot.Click(path, kBrowse);
    HWND browser = nullptr;
    CRobot::WaitUntil(
        [&]
        {
            for (HWND hWnd : robot.Windows())
            {
                if (GetWindow(hWnd, GW_OWNER) == path)
                {
                    browser = hWnd;
                }
            }
            return browser != nullptr;
        },
        10000);
    ASSERT_NE(browser, nullptr) << SetupRun::DescribeWindows(robot);
    CRobot::WaitHandled(browser);
    robot.Click(browser, IDCANCEL);
    ASSERT_TRUE(robot.WaitWindowGone(browser, 5000));
    // The field is set after the browser's window has gone.
    EXPECT_TRUE(CRobot::WaitUntil([&] { return CRobot::ControlText(path, kPath).empty(); }, 5000))
        << CRobot::ControlText(path, kPath);

    robot.Click(path, IDOK);
    RobotMessageBox box;
    ASSERT_TRUE(robot.WaitMessageBox(box, 60000));
    EXPECT_EQ(box.text, kClosingBrisk);
    EXPECT_TRUE(TestFiles::IsFolder("C:\\Nimbus\\Programs"));
    EXPECT_EQ(RecordedInstallPath(), "C:\\Nimbus");
    robot.Answer(box, IDOK);
}

TEST_F(UserPathTest, NoKeepsTheAgreementAsItWasAndYesEndsSilently)
{
    HWND agreement = StartAndChooseInstall("Ardent", "win98", "Permission");
    ASSERT_NE(agreement, nullptr);
    robot.Click(agreement, kAccept);

    robot.Click(agreement, IDCANCEL);
    ExpectCancelQuestion(agreement, IDNO);
    EXPECT_EQ(robot.WaitWindow("Permission", 0), agreement);
    EXPECT_TRUE(CRobot::IsChecked(agreement, kAccept));
    EXPECT_TRUE(CRobot::IsControlEnabled(agreement, kAgreementInstall));

    PostMessageA(agreement, WM_CLOSE, 0, 0);
    ExpectCancelQuestion(agreement, IDNO);
    EXPECT_EQ(robot.WaitWindow("Permission", 0), agreement);

    PressEscape(agreement);
    ExpectCancelQuestion(agreement, IDYES);
    std::string why;
    EXPECT_TRUE(EndsSilently(robot, why)) << why;
    EXPECT_EQ(RecordedInstallPath(), "C:\\Nimbus");
    EXPECT_FALSE(TestFiles::Exists("C:\\Nimbus"));
}

TEST_F(UserPathTest, NoKeepsTheTypedPathAndYesEndsSilentlyWithoutUsingIt)
{
    HWND agreement = StartAndChooseInstall("Brisk", "winxp", "Permission");
    ASSERT_NE(agreement, nullptr);
    HWND path = AcceptAgreement(agreement);
    ASSERT_NE(path, nullptr);
    robot.SetText(path, kPath, "C:\\Studio");

    PostMessageA(path, WM_CLOSE, 0, 0);
    ExpectCancelQuestion(path, IDNO);
    EXPECT_EQ(CRobot::ControlText(path, kPath), "C:\\Studio");

    PressEscape(path);
    ExpectCancelQuestion(path, IDNO);
    EXPECT_EQ(robot.WaitWindow("Choose Install Path", 0), path);

    robot.Click(path, IDCANCEL);
    ExpectCancelQuestion(path, IDYES);
    std::string why;
    EXPECT_TRUE(EndsSilently(robot, why)) << why;
    EXPECT_EQ(RecordedInstallPath(), "C:\\Nimbus");
    EXPECT_FALSE(TestFiles::Exists("C:\\Studio"));
}

// A drive of 640 KB: a tmpfs mounted below the test's folder and given a free letter of the
// prefix. Mounting needs root; without it the letter stays empty. What it set up goes with it.
class CSmallDrive
{
public:
    CSmallDrive() : m_folder(TestFiles::ExeFolder() + "\\small-drive")
    {
        CreateDirectoryA(m_folder.c_str(), nullptr);
        std::string point = TestFiles::UnixPath(m_folder);
        std::string devices = TestFiles::UnixPath("C:\\");
        while (!devices.empty() && devices.back() == '/')
        {
            devices.pop_back();
        }
        devices = devices.substr(0, devices.find_last_of('/') + 1);
        if (point.empty() || devices.empty())
        {
            return;
        }
        // A run that was killed may have left it mounted: then it is taken as it is.
        if (!IsSmall(m_folder + "\\"))
        {
            TestFiles::RunUnix("Z:\\usr\\bin\\mount",
                               "mount -t tmpfs -o size=640k tmpfs \"" + point + "\"");
            if (!CRobot::WaitUntil([&] { return IsSmall(m_folder + "\\"); }, 10000))
            {
                return;
            }
        }
        m_mounted = point;
        for (char letter = 's'; letter < 'z' && m_letter.empty(); ++letter)
        {
            const std::string drive = std::string(1, static_cast<char>(letter - 'a' + 'A')) + ":";
            if (GetDriveTypeA((drive + "\\").c_str()) != DRIVE_NO_ROOT_DIR)
            {
                continue;
            }
            m_link = devices + letter + ":";
            TestFiles::RunUnix("Z:\\usr\\bin\\ln", "ln -sfn \"" + point + "\" \"" + m_link + "\"");
            if (CRobot::WaitUntil([&] { return IsSmall(drive + "\\"); }, 10000))
            {
                m_letter = drive;
            }
        }
    }
    ~CSmallDrive()
    {
        if (!m_link.empty())
        {
            TestFiles::RunUnix("Z:\\usr\\bin\\rm", "rm -f \"" + m_link + "\"");
            CRobot::WaitUntil(
                [&] { return m_letter.empty() || !TestFiles::Exists(m_letter + "\\"); }, 10000);
        }
        if (!m_mounted.empty())
        {
            // Lazily, so that a file the prefix's server still holds cannot keep it.
            TestFiles::RunUnix("Z:\\usr\\bin\\umount", "umount -l \"" + m_mounted + "\"");
            CRobot::WaitUntil([&] { return !IsSmall(m_folder + "\\"); }, 10000);
        }
    }
    CSmallDrive(const CSmallDrive&) = delete;
    CSmallDrive& operator=(const CSmallDrive&) = delete;

    // "S:", or empty when no small drive could be made.
    const std::string& Letter() const { return m_letter; }

private:
    static bool IsSmall(const std::string& root)
    {
        ULARGE_INTEGER available, total, free;
        return GetDiskFreeSpaceExA(root.c_str(), &available, &total, &free) &&
               total.QuadPart <= 1024 * 1024;
    }

    std::string m_folder;
    std::string m_mounted;
    std::string m_link;
    std::string m_letter;
};

// The space question comes once the path dialog has taken the folder and before anything is
// written there: No keeps the dialog as it was, Yes goes on (an estimate can be wrong).
TEST_F(UserPathTest, ASmallDriveIsAskedAboutBeforeAnythingIsWrittenToIt)
{
    CSmallDrive drive;
    if (drive.Letter().empty())
    {
        GTEST_SKIP() << "no small drive could be mounted here (it takes root)";
    }
    HWND agreement = StartAndChooseInstall("Ardent", "winxp", "Permission");
    ASSERT_NE(agreement, nullptr);
    HWND path = AcceptAgreement(agreement);
    ASSERT_NE(path, nullptr);
    const std::string folder = drive.Letter() + "\\Nimbus";
    robot.SetText(path, kPath, folder);
    for (int answer : {IDNO, IDYES})
    {
        robot.Click(path, IDOK);
        RobotMessageBox box;
        ASSERT_TRUE(robot.WaitMessageBox(box)) << SetupRun::DescribeWindows(robot);
        double needed = 0, free = 0;
        const std::string start =
            "There may not be enough free space on " + drive.Letter() + " for this installation: ";
        ASSERT_EQ(box.text.rfind(start, 0), 0u) << box.text;
        EXPECT_EQ(std::sscanf(box.text.c_str() + start.size(),
                              "it needs %lf MB, and %lf MB are free", &needed, &free),
                  2)
            << box.text;
        EXPECT_GT(needed, free);
        EXPECT_LE(free, 0.7);
        EXPECT_EQ(GetWindow(box.hWnd, GW_OWNER), path);
        robot.Answer(box, answer);
        ASSERT_TRUE(robot.WaitWindowGone(box.hWnd, 5000));
        if (answer == IDNO)
        {
            EXPECT_EQ(CRobot::ControlText(path, kPath), folder);
            EXPECT_FALSE(TestFiles::Exists(folder));
        }
    }
    // Yes: the install goes on, and the drive runs full on the way.
    RobotMessageBox failure;
    ASSERT_TRUE(robot.WaitMessageBox(failure, 60000)) << SetupRun::DescribeWindows(robot);
    EXPECT_NE(failure.text.find(SetupRun::SystemText(ERROR_DISK_FULL)), std::string::npos)
        << failure.text;
    EXPECT_TRUE(TestFiles::IsFolder(folder + "\\Programs"));
    robot.Answer(failure, IDOK);
    EXPECT_TRUE(robot.WaitExit(10000));
}

class UpgradeTest : public UserPathTest, public ::testing::WithParamInterface<EditionCase>
{
};

TEST_P(UpgradeTest, AnOlderBuildIsUpgradedInPlaceWithoutAgreementOrPath)
{
    const EditionCase& c = GetParam();
    PlantProgram("C:\\Studio", ProgramNotReplaced(c.winver));
    RecordInstallPath("C:\\Studio");
    RecordBuild(2000);
    // The older build's entry, which the upgrade rewrites in place.
    TestRegistry::WriteString(SetupRun::EntryKey(), "DisplayVersion", "2000");
    TestRegistry::WriteString(SetupRun::EntryKey(), "UninstallString", "\"C:\\Old\\Setup.exe\"");
    ASSERT_TRUE(robot.Launch(SetupRun::SetupExe(c.edition), c.winver));
    RobotMessageBox box;
    std::string seen;
    ASSERT_TRUE(SetupRun::DriveFreshInstall(robot, "C:\\Elsewhere", box, &seen));
    EXPECT_EQ(seen.find("Permission"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("Choose Install Path"), std::string::npos) << seen;
    EXPECT_EQ(box.text, c.closing);
    EXPECT_TRUE(TestFiles::IsFolder("C:\\Studio\\Logs"));
    EXPECT_FALSE(TestFiles::Exists("C:\\Nimbus"));
    EXPECT_FALSE(TestFiles::Exists("C:\\Elsewhere"));
    EXPECT_EQ(RecordedInstallPath(), "C:\\Studio");
    EXPECT_EQ(TestRegistry::ReadString(SetupRun::EntryKey(), "DisplayVersion"), "2105");
    EXPECT_EQ(TestRegistry::ReadString(SetupRun::EntryKey(), "InstallLocation"), "C:\\Studio");
    EXPECT_EQ(TestRegistry::ReadString(SetupRun::EntryKey(), "UninstallString"),
              "\"" + SetupRun::SetupCopyPath(c.winver != std::string("win98")) + "\"");
    robot.Answer(box, IDOK);
}

INSTANTIATE_TEST_SUITE_P(Editions, UpgradeTest,
                         ::testing::Values(EditionCase{"win98", "Ardent", kClosingArdent},
                                           EditionCase{"winxp", "Brisk", kClosingBrisk}),
                         [](const ::testing::TestParamInfo<EditionCase>& info)
                         { return std::string(info.param.winver) + "_" + info.param.edition; });

class TarpanTest : public UserPathTest,
                   public ::testing::WithParamInterface<std::pair<const char*, const char*>>
{
};

// Either medium upgrades Tarpan LT to Ardent, in its own folder, after the Ardent
// agreement and without the path dialog.
TEST_P(TarpanTest, UpgradesToArdentInPlaceAfterTheAgreement)
{
    PlantProgram("C:\\TarpanLT", ProgramNotReplaced(GetParam().first));
    HWND agreement = StartAndChooseInstall(GetParam().second, GetParam().first, "Permission");
    ASSERT_NE(agreement, nullptr) << SetupRun::DescribeWindows(robot);
    EXPECT_EQ(CRobot::ControlText(agreement, kLicenseText), AgreementText("Ardent"));
    robot.Click(agreement, kAccept);
    robot.Click(agreement, kAgreementInstall);

    RobotMessageBox box;
    ASSERT_TRUE(robot.WaitMessageBox(box, 60000)) << SetupRun::DescribeWindows(robot);
    EXPECT_EQ(box.text, kClosingArdent);
    EXPECT_TRUE(TestFiles::IsFolder("C:\\TarpanLT\\Logs"));
    EXPECT_FALSE(TestFiles::Exists("C:\\Nimbus"));
    EXPECT_EQ(RecordedInstallPath(), "C:\\TarpanLT");
    // One entry, the Ardent one, whichever medium upgraded.
    EXPECT_EQ(TestRegistry::ReadString(SetupRun::EntryKey(), "DisplayName"), "Ardent Teleprompter");
    robot.Answer(box, IDOK);
    EXPECT_TRUE(robot.WaitExit(10000));

    // Now recorded with this build, it is an Ardent install that can only be removed.
    CRobot again;
    ASSERT_TRUE(again.Launch(SetupRun::SetupExe("Ardent"), GetParam().first));
    HWND menu = WaitMenu(again);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(CRobot::ControlText(menu, kMenuFoundIn), "Installed Ardent found in C:\\TarpanLT");
    EXPECT_FALSE(CRobot::IsControlEnabled(menu, kMenuInstall));
    again.Click(menu, IDCANCEL);
}

INSTANTIATE_TEST_SUITE_P(Media, TarpanTest,
                         ::testing::Values(std::make_pair("winxp", "Brisk"),
                                           std::make_pair("win98", "Ardent")));
} // namespace
