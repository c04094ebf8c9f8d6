#include "InstallTestSupport.h"
#include "install/FileReplacer.h"
#include "package/PackageFile.h"
#include "TestRegistry.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace
{
using namespace InstallTest;

class FileReplacerTest : public ::testing::Test
{
protected:
    FileReplacerTest() : m_scratch("replacer"), m_replacer(m_app.State()) {}

    // Builds a package of `items` and opens it.
    void Open(const std::vector<Item>& items)
    {
        m_packagePath = m_scratch.File("TEST.PKG");
        ASSERT_TRUE(BuildPackage(m_packagePath, items));
        ASSERT_TRUE(m_package.Open(m_packagePath, false));
    }
    CPackageCatalogEntry Entry(int index) const { return m_package.GetCatalog().GetEntry(index); }
    std::vector<std::string> TempFiles() const { return List(m_scratch.Path(), "$tmp*.tmp"); }

    CScratch m_scratch;
    CTestApp m_app;
    CFileReplacer m_replacer;
    CPackageFile m_package;
    std::string m_packagePath;
};

TEST_F(FileReplacerTest, NewFileGetsTheEntrysTimesAndNoTemporaryFileStays)
{
    Item item = FileItem("new.txt", "fresh content");
    item.created = 0x01C0123456789ABCull;
    item.written = 0x01C1FEDCBA987654ull;
    Open({item});
    const std::string target = m_scratch.File("new.txt");

    ASSERT_TRUE(m_replacer.ReplaceFile(m_package, Entry(0), 0, target));
    EXPECT_EQ(ReadText(target), "fresh content");
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_FALSE(m_app.State().m_bRestartNeeded);
    EXPECT_TRUE(m_app.Texts().empty());

    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(target.c_str(), GetFileExInfoStandard, &data));
    auto value = [](const FILETIME& t)
    { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    EXPECT_EQ(value(data.ftLastWriteTime), item.written);
    // Wine's host file systems cannot take a creation time; Windows keeps it.
    if (value(data.ftCreationTime) != item.created)
    {
        std::printf("note: the file system did not keep the creation time\n");
    }
}

TEST_F(FileReplacerTest, ReadOnlyTargetIsReplacedWithoutRestart)
{
    Open({FileItem("locked.txt", "new")});
    const std::string target = m_scratch.File("locked.txt");
    ASSERT_TRUE(WriteText(target, "old"));
    ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));

    ASSERT_TRUE(m_replacer.ReplaceFile(m_package, Entry(0), 0, target));
    EXPECT_EQ(ReadText(target), "new");
    EXPECT_FALSE(m_app.State().m_bRestartNeeded);
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_TRUE(m_app.Texts().empty());
}

TEST_F(FileReplacerTest, TemporaryNamesSkipExistingOnesAndAreExclusive)
{
    ASSERT_TRUE(WriteText(m_scratch.File("$tmp0001.tmp"), "1"));
    ASSERT_TRUE(CreateDirectoryA(m_scratch.File("$tmp0002.tmp").c_str(), nullptr));
    std::string temp;
    CFileHandle file = m_replacer.CreateTempFile(m_scratch.File("target.dll"), temp);
    ASSERT_NE(file.Get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(temp, m_scratch.File("$tmp0003.tmp"));
    HANDLE second = CreateFileA(temp.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(second, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

TEST_F(FileReplacerTest, MissingFolderFailsAtTheTemporaryFile)
{
    Open({FileItem("sub\\file.txt", "x")});
    const std::string target = m_scratch.File("sub\\file.txt");
    EXPECT_FALSE(m_replacer.ReplaceFile(m_package, Entry(0), 0, target));
    ASSERT_EQ(m_app.Texts().size(), 1u);
    EXPECT_EQ(m_app.Texts()[0], "Failed to create the temporary file \"" +
                                    m_scratch.File("sub\\$tmp0001.tmp") + "\" - " +
                                    SystemText(ERROR_PATH_NOT_FOUND));
}

TEST_F(FileReplacerTest, CorruptDataLeavesTheOldTargetAndNoTemporaryFile)
{
    // Enough varied data that part of it is written before the damage is met.
    std::string content;
    for (int i = 0; content.size() < 1500000; ++i)
    {
        content += "line " + std::to_string(i * 7919 % 100003) + "\n";
    }
    Open({FileItem("big.txt", content)});
    const CPackageCatalogEntry entry = Entry(0);
    m_package.Close();
    std::vector<uint8_t> junk(64, 0xA5);
    ASSERT_TRUE(PatchFile(m_packagePath, entry.GetDataOffset() + entry.GetStoredSize() / 2, junk));
    ASSERT_TRUE(m_package.Open(m_packagePath, false));

    const std::string target = m_scratch.File("big.txt");
    ASSERT_TRUE(WriteText(target, "old"));
    EXPECT_FALSE(m_replacer.ReplaceFile(m_package, Entry(0), 0, target));
    EXPECT_EQ(ReadText(target), "old");
    EXPECT_TRUE(TempFiles().empty());
    ASSERT_EQ(m_app.Texts().size(), 1u);
    EXPECT_EQ(m_app.Texts()[0], "Read from package failed - " + SystemText(ERROR_FILE_CORRUPT));
}

TEST_F(FileReplacerTest, FileInUseIsReplacedAtTheNextBootOnNT)
{
    ASSERT_TRUE(CKelvarinApp::IsWindowsNT());
    Open({FileItem("inuse.dll", "replacement")});
    const std::string target = m_scratch.File("inuse.dll");
    ASSERT_TRUE(WriteText(target, "running"));
    CFileHolder holder(target);
    ASSERT_TRUE(holder.IsHolding());

    ASSERT_TRUE(m_replacer.ReplaceFile(m_package, Entry(0), 0, target));
    EXPECT_TRUE(m_app.State().m_bRestartNeeded);
    EXPECT_TRUE(m_app.Texts().empty());
    EXPECT_TRUE(m_app.State().m_renameList.empty());
    ASSERT_EQ(TempFiles(), std::vector<std::string>({"$tmp0001.tmp"}));
    EXPECT_EQ(ReadText(m_scratch.File("$tmp0001.tmp")), "replacement");
    // One request that replaces the target at boot; none that only deletes it.
    DWORD type = 0;
    std::vector<BYTE> pending;
    ASSERT_TRUE(TestRegistry::ReadRaw("SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                                      "PendingFileRenameOperations", type, pending));
    const std::string expected =
        "\\??\\" + m_scratch.File("$tmp0001.tmp") + '\0' + "!\\??\\" + target + '\0' + '\0';
    EXPECT_EQ(std::string(pending.begin(), pending.end()), expected);

    holder.Release();
    EXPECT_EQ(ReadText(target), "running");
    ASSERT_TRUE(RunBootProcessing());
    EXPECT_EQ(ReadText(target), "replacement");
    EXPECT_TRUE(TempFiles().empty());
}
} // namespace
