// The boot-time replacement as the 9x family does it: short names queued during a
// package and merged into WININIT.INI after it, carried out by the next boot.
#include "InstallTestSupport.h"
#include "install/FileReplacer.h"
#include "install/PackageInstaller.h"
#include "ui/DLG_Installing.h"

#include <gtest/gtest.h>

namespace
{
using namespace InstallTest;

class Install9xTest : public ::testing::Test
{
protected:
    Install9xTest() : m_scratch("w9x"), m_replacer(m_app.State()) {}

    void SetUp() override
    {
        ASSERT_FALSE(CKelvarinApp::IsWindowsNT());
        m_wininit = m_app.State().m_strWindowsFolder + "\\WININIT.INI";
        RemoveWininit();
        ASSERT_TRUE(CreateDirectoryA(m_scratch.File("medium").c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(m_scratch.File("Long Folder Name").c_str(), nullptr));
        m_app.State().m_strSourceFolder = m_scratch.File("medium") + "\\";
    }
    void TearDown() override { RemoveWininit(); }
    void RemoveWininit()
    {
        SetFileAttributesA(m_wininit.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(m_wininit.c_str());
        DeleteFileA((m_app.State().m_strWindowsFolder + "\\wininit.bak").c_str());
    }
    static std::string Short(const std::string& path)
    {
        char buffer[1024] = "";
        const DWORD length = GetShortPathNameA(path.c_str(), buffer, sizeof(buffer));
        return std::string(buffer, length);
    }

    CScratch m_scratch;
    CTestApp m_app;
    CFileReplacer m_replacer;
    std::string m_wininit;
};

TEST_F(Install9xTest, FileInUseIsQueuedWithShortNamesAndReplacedAtTheNextBoot)
{
    const std::string folder = m_scratch.File("Long Folder Name");
    // WININIT.INI renames by short names, so a long file name would not survive the
    // boot; the product's files have names that are their own short forms.
    const std::string target = folder + "\\SCROLL95.EXE";
    ASSERT_TRUE(WriteText(target, "running"));
    ASSERT_TRUE(BuildPackage(m_scratch.File("medium\\PRAPP95.PKG"),
                             {FileItem("SCROLL95.EXE", "replacement", Version(2, 0, 0, 0)),
                              FileItem("other.txt", "other")}));
    DLG_Installing dlg;
    ASSERT_TRUE(dlg.Create());
    CPackageInstaller installer(m_app.State(), &DLG_QueryReplace::Ask);
    CFileHolder holder(target);
    ASSERT_TRUE(holder.IsHolding());

    // The unversioned existing file is asked about first.
    CDialogAnswerer answerer({Answer::Yes});
    ASSERT_TRUE(installer.InstallPackage(dlg, "PRAPP95.PKG", folder));
    dlg.DestroyWindow();
    EXPECT_TRUE(m_app.State().m_bRestartNeeded);
    EXPECT_TRUE(m_app.State().m_renameList.empty());
    EXPECT_TRUE(m_app.Texts().empty());
    EXPECT_EQ(ReadText(folder + "\\other.txt"), "other");

    const std::string shortTarget = Short(target);
    const std::string shortTemp = Short(folder + "\\$tmp0001.tmp");
    EXPECT_EQ(shortTarget.find(' '), std::string::npos) << shortTarget;
    EXPECT_NE(shortTarget.find('~'), std::string::npos) << shortTarget;
    EXPECT_EQ(ReadText(m_wininit),
              "[rename]\r\nNUL=" + shortTarget + "\r\n" + shortTarget + "=" + shortTemp + "\r\n");

    holder.Release();
    EXPECT_EQ(ReadText(target), "running");
    ASSERT_TRUE(RunBootProcessing());
    EXPECT_EQ(ReadText(target), "replacement");
    EXPECT_FALSE(Exists(folder + "\\$tmp0001.tmp"));
}

TEST_F(Install9xTest, RenamesJoinTheEndOfAnExistingSection)
{
    ASSERT_TRUE(WriteText(m_wininit, "[boot]\r\nx=1\r\n  [Rename] \r\nNUL=C:\\OLD1.DLL\r\n"
                                     "C:\\A.DLL=C:\\B.TMP\r\n\r\n[next]\r\ny=2\r\n"));
    m_app.State().m_renameList = {"NUL=C:\\T.DLL", "C:\\T.DLL=C:\\$TMP0001.TMP"};
    m_replacer.WriteWininit();
    EXPECT_TRUE(m_app.State().m_renameList.empty());
    EXPECT_EQ(ReadText(m_wininit),
              "[boot]\r\nx=1\r\n  [Rename] \r\nNUL=C:\\OLD1.DLL\r\nC:\\A.DLL=C:\\B.TMP\r\n"
              "NUL=C:\\T.DLL\r\nC:\\T.DLL=C:\\$TMP0001.TMP\r\n[next]\r\ny=2\r\n");
    EXPECT_TRUE(m_app.Texts().empty());
}

TEST_F(Install9xTest, UnwritableWininitIsReportedAndTheListStillEmptied)
{
    const std::string before = "[rename]\r\nNUL=C:\\KEEP.DLL\r\n";
    ASSERT_TRUE(WriteText(m_wininit, before));
    {
        CFileHolder holder(m_wininit);
        ASSERT_TRUE(holder.IsHolding());
        m_app.State().m_renameList = {"NUL=C:\\T.DLL"};
        m_replacer.WriteWininit();
    }
    EXPECT_TRUE(m_app.State().m_renameList.empty());
    EXPECT_EQ(m_app.Texts(), std::vector<std::string>({"Failed to create WININIT.INI system "
                                                       "file - " +
                                                       SystemText(ERROR_SHARING_VIOLATION)}));
    EXPECT_EQ(ReadText(m_wininit), before);
}

TEST_F(Install9xTest, NothingQueuedLeavesWininitAlone)
{
    ASSERT_TRUE(BuildPackage(m_scratch.File("medium\\PRCFG.PKG"), {FileItem("a.cfg", "a")}));
    DLG_Installing dlg;
    ASSERT_TRUE(dlg.Create());
    CPackageInstaller installer(m_app.State(), &DLG_QueryReplace::Ask);
    ASSERT_TRUE(installer.InstallPackage(dlg, "PRCFG.PKG", m_scratch.Path()));
    dlg.DestroyWindow();
    EXPECT_FALSE(Exists(m_wininit));
    EXPECT_FALSE(m_app.State().m_bRestartNeeded);
}
} // namespace
