#include "InstallTestSupport.h"
#include "ProgressRecorder.h"
#include "framework/Win32Handles.h"
#include "install/PackageInstaller.h"
#include "install/PackageTable.h"
#include "framework/resource.h"
#include "package/UniqueHandle.h"
#include "ui/DLG_Installing.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{
using namespace InstallTest;

// A medium folder, an install folder with the product tree and a stand-in system
// folder, all inside one scratch folder.
class PackageInstallerTest : public ::testing::Test
{
protected:
    PackageInstallerTest()
        : m_scratch("packages"), m_installer(m_app.State(), &DLG_QueryReplace::Ask)
    {
    }

    void SetUp() override
    {
        ASSERT_TRUE(CreateDirectoryA(m_scratch.File("medium").c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(m_scratch.File("system").c_str(), nullptr));
        m_app.State().m_strSourceFolder = m_scratch.File("medium") + "\\";
        m_app.State().m_strInstallPath = m_scratch.File("Nimbus");
        m_app.State().m_strSystemFolder = m_scratch.File("system");
        ASSERT_TRUE(m_dlg.Create());
        m_app.SetMainWnd(m_dlg.GetSafeHwnd());
        ASSERT_TRUE(m_app.CreateFolderTree(m_dlg));
    }
    void TearDown() override
    {
        m_app.SetMainWnd(nullptr);
        m_dlg.DestroyWindow();
    }

    std::string Medium(const std::string& name) { return m_scratch.File("medium\\" + name); }
    // Every package of the NT family with one file named after it, in its target.
    std::vector<PackageTable::Placement> BuildAll()
    {
        const auto placements = PackageTable::Placements(true, m_app.State().m_strInstallPath,
                                                         m_app.State().m_strSystemFolder);
        for (const auto& p : placements)
        {
            EXPECT_TRUE(BuildPackage(Medium(p.package), {FileItem(p.package + ".txt", p.package)}));
        }
        return placements;
    }
    std::string Line(int id) { return TestSupport::ControlText(m_dlg.GetSafeHwnd(), id); }

    CScratch m_scratch;
    CTestApp m_app;
    DLG_Installing m_dlg;
    CPackageInstaller m_installer;
};

// From its check to its install a package stays open for reading only, held by the
// application itself: nobody can swap in another between the two, and the install still reads
// it. The progress window names each package as it is checked.
TEST_F(PackageInstallerTest, ACheckedPackageCannotBeSwappedBeforeItIsInstalled)
{
    std::string sample = "Z:" + std::string(KELVARIN_MEDIUM_DIR) + "/Ardent/";
    std::replace(sample.begin(), sample.end(), '/', '\\');
    for (const std::string& name : List(sample, "*.PKG"))
    {
        ASSERT_TRUE(CopyFileA((sample + name).c_str(), Medium(name).c_str(), FALSE)) << name;
    }
    const CModuleHandle setup(
        LoadLibraryExA((sample + "Setup.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(setup.IsValid());
    m_app.SetRecordModule(setup.Get());
    TestSupport::CProgressRecorder recorder(&m_dlg);
    ASSERT_TRUE(m_app.CheckPackages(recorder)) << ::testing::PrintToString(m_app.Texts());
    const auto placements = PackageTable::Placements(true, m_app.State().m_strInstallPath,
                                                     m_app.State().m_strSystemFolder);
    std::vector<std::string> lines = {"1:Checking the installation files", "2:"};
    for (const auto& p : placements)
    {
        lines.push_back("2:" + p.package);
    }
    EXPECT_EQ(recorder.lines, lines);

    const std::string first = Medium(placements[0].package);
    EXPECT_FALSE(MoveFileA(first.c_str(), Medium("swap").c_str()));
    EXPECT_FALSE(CFileHandle(FileIo::OpenExisting(first, true)).IsValid());
    CDialogAnswerer answerer({});
    EXPECT_TRUE(m_installer.InstallPackages(m_dlg));
    EXPECT_TRUE(Exists(m_app.State().m_strInstallPath + "\\Programs\\ScrollNT.exe"));
}

TEST_F(PackageInstallerTest, AllTenPackagesGoToTheirFolders)
{
    const auto placements = BuildAll();
    // A directory entry is passed over; a file below it lands in the existing folder.
    Item folder;
    folder.name = "Machine";
    folder.kind = 1;
    ASSERT_TRUE(
        BuildPackage(Medium("PRCFG.PKG"), {folder, FileItem("Machine\\Settings.cfg", "machine"),
                                           FileItem("PRCFG.PKG.txt", "PRCFG.PKG")}));

    CDialogAnswerer answerer({});
    // The install sequence announces the step; the step names each file below it.
    m_dlg.SetStatus(IDS_INSTALLING_FILES, 0);
    ASSERT_TRUE(m_installer.InstallPackages(m_dlg));
    for (const auto& p : placements)
    {
        EXPECT_EQ(ReadText(p.target + "\\" + p.package + ".txt"), p.package);
    }
    EXPECT_EQ(placements[0].target, m_app.State().m_strSystemFolder);
    EXPECT_EQ(ReadText(m_app.State().m_strInstallPath + "\\Configuration\\Machine\\Settings.cfg"),
              "machine");
    EXPECT_EQ(Line(1003), "Installing files");
    EXPECT_EQ(Line(1004), "DRVX86.PKG.txt");
    EXPECT_TRUE(m_app.Texts().empty());
    EXPECT_TRUE(answerer.Questions().empty());
}

TEST_F(PackageInstallerTest, MissingPackageStopsWithTheSystemsReason)
{
    const auto placements = BuildAll();
    ASSERT_TRUE(DeleteFileA(Medium("PRCFG.PKG").c_str()));

    EXPECT_FALSE(m_installer.InstallPackages(m_dlg));
    ASSERT_EQ(m_app.Texts().size(), 1u);
    EXPECT_EQ(m_app.Texts()[0],
              "Failed to open the package \"PRCFG.PKG\" - " + SystemText(ERROR_FILE_NOT_FOUND));
    for (size_t i = 0; i < placements.size(); ++i)
    {
        const auto& p = placements[i];
        EXPECT_EQ(Exists(p.target + "\\" + p.package + ".txt"), i < 2) << p.package;
    }
}

TEST_F(PackageInstallerTest, PackageOfAnotherBuildIsRefusedBeforeItsEntries)
{
    ASSERT_TRUE(BuildPackage(Medium("OLD.PKG"), {FileItem("first.txt", "x")}));
    ASSERT_TRUE(PatchFile(Medium("OLD.PKG"), 20, {0x38, 0x08, 0, 0})); // 2104
    const std::string target = m_app.State().m_strInstallPath + "\\Documents";
    m_dlg.SetLine2Text("untouched");
    // The package is closed before the message: nothing holds the medium's file then.
    bool closed = false;
    m_app.onShow = [&](const TestSupport::Shown&)
    {
        const std::string moved = Medium("OLD.PK_");
        closed = MoveFileA(Medium("OLD.PKG").c_str(), moved.c_str()) &&
                 MoveFileA(moved.c_str(), Medium("OLD.PKG").c_str());
    };

    EXPECT_FALSE(m_installer.InstallPackage(m_dlg, "OLD.PKG", target));
    EXPECT_TRUE(closed);
    EXPECT_EQ(m_app.Texts(), std::vector<std::string>(
                                 {"The package file \"OLD.PKG\" is from a different build."}));
    EXPECT_FALSE(Exists(target + "\\first.txt"));
    EXPECT_EQ(Line(1004), "untouched");
}

// An uncompressed package has no block for an empty file; it installs all the same.
TEST_F(PackageInstallerTest, EmptyFilesOfAnUncompressedPackageInstall)
{
    const std::string target = m_app.State().m_strInstallPath + "\\Documents";
    ASSERT_TRUE(BuildPackage(Medium("FLAT.PKG"),
                             {FileItem("empty.txt", ""), FileItem("full.txt", "full")}, false));
    EXPECT_TRUE(m_installer.InstallPackage(m_dlg, "FLAT.PKG", target));
    EXPECT_TRUE(m_app.Texts().empty());
    EXPECT_TRUE(Exists(target + "\\empty.txt"));
    EXPECT_EQ(ReadText(target + "\\empty.txt"), "");
    EXPECT_EQ(ReadText(target + "\\full.txt"), "full");
}

// Full-width dots and backslash are harmless in the name, but the ANSI code page's
// best fit turns them into "..\" when the path is formed.
TEST_F(PackageInstallerTest, NamesTheCodePageTurnsIntoAParentFolderAreCorrupt)
{
    const std::string target = m_app.State().m_strInstallPath + "\\Documents";
    ASSERT_TRUE(BuildPackage(Medium("ODD.PKG"), {FileItem("before.txt", "before"),
                                                 FileItem("\xEF\xBC\x8E\xEF\xBC\x8E\xEF\xBC\xBC"
                                                          "escape.txt",
                                                          "x"),
                                                 FileItem("after.txt", "after")}));
    EXPECT_FALSE(m_installer.InstallPackage(m_dlg, "ODD.PKG", target));
    EXPECT_EQ(m_app.Texts(),
              std::vector<std::string>({"The package file \"ODD.PKG\" is corrupt."}));
    EXPECT_EQ(ReadText(target + "\\before.txt"), "before");
    EXPECT_FALSE(Exists(target + "\\after.txt"));
    EXPECT_FALSE(Exists(m_app.State().m_strInstallPath + "\\escape.txt"));
}

TEST_F(PackageInstallerTest, UnknownKindsAndEscapingNamesAreCorruptAfterTheEntriesBefore)
{
    const std::string target = m_app.State().m_strInstallPath + "\\Documents";
    struct
    {
        const char* what;
        const char* placeholder; // replaced in the built catalog by `name`
        const char* name;
        int kind;
    } cases[] = {
        {"config object", "Config Obj", "Config Obj", 2},
        {"parent folder", "zz\\escape.txt", "..\\escape.txt", 0},
        {"parent folder deeper", "a\\zz\\zz\\e.txt", "a\\..\\..\\e.txt", 0},
        {"drive", "zzsystem.ini", "C:system.ini", 0},
        {"absolute", "zzzinsttest\\abs.txt", "C:\\insttest\\abs.txt", 0},
        {"rooted", "zabs.txt", "\\abs.txt", 0},
        {"UNC", "zzserver\\share\\x.txt", "\\\\server\\share\\x.txt", 0},
    };
    for (const auto& c : cases)
    {
        RemoveTree(target + "\\before.txt");
        m_app.shown.clear();
        Item odd = FileItem(c.placeholder, "escaped");
        odd.kind = static_cast<uint32_t>(c.kind);
        ASSERT_TRUE(BuildPackage(Medium("ODD.PKG"), {FileItem("before.txt", "before"), odd,
                                                     FileItem("after.txt", "after")}))
            << c.what;
        ASSERT_TRUE(RenameInCatalog(Medium("ODD.PKG"), c.placeholder, c.name)) << c.what;

        EXPECT_FALSE(m_installer.InstallPackage(m_dlg, "ODD.PKG", target)) << c.what;
        EXPECT_EQ(m_app.Texts(),
                  std::vector<std::string>({"The package file \"ODD.PKG\" is corrupt."}))
            << c.what;
        EXPECT_EQ(ReadText(target + "\\before.txt"), "before") << c.what;
        EXPECT_FALSE(Exists(target + "\\after.txt")) << c.what;
        EXPECT_EQ(Line(1004), c.name) << c.what;
    }
    EXPECT_FALSE(Exists(m_app.State().m_strInstallPath + "\\escape.txt"));
    EXPECT_FALSE(Exists(m_scratch.Path() + "\\e.txt"));
    EXPECT_FALSE(Exists("C:\\insttest\\abs.txt"));
    EXPECT_FALSE(Exists("C:\\abs.txt"));
}

TEST_F(PackageInstallerTest, EmptyCatalogInstallsNothingAndSucceeds)
{
    ASSERT_TRUE(BuildPackage(Medium("EMPTY.PKG"), {}));
    const std::string target = m_app.State().m_strInstallPath + "\\Documents";
    EXPECT_TRUE(m_installer.InstallPackage(m_dlg, "EMPTY.PKG", target));
    EXPECT_TRUE(m_app.Texts().empty());
    EXPECT_TRUE(List(target, "*.*").size() == 2u); // "." and ".."
}

TEST_F(PackageInstallerTest, TrailingBackslashOnTheTargetIsNotDoubled)
{
    const std::string target = m_app.State().m_strInstallPath + "\\Documents";
    ASSERT_TRUE(WriteText(target + "\\readme.txt", "old"));
    ASSERT_TRUE(BuildPackage(Medium("DOC.PKG"), {FileItem("readme.txt", "new")}));
    CDialogAnswerer answerer({Answer::Yes});
    EXPECT_TRUE(m_installer.InstallPackage(m_dlg, "DOC.PKG", target + "\\"));
    ASSERT_EQ(answerer.Questions().size(), 1u);
    EXPECT_EQ(answerer.Questions()[0].find("\"" + target + "\\readme.txt\""), 32u);
    EXPECT_EQ(ReadText(target + "\\readme.txt"), "new");
}

TEST_F(PackageInstallerTest, YesToAllCarriesIntoLaterPackages)
{
    const auto placements = BuildAll();
    // Unversioned files already in place for the configuration and lexicon packages.
    for (int row : {2, 3})
    {
        const auto& p = placements[static_cast<size_t>(row)];
        ASSERT_TRUE(WriteText(p.target + "\\" + p.package + ".txt", "old"));
    }
    CDialogAnswerer answerer({Answer::YesToAll});
    ASSERT_TRUE(m_installer.InstallPackages(m_dlg));
    EXPECT_EQ(answerer.Questions().size(), 1u);
    EXPECT_EQ(ReadText(placements[2].target + "\\PRCFG.PKG.txt"), "PRCFG.PKG");
    EXPECT_EQ(ReadText(placements[3].target + "\\PRLEX.PKG.txt"), "PRLEX.PKG");
    EXPECT_FALSE(m_app.State().m_bAskBeforeReplace);
}

TEST_F(PackageInstallerTest, CancelStopsTheInstallWithoutAFurtherMessage)
{
    const auto placements = BuildAll();
    const auto& p = placements[2];
    ASSERT_TRUE(WriteText(p.target + "\\" + p.package + ".txt", "old"));
    CDialogAnswerer answerer({Answer::Cancel});
    EXPECT_FALSE(m_installer.InstallPackages(m_dlg));
    EXPECT_EQ(answerer.Questions().size(), 1u);
    EXPECT_TRUE(m_app.Texts().empty());
    EXPECT_EQ(ReadText(p.target + "\\PRCFG.PKG.txt"), "old");
    EXPECT_FALSE(Exists(placements[3].target + "\\PRLEX.PKG.txt"));
    EXPECT_TRUE(m_app.State().m_bCancel);
}

TEST_F(PackageInstallerTest, FileInUseOnNTIsScheduledAndTheInstallGoesOn)
{
    const auto placements = BuildAll();
    const std::string held = placements[1].target + "\\PRAPPNT.PKG.txt";
    ASSERT_TRUE(WriteText(held, "old"));
    CDialogAnswerer answerer({Answer::Yes});
    CFileHolder holder(held);
    ASSERT_TRUE(holder.IsHolding());
    ASSERT_TRUE(m_installer.InstallPackages(m_dlg));
    EXPECT_TRUE(m_app.State().m_bRestartNeeded);
    EXPECT_TRUE(m_app.State().m_renameList.empty());
    EXPECT_TRUE(Exists(placements[9].target + "\\DRVX86.PKG.txt"));
    holder.Release();
    ASSERT_TRUE(RunBootProcessing());
    EXPECT_EQ(ReadText(held), "PRAPPNT.PKG");
}
} // namespace
