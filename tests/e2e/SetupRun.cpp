#include "SetupRun.h"

#include "framework/resource.h"

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

void CleanMachine()
{
    TestFiles::RemoveTree("C:\\Nimbus");
    TestRegistry::DeleteKeyTree("Software\\Pellmor");
    TestRegistry::DeleteKeyTree("Software\\Secure\\Pellmor");
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
