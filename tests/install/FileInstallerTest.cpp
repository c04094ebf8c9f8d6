#include "InstallTestSupport.h"
#include "install/FileInstaller.h"
#include "install/FileReplacer.h"
#include "package/PackageFile.h"

#include <gtest/gtest.h>

namespace
{
using namespace InstallTest;

class FileInstallerTest : public ::testing::Test
{
protected:
    FileInstallerTest()
        : m_scratch("installer"), m_replacer(m_app.State()),
          m_installer(m_app.State(), m_replacer, &DLG_QueryReplace::Ask)
    {
    }

    void Open(const std::vector<Item>& items)
    {
        m_package.Close();
        ASSERT_TRUE(BuildPackage(m_scratch.File("TEST.PKG"), items));
        ASSERT_TRUE(m_package.Open(m_scratch.File("TEST.PKG"), false));
    }
    bool Install(int index, const std::string& target)
    {
        return m_installer.InstallFile(m_package, m_package.GetCatalog().GetEntry(index), index,
                                       target);
    }
    void SetWriteTime(const std::string& path, uint64_t time)
    {
        HANDLE file =
            CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        FILETIME value = {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
        ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &value));
        CloseHandle(file);
    }

    CScratch m_scratch;
    CTestApp m_app;
    CFileReplacer m_replacer;
    CFileInstaller m_installer;
    CPackageFile m_package;
};

struct VersionCase
{
    const char* what;
    const char* existing; // fixture already at the target, or null
    uint64_t packageVersion;
    const char* targetName;
    bool replaced;
};

// Versioned files never lead to a question; the package always carries a DLL whose
// bytes differ from the existing one so that a replacement shows.
TEST_F(FileInstallerTest, VersionedFilesFollowTheVersionRulesWithoutAsking)
{
    const VersionCase cases[] = {
        {"target missing", nullptr, 0, "a.dll", true},
        {"same version", "ver_2_0_0_0.dll", Version(2, 0, 0, 0), "a.dll", false},
        {"2.0.0.1 then 2.0.1.0", "ver_2_0_0_1.dll", Version(2, 0, 1, 0), "a.dll", true},
        {"older package file", "ver_3_0_0_0.dll", Version(2, 9, 9, 9), "a.dll", false},
        {"older package file for the special DLL", "ver_3_0_0_0.dll", Version(2, 9, 9, 9),
         "ux_w32.dll", true},
        {"older package file, special name in mixed case", "ver_3_0_0_0.dll", Version(2, 9, 9, 9),
         "Ux_W32.dll", false},
        {"package file without version", "ver_1_0_0_0.dll", 0, "a.dll", false},
        {"package file without version for the special DLL", "ver_1_0_0_0.dll", 0, "UX_W32.DLL",
         true},
    };
    CDialogAnswerer answerer({});
    const std::vector<uint8_t> packaged = ReadBytes(Fixture("ver_5_1_2600_0.dll"));
    for (const VersionCase& c : cases)
    {
        const std::string target = m_scratch.File(c.targetName);
        RemoveTree(target);
        if (c.existing)
        {
            ASSERT_TRUE(CopyFileA(Fixture(c.existing).c_str(), target.c_str(), FALSE));
        }
        const std::vector<uint8_t> before = ReadBytes(target);
        Open({FileItemFrom(c.targetName, Fixture("ver_5_1_2600_0.dll"), c.packageVersion)});

        EXPECT_TRUE(Install(0, target)) << c.what;
        EXPECT_EQ(ReadBytes(target), c.replaced ? packaged : before) << c.what;
        m_package.Close();
    }
    EXPECT_TRUE(answerer.Questions().empty());
    EXPECT_TRUE(m_app.Texts().empty());
    EXPECT_FALSE(m_app.State().m_bRestartNeeded);
}

