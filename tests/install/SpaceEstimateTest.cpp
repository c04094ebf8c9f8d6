#include "install/SpaceEstimate.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
using SpaceEstimate::File;
using SpaceEstimate::Need;

struct NeedCase
{
    const char* what;
    std::vector<File> files;
    std::vector<Need> expected;
};

// Drive C: has 4 KiB clusters, D: 512-byte ones; the system folder lies on D:.
TEST(SpaceEstimateTest, NeedsCountWhatIsWrittenLessWhatItReplacesPlusTheLargest)
{
    const std::map<std::string, uint64_t> clusters = {{"C:\\", 4096}, {"D:\\", 512}};
    const NeedCase cases[] = {
        {"new files, each rounded up, and the largest again",
         {{"C:\\", 1}, {"C:\\", 5000}},
         {{"C:\\", 4096 + 8192 + 8192}}},
        {"a replaced file counts only what it adds",
         {{"C:\\", 10000, true, 4000}},
         {{"C:\\", (12288 - 4096) + 12288}}},
        {"a file kept because its version is newer counts nothing",
         {{"C:\\", 9000, true, 9000, true}},
         {{"C:\\", 0}}},
        {"an upgrade that frees room needs its largest file alone",
         {{"C:\\", 100, true, 50000}, {"C:\\", 4096, true, 4096}},
         {{"C:\\", 4096}}},
        {"the system folder's files count on their own drive",
         {{"C:\\", 4096}, {"D:\\", 513}, {"C:\\", 1}},
         {{"C:\\", 8192 + 4096}, {"D:\\", 2048}}},
        {"a drive of unknown cluster counts bytes",
         {{"\\\\SERVER\\SHARE\\", 10}},
         {{"\\\\SERVER\\SHARE\\", 20}}},
        {"a target without a drive is not counted", {{"", 10}}, {}},
    };
    for (const NeedCase& c : cases)
    {
        SCOPED_TRACE(c.what);
        const std::vector<Need> needs = SpaceEstimate::Needs(c.files, clusters);
        ASSERT_EQ(needs.size(), c.expected.size());
        for (size_t i = 0; i < needs.size(); ++i)
        {
            EXPECT_EQ(needs[i].drive, c.expected[i].drive);
            EXPECT_EQ(needs[i].bytes, c.expected[i].bytes);
        }
    }
}

TEST(SpaceEstimateTest, DrivesAndMegabytesAreNamedAsTheUserReadsThem)
{
    const std::pair<const char*, const char*> drives[] = {
        {"c:\\Nimbus", "C:\\"},
        {"C:", "C:\\"},
        {"\\\\srv\\Share\\Studio", "\\\\SRV\\SHARE\\"},
        {"//srv/share", "\\\\SRV\\SHARE\\"},
        {"\\\\srv", ""},
        {"\\\\srv\\", ""},
        {"Nimbus", ""},
        {"\\Nimbus", ""},
    };
    for (const auto& [path, drive] : drives)
    {
        EXPECT_EQ(SpaceEstimate::DriveOf(path), drive) << path;
    }
    EXPECT_EQ(SpaceEstimate::Megabytes(1048576 + 1, true), "1.1");
    EXPECT_EQ(SpaceEstimate::Megabytes(1048576 + 104857, false), "1.0");
    EXPECT_EQ(SpaceEstimate::Megabytes(0, true), "0.0");
}

// Deflate gives at most 1032 bytes for each byte it reads.
TEST(SpaceEstimateTest, ACatalogClaimingMoreThanItsPackageCouldHoldIsImpossible)
{
    const struct
    {
        uint64_t package, unpacked;
        bool possible;
    } cases[] = {
        {1000, 1032000, true}, {1000, 1032001, false},     {0, 0, true},
        {0, 1, false},         {4400, 0xFFFFFFFFu, false}, {UINT64_MAX, UINT64_MAX, true},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(SpaceEstimate::IsPossible(c.package, c.unpacked), c.possible)
            << c.package << " " << c.unpacked;
    }
}
} // namespace
