#include "SetupRun.h"

namespace SetupRun
{
std::string MediumFolder(const std::string& edition)
{
    return RobotFiles::FromUnixPath(KELVARIN_MEDIUM_DIR "/" + edition + "/");
}

std::string SetupExe(const std::string& edition)
{
    return MediumFolder(edition) + "Setup.exe";
}

void CleanMachine()
{
    RobotFiles::RemoveTree("C:\\Nimbus");
    DeleteKeyTree(HKEY_LOCAL_MACHINE, "Software\\Pellmor");
    DeleteKeyTree(HKEY_LOCAL_MACHINE, "Software\\Secure\\Pellmor");
}

bool KeyExists(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    {
        return false;
    }
    RegCloseKey(key);
    return true;
}

void DeleteKeyTree(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
    {
        return;
    }
    char name[512];
    for (;;)
    {
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        {
            break;
        }
        DeleteKeyTree(root, path + "\\" + name);
    }
    RegCloseKey(key);
    RegDeleteKeyA(root, path.c_str());
}

std::string SystemText(DWORD code)
{
    char buffer[4096] = "";
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, buffer, sizeof(buffer), nullptr);
    return std::string(buffer, length);
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
