// The whole sample medium, signed as a release is, installed by the real Setup.exe in both
// platform families: every file of the family's packages ends up at its target. A copy of it
// with one package damaged, even with its size and CRC-32 kept, stops the setup before it has
// written anything.
#include "SetupRun.h"

#include "package/PeResources.h"
#include "package/UniqueHandle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include <zlib.h>

namespace
{
struct MediumCase
{
    const char* winver;
    const char* edition;
    bool nt;
};

std::string SystemFolder()
{
    char folder[1024] = "";
    const UINT length = GetSystemDirectoryA(folder, sizeof(folder));
    return std::string(folder, length);
}

bool IsSigned(const std::string& exe)
{
    CFileHandle file(FileIo::OpenExisting(exe, false));
    PeResources::FileSource source(file.Get());
    PeResources::Fields fields;
    return file.IsValid() && PeResources::ReadFields(source, &fields) &&
           fields.certificateTable.size != 0;
}

uint32_t Crc32(const std::vector<uint8_t>& bytes)
{
    return static_cast<uint32_t>(
        crc32(crc32(0L, Z_NULL, 0), bytes.data(), static_cast<uInt>(bytes.size())));
}

// Sets the four bytes at `at` so that `bytes` has the CRC-32 `wanted`. CRC-32 is linear in the
// message's bits: each of the 32 bits moves it by a pattern of its own, and the bits that give
// the difference are found by elimination over GF(2).
void KeepCrc32(std::vector<uint8_t>& bytes, size_t at, uint32_t wanted)
{
    std::fill(bytes.begin() + at, bytes.begin() + at + 4, 0);
    const uint32_t base = Crc32(bytes);
    uint32_t moves[32], bits[32];
    for (int bit = 0; bit < 32; ++bit)
    {
        bytes[at + bit / 8] = static_cast<uint8_t>(1u << (bit % 8));
        moves[bit] = Crc32(bytes) ^ base;
        bits[bit] = 1u << bit;
        bytes[at + bit / 8] = 0;
    }
    for (int column = 0; column < 32; ++column)
    {
        int pivot = column;
        while (pivot < 32 && !((moves[pivot] >> column) & 1))
        {
            ++pivot;
        }
        ASSERT_LT(pivot, 32) << "four bytes cannot set this CRC-32";
        std::swap(moves[column], moves[pivot]);
        std::swap(bits[column], bits[pivot]);
        for (int row = 0; row < 32; ++row)
        {
            if (row != column && ((moves[row] >> column) & 1))
            {
                moves[row] ^= moves[column];
                bits[row] ^= bits[column];
            }
        }
    }
    uint32_t solution = 0;
    for (int column = 0; column < 32; ++column)
    {
        solution ^= ((base ^ wanted) >> column) & 1 ? bits[column] : 0;
    }
    for (int i = 0; i < 4; ++i)
    {
        bytes[at + i] = static_cast<uint8_t>(solution >> (8 * i));
    }
    EXPECT_EQ(Crc32(bytes), wanted);
}

void RemoveRuntime()
{
    for (const char* name : {"\\PRRT32.DLL", "\\UX_W32.DLL"})
    {
        const std::string path = SystemFolder() + name;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    }
}

class InstallMediumTest : public ::testing::TestWithParam<MediumCase>
{
protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
    static void Clean()
    {
        SetupRun::CleanMachine();
        TestRegistry::DeleteKeyTree("Software\\Pellmor Controls");
        RemoveRuntime();
    }
};

TEST_P(InstallMediumTest, EveryFileReachesItsTarget)
{
    const MediumCase& c = GetParam();
    EXPECT_TRUE(IsSigned(SetupRun::SetupExe(c.edition)));
    CRobot robot;
    ASSERT_TRUE(robot.Launch(SetupRun::SetupExe(c.edition), c.winver));
    RobotMessageBox box;
    ASSERT_TRUE(SetupRun::DriveFreshInstall(robot, "", box)) << SetupRun::DescribeWindows(robot);
    EXPECT_EQ(box.text,
              std::string("Installation is complete.  Thank you for installing ") + c.edition);

    const std::string root = "C:\\Nimbus";
    const std::string family = c.nt ? "NT" : "95";
    const std::vector<std::string> files = {
        SystemFolder() + "\\PRRT32.DLL",
        SystemFolder() + "\\UX_W32.DLL",
        root + "\\Programs\\Scroll" + family + ".exe",
        root + (c.nt ? "\\Programs\\PCtrlsU.ocx" : "\\Programs\\PCtrlsA.ocx"),
        root + "\\Configuration\\Default.cfg",
        root + "\\Configuration\\Machine\\Settings.cfg",
        root + "\\Lexicography\\English.lex",
        root + "\\Language\\English\\English.lng",
        root + "\\Documents\\Readme.txt",
        root + "\\Documents\\Sample Script.txt",
        root + "\\Drivers\\prusb.inf",
        root + "\\Drivers\\prusb.sys",
        root + "\\Drivers\\RERER8\\io8.inf",
        root + "\\Drivers\\RERER8\\io8ctl.dll",
        root + "\\Drivers\\RERER8\\amd64\\io8x64.sys",
        root + "\\Drivers\\RERER8\\i386\\io8x86.sys",
    };
    for (const std::string& file : files)
    {
        EXPECT_TRUE(TestFiles::Exists(file)) << file;
    }
    // The other family's program files stay on the medium.
    EXPECT_FALSE(TestFiles::Exists(root + "\\Programs\\Scroll" + (c.nt ? "95" : "NT") + ".exe"));
    EXPECT_EQ(TestFiles::Exists(root + "\\Programs\\$tmp0001.tmp"), false);

    robot.Answer(box, IDOK);
    EXPECT_TRUE(robot.WaitExit(10000));
}

TEST_P(InstallMediumTest, ADamagedPackageStopsTheSetupBeforeAnythingIsWritten)
{
    const MediumCase& c = GetParam();
    const struct
    {
        const char* what;
        bool nt; // the family whose check it is for
        const char* package;
        void (*damage)(std::vector<uint8_t>& bytes);
        const char* says;
    } damages[] = {
        {"one byte no reader of the package looks at", true, "PRCFG.PKG",
         [](std::vector<uint8_t>& bytes) { bytes[100] ^= 1; },
         "is not the one the installation medium was made with"},
        // XP compares by SHA-256 (Wine's AES provider gives it): CRC-32 and size alone pass it.
        {"a change that keeps the size and the CRC-32", true, "PRLEX.PKG",
         [](std::vector<uint8_t>& bytes)
         {
             const uint32_t before = Crc32(bytes);
             bytes[100] ^= 1;
             KeepCrc32(bytes, 104, before);
         },
         "is not the one the installation medium was made with"},
        {"the program package cut short", false, "PRAPP95.PKG",
         [](std::vector<uint8_t>& bytes) { bytes.pop_back(); },
         "is shorter than when the installation medium was made"},
    };
    const std::string source = SetupRun::MediumFolder(c.edition);
    std::vector<std::string> files = TestFiles::List(source, "*.PKG");
    files.push_back("Setup.exe");
    for (const auto& d : damages)
    {
        if (d.nt != c.nt)
        {
            continue;
        }
        SCOPED_TRACE(d.what);
        const std::string medium = TestFiles::TempFolder("damaged-medium") + "\\";
        for (const std::string& name : files)
        {
            ASSERT_TRUE(CopyFileA((source + name).c_str(), (medium + name).c_str(), FALSE)) << name;
        }
        std::vector<uint8_t> bytes = TestFiles::ReadBytes(medium + d.package);
        ASSERT_GT(bytes.size(), 256u);
        const std::vector<uint8_t> original = bytes;
        d.damage(bytes);
        ASSERT_NE(bytes, original);
        std::ofstream(medium + d.package, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));

        CRobot robot;
        ASSERT_TRUE(robot.Launch(medium + "Setup.exe", c.winver));
        RobotMessageBox box;
        ASSERT_TRUE(SetupRun::DriveFreshInstall(robot, "", box))
            << SetupRun::DescribeWindows(robot);
        EXPECT_EQ(box.text, "The package file \"" + std::string(d.package) + "\" " + d.says +
                                ".  The medium may be damaged; nothing was installed.");
        robot.Answer(box, IDOK);
        EXPECT_TRUE(robot.WaitExit(10000));
        EXPECT_FALSE(TestFiles::Exists("C:\\Nimbus"));
        DWORD build = 0;
        EXPECT_FALSE(
            TestRegistry::ReadDword("Software\\Pellmor\\Prompter Install", "Build Number", build));
        TestFiles::RemoveTree(medium);
    }
}

INSTANTIATE_TEST_SUITE_P(Families, InstallMediumTest,
                         ::testing::Values(MediumCase{"winxp", "Ardent", true},
                                           MediumCase{"win98", "Brisk", false}),
                         [](const ::testing::TestParamInfo<MediumCase>& info)
                         { return std::string(info.param.winver) + "_" + info.param.edition; });
} // namespace
