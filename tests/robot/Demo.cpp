// The demo's driver: runs Setup.exe of a medium through an install with the
// defaults and then through an uninstall, tells what it met and saves a picture of
// every window it met.
#include "Robot.h"
#include "TestFiles.h"
#include "framework/resource.h"

#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cctype>
#include <cstdio>
#include <string>

namespace
{
int g_shot = 0;

std::string Tag(const std::string& caption)
{
    std::string tag = caption.empty() ? "window" : caption;
    for (char& c : tag)
    {
        if (!isalnum(static_cast<unsigned char>(c)))
        {
            c = '-';
        }
    }
    return tag;
}

void Shoot(HWND hWnd, const std::string& folder, const std::string& what)
{
    char name[32];
    std::snprintf(name, sizeof(name), "%02d-", ++g_shot);
    std::string file = folder + "\\" + name + Tag(what) + ".bmp";
    if (CRobot::Capture(hWnd, file))
    {
        std::printf("  picture: %s\n", file.c_str());
    }
}

BOOL CALLBACK FindUnpainted(HWND child, LPARAM found)
{
    if (IsWindowVisible(child) && GetUpdateRect(child, nullptr, FALSE))
    {
        *reinterpret_cast<bool*>(found) = true;
        return FALSE;
    }
    return TRUE;
}

// Another program's window has painted itself and every control in it.
void WaitWholePainted(HWND window)
{
    CRobot::WaitPainted(window);
    CRobot::WaitUntil(
        [&]
        {
            bool unpainted = GetUpdateRect(window, nullptr, FALSE) != FALSE;
            EnumChildWindows(window, &FindUnpainted, reinterpret_cast<LPARAM>(&unpainted));
            return !unpainted;
        },
        10000);
}

std::string ReadString(HKEY key, const char* name)
{
    char buffer[1024] = "";
    DWORD size = sizeof(buffer) - 1, type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
    {
        return "(missing)";
    }
    return buffer;
}

// Values below a key, its subkeys included.
DWORD CountValues(HKEY root, const std::string& path, DWORD* keys)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    {
        return 0;
    }
    DWORD subkeys = 0, values = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
    for (DWORD i = 0; i < subkeys; ++i)
    {
        char name[256];
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) ==
            ERROR_SUCCESS)
        {
            ++*keys;
            values += CountValues(root, path + "\\" + name, keys);
        }
    }
    RegCloseKey(key);
    return values;
}

void ReportLink(int csidl, const char* where)
{
    char folder[MAX_PATH] = "";
    if (!SHGetSpecialFolderPathA(nullptr, folder, csidl, FALSE))
    {
        return;
    }
    for (const char* edition : {"Ardent", "Brisk"})
    {
        const std::string path = std::string(folder) + "\\" + edition + ".lnk";
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        {
            continue;
        }
        const TestFiles::Link link = TestFiles::ReadLink(path, false);
        const std::string target = link.loaded ? link.path : "(unreadable)";
        std::printf("  link (%s): %s -> %s\n", where, path.c_str(), target.c_str());
    }
}

