// The sample media as discs: each family installs its edition from the medium's
// image, mounted read-only in a CD-ROM drive by disc-run.sh, and the machine ends up
// as an install from the medium folder leaves it: files, registry record, links.
#include "SetupRun.h"
#include "TestRegistry.h"

#include <gtest/gtest.h>
#include <ole2.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace
{
struct DiscCase
{
    const char* winver;
    const char* edition;
};

// What an install left, by place: bytes and last-write time of each file, the
// values of each key, what each link says (its bytes cache the folders' times).
using Snapshot = std::map<std::string, std::string>;

const char kInstall[] = "C:\\Nimbus";
const int kLinkFolders[] = {CSIDL_COMMON_PROGRAMS, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_PROGRAMS,
                            CSIDL_DESKTOPDIRECTORY};

std::string Folder(int csidl)
{
    char path[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, path, csidl, TRUE);
    return path;
}

std::string SystemFolder()
{
    char folder[MAX_PATH] = "";
    return std::string(folder, GetSystemDirectoryA(folder, sizeof(folder)));
}

void AddFile(Snapshot& snapshot, const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
    {
        return;
    }
    const std::vector<uint8_t> bytes = TestFiles::ReadBytes(path);
    char time[32];
    std::snprintf(time, sizeof time, "%08lx%08lx", data.ftLastWriteTime.dwHighDateTime,
                  data.ftLastWriteTime.dwLowDateTime);
    snapshot[path] = std::string(time) + ":" + std::string(bytes.begin(), bytes.end());
}

void AddTree(Snapshot& snapshot, const std::string& folder)
{
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
    {
        return;
    }
    do
    {
        const std::string name = data.cFileName;
        const std::string path = folder + "\\" + name;
        if (name == "." || name == "..")
        {
            continue;
        }
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        {
            snapshot[path] = "folder";
            AddTree(snapshot, path);
        }
        else
        {
            AddFile(snapshot, path);
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

void AddKey(Snapshot& snapshot, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    {
        return;
    }
    snapshot["HKLM\\" + path] = "key";
    std::vector<BYTE> data(64 * 1024);
    for (DWORD i = 0;; ++i)
    {
        char name[1024];
        DWORD nameLength = sizeof(name);
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueA(key, i, name, &nameLength, nullptr, &type, data.data(), &size) !=
            ERROR_SUCCESS)
        {
            break;
        }
        snapshot["HKLM\\" + path + " : " + name] =
            std::to_string(type) + ":" + std::string(data.begin(), data.begin() + size);
    }
    RegCloseKey(key);
    for (const std::string& subkey : TestRegistry::SubKeys(path))
    {
        AddKey(snapshot, path + "\\" + subkey);
    }
}

void AddLink(Snapshot& snapshot, const std::string& file)
{
    if (GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES)
    {
        return;
    }
    const TestFiles::Link link = TestFiles::ReadLink(file, true);
    snapshot[file] = link.loaded ? link.path + "|" + link.arguments + "|" + link.folder + "|" +
                                       link.description + "|" + link.icon + "," +
                                       std::to_string(link.iconIndex)
                                 : "unreadable";
}

Snapshot TakeSnapshot(const std::string& edition)
{
    Snapshot snapshot;
    AddTree(snapshot, kInstall);
    for (const char* name : {"\\PRRT32.DLL", "\\UX_W32.DLL"})
    {
        AddFile(snapshot, SystemFolder() + name);
    }
    for (const char* key : {"Software\\Pellmor", "Software\\Pellmor Controls"})
    {
        AddKey(snapshot, key);
    }
    for (int csidl : kLinkFolders)
    {
        AddLink(snapshot, Folder(csidl) + "\\" + edition + ".lnk");
    }
    return snapshot;
}

// The places where the two snapshots differ.
std::string Differences(const Snapshot& expected, const Snapshot& actual)
{
    std::string text;
    for (const auto& entry : expected)
    {
        auto found = actual.find(entry.first);
        if (found == actual.end())
        {
            text += "  missing: " + entry.first + "\n";
        }
        else if (found->second != entry.second)
        {
            const auto where = std::mismatch(entry.second.begin(), entry.second.end(),
                                             found->second.begin(), found->second.end());
            text += "  differs from byte " + std::to_string(where.first - entry.second.begin()) +
                    ": " + entry.first + "\n";
        }
    }
    for (const auto& entry : actual)
    {
        if (expected.count(entry.first) == 0)
        {
            text += "  extra: " + entry.first + "\n";
        }
    }
    return text;
}

class DiscInstallTest : public ::testing::TestWithParam<DiscCase>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        Clean();
    }
    void TearDown() override
    {
        Clean();
        CoUninitialize();
    }

    void Clean()
    {
        SetupRun::CleanMachine();
        TestRegistry::DeleteKeyTree("Software\\Pellmor Controls");
        for (const char* name : {"\\PRRT32.DLL", "\\UX_W32.DLL"})
        {
            const std::string path = SystemFolder() + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
        for (int csidl : kLinkFolders)
        {
            DeleteFileA((Folder(csidl) + "\\" + GetParam().edition + ".lnk").c_str());
        }
    }

    // A whole install by the robot with the user's defaults, and what it left.
    Snapshot InstallFrom(const std::string& setup)
    {
        CRobot robot;
        EXPECT_TRUE(robot.Launch(setup, GetParam().winver)) << setup;
        RobotMessageBox box;
        EXPECT_TRUE(SetupRun::DriveFreshInstall(robot, "", box))
            << setup << ": " << SetupRun::DescribeWindows(robot);
        EXPECT_EQ(box.text, std::string("Installation is complete.  Thank you for installing ") +
                                GetParam().edition)
            << setup;
        robot.Answer(box, IDOK);
        EXPECT_TRUE(robot.WaitExit(10000)) << setup;
        return TakeSnapshot(GetParam().edition);
    }
};

TEST_P(DiscInstallTest, InstallsFromTheDiscAsFromTheFolder)
{
    const std::string edition = GetParam().edition;
    const char* letter = std::getenv(("KELVARIN_DISC_" + edition).c_str());
    ASSERT_NE(letter, nullptr) << "the disc drives come from tests/e2e/disc-run.sh";
    const std::string drive = std::string(letter) + "\\";
    // The setup meets a CD-ROM drive that takes no writes.
    EXPECT_EQ(GetDriveTypeA(drive.c_str()), static_cast<UINT>(DRIVE_CDROM)) << drive;
    HANDLE probe = CreateFileA((drive + "probe.tmp").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(probe, INVALID_HANDLE_VALUE) << drive << " takes writes";
    if (probe != INVALID_HANDLE_VALUE)
    {
        CloseHandle(probe);
    }

    const Snapshot fromFolder = InstallFrom(SetupRun::SetupExe(edition));
    ASSERT_TRUE(fromFolder.count(std::string(kInstall) + "\\Programs"));
    ASSERT_EQ(std::count_if(fromFolder.begin(), fromFolder.end(),
                            [](const Snapshot::value_type& entry)
                            { return entry.first.find(".lnk") != std::string::npos; }),
              2);
    Clean();
    const Snapshot fromDisc = InstallFrom(drive + "Setup.exe");
    EXPECT_TRUE(fromDisc == fromFolder) << Differences(fromFolder, fromDisc);
}

INSTANTIATE_TEST_SUITE_P(Families, DiscInstallTest,
                         ::testing::Values(DiscCase{"winxp", "Ardent"}, DiscCase{"win98", "Brisk"}),
                         [](const ::testing::TestParamInfo<DiscCase>& info)
                         { return std::string(info.param.winver) + "_" + info.param.edition; });
} // namespace
