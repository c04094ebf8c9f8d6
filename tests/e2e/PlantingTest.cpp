// DLLs planted beside Setup.exe on a copy of the medium, named like those Windows looks for
// beside a program first, with Wine told to prefer them there as Windows would (the test's
// KELVARIN_DLL_OVERRIDES, see CMakeLists.txt): a whole install and a whole uninstall must
// load none of them. Wine's own DLLs load some before the
// setup's first line (its user32 imports version.dll), so a control program that imports only
// kernel32 and user32 runs beside the same plants, and only marks it does not leave count.
// The medium's control module needs a library of its own folder and must still register; while
// it registers it loads libraries by bare name, as controls do, so that a search the start-up
// did not narrow shows. Run once as the setup is, and once with SetDefaultDllDirectories hidden
// from it, as on XP and on Vista and 7 without the search update: there only the libraries the
// setup loaded from the system folder at start-up keep the planted ones out.
#include "MenuRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace
{
using namespace MenuRun;

const char kControls[] = "Software\\Pellmor Controls";
// A planted library the system folder lacks: it loads only where the setup's folder is searched.
const char kProbe[] = "plantprobe.dll";

std::string Built(const char* unixPath)
{
    return TestFiles::FromUnixPath(unixPath);
}

// The planted names, as the test's Wine overrides name them ("uxtheme,userenv,...=n,b").
std::vector<std::string> Planted()
{
    char overrides[2048] = "";
    const DWORD length =
        GetEnvironmentVariableA("KELVARIN_DLL_OVERRIDES", overrides, sizeof(overrides));
    std::string names(overrides, length < sizeof(overrides) ? length : 0);
    names = names.substr(0, names.find('='));
    std::vector<std::string> planted;
    std::istringstream list(names);
    for (std::string name; std::getline(list, name, ',');)
    {
        planted.push_back(name);
    }
    return planted;
}

class PlantingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Clean();
        m_medium = TestFiles::TempFolder("planted-medium");
        m_marks = m_medium + "\\marks.txt";
        // Where the planted DLLs of the programs this test starts leave their marks.
        SetEnvironmentVariableA("KELVARIN_PLANT_MARKS", m_marks.c_str());
        // The program package of this medium carries the control module and its library.
        const std::string source = Built(KELVARIN_PLANT_MEDIUM) + "\\";
        std::vector<std::string> files = TestFiles::List(source, "*.PKG");
        files.push_back("Setup.exe");
        for (const std::string& name : files)
        {
            ASSERT_TRUE(CopyFileA((source + name).c_str(), (m_medium + "\\" + name).c_str(), FALSE))
                << name;
        }
        ASSERT_TRUE(CopyFileA(Built(KELVARIN_PLANT_CONTROL).c_str(),
                              (m_medium + "\\control.exe").c_str(), FALSE));
        const std::vector<std::string> planted = Planted();
        ASSERT_GT(planted.size(), 10u) << "the test runs with Wine overrides of its own";
        for (const std::string& name : planted)
        {
            const std::string copy = m_medium + "\\" + name + ".dll";
            ASSERT_TRUE(CopyFileA(Built(KELVARIN_PLANT_MARK).c_str(), copy.c_str(), FALSE));
        }
        ASSERT_TRUE(CopyFileA(Built(KELVARIN_PLANT_MARK).c_str(),
                              (m_medium + "\\" + kProbe).c_str(), FALSE));
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("KELVARIN_PLANT_MARKS", nullptr);
        SetEnvironmentVariableA("KELVARIN_PLANT_LATE", nullptr);
        Clean();
        TestFiles::RemoveTree(m_medium);
    }
    static void Clean()
    {
        CleanAll();
        TestRegistry::DeleteKeyTree(kControls);
    }

    // The planted DLLs `program` loaded, by file name in lower case.
    std::set<std::string> MarksOf(const std::string& program) const
    {
        std::istringstream lines(TestFiles::ReadText(m_marks));
        std::set<std::string> marks;
        std::string who, dll;
        while (lines >> who >> dll)
        {
            std::transform(who.begin(), who.end(), who.begin(), ::tolower);
            std::transform(dll.begin(), dll.end(), dll.begin(), ::tolower);
            if (who == program)
            {
                marks.insert(dll);
            }
        }
        return marks;
    }

    void RunControlProgram() const
    {
        std::string command = "\"" + m_medium + "\\control.exe\"";
        STARTUPINFOA startup;
        ZeroMemory(&startup, sizeof(startup));
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process;
        ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                   m_medium.c_str(), &startup, &process));
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }

    void Install() const
    {
        CRobot robot;
        ASSERT_TRUE(robot.Launch(m_medium + "\\Setup.exe", "winxp"));
        RobotMessageBox box;
        ASSERT_TRUE(SetupRun::DriveFreshInstall(robot, "", box))
            << SetupRun::DescribeWindows(robot);
        EXPECT_EQ(box.text, "Installation is complete.  Thank you for installing Ardent");
        robot.Answer(box, IDOK);
        EXPECT_TRUE(robot.WaitExit(10000));
    }

    void Uninstall() const
    {
        CRobot robot;
        ASSERT_TRUE(robot.Launch(m_medium + "\\Setup.exe", "winxp"));
        HWND menu = WaitMenu(robot);
        ASSERT_NE(menu, nullptr) << SetupRun::DescribeWindows(robot);
        robot.Click(menu, kMenuUninstall);
        EXPECT_EQ(AnswerUntilExit(robot), UninstallQuestion("C:\\Nimbus") + "|Uninstall completed");
    }

    // A whole install and uninstall with the control module loading `late` as it registers;
    // the planted DLLs the setup loaded that the control program did not, by name.
    std::string PlantedLoadedByTheSetup(const std::string& late)
    {
        RunControlProgram();
        const std::set<std::string> wines = MarksOf("control.exe");
        // The plants work: Wine's user32 takes the planted version.dll for the control program.
        EXPECT_EQ(wines.count("version.dll"), 1u) << TestFiles::ReadText(m_marks);
        std::istringstream names(late);
        for (std::string name; std::getline(names, name, ',');)
        {
            EXPECT_EQ(wines.count(name), 0u) << name << " proves nothing";
        }

        SetEnvironmentVariableA("KELVARIN_PLANT_LATE", late.c_str());
        Install();
        // The module registered through the library beside it, not through any other.
        DWORD type = 0;
        std::vector<BYTE> runtime;
        EXPECT_TRUE(
            TestRegistry::ReadRaw(std::string(kControls) + "\\PCtrlsU", "Runtime", type, runtime));
        runtime.push_back(0);
        EXPECT_STREQ(reinterpret_cast<const char*>(runtime.data()),
                     "C:\\Nimbus\\Programs\\PCtrlsRt.dll");
        Uninstall();
        EXPECT_FALSE(TestFiles::Exists("C:\\Nimbus"));

        std::string setups;
        for (const std::string& dll : MarksOf("setup.exe"))
        {
            if (!wines.count(dll))
            {
                setups += dll + " ";
            }
        }
        return setups;
    }

    std::string m_medium;
    std::string m_marks;
};

