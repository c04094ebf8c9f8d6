// The uninstall sequence in this process, against the Wine prefix's disk and
// registry: what goes, what stays, and what the user is told.
#include "app/KelvarinApp.h"
#include "Fault.h"
#include "framework/resource.h"
#include "TestApp.h"
#include "TestFiles.h"
#include "TestRegistry.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace
{
const char* const kInstallKey = "Software\\Pellmor\\Prompter Install";
const char* const kRoot = "C:\\UninstallTest";
const char* const kOutside = "C:\\UninstallTestOutside";

// Records every message instead of showing it, with the uninstall window's stage
// list as it stood when the box came up.
class CTestApp : public TestSupport::CTestApp
{
public:
    CTestApp()
    {
        onShow = [this](const TestSupport::Shown& box)
        { stages.push_back(box.owner ? TestSupport::ControlText(box.owner, IDC_STAGE_LIST) : ""); };
    }

    std::vector<std::string> stages;
};

using TestFiles::Exists;
using TestFiles::RemoveTree;
using TestFiles::SystemText;
using TestRegistry::DeleteKeyTree;
using TestRegistry::KeyExists;

void SetInstallPath(const std::string& folder)
{
    TestRegistry::WriteString(kInstallKey, "Install Path", folder);
    TestRegistry::WriteDword(kInstallKey, "Build Number", 2105);
}

using TestRegistry::CreateKey;

void WriteFile(const std::string& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL)
{
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    ::WriteFile(file, "data", 4, &written, nullptr);
    CloseHandle(file);
}

using TestFiles::RunUnix;
using TestFiles::UnixPath;

// What an uninstall that keeps `folder` shows: the question says the folder stays and why,
// then the same once it is done.
std::vector<std::string> KeptFolderTexts(const std::string& folder, const std::string& why)
{
    return {"Uninstalling removes the product's registry information and shortcuts.  The "
            "folder \"" +
                folder + "\" stays in place because " + why + "\n\nDo you wish to uninstall?",
            "The folder \"" + folder + "\" was left in place because " + why,
            "Uninstall completed"};
}

class UninstallTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Clean();
        CreateDirectoryA(kRoot, nullptr);
    }
    void TearDown() override { Clean(); }

    static void Clean()
    {
        RemoveTree(kRoot);
        RemoveTree(kOutside);
        DeleteKeyTree("Software\\Pellmor");
    }

    // A product tree with something in every corner of it.
    static void MakeTree(const std::string& root)
    {
        for (const char* folder : {"", "\\Programs", "\\Documents", "\\Documents\\Scripts",
                                   "\\Configuration", "\\Configuration\\Machine", "\\Logs"})
        {
            CreateDirectoryA((root + folder).c_str(), nullptr);
        }
        WriteFile(root + "\\Programs\\ScrollNT.Exe");
        WriteFile(root + "\\Programs\\Locked.dll", FILE_ATTRIBUTE_READONLY);
        WriteFile(root + "\\Documents\\Scripts\\Evening news.txt");
        WriteFile(root + "\\Configuration\\Machine\\Hidden.ini",
                  FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        WriteFile(root + "\\Logs\\Today.log", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    }

    CTestApp app;
};

TEST_F(UninstallTest, RemovesTreeKeysAndLinksAndKeepsTheCompanyKey)
{
    const std::string root = std::string(kRoot) + "\\Product";
    MakeTree(root);
    SetInstallPath(root);
    CreateKey("Software\\Pellmor\\Tarpan\\Settings");
    CreateKey("Software\\Pellmor\\Unicode Support\\Font Mapping\\Arial");
    std::vector<std::string> links;
    for (int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_COMMON_DESKTOPDIRECTORY})
    {
        links.push_back(app.GetSpecialFolderPath(csidl) + "\\Ardent.lnk");
        WriteFile(links.back());
    }

    EXPECT_TRUE(app.Uninstall());

    ASSERT_EQ(app.Texts(), std::vector<std::string>{"Uninstall completed"});
    EXPECT_EQ(app.shown[0].type, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_EQ(app.stages[0], "Removing Program Files... done.\n"
                             "Removing Registry Information... done.\n"
                             "Remove Icons... done.\n");
    EXPECT_FALSE(Exists(root));
    EXPECT_TRUE(Exists(kRoot));
    EXPECT_FALSE(KeyExists(kInstallKey));
    EXPECT_FALSE(KeyExists("Software\\Pellmor\\Tarpan"));
    EXPECT_TRUE(KeyExists("Software\\Pellmor"));
    EXPECT_TRUE(KeyExists("Software\\Pellmor\\Unicode Support\\Font Mapping\\Arial"));
    for (const std::string& link : links)
    {
        EXPECT_FALSE(Exists(link)) << link;
    }
    EXPECT_EQ(app.GetMainWnd(), nullptr);
}

TEST_F(UninstallTest, TrailingBackslashDeletesTheSameTreeAndNamesPathsOnce)
{
    const std::string root = std::string(kRoot) + "\\Product";
    MakeTree(root);
    SetInstallPath(root + "\\");
    EXPECT_TRUE(app.Uninstall());
    EXPECT_EQ(app.Texts(), std::vector<std::string>{"Uninstall completed"});
    EXPECT_FALSE(Exists(root));
}

TEST_F(UninstallTest, NothingRecordedMeansNoWindowNoMessageAndAnEmptyKey)
{
    const std::string root = std::string(kRoot) + "\\Product";
    MakeTree(root);
    EXPECT_FALSE(app.Uninstall());
    EXPECT_TRUE(app.shown.empty());
    EXPECT_TRUE(Exists(root + "\\Programs\\ScrollNT.Exe"));
    EXPECT_TRUE(KeyExists(kInstallKey));
}

TEST_F(UninstallTest, AFileInUseIsReportedWithEachFolderAboveItAndTheRestStillGoes)
{
    const std::string root = std::string(kRoot) + "\\Product";
    MakeTree(root);
    SetInstallPath(root);
    CreateKey("Software\\Pellmor\\Tarpan");
    const std::string busy = root + "\\Documents\\Scripts\\Evening news.txt";
    HANDLE held = CreateFileA(busy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    EXPECT_TRUE(app.Uninstall());
    CloseHandle(held);

    const std::vector<std::string> texts = app.Texts();
    ASSERT_EQ(texts.size(), 5u);
    EXPECT_EQ(texts[0].rfind("Unable to delete file \"" + busy + "\" because ", 0), 0u) << texts[0];
    // The system's reason ends the sentence: no second full stop, no line break.
    const std::string notEmpty = SystemText(ERROR_DIR_NOT_EMPTY);
    EXPECT_EQ(texts[1],
              "Unable to delete folder \"" + root + "\\Documents\\Scripts\" because " + notEmpty);
    EXPECT_EQ(texts[2], "Unable to delete folder \"" + root + "\\Documents\" because " + notEmpty);
    EXPECT_EQ(texts[3], "Unable to delete folder \"" + root + "\" because " + notEmpty);
    EXPECT_EQ(texts[4], "Uninstall completed");
    // The stage was still running while its failures were shown.
    EXPECT_EQ(app.stages[0], "Removing Program Files... ");

    EXPECT_TRUE(Exists(busy));
    EXPECT_FALSE(Exists(root + "\\Programs"));
    EXPECT_FALSE(Exists(root + "\\Configuration"));
    EXPECT_FALSE(Exists(root + "\\Logs"));
    EXPECT_FALSE(KeyExists(kInstallKey));
    EXPECT_FALSE(KeyExists("Software\\Pellmor\\Tarpan"));
}

TEST_F(UninstallTest, AMissingInstallFolderIsReportedAndTheOtherStagesRun)
{
    const std::string root = std::string(kRoot) + "\\Never";
    SetInstallPath(root);
    EXPECT_TRUE(app.Uninstall());
    const std::vector<std::string> texts = app.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].rfind("Unable to delete folder \"" + root + "\" because ", 0), 0u)
        << texts[0];
    EXPECT_EQ(texts[1], "Uninstall completed");
    EXPECT_FALSE(KeyExists(kInstallKey));
}

