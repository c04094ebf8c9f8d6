#include "InstallTestSupport.h"
#include "install/VersionData.h"

#include <gtest/gtest.h>

namespace
{
using namespace InstallTest;

TEST(VersionDataTest, ReadsFixedVersionsAndTheFirstLanguageBlock)
{
    CVersionData data;
    ASSERT_TRUE(data.Load(Fixture("ver_5_1_2600_0.dll")));
    uint64_t version = 0;
    ASSERT_TRUE(data.GetFileVersion(version));
    EXPECT_EQ(version, (5ull << 48) | (1ull << 32) | (2600ull << 16));
    ASSERT_TRUE(data.GetProductVersion(version));
    EXPECT_EQ(version, Version(9, 8, 7, 6));
    EXPECT_EQ(data.GetTranslation(), "080904B0");

    std::string text;
    ASSERT_TRUE(data.GetFileDescription(text));
    EXPECT_EQ(text, "Fixture 5.1.2600.0 (UK)");
    ASSERT_TRUE(data.GetComments(text));
    EXPECT_EQ(text, "first block");
    ASSERT_TRUE(data.GetFileVersionString(text));
    EXPECT_EQ(text, "5.1.2600.0");
    ASSERT_TRUE(data.GetLegalCopyright(text));
    EXPECT_EQ(text, "Copyright Pellmor");
    ASSERT_TRUE(data.GetSpecialBuild(text));
    EXPECT_EQ(text, "fixture");
    EXPECT_FALSE(data.GetString("ProductName", text));
    EXPECT_FALSE(data.GetString(std::string(1100, 'x'), text));
}

TEST(VersionDataTest, FilesWithoutVersionInformationFail)
{
    CScratch scratch("versiondata");
    const std::string textFile = scratch.File("plain.txt");
    ASSERT_TRUE(WriteText(textFile, "not a program"));

    CVersionData data;
    uint64_t version = 7;
    std::string text;
    // Before any load nothing is there to read.
    EXPECT_FALSE(data.GetFileVersion(version));
    EXPECT_FALSE(data.GetString("Comments", text));

    EXPECT_FALSE(data.Load(textFile));
    EXPECT_FALSE(data.Load(scratch.File("missing.dll")));
    // A handle that names no module.
    EXPECT_FALSE(data.LoadFromModule(reinterpret_cast<HMODULE>(0x1230)));

    // A failed load forgets what an earlier one found.
    ASSERT_TRUE(data.Load(Fixture("ver_2_0_0_1.dll")));
    EXPECT_FALSE(data.Load(textFile));
    EXPECT_FALSE(data.GetFileVersion(version));
    EXPECT_EQ(version, 7u);
}

TEST(VersionDataTest, LoadsTheFileOfALoadedModule)
{
    HMODULE module = LoadLibraryA(Fixture("ver_2_0_1_0.dll").c_str());
    ASSERT_NE(module, nullptr);
    CVersionData data;
    EXPECT_TRUE(data.LoadFromModule(module));
    uint64_t version = 0;
    EXPECT_TRUE(data.GetFileVersion(version));
    EXPECT_EQ(version, Version(2, 0, 1, 0));
    FreeLibrary(module);
}
} // namespace
