// The framework pieces and the spine, in process, under Wine: the shipped string
// table, the message convention, the progress windows and the install sequence's
// first step.
#include "app/KelvarinApp.h"
#include "framework/Dialog.h"
#include "Fault.h"
#include "framework/Messages.h"
#include "ProgressRecorder.h"
#include "TestApp.h"
#include "TestFiles.h"
#include "install/ProductTree.h"
#include "ui/DLG_Installing.h"
#include "ui/DLG_Uninstalling.h"
#include "framework/resource.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <map>
#include <new>
#include <string>
#include <vector>

namespace
{
using TestFiles::RemoveTree;
using TestSupport::ControlText;
using TestSupport::CProgressRecorder;
using TestSupport::CTestApp;

// The shipped Setup.exe carries every text exactly; the test reads the medium's
// own executable, not a copy of the resource script.
TEST(StringTable, EveryTextOfTheShippedSetupIsExact)
{
    const std::map<UINT, std::string> expected = {
        {20001, "&About Kelvarin..."},
        {20002, "Are you sure you wish to cancel Setup?"},
        {20003, "Installation is complete.  Thank you for installing Ardent"},
        {20004, "Setup must now restart your computer.  Do you wish to restart now?"},
        {20005, "Setup was unable to restart your computer.  You should manually restart your "
                "computer as soon as possible."},
        {20006, "Creating shortcuts"},
        {20007, "Ardent"},
        {20008, "Failed to create the required shortcut - %1"},
        {20009, "Configuring software."},
        {20010, "Configuring Unicode character maps"},
        {20011, "Creating folders"},
        {20012, "Failed to create the directory \"%1\" because %2"},
        {20015, "Installing files"},
        {20016, "Failed to open the package \"%1\" - %2"},
        {20017, "The package file \"%1\" is from a different build."},
        {20018, "The package file \"%1\" is corrupt."},
        {20019, "Failed retrieving file information for \"%1\" - %2"},
        {20020, "(No version info)"},
        {20021, "Do you wish to replace the file \"%1\"\nOld file is version %4, modified %5\nNew "
                "file is version %2, modified %3"},
        {20022, "Read from package failed - %1"},
        {20023, "Write to file failed - %1"},
        {20024, "Failed to rename a file - %1"},
        {20025, "Rename to target file \"%1\" failed after deletion - %2"},
        {20026, "Failed to create WININIT.INI system file - %1"},
        {20027, "Failed to schedule a boot-time file replacement - %1"},
        {20028, "Failed to create the temporary file \"%1\" - %2"},
        {20029, "Browse for Path"},
        {20030, "Installed TarpanLT found in "},
        {20031, "Removing Program Files... "},
        {20032, "Removing Registry Information... "},
        {20033, "Remove Icons... "},
        {20034, "<stage 4>"},
        {20035, "<stage 5>"},
        {20036, "<stage 6>"},
        {20037, "<stage 7>"},
        {20038, "<stage 8>"},
        {20039, "<stage 9>"},
        {20040, "<stage 10 (last)>"},
        {20041, "done."},
        {20042, "Uninstall completed"},
        {20043, "Unable to delete folder \"%1\" because %2."},
        {20044, "Unable to delete file \"%1\" because %2."},
        {20049, "Registering components"},
        {20051, "INSTALL Brisk Build %1"},
        {20052, "UN-INSTALL Brisk"},
        {20053, "Brisk - Installation Build %1"},
        {20054, "Installed Brisk found in "},
        {20055, "Installed Ardent found in "},
        {20056, "UN-INSTALL Ardent"},
        {20057, "INSTALL Ardent Build %1"},
        {20058, "UPGRADE Tarpan LT to Ardent Build %1"},
        {20059, "UN-INSTALL Tarpan LT"},
        {20060, "Ardent - Installation Build %1"},
        {20062, "Installation is complete.  Thank you for installing Brisk"},
        {20063, "Brisk"},
        {20071, "UPGRADE to Ardent Build %1"},
        {20072, "UPGRADE to Brisk Build %1"},
        {20080, "Registering OLE Controls"},
        {20081, "Failed to register OLE control \"%1\""},
        {20090, "The new file for \"%1\" is kept as \"%2\".  Rename it to \"%1\" when Setup has "
                "ended."},
        {20091, "Setup cannot install into \"%1\".  Please type the full path of a folder below a "
                "drive or a network share, for example C:\\Nimbus or \\\\server\\share\\Nimbus."},
        {20092, "Setup cannot install into \"%1\" because it is or holds \"%2\", a folder of "
                "Windows or of a user, which uninstalling the product would remove.  Please type "
                "the path of a folder of its own, for example C:\\Nimbus."},
        {20093, "The folder \"%1\" already exists and is not empty.  Uninstalling the product "
                "later removes this folder with everything in it.\n\nDo you wish to install into "
                "it?"},
        {20094, "The folder \"%1\" was left in place because it is or holds \"%2\", a folder of "
                "Windows or of a user."},
        {20095, "Failed to record the installation in the registry - %1"},
        {20096, "Failed to read where the product is installed - %1"},
        {20097, "Unable to delete registry key \"%1\" because %2."},
        {20098, "Setup cannot install into \"%1\" because it is a link to another folder.  Please "
                "type the path of a folder of its own, for example C:\\Nimbus."},
        {20099,
         "Setup cannot install into \"%1\" because it cannot tell which folder that is.  %2  "
         "Please type the path of a folder of its own, for example C:\\Nimbus."},
        {20100, "The folder \"%1\" already exists, and Setup cannot see what it holds - %2  "
                "Uninstalling the product later removes this folder with everything in it.\n\nDo "
                "you wish to install into it?"},
        {20101, "The folder \"%1\" was left in place because it is not a folder of its own below "
                "a drive or a network share."},
        {20102, "The folder \"%1\" was left in place because it is a link to another folder."},
        {20104, "Setup has left the access rights of \"%1\" as they were because it is a link to "
                "another folder."},
        {20105, "Setup has left the access rights of \"%1\" as they were because it cannot tell "
                "which folder it is.  %2"},
        {20106, "Setup has left the access rights of \"%1\" as they were because it is or holds "
                "\"%2\", a folder of Windows or of a user."},
        {20107, "Setup has left the access rights of \"%1\" as they were because it is not a "
                "folder of its own below a drive or a network share."},
        {20110, "Ardent Teleprompter"},
        {20111, "Brisk Teleprompter"},
        {20112, "Pellmor Studio Systems"},
        {20113, "Uninstalling removes the folder \"%1\" with everything in it, the documents and "
                "settings you keep there included, and the product's registry information and "
                "shortcuts.\n\nDo you wish to uninstall?"},
        {20114, "Uninstalling removes the product's registry information and shortcuts.  The "
                "folder \"%1\" stays in place because %2\n\nDo you wish to uninstall?"},
        // %1 is a drive (C:), a share (\\server\share) or a volume mounted on a folder.
        {20115, "There may not be enough free space on %1 for this installation: it needs %2 MB, "
                "and %3 MB are free.\n\nDo you wish to install anyway?"},
        {20116, "Failed to copy the setup program \"%1\" - %2"},
        {20121, "it is not a folder of its own below a drive or a network share."},
        {20122, "it is or holds \"%1\", a folder of Windows or of a user."},
        {20123, "it is a link to another folder."},
        {20124, "The folder \"%1\" cannot be read - %2"},
        {20125, "The folders of Windows and of its users cannot all be named - %1"},
        {20126, "Setup has not uninstalled the product because it cannot tell which folder \"%1\" "
                "is.  %2  Nothing has been removed.  Please uninstall again once it can be read."},
        {20130, "Checking the installation files"},
        // The main menu may have recorded the install folder already: nothing was installed,
        // which is not to say that nothing changed.
        {20131, "The package file \"%1\" is missing.  The installation medium may be damaged; "
                "nothing was installed."},
        {20132, "The package file \"%1\" is shorter than when the installation medium was made.  "
                "The medium may be damaged; nothing was installed."},
        {20133, "The package file \"%1\" is longer than when the installation medium was made.  "
                "The medium may be damaged; nothing was installed."},
        {20134, "The package file \"%1\" is not the one the installation medium was made with.  "
                "The medium may be damaged; nothing was installed."},
        {20135, "The package file \"%1\" is not one of those the installation medium was made "
                "with.  The medium may be damaged; nothing was installed."},
        {20136, "Setup could not read the package file \"%1\", so nothing was installed.  The "
                "installation medium may be damaged - %2"},
        {20137, "Setup could not check the package file \"%1\", so nothing was installed - %2"},
        {20138, "Setup cannot read the record of its package files that it carries.  The "
                "installation medium may be damaged; nothing was installed."},
    };
    for (const char* edition : {"Ardent", "Brisk"})
    {
        std::string exe = "Z:" + std::string(KELVARIN_MEDIUM_DIR) + "/" + edition + "/Setup.exe";
        for (char& c : exe)
        {
            c = c == '/' ? '\\' : c;
        }
        HMODULE setup = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(setup, nullptr) << exe;
        for (UINT id = 20001; id <= 20140; ++id)
        {
            char buffer[1024] = "";
            const int length = LoadStringA(setup, id, buffer, sizeof(buffer));
            const auto it = expected.find(id);
            if (it == expected.end())
            {
                EXPECT_EQ(length, 0) << "unexpected string " << id;
            }
            else
            {
                EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(length)), it->second) << id;
            }
        }
        for (UINT dialog : {IDD_INSTALLING, IDD_UNINSTALLING})
        {
            EXPECT_NE(FindResourceA(setup, MAKEINTRESOURCEA(dialog), MAKEINTRESOURCEA(5)), nullptr)
                << dialog; // RT_DIALOG
        }
        FreeLibrary(setup);
    }
}

