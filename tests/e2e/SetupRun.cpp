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
    const DWORD start = GetTickCount();
    std::vector<HWND> handled;
    while (GetTickCount() - start < timeoutMs && robot.IsRunning())
    {
        if (robot.WaitMessageBox(box, 50))
        {
            return true;
        }
        for (HWND hWnd : robot.Windows())
        {
            if (std::find(handled.begin(), handled.end(), hWnd) != handled.end())
            {
                continue;
            }
            const std::string caption = CRobot::WindowText(hWnd);
            if (caption.find(" - Installation Build ") != std::string::npos)
            {
                robot.Click(hWnd, IDC_MENU_INSTALL);
            }
            else if (caption == "Permission")
            {
                robot.Click(hWnd, IDC_ACCEPT);
                robot.Click(hWnd, IDC_INSTALL);
            }
            else if (caption == "Choose Install Path")
            {
                if (!installPath.empty())
                {
                    robot.SetText(hWnd, IDC_PATH, installPath);
                }
                robot.Click(hWnd, IDOK);
            }
            else
            {
                continue;
            }
            handled.push_back(hWnd);
            if (seen)
            {
                *seen += "[" + caption + "]";
            }
        }
    }
    return false;
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