// What the install left outside its folder tree: the product record, the font
// tables, the control's registration and the two links.
void ReportSystem()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Pellmor\\Prompter Install", 0, KEY_READ,
                      &key) == ERROR_SUCCESS)
    {
        DWORD build = 0, size = sizeof(build), type = 0;
        const bool hasBuild =
            RegQueryValueExA(key, "Build Number", nullptr, &type, reinterpret_cast<BYTE*>(&build),
                             &size) == ERROR_SUCCESS &&
            type == REG_DWORD;
        std::printf("  HKLM\\Software\\Pellmor\\Prompter Install: Install Path = \"%s\", "
                    "Build Number = %s\n",
                    ReadString(key, "Install Path").c_str(),
                    hasBuild ? std::to_string(build).c_str() : "(missing)");
        RegCloseKey(key);
    }
    else
    {
        std::printf("  HKLM\\Software\\Pellmor\\Prompter Install: (none)\n");
    }
    const char* const entryKey =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pellmor Kelvarin";
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, entryKey, 0, KEY_READ, &key) == ERROR_SUCCESS)
    {
        std::printf("  installed programs: \"%s\" starts %s\n",
                    ReadString(key, "DisplayName").c_str(),
                    ReadString(key, "UninstallString").c_str());
        RegCloseKey(key);
    }
    else
    {
        std::printf("  installed programs: (no entry)\n");
    }
    char windows[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, sizeof(windows));
    for (const char* copy : {"\\Pellmor Kelvarin\\Setup.exe", "\\KELSETUP.EXE"})
    {
        const std::string path = std::string(windows) + copy;
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        {
            std::printf("  setup's copy: %s\n", path.c_str());
        }
    }
    DWORD fonts = 0;
    const DWORD values =
        CountValues(HKEY_LOCAL_MACHINE, "Software\\Pellmor\\Unicode Support\\Font Mapping", &fonts);
    std::printf("  font mapping: %lu values in %lu font keys\n", static_cast<unsigned long>(values),
                static_cast<unsigned long>(fonts));
    DWORD controls = 0;
    CountValues(HKEY_LOCAL_MACHINE, "Software\\Pellmor Controls", &controls);
    std::printf("  registered control modules: %lu\n", static_cast<unsigned long>(controls));
    ReportLink(CSIDL_COMMON_PROGRAMS, "all users' programs");
    ReportLink(CSIDL_COMMON_DESKTOPDIRECTORY, "all users' desktop");
    ReportLink(CSIDL_PROGRAMS, "user's programs");
    ReportLink(CSIDL_DESKTOPDIRECTORY, "user's desktop");
}