// The question's verdict is the deletion's: the folder it said stays, and why, is kept even
// when the guard would judge otherwise by then (the user's temporary folder, which the folder
// holds, moved away while the question was up).
TEST_F(UninstallTest, TheFolderTheQuestionKeepsStaysWhateverTheGuardSaysLater)
{
    const std::string root = std::string(kRoot) + "\\Product";
    MakeTree(root);
    CreateDirectoryA((root + "\\Temp").c_str(), nullptr);
    SetInstallPath(root);
    char savedTemp[MAX_PATH] = "";
    GetEnvironmentVariableA("TMP", savedTemp, sizeof(savedTemp));
    auto restore = [&] { SetEnvironmentVariableA("TMP", savedTemp[0] ? savedTemp : nullptr); };
    SetEnvironmentVariableA("TMP", (root + "\\Temp").c_str());
    app.onShow = [&](const TestSupport::Shown&) { restore(); };
    app.answer = IDYES;
    EXPECT_EQ(app.UninstallAfterQuestion(), CKelvarinApp::UninstallOutcome::Completed);
    restore();

    EXPECT_TRUE(Exists(root + "\\Temp"));
    const std::string why =
        "it is or holds \"" + root + "\\Temp\\\", a folder of Windows or of a user.";
    EXPECT_EQ(app.Texts(), KeptFolderTexts(root, why));
}