TEST_F(PlantingTest, InstallAndUninstallLoadNoDllFromBesideTheSetup)
{
    // dbghelp is no library the setup loads at start-up: only the narrowed search keeps the
    // planted one out.
    EXPECT_EQ(PlantedLoadedByTheSetup("dbghelp.dll,mpr.dll," + std::string(kProbe)), "")
        << TestFiles::ReadText(m_marks);
}

TEST_F(PlantingTest, WithoutTheSearchUpdateThoseLoadedAtStartUpKeepThePlantedOut)
{
    // One letter of the name changed: the setup's lookup finds no such function.
    std::vector<uint8_t> setup = TestFiles::ReadBytes(m_medium + "\\Setup.exe");
    const std::string name = "SetDefaultDllDirectories";
    auto at = std::search(setup.begin(), setup.end(), name.begin(), name.end());
    ASSERT_NE(at, setup.end());
    ASSERT_EQ(std::search(at + 1, setup.end(), name.begin(), name.end()), setup.end());
    at[name.size() - 1] = 'Z';
    ASSERT_TRUE(
        TestFiles::WriteText(m_medium + "\\Setup.exe", std::string(setup.begin(), setup.end())));
    // The setup's folder is still searched, as there: the probe loads from it, and mpr, which
    // the setup loaded from the system folder at start-up, does not.
    EXPECT_EQ(PlantedLoadedByTheSetup("mpr.dll," + std::string(kProbe)), std::string(kProbe) + " ")
        << TestFiles::ReadText(m_marks);
}
} // namespace