void ListTree(const std::string& folder, int depth)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
    {
        return;
    }
    do
    {
        const std::string name = found.cFileName;
        if (name == "." || name == "..")
        {
            continue;
        }
        const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        std::printf("  %*s%s%s\n", depth * 2, "", name.c_str(), isFolder ? "\\" : "");
        if (isFolder)
        {
            ListTree(folder + "\\" + name, depth + 1);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// Takes pictures of the progress window behind the replace question, which covers it.
void ShootBehindQuestion(CRobot& robot, HWND question, const std::string& pictures)
{
    RECT rect;
    GetWindowRect(question, &rect);
    SetWindowPos(question, nullptr, rect.left, rect.bottom + 40, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (HWND behind : robot.Windows())
    {
        if (CRobot::WindowText(behind) == "Installing components")
        {
            // The install waits for the answer, so the window has time to paint.
            CRobot::WaitPainted(behind);
            Shoot(behind, pictures, "Installing components, asking");
        }
    }
    SetWindowPos(question, nullptr, rect.left, rect.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A drive too small for the install, when demo.sh could make one ("S:"); empty otherwise.
std::string g_smallDrive;

// Pictures of every window on the robot's own way through the setup, with the About
// box and the accepted agreement on the side.
// A message the demo expects: its picture, then the given answer.
void ShootAndAnswer(CRobot& robot, DWORD waitMs, const std::string& pictures,
                    const std::string& what, int answer)
{
    RobotMessageBox box;
    if (!robot.WaitMessageBox(box, waitMs))
        return;
    std::printf("  message: %s\n", box.text.c_str());
    if (answer == IDNO)
        std::printf("  answer: No\n");
    WaitWholePainted(box.hWnd);
    Shoot(box.hWnd, pictures, what);
    robot.Answer(box, answer);
    robot.WaitWindowGone(box.hWnd, 5000);
}

void OnWindow(CRobot& robot, HWND window, const std::string& caption, int menuButton,
              const std::string& pictures)
{
    // The progress window's thread is busy installing and paints as it goes.
    if (caption != "Installing components")
    {
        CRobot::WaitPainted(window);
    }
    std::printf("Window \"%s\"\n", caption.c_str());
    Shoot(window, pictures, caption);
    if (caption.find(" - Installation Build ") != std::string::npos)
    {
        std::printf("  pressing %s\n", menuButton == IDC_MENU_INSTALL ? "install" : "uninstall");
    }
    else if (caption == "Permission")
    {
        std::printf("  opening \"About Kelvarin...\" from the system menu\n");
        PostMessageA(window, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        HWND about = robot.WaitWindow("About Kelvarin", 5000);
        if (about)
        {
            CRobot::WaitPainted(about);
            Shoot(about, pictures, "About Kelvarin");
            robot.Click(about, IDOK);
            robot.WaitWindowGone(about, 5000);
        }
        std::printf("  accepting the agreement\n");
        robot.Click(window, IDC_ACCEPT);
        CRobot::WaitPainted(window);
        Shoot(window, pictures, "Permission, accepted");
    }
    else if (caption == "Choose Install Path")
    {
        // A drive's root is refused: the uninstall would remove the whole drive.
        const std::string preset = CRobot::ControlText(window, IDC_PATH);
        std::printf("  typing C:\\\n");
        robot.SetText(window, IDC_PATH, "C:\\");
        robot.Click(window, IDOK);
        ShootAndAnswer(robot, 5000, pictures, "path refused", IDOK);
        // A drive too small is asked about before anything is written there.
        if (!g_smallDrive.empty())
        {
            std::printf("  typing %s\\Nimbus, on a drive too small\n", g_smallDrive.c_str());
            robot.SetText(window, IDC_PATH, g_smallDrive + "\\Nimbus");
            robot.Click(window, IDOK);
            ShootAndAnswer(robot, 10000, pictures, "space question", IDNO);
        }
        std::printf("  keeping the preset folder\n");
        robot.SetText(window, IDC_PATH, preset);
    }
    else if (caption == "Query Replace File")
    {
        std::printf("  question: %s\n", CRobot::ControlText(window, IDC_QUESTION).c_str());
        ShootBehindQuestion(robot, window, pictures);
        std::printf("  Yes To All\n");
    }
}

BOOL CALLBACK FindListView(HWND child, LPARAM found)
{
    char name[64] = "";
    GetClassNameA(child, name, sizeof(name));
    if (lstrcmpiA(name, "SysListView32") != 0)
    {
        return TRUE;
    }
    *reinterpret_cast<HWND*>(found) = child;
    return FALSE;
}

// Opens the list of installed programs (the uninstaller without arguments shows it), takes
// its picture with the product's entry chosen, and closes it.
void ShootProgramList(const std::string& uninstaller, const std::string& pictures)
{
    CRobot robot;
    if (!robot.Launch(uninstaller, ""))
    {
        return;
    }
    HWND list = robot.WaitWindow("", 15000);
    if (!list)
    {
        return;
    }
    std::printf("Window \"%s\"\n", CRobot::WindowText(list).c_str());
    // The entry is picked, as a user picks it before pressing Remove.
    HWND view = nullptr;
    CRobot::WaitUntil(
        [&]
        {
            EnumChildWindows(list, &FindListView, reinterpret_cast<LPARAM>(&view));
            return view != nullptr && IsWindowVisible(view);
        },
        10000);
    if (view)
    {
        // The list fills itself after it shows; the entry is picked once it is there.
        CRobot::WaitUntil([&] { return SendMessageA(view, LVM_GETITEMCOUNT, 0, 0) > 0; }, 10000);
        PostMessageA(view, WM_KEYDOWN, VK_HOME, 1);
        PostMessageA(view, WM_KEYUP, VK_HOME, 0xC0000001);
        CRobot::WaitUntil([&] { return SendMessageA(view, LVM_GETSELECTEDCOUNT, 0, 0) > 0; },
                          10000);
    }
    WaitWholePainted(list);
    Shoot(list, pictures, "installed programs");
    PostMessageA(list, WM_CLOSE, 0, 0);
    robot.WaitExit(10000);
}

bool IsMainMenu(HWND window)
{
    return CRobot::WindowText(window).find(" - Installation Build ") != std::string::npos;
}

// Runs the setup once, choosing `menuButton` in the main menu and the user's
// defaults everywhere else, until it ends. With `arguments`, `setup` is a program that
// starts the setup in its turn (Windows' list of installed programs).
bool RunSetup(const std::string& setup, const std::string& winver, int menuButton,
              const std::string& pictures, const std::string& arguments = std::string())
{
    CRobot robot;
    std::printf("Starting %s %s(Windows version %s)\n", setup.c_str(),
                (arguments + (arguments.empty() ? "" : " ")).c_str(), winver.c_str());
    if (!robot.Launch(setup, arguments.empty() ? winver : "", arguments) ||
        (!arguments.empty() && !robot.Follow(&IsMainMenu)))
    {
        std::fprintf(stderr, "could not start %s\n", setup.c_str());
        return false;
    }
    RobotPath path;
    path.menuButton = menuButton;
    path.existingFolderAnswer = 0; // the questions are shown in the pictures
    path.uninstallAnswer = 0;
    path.onWindow = [&](HWND window, const std::string& caption)
    { OnWindow(robot, window, caption, menuButton, pictures); };
    RobotMessageBox box;
    while (robot.DriveSetup(path, box, 600000))
    {
        std::printf("Message box \"%s\": %s\n", box.caption.c_str(), box.text.c_str());
        // The window behind the box shows the state the box speaks of.
        for (HWND window : robot.Windows())
        {
            if (window != box.hWnd && CRobot::WindowText(window) == "Uninstalling components")
            {
                CRobot::WaitPainted(window);
                Shoot(window, pictures, "Uninstalling components, finished");
            }
        }
        WaitWholePainted(box.hWnd);
        Shoot(box.hWnd, pictures, "message");
        // A restart is never wanted in the demo; the folder the user's notes are in is
        // installed into; everything else is acknowledged.
        const bool restart = box.text.find("restart your computer.  Do you") != std::string::npos;
        const bool yes = box.text.find("Do you wish to install into it?") != std::string::npos ||
                         box.text.find("Do you wish to uninstall?") != std::string::npos;
        std::printf("  answer: %s\n", restart ? "No" : yes ? "Yes" : "OK");
        robot.Answer(box, restart ? IDNO : yes ? IDYES : IDOK);
        robot.WaitWindowGone(box.hWnd, 5000);
    }
    DWORD exitCode = 0;
    robot.WaitExit(5000, &exitCode);
    std::printf("Setup ended.\n");
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
    {
        std::fprintf(stderr, "usage: robot_demo SETUP.EXE PICTURE-FOLDER [WINVER [SMALL-DRIVE]]\n");
        return 2;
    }
    const std::string setup = argv[1];
    const std::string pictures = argv[2];
    const std::string winver = argc > 3 ? argv[3] : "winxp";
    g_smallDrive = argc > 4 ? argv[4] : "";
    CreateDirectoryA(pictures.c_str(), nullptr);
    CoInitialize(nullptr);
    const std::string installFolder = "C:\\Nimbus";

    std::printf("== Install\n");
    if (!RunSetup(setup, winver, IDC_MENU_INSTALL, pictures))
    {
        return 1;
    }
    std::printf("Installed tree of %s:\n", installFolder.c_str());
    ListTree(installFolder, 1);
    std::printf("Outside the tree:\n");
    ReportSystem();

    // The product in Windows' list of installed programs; its Remove button starts the
    // setup's copy, as Wine's uninstaller does.
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, sizeof(system));
    const std::string uninstaller = std::string(system) + "\\uninstaller.exe";
    std::printf("== The list of installed programs\n");
    ShootProgramList(uninstaller, pictures);

    std::printf("== Uninstall, from the list\n");
    const bool windowsNT = winver != "win98";
    CRobot::SetWindowsVersion(windowsNT ? "Setup.exe" : "KELSETUP.EXE", winver);
    if (!RunSetup(uninstaller, winver, IDC_MENU_UNINSTALL, pictures,
                  "--remove \"Pellmor Kelvarin\""))
    {
        return 1;
    }
    const DWORD left = GetFileAttributesA(installFolder.c_str());
    std::printf("%s %s\n", installFolder.c_str(),
                left == INVALID_FILE_ATTRIBUTES ? "is gone." : "is still there.");
    std::printf("After the uninstall (a copy still there goes at the next restart):\n");
    ReportSystem();
    return 0;
}