TEST(MessageConvention, FillsTheTextAndOwnsTheBoxByTheMainWindow)
{
    CTestApp app;
    DLG_Installing dlg;
    ASSERT_TRUE(dlg.Create());
    app.SetMainWnd(dlg.GetSafeHwnd());
    Messages::Show(IDS_CREATE_FOLDER_FAILED, {"C:\\X", "why"});
    Messages::Show(IDS_RESTART_QUERY, {}, MB_YESNO | MB_ICONHAND);
    ASSERT_EQ(app.Texts().size(), 2u);
    EXPECT_EQ(app.Texts()[0], "Failed to create the directory \"C:\\X\" because why");
    EXPECT_EQ(app.shown[0].type, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_EQ(app.shown[1].type, 0x14u);
    EXPECT_EQ(app.shown[0].owner, dlg.GetSafeHwnd());
    // The caption is the program's name without folder and extension.
    EXPECT_EQ(app.GetAppTitle().compare(0, 15, "framework_test_"), 0) << app.GetAppTitle();
    EXPECT_EQ(Messages::LoadText(0), "");
    EXPECT_EQ(Messages::LoadText(20013), ""); // no such string
}

TEST(ProgressWindow, LinesStartEmptyAndEachSetterTouchesOnlyItsLine)
{
    CTestApp app;
    DLG_Installing dlg;
    ASSERT_TRUE(dlg.Create());
    HWND hWnd = dlg.GetSafeHwnd();
    EXPECT_TRUE(IsWindowVisible(hWnd));
    EXPECT_EQ(ControlText(hWnd, IDC_STATUS_LINE1), "");
    EXPECT_EQ(ControlText(hWnd, IDC_STATUS_LINE2), "");

    dlg.SetLine2Text("C:\\Nimbus\\Programs");
    dlg.SetStatus(IDS_INSTALLING_FILES, 0);
    EXPECT_EQ(ControlText(hWnd, IDC_STATUS_LINE1), "Installing files");
    EXPECT_EQ(ControlText(hWnd, IDC_STATUS_LINE2), "");

    dlg.SetStatus(IDS_CONFIGURING, 0);
    dlg.SetLine2(IDS_CONFIGURING_FONTMAPS);
    EXPECT_EQ(ControlText(hWnd, IDC_STATUS_LINE1), "Configuring software.");
    EXPECT_EQ(ControlText(hWnd, IDC_STATUS_LINE2), "Configuring Unicode character maps");

    dlg.SetLine1(0);
    EXPECT_EQ(ControlText(hWnd, IDC_STATUS_LINE1), "");
    dlg.SetLine2(20013); // an id without text clears rather than keeps
    EXPECT_EQ(ControlText(hWnd, IDC_STATUS_LINE2), "");

    // An ampersand in a path is shown as itself, not as a mnemonic.
    const LONG style = GetWindowLongA(GetDlgItem(hWnd, IDC_STATUS_LINE2), GWL_STYLE);
    EXPECT_TRUE(style & SS_NOPREFIX);
    dlg.DestroyWindow();
    EXPECT_FALSE(IsWindow(hWnd));
}

TEST(UninstallWindow, StageListGrowsByDoneLines)
{
    CTestApp app;
    DLG_Uninstalling dlg;
    ASSERT_TRUE(dlg.Create());
    HWND hWnd = dlg.GetSafeHwnd();
    EXPECT_EQ(ControlText(hWnd, IDC_STAGE_LIST), "Removing Program Files... ");
    dlg.StageDone(1);
    EXPECT_EQ(ControlText(hWnd, IDC_STAGE_LIST),
              "Removing Program Files... done.\nRemoving Registry Information... ");
    dlg.StageDone(2);
    dlg.StageDone(3);
    const std::string all = "Removing Program Files... done.\nRemoving Registry Information... "
                            "done.\nRemove Icons... done.\n";
    EXPECT_EQ(ControlText(hWnd, IDC_STAGE_LIST), all);
    dlg.StageDone(4); // past the last stage: only another mark, never "<stage 4>"
    EXPECT_EQ(dlg.GetStageList(), all + "done.\n");
}

class InstallSequence : public ::testing::Test
{
protected:
    void SetUp() override { root = TestFiles::TempFolder("spine-test"); }
    void TearDown() override { RemoveTree(root); }
    std::string root;
};

TEST_F(InstallSequence, FirstStepShowsEachFolderAndLeavesAnExistingTreeAlone)
{
    CTestApp app;
    app.State().m_strInstallPath = root + "\\Product";
    DLG_Installing dlg;
    ASSERT_TRUE(dlg.Create());
    std::vector<std::string> expected = {"1:Creating folders",
                                         "2:", "2:" + app.State().m_strInstallPath};
    for (int i = 0; i < ProductTree::kSubFolderCount; ++i)
    {
        expected.push_back("2:" + app.State().m_strInstallPath + ProductTree::kSubFolders[i]);
    }
    for (int run = 0; run < 2; ++run) // the second run meets every folder already there
    {
        CProgressRecorder recorder(&dlg);
        recorder.SetStatus(IDS_CREATING_FOLDERS, 0);
        EXPECT_TRUE(app.CreateFolderTree(recorder));
        EXPECT_EQ(recorder.lines, expected);
    }
    EXPECT_TRUE(app.Texts().empty());
    EXPECT_EQ(ProductTree::kSubFolderCount, 12);
}

TEST_F(InstallSequence, StepsAnnounceThemselvesInOrder)
{
    CTestApp app;
    app.State().m_strInstallPath = root + "\\Product";
    app.State().m_strSourceFolder = TestFiles::FromUnixPath(KELVARIN_MEDIUM_DIR "/Ardent/");
    app.SetReplaceQuestion([](const std::string&) { return ReplaceRules::Answer::Yes; });
    DLG_Installing dlg;
    ASSERT_TRUE(dlg.Create());
    CProgressRecorder recorder(&dlg);
    // A step that breaks fails this test rather than cutting the list short.
    ASSERT_TRUE(app.Install(recorder)) << ::testing::PrintToString(app.Texts());
    std::vector<std::string> firstLines;
    for (const std::string& line : recorder.lines)
    {
        // A step may announce itself again from inside; the screen shows it once.
        if (line.compare(0, 2, "1:") == 0 &&
            (firstLines.empty() || firstLines.back() != line.substr(2)))
        {
            firstLines.push_back(line.substr(2));
        }
    }
    const std::vector<std::string> order = {"Creating folders",       "Installing files",
                                            "Configuring software.",  "Creating shortcuts",
                                            "Registering components", "Registering OLE Controls"};
    EXPECT_EQ(firstLines, order);
}

TEST_F(InstallSequence, MissingParentStopsAtTheInstallFolderWithTheSystemsReason)
{
    CTestApp app;
    app.State().m_strInstallPath = root + "\\Missing\\Product";
    DLG_Installing dlg;
    ASSERT_TRUE(dlg.Create());
    app.SetMainWnd(dlg.GetSafeHwnd());
    EXPECT_FALSE(app.Install(dlg));
    ASSERT_EQ(app.Texts().size(), 1u);
    // The system's reason, without the line break it ends with.
    EXPECT_EQ(app.Texts()[0], "Failed to create the directory \"" + app.State().m_strInstallPath +
                                  "\" because " + TestFiles::SystemText(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(app.shown[0].owner, dlg.GetSafeHwnd());
    EXPECT_EQ(ControlText(dlg.GetSafeHwnd(), IDC_STATUS_LINE1), "Creating folders");
    EXPECT_EQ(GetFileAttributesA((root + "\\Missing").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(SystemErrorText, IsTheSystemsOwnTextWithItsLineBreak)
{
    SetLastError(ERROR_FILE_NOT_FOUND);
    const std::string text = CKelvarinApp::GetSystemErrorText();
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    // A code the system has no text for is told by its number, never as an empty reason.
    SetLastError(0x2000FFFF);
    EXPECT_EQ(CKelvarinApp::GetSystemErrorText(), "Error 536936447.\r\n");

    // Texts that carry inserts of their own ("%1 is not a valid application") are
    // given as they stand, not dropped.
    int withInserts = 0;
    for (DWORD code = 1; code < 2000; ++code)
    {
        char raw[4096] = "";
        const DWORD length =
            FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, raw, sizeof(raw), nullptr);
        if (length > 0 && std::string(raw, length).find('%') != std::string::npos)
        {
            ++withInserts;
            SetLastError(code);
            EXPECT_EQ(CKelvarinApp::GetSystemErrorText(), std::string(raw, length)) << code;
        }
    }
    EXPECT_GT(withInserts, 0);
}

// Run once as NT and once as 9x (see CMakeLists): common folders map to the user's own on 9x.
TEST(SpecialFolders, CommonFoldersFollowThePlatformFamily)
{
    CTestApp app;
    const bool nt = CKelvarinApp::IsWindowsNT();
    EXPECT_EQ(nt, std::string(KELVARIN_EXPECT_FAMILY) == "nt");
    const std::pair<int, int> pairs[] = {{CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS},
                                         {CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY},
                                         {CSIDL_COMMON_STARTMENU, CSIDL_STARTMENU}};
    for (const auto& pair : pairs)
    {
        const std::string common = app.GetSpecialFolderPath(pair.first);
        const std::string personal = app.GetSpecialFolderPath(pair.second);
        ASSERT_FALSE(common.empty());
        EXPECT_NE(common.back(), '\\');
        EXPECT_EQ(common == personal, !nt) << common << " / " << personal;
    }
    EXPECT_TRUE(app.Texts().empty());
}

// Memory running out inside a dialog's handler is told, and the dialog goes on: nothing
// unwinds through the system's frames. The report itself allocates nothing.
TEST(Exceptions, StopWhereTheSystemCallsInAndTheReportAllocatesNothing)
{
    class CThrowingDialog : public CDialog
    {
    public:
        CThrowingDialog() : CDialog(IDD_ABOUTBOX) {}

    protected:
        bool OnCommand(WORD id, WORD code, HWND control) override
        {
            if (id == IDOK)
            {
                throw std::bad_alloc();
            }
            return CDialog::OnCommand(id, code, control);
        }
    };
    CTestApp app;
    CThrowingDialog dialog;
    app.onShow = [&](const TestSupport::Shown&)
    { PostMessageA(dialog.GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0); };
    struct Poster
    {
        static DWORD WINAPI Run(void* target)
        {
            for (int i = 0; i < 500 && !static_cast<CThrowingDialog*>(target)->GetSafeHwnd(); ++i)
            {
                Sleep(10);
            }
            PostMessageA(static_cast<CThrowingDialog*>(target)->GetSafeHwnd(), WM_COMMAND, IDOK, 0);
            return 0;
        }
    };
    HANDLE poster = CreateThread(nullptr, 0, &Poster::Run, &dialog, 0, nullptr);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    WaitForSingleObject(poster, INFINITE);
    CloseHandle(poster);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    const std::string outOfMemory = CKelvarinApp::GetSystemErrorText();
    EXPECT_EQ(app.Texts(), std::vector<std::string>({outOfMemory}));

    class CCountingApp : public CWinApp
    {
    public:
        BOOL InitInstance() override { return TRUE; }
        int DoMessageBox(const char* text, UINT, HWND) override
        {
            lstrcpynA(shown, text, sizeof(shown));
            return IDOK;
        }
        char shown[512] = "";
    };
    app.onShow = nullptr;
    CCountingApp counting;
    Fault::Plan allocations;
    allocations.apis = Fault::Bit(Fault::Api::OperatorNew);
    Fault::Arm(allocations);
    Messages::ShowOutOfMemory();
    EXPECT_EQ(Fault::Disarm().total, 0u);
    EXPECT_EQ(counting.shown, outOfMemory);
}
} // namespace
