#include <gtest/gtest.h>

#include "TestSupport.h"
#include "package/PeVersionInfo.h"

using namespace TestSupport;

namespace
{
const std::vector<std::pair<std::u16string, std::u16string>> kStrings = {
    {u"CompanyName", u"Pellmor"},
    {u"FileVersion", u"1.2.3.4"},
    {u"Comments", u""},
};
} // namespace

TEST(PeVersionInfo, ReadsFixedInfoTranslationAndStrings)
{
    for (bool pe32plus : {false, true})
    {
        PeOptions options;
        options.pe32plus = pe32plus;
        // Two tables; the translation names the second.
        std::vector<uint8_t> image =
            PeImage(VersionBlock(0x00010002u, 0x00030004u, {u"040704b0", u"040904B0"}, kStrings,
                                 0x04B00409u),
                    options);
        PeVersionInfo::Info info;
        ASSERT_TRUE(PeVersionInfo::ReadFromMemory(image.data(), image.size(), &info)) << pe32plus;
        EXPECT_TRUE(info.hasFixedInfo);
        EXPECT_EQ(info.FileVersion(), 0x0001000200030004ull);
        EXPECT_EQ(info.productVersionMs, 0x00010003u);
        EXPECT_EQ(info.productVersionLs, 0x00030005u);
        EXPECT_EQ(info.fileType, 2u);
        ASSERT_TRUE(info.hasTranslation);
        EXPECT_EQ(info.language, 0x0409);
        EXPECT_EQ(info.codePage, 0x04B0);
        EXPECT_EQ(info.stringTableKey, u"040904B0");
        ASSERT_EQ(info.strings.size(), 3u);
        ASSERT_NE(info.FindString(u"companyname"), nullptr);
        EXPECT_EQ(*info.FindString(u"CompanyName"), u"Pellmor #1");
        EXPECT_EQ(*info.FindString(u"FileVersion"), u"1.2.3.4 #1");
        EXPECT_EQ(*info.FindString(u"Comments"), u" #1");
        EXPECT_EQ(info.FindString(u"Missing"), nullptr);

        // From a file, the same.
        ScratchDir dir;
        WriteAll(dir.File("a.dll"), image);
        PeVersionInfo::Info fromFile;
        ASSERT_TRUE(PeVersionInfo::ReadFromFile(dir.File("a.dll"), &fromFile));
        EXPECT_EQ(fromFile.FileVersion(), info.FileVersion());
        EXPECT_EQ(fromFile.strings, info.strings);
    }
}

TEST(PeVersionInfo, FallsBackToTheFirstTableWithoutAMatchingTranslation)
{
    std::vector<uint8_t> image = PeImage(VersionBlock(1, 2, {u"041104b0"}, kStrings, 0));
    PeVersionInfo::Info info;
    ASSERT_TRUE(PeVersionInfo::ReadFromMemory(image.data(), image.size(), &info));
    EXPECT_FALSE(info.hasTranslation);
    EXPECT_EQ(info.stringTableKey, u"041104b0");
    EXPECT_EQ(*info.FindString(u"CompanyName"), u"Pellmor");

    image = PeImage(VersionBlock(1, 2, {}, {}, 0x04E40409u));
    ASSERT_TRUE(PeVersionInfo::ReadFromMemory(image.data(), image.size(), &info));
    EXPECT_TRUE(info.hasTranslation);
    EXPECT_TRUE(info.strings.empty());
    EXPECT_EQ(info.FileVersion(), (1ull << 32) | 2);
}

TEST(PeVersionInfo, ImagesWithoutVersionData)
{
    std::vector<uint8_t> block = VersionBlock(1, 2, {u"040904b0"}, kStrings, 0x04B00409u);
    PeOptions noResources;
    noResources.withResources = false;
    PeOptions iconsOnly;
    iconsOnly.resourceType = 3;
    std::vector<uint8_t> notPe = PeImage(block);
    notPe[0x80] = 'N';
    std::vector<uint8_t> badKey = PeImage(block);
    badKey[0x400 + 0x58 + 6] = 'X'; // "VS_VERSION_INFO" no more

    const struct
    {
        const char* what;
        std::vector<uint8_t> image;
        uint32_t error;
    } cases[] = {
        {"text file", {'h', 'e', 'l', 'l', 'o'}, FileIo::kErrorBadExeFormat},
        {"DOS stub only", notPe, FileIo::kErrorBadExeFormat},
        {"no resources", PeImage(block, noResources), FileIo::kErrorResourceDataNotFound},
        {"no version resource", PeImage(block, iconsOnly), FileIo::kErrorResourceTypeNotFound},
        {"not a version block", badKey, FileIo::kErrorBadExeFormat},
    };
    for (const auto& c : cases)
    {
        PeVersionInfo::Info info;
        FileIo::SetLastError(0);
        EXPECT_FALSE(PeVersionInfo::ReadFromMemory(c.image.data(), c.image.size(), &info))
            << c.what;
        EXPECT_EQ(FileIo::GetLastError(), c.error) << c.what;
        EXPECT_EQ(info.FileVersion(), 0u) << c.what;
    }
}

TEST(PeVersionInfo, DamagedImagesNeverReadOutOfBounds)
{
    std::vector<uint8_t> image =
        PeImage(VersionBlock(0x10002, 0x30004, {u"040904b0"}, kStrings, 0x04B00409u));
    for (size_t length = 0; length < image.size(); ++length)
    {
        // An exact-size copy lets the sanitizers see any read past the end.
        std::vector<uint8_t> cut(image.begin(), image.begin() + length);
        PeVersionInfo::Info info;
        PeVersionInfo::ReadFromMemory(cut.data(), cut.size(), &info);
    }
    for (size_t offset = 0; offset < image.size(); ++offset)
    {
        std::vector<uint8_t> damaged = image;
        damaged[offset] ^= 0xFF;
        PeVersionInfo::Info info;
        PeVersionInfo::ReadFromMemory(damaged.data(), damaged.size(), &info);
    }
}

TEST(PeVersionInfo, TheSetupSeesAVersionOnlyWithATranslationTable)
{
    const struct
    {
        const char* what;
        uint32_t translation;
        uint64_t seen;
    } cases[] = {
        {"with a translation", 0x04B00409u, 0x0001000200030004ull},
        {"without a translation", 0, 0},
    };
    for (const auto& c : cases)
    {
        std::vector<uint8_t> image =
            PeImage(VersionBlock(0x00010002u, 0x00030004u, {u"040904b0"}, kStrings, c.translation));
        PeVersionInfo::Info info;
        ASSERT_TRUE(PeVersionInfo::ReadFromMemory(image.data(), image.size(), &info)) << c.what;
        EXPECT_EQ(info.FileVersion(), 0x0001000200030004ull) << c.what;
        EXPECT_EQ(info.VersionSeenBySetup(), c.seen) << c.what;
    }
}