// Which folder the record names cannot be told: nothing goes, so that the record, the entry
// and the copy still lead to the folder once it can be read, and the user is told so.
TEST_F(UninstallTest, AFolderThatCannotBeToldLeavesEverythingForALaterUninstall)
{
    ASSERT_TRUE(Fault::Install());
    const std::string root = std::string(kRoot) + "\\Product";
    MakeTree(root);
    SetInstallPath(root);
    app.answer = IDYES;
    Fault::Arm(Fault::Plan(Fault::Plan::Mode::Fail, 1, ERROR_ACCESS_DENIED,
                           Fault::Bit(Fault::Api::GetFileAttributesW)));
    const CKelvarinApp::UninstallOutcome outcome = app.UninstallAfterQuestion();
    EXPECT_TRUE(Fault::Disarm().fired);
    EXPECT_EQ(outcome, CKelvarinApp::UninstallOutcome::NotStarted);
    EXPECT_EQ(app.Texts(),
              std::vector<std::string>{
                  "Setup has not uninstalled the product because it cannot tell which folder \"" +
                  root + "\" is.  The folder \"" + root + "\" cannot be read - " +
                  SystemText(ERROR_ACCESS_DENIED) +
                  "  Nothing has been removed.  Please uninstall again once it can be read."});
    EXPECT_TRUE(Exists(root + "\\Programs\\ScrollNT.Exe"));
    EXPECT_TRUE(TestRegistry::ReadString(kInstallKey, "Install Path") == root);
}

// A drive of its own whose root the refused uninstall would otherwise empty: drive Q:
// of the prefix, made to point at a scratch folder.
struct RefusedFolder
{
    const char* recorded;
    const char* guarded; // the user's temporary folder, made below it; null: a root
};

class RootRefusalTest : public UninstallTest, public ::testing::WithParamInterface<RefusedFolder>
{
protected:
    void SetUp() override
    {
        UninstallTest::SetUp();
        drive = std::string(kRoot) + "\\Drive";
        CreateDirectoryA(drive.c_str(), nullptr);
        WriteFile(drive + "\\Sentinel.txt");
        std::string cDrive = UnixPath("C:\\");
        while (!cDrive.empty() && cDrive.back() == '/')
        {
            cDrive.pop_back();
        }
        const std::string::size_type slash = cDrive.find_last_of('/');
        if (cDrive.empty() || slash == std::string::npos || UnixPath(drive).empty())
        {
            GTEST_SKIP() << "not running under Wine";
        }
        qDrive = cDrive.substr(0, slash) + "/q:";
        if (!RunUnix("Z:\\bin\\ln", "ln -sfn \"" + UnixPath(drive) + "\" \"" + qDrive + "\"") ||
            !WaitForFile("Q:\\Sentinel.txt"))
        {
            GTEST_SKIP() << "drive Q: could not be made at " << qDrive;
        }
        GetCurrentDirectoryA(sizeof(savedDirectory), savedDirectory);
        SetCurrentDirectoryA("Q:\\");
    }
    void TearDown() override
    {
        if (savedDirectory[0])
        {
            SetCurrentDirectoryA(savedDirectory);
        }
        if (!qDrive.empty())
        {
            RunUnix("Z:\\bin\\rm", "rm -f \"" + qDrive + "\"");
            for (int i = 0; i < 500 && Exists("Q:\\"); ++i)
            {
                Sleep(20);
            }
        }
        UninstallTest::TearDown();
    }

