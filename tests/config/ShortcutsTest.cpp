// The edition's shortcuts under Wine, built once seeing Windows XP and once Windows 98:
// where they go, what they point at, and that removing them is quiet.
#include "ConfigTestSupport.h"
#include "config/Shortcuts.h"
#include "ui/DLG_Installing.h"
#include "framework/resource.h"

#include <gtest/gtest.h>
#include <ole2.h>
#include <shlobj.h>

#include <string>

using namespace ConfigTest;

namespace
{
const bool kExpectNT = KELVARIN_EXPECT_NT;

std::string ShellFolder(int csidl)
{
    char path[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, path, csidl, TRUE);
    return path;
}

int CountLinks(const std::string& folder, const std::string& edition)
{
    int count = 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\" + edition + "*.lnk").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE)
    {
        do
        {
            ++count;
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return count;
}

class ShortcutsTest : public ::testing::TestWithParam<bool>
{
protected:
    ShortcutsTest() : app(GetParam()) {}

    void SetUp() override
    {
        ASSERT_EQ(CKelvarinApp::IsWindowsNT(), kExpectNT) << "wrong Windows version seen";
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        ASSERT_TRUE(dlg.Create());
        app.State().m_strInstallPath = "C:\\Nimbus";
        edition = GetParam() ? "Ardent" : "Brisk";
        // The family's folders: all users on NT, the user's own on 9x.
        programs = ShellFolder(kExpectNT ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS);
        desktop = ShellFolder(kExpectNT ? CSIDL_COMMON_DESKTOPDIRECTORY : CSIDL_DESKTOPDIRECTORY);
        ASSERT_FALSE(programs.empty());
        ASSERT_FALSE(desktop.empty());
        ASSERT_NE(programs, desktop);
        Clean();
    }
    void TearDown() override
    {
        Clean();
        dlg.DestroyWindow();
        OleUninitialize();
    }
    void Clean()
    {
        DeleteFileA((programs + "\\" + edition + ".lnk").c_str());
        DeleteFileA((desktop + "\\" + edition + ".lnk").c_str());
    }

    CTestApp app;
    DLG_Installing dlg;
    std::string edition;
    std::string programs;
    std::string desktop;
};

TEST_P(ShortcutsTest, BothLinksPointAtThePrompterOfTheFamily)
{
    // The install sequence announces the step; the step leaves the lines to it.
    dlg.SetStatus(IDS_CREATING_SHORTCUTS, 0);
    ASSERT_TRUE(CShortcuts(app.State()).CreateShortcuts());
    EXPECT_TRUE(app.Texts().empty());
    EXPECT_EQ(ControlText(dlg.GetSafeHwnd(), IDC_STATUS_LINE1), "Creating shortcuts");

    const std::string target =
        kExpectNT ? "C:\\Nimbus\\Programs\\ScrollNT.exe" : "C:\\Nimbus\\Programs\\Scroll95.exe";
    for (const std::string& folder : {programs, desktop})
    {
        const TestFiles::Link link = TestFiles::ReadLink(folder + "\\" + edition + ".lnk", true);
        ASSERT_TRUE(link.loaded) << folder;
        EXPECT_EQ(link.path, target) << folder;
        EXPECT_EQ(link.description, edition) << folder;
    }
}

TEST_P(ShortcutsTest, ASecondInstallLeavesOneLinkPerFolderAndRemovalIsQuiet)
{
    ASSERT_TRUE(CShortcuts(app.State()).CreateShortcuts());
    app.State().m_strInstallPath = "D:\\Elsewhere";
    ASSERT_TRUE(CShortcuts(app.State()).CreateShortcuts());
    EXPECT_EQ(CountLinks(programs, edition), 1);
    EXPECT_EQ(CountLinks(desktop, edition), 1);
    // The second save replaced the first link.
    EXPECT_EQ(TestFiles::ReadLink(desktop + "\\" + edition + ".lnk", true).path.substr(0, 12),
              "D:\\Elsewhere");

    CShortcuts(app.State()).RemoveShortcuts();
    EXPECT_FALSE(Exists(programs + "\\" + edition + ".lnk"));
    EXPECT_FALSE(Exists(desktop + "\\" + edition + ".lnk"));
    CShortcuts(app.State()).RemoveShortcuts();
    EXPECT_TRUE(app.Texts().empty());
}

TEST_P(ShortcutsTest, RemovalTakesOnlyTheEditionsOwnLinks)
{
    const std::string otherLink = desktop + "\\" + (GetParam() ? "Brisk" : "Ardent") + ".lnk";
    app.State().m_bArdent = !GetParam();
    ASSERT_TRUE(CShortcuts(app.State()).CreateShortcuts());
    app.State().m_bArdent = GetParam();
    ASSERT_TRUE(CShortcuts(app.State()).CreateShortcuts());

    CShortcuts(app.State()).RemoveShortcuts();
    EXPECT_TRUE(Exists(otherLink));
    app.State().m_bArdent = !GetParam();
    CShortcuts(app.State()).RemoveShortcuts();
    EXPECT_FALSE(Exists(otherLink));
}

TEST_P(ShortcutsTest, AFolderThatCannotTakeTheLinkFailsWithOneMessage)
{
    const std::string missing = "C:\\no such folder\\below";
    EXPECT_FALSE(CShortcuts(app.State()).CreateShortcut(missing));
    ASSERT_EQ(app.Texts().size(), 1u);
    EXPECT_EQ(app.Texts()[0].rfind("Failed to create the required shortcut - ", 0), 0u)
        << app.Texts()[0];
}

// A failed folder lookup (already reported) gives an empty folder: no link may land at the
// root of the drive, and the step fails without a second message.
TEST_P(ShortcutsTest, AnUnknownFolderFailsTheStepRatherThanUsingTheDriveRoot)
{
    const std::string root = "\\" + edition + ".lnk";
    DeleteFileA(root.c_str());
    EXPECT_FALSE(CShortcuts(app.State()).CreateShortcut(""));
    EXPECT_FALSE(Exists(root));
    EXPECT_TRUE(app.Texts().empty());

    HANDLE file = CreateFileA(root.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    CShortcuts(app.State()).RemoveShortcut("");
    EXPECT_TRUE(Exists(root)) << "a file at the drive root is not ours to delete";
    DeleteFileA(root.c_str());
}

INSTANTIATE_TEST_SUITE_P(Editions, ShortcutsTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info)
                         { return std::string(info.param ? "Ardent" : "Brisk"); });
} // namespace