TEST_F(FileInstallerTest, UnversionedTargetAsksWithBothVersionsAndUtcDates)
{
    const std::string target = m_scratch.File("notes.txt");
    ASSERT_TRUE(WriteText(target, "old"));
    SetWriteTime(target, 125963036559999999ull); // 29/02/2000 13:14:15 UTC
    Item unversioned = FileItem("notes.txt", "new");
    unversioned.written = 132223103990000000ull; // 31/12/2019 23:59:59 UTC
    Item versioned = FileItem("notes.txt", "newer", Version(2, 0, 1, 0));
    versioned.written = 0;
    Open({unversioned, versioned});

    CDialogAnswerer answerer({Answer::No, Answer::No});
    EXPECT_TRUE(Install(0, target));
    EXPECT_TRUE(Install(1, target));
    const std::vector<std::string> questions = answerer.Questions();
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_EQ(questions[0], "Do you wish to replace the file \"" + target +
                                "\"\nOld file is version (No version info), modified 29/02/2000 "
                                "13:14:15\nNew file is version (No version info), modified "
                                "31/12/2019 23:59:59");
    EXPECT_EQ(questions[1], "Do you wish to replace the file \"" + target +
                                "\"\nOld file is version (No version info), modified 29/02/2000 "
                                "13:14:15\nNew file is version 2.0.1.0, modified 01/01/1601 "
                                "00:00:00");
    EXPECT_EQ(ReadText(target), "old");
    EXPECT_TRUE(m_app.State().m_bAskBeforeReplace);
    EXPECT_FALSE(m_app.State().m_bCancel);
}

struct AnswerCase
{
    const char* what;
    std::vector<Answer> answers;
    bool result; // of the first file
    bool firstReplaced;
    size_t questions; // asked over both files
    bool secondReplaced;
    BOOL ask;
    BOOL cancel;
};

// Two unversioned files over two unversioned targets.
TEST_F(FileInstallerTest, AnswersDecideAndAreRemembered)
{
    const AnswerCase cases[] = {
        {"Yes replaces and asks again",
         {Answer::Yes, Answer::No},
         true,
         true,
         2,
         false,
         TRUE,
         FALSE},
        {"No keeps and asks again", {Answer::No, Answer::Yes}, true, false, 2, true, TRUE, FALSE},
        {"Yes To All replaces without further questions",
         {Answer::YesToAll},
         true,
         true,
         1,
         true,
         FALSE,
         FALSE},
        {"Cancel stops", {Answer::Cancel}, false, false, 1, false, TRUE, TRUE},
        {"Esc is Cancel", {Answer::Escape}, false, false, 1, false, TRUE, TRUE},
        {"the close box is Cancel", {Answer::Close}, false, false, 1, false, TRUE, TRUE},
    };
    Open({FileItem("one.txt", "new one"), FileItem("two.txt", "new two")});
    for (const AnswerCase& c : cases)
    {
        m_app.State().m_bAskBeforeReplace = TRUE;
        m_app.State().m_bCancel = FALSE;
        const std::string one = m_scratch.File("one.txt"), two = m_scratch.File("two.txt");
        ASSERT_TRUE(WriteText(one, "old one"));
        ASSERT_TRUE(WriteText(two, "old two"));
        CDialogAnswerer answerer(c.answers);
        const bool result = Install(0, one);
        EXPECT_EQ(result, c.result) << c.what;
        if (result)
        {
            EXPECT_TRUE(Install(1, two)) << c.what;
        }
        EXPECT_EQ(ReadText(one), c.firstReplaced ? "new one" : "old one") << c.what;
        EXPECT_EQ(ReadText(two), c.secondReplaced ? "new two" : "old two") << c.what;
        EXPECT_EQ(answerer.Questions().size(), c.questions) << c.what;
        EXPECT_EQ(m_app.State().m_bAskBeforeReplace, c.ask) << c.what;
        EXPECT_EQ(m_app.State().m_bCancel, c.cancel) << c.what;
    }
    EXPECT_TRUE(m_app.Texts().empty());
}

} // namespace
