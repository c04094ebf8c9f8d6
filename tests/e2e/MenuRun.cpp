#include "MenuRun.h"

#include <shlobj.h>

#include <fstream>
#include <iterator>

namespace MenuRun
{
const char* const kInstallKey = "Software\\Pellmor\\Prompter Install";

namespace
{
HKEY OpenInstallKey()
{
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, kInstallKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    return key;
}
} // namespace

void CleanAll()
{
    SetupRun::CleanMachine();
    for (const char* folder :
         {"C:\\TarpanLT", "C:\\Ardent", "C:\\Studio", "C:\\Elsewhere", "C:\\Data"})
    {
        TestFiles::RemoveTree(folder);
    }
    for (int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_PROGRAMS,
                      CSIDL_DESKTOPDIRECTORY})
    {
        char folder[MAX_PATH] = "";
        if (SHGetSpecialFolderPathA(nullptr, folder, csidl, FALSE))
        {
            DeleteFileA((std::string(folder) + "\\Ardent.lnk").c_str());
            DeleteFileA((std::string(folder) + "\\Brisk.lnk").c_str());
        }
    }
}

const char* ProgramNotReplaced(const std::string& winver)
{
    return winver == "win98" ? "ScrollNT.Exe" : "Scroll95.Exe";
}

void PlantProgram(const std::string& folder, const char* program)
{
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "\\Programs").c_str(), nullptr);
    TestFiles::WriteText(folder + "\\Programs\\" + program, "MZ");
}

void RecordInstallPath(const std::string& folder)
{
    HKEY key = OpenInstallKey();
    RegSetValueExA(key, "Install Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>(folder.size() + 1));
    RegCloseKey(key);
}

void RecordBuild(DWORD build)
{
    HKEY key = OpenInstallKey();
    RegSetValueExA(key, "Build Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&build),
                   sizeof(build));
    RegCloseKey(key);
}

void RecordBuildAsText(const std::string& build)
{
    HKEY key = OpenInstallKey();
    RegSetValueExA(key, "Build Number", 0, REG_SZ, reinterpret_cast<const BYTE*>(build.c_str()),
                   static_cast<DWORD>(build.size() + 1));
    RegCloseKey(key);
}

std::string RecordedInstallPath()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    {
        return "<none>";
    }
    char value[1024] = "";
    DWORD size = sizeof(value) - 1;
    DWORD type = 0;
    const LONG result = RegQueryValueExA(key, "Install Path", nullptr, &type,
                                         reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_SZ ? std::string(value) : "<none>";
}

HWND WaitMenu(CRobot& robot, DWORD timeoutMs)
{
    HWND menu = nullptr;
    CRobot::WaitUntil(
        [&]
        {
            for (HWND hWnd : robot.Windows())
            {
                if (CRobot::WindowText(hWnd).find(" - Installation Build ") != std::string::npos)
                {
                    menu = hWnd;
                    return true;
                }
            }
            return !robot.IsRunning();
        },
        timeoutMs);
    if (menu)
    {
        CRobot::WaitHandled(menu);
    }
    return menu;
}

void PressEnter(HWND dialog)
{
    PostMessageA(dialog, WM_KEYDOWN, VK_RETURN, 1);
    PostMessageA(dialog, WM_KEYUP, VK_RETURN, 0xC0000001);
    CRobot::WaitHandled(dialog);
}

void PressEscape(HWND dialog)
{
    PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 1);
    PostMessageA(dialog, WM_KEYUP, VK_ESCAPE, 0xC0000001);
    CRobot::WaitHandled(dialog);
}

bool EndsSilently(CRobot& robot, std::string& why, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs)
    {
        RobotMessageBox box;
        if (robot.WaitMessageBox(box, 50))
        {
            why = "message box: " + box.text;
            return false;
        }
        if (robot.WaitExit(50))
        {
            return true;
        }
    }
    why = "still running: " + SetupRun::DescribeWindows(robot);
    return false;
}

std::string AnswerUntilExit(CRobot& robot, DWORD timeoutMs)
{
    std::string texts;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs && robot.IsRunning())
    {
        RobotMessageBox box;
        if (robot.WaitMessageBox(box, 100))
        {
            texts += (texts.empty() ? "" : "|") + box.text;
            robot.Answer(box, GetDlgItem(box.hWnd, IDYES) ? IDYES : IDOK);
            robot.WaitWindowGone(box.hWnd, 5000);
        }
    }
    return texts;
}

std::string UninstallQuestion(const std::string& folder)
{
    return "Uninstalling removes the folder \"" + folder +
           "\" with everything in it, the documents and settings you keep there included, and "
           "the product's registry information and shortcuts.\n\nDo you wish to uninstall?";
}

std::string AgreementText(const std::string& edition)
{
    std::ifstream in(std::string(KELVARIN_LICENSE_DIR "/License") + edition + ".txt",
                     std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return text.substr(0, text.find("!!"));
}
} // namespace MenuRun
