#include "SetupRun.h"

#include "config/UninstallEntry.h"
#include "framework/resource.h"
#include "install/SetupCopy.h"

#include <algorithm>
#include <vector>

namespace SetupRun
{
std::string MediumFolder(const std::string& edition)
{
    return TestFiles::FromUnixPath(KELVARIN_MEDIUM_DIR "/" + edition + "/");
}

std::string SetupExe(const std::string& edition)
{
    return MediumFolder(edition) + "Setup.exe";
}

std::string EntryKey()
{
    return std::string(UninstallEntry::kParentKey) + "\\" + UninstallEntry::kName;
}

std::string SetupCopyPath(bool windowsNT)
{
    char windows[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, sizeof(windows));
    return SetupCopy::Path(windowsNT, windows);
}

void CleanMachine()
{
    TestFiles::RemoveTree("C:\\Nimbus");
    TestRegistry::DeleteKeyTree("Software\\Pellmor");
    TestRegistry::DeleteKeyTree("Software\\Secure\\Pellmor");
    TestRegistry::DeleteKeyTree(EntryKey());
    for (bool windowsNT : {true, false})
    {
        DeleteFileA(SetupCopyPath(windowsNT).c_str());
    }
    char windows[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, sizeof(windows));
    TestFiles::RemoveTree(SetupCopy::Folder(true, windows));
}

bool DriveFreshInstall(CRobot& robot, const std::string& installPath, RobotMessageBox& box,
                       std::string* seen, DWORD timeoutMs)
{
    RobotPath path;
    path.installPath = installPath;
    path.onWindow = [seen](HWND, const std::string& caption)
    {
        if (seen)
        {
            *seen += "[" + caption + "]";
        }
    };
    return robot.DriveSetup(path, box, timeoutMs);
}

std::string DescribeWindows(const CRobot& robot)
{
    std::string text;
    for (HWND hWnd : robot.Windows())
    {
        text += "[" + CRobot::WindowText(hWnd) + "] ";
    }
    return text;
}
} // namespace SetupRun