    static bool WaitForFile(const std::string& path)
    {
        for (int i = 0; i < 500 && !Exists(path); ++i)
        {
            Sleep(20);
        }
        return Exists(path);
    }

    std::string drive;
    std::string qDrive;
    char savedDirectory[MAX_PATH] = "";
};

TEST_P(RootRefusalTest, LeavesTheRootAloneSaysSoAndRunsTheOtherStages)
{
    const std::string recorded = GetParam().recorded;
    ASSERT_TRUE(Exists("Q:\\Sentinel.txt"));
    SetInstallPath(recorded);
    CreateKey("Software\\Pellmor\\Tarpan");
    char savedTemp[MAX_PATH] = "";
    GetEnvironmentVariableA("TMP", savedTemp, sizeof(savedTemp));
    if (GetParam().guarded)
    {
        CreateDirectoryA("Q:\\Product", nullptr);
        CreateDirectoryA("Q:\\Product\\Temp", nullptr);
        SetEnvironmentVariableA("TMP", "Q:\\Product\\Temp");
    }

    app.answer = IDYES;
    EXPECT_EQ(app.UninstallAfterQuestion(), CKelvarinApp::UninstallOutcome::Completed);
    SetEnvironmentVariableA("TMP", savedTemp[0] ? savedTemp : nullptr);

    EXPECT_TRUE(Exists(drive + "\\Sentinel.txt"));
    const std::string why =
        GetParam().guarded
            ? "it is or holds \"" + std::string(GetParam().guarded) +
                  "\", a folder of Windows or of a user."
            : std::string("it is not a folder of its own below a drive or a network share.");
    // The question says so too, and why: the folder stays.
    EXPECT_EQ(app.Texts(), KeptFolderTexts(recorded, why));
    EXPECT_EQ(Exists("Q:\\Product\\Temp"), GetParam().guarded != nullptr);
    EXPECT_FALSE(KeyExists(kInstallKey));
    EXPECT_FALSE(KeyExists("Software\\Pellmor\\Tarpan"));
}

INSTANTIATE_TEST_SUITE_P(Roots, RootRefusalTest,
                         ::testing::Values(RefusedFolder{"", nullptr}, RefusedFolder{"Q:", nullptr},
                                           RefusedFolder{"Q:\\", nullptr},
                                           RefusedFolder{"\\", nullptr},
                                           RefusedFolder{"Q:\\Product\\..", nullptr},
                                           RefusedFolder{"Q:\\Product", "Q:\\Product\\Temp\\"}));

// A link below the install folder is never followed: what it points to stays. (On
// Windows RemoveDirectoryA then removes the link itself; Wine's Unix links cannot be
// removed that way and are reported like any folder that stays.)
TEST_F(UninstallTest, ALinkToAFolderOutsideIsRemovedWithoutFollowingIt)
{
    const std::string root = std::string(kRoot) + "\\Product";
    MakeTree(root);
    CreateDirectoryA(kOutside, nullptr);
    WriteFile(std::string(kOutside) + "\\Keep.txt");
    const std::string link = root + "\\Documents\\Shared";
    std::string why;
    if (!TestFiles::MakeFolderLink(kOutside, link, why))
    {
        GTEST_SKIP() << why;
    }
    SetInstallPath(root);

    EXPECT_TRUE(app.Uninstall());

    EXPECT_TRUE(Exists(std::string(kOutside) + "\\Keep.txt"));
    for (const std::string& text : app.Texts())
    {
        EXPECT_EQ(text.find("Unable to delete file"), std::string::npos) << text;
    }
    EXPECT_EQ(app.Texts().back(), "Uninstall completed");
    EXPECT_FALSE(Exists(root + "\\Programs"));

    // The cleaning cannot remove a Unix link either.
    TestFiles::RemoveFolderLink(link);
}
} // namespace
