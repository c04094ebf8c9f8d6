// The whole sample medium, signed as a release is, installed by the real Setup.exe in both
// platform families: every file of the family's packages ends up at its target. A copy of it
// with one package damaged stops the setup before it has written anything.
#include "SetupRun.h"

#include "package/PeResources.h"
#include "package/UniqueHandle.h"

#include <gtest/gtest.h>

#include <fstream>

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
    const std::string medium = TestFiles::TempFolder("damaged-medium") + "\\";
    const std::string source = SetupRun::MediumFolder(c.edition);
    std::vector<std::string> files = TestFiles::List(source, "*.PKG");
    files.push_back("Setup.exe");
    for (const std::string& name : files)
    {
        ASSERT_TRUE(CopyFileA((source + name).c_str(), (medium + name).c_str(), FALSE)) << name;
    }
    // NT: one byte no reader of the package looks at; 9x: the program package cut short.
    const std::string damaged = c.nt ? "PRCFG.PKG" : "PRAPP95.PKG";
    std::vector<uint8_t> bytes = TestFiles::ReadBytes(medium + damaged);
    ASSERT_GT(bytes.size(), 256u);
    if (c.nt)
    {
        bytes[100] ^= 1;
    }
    else
    {
        bytes.pop_back();
    }
    std::ofstream(medium + damaged, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));

    CRobot robot;
    ASSERT_TRUE(robot.Launch(medium + "Setup.exe", c.winver));
    RobotMessageBox box;
    ASSERT_TRUE(SetupRun::DriveFreshInstall(robot, "", box)) << SetupRun::DescribeWindows(robot);
    EXPECT_EQ(box.text, "The package file \"" + damaged + "\" " +
                            (c.nt ? "is not the one the installation medium was made with"
                                  : "is shorter than when the installation medium was made") +
                            ". The medium may be damaged; Setup has made no changes to this "
                            "computer.");
    robot.Answer(box, IDOK);
    EXPECT_TRUE(robot.WaitExit(10000));
    EXPECT_FALSE(TestFiles::Exists("C:\\Nimbus"));
    DWORD build = 0;
    EXPECT_FALSE(
        TestRegistry::ReadDword("Software\\Pellmor\\Prompter Install", "Build Number", build));
    TestFiles::RemoveTree(medium);
}

INSTANTIATE_TEST_SUITE_P(Families, InstallMediumTest,
                         ::testing::Values(MediumCase{"winxp", "Ardent", true},
                                           MediumCase{"win98", "Brisk", false}),
                         [](const ::testing::TestParamInfo<MediumCase>& info)
                         { return std::string(info.param.winver) + "_" + info.param.edition; });
} // namespace
