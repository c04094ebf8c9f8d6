// The demo's driver: runs Setup.exe of a medium through an install with the
// defaults, tells what it met and saves a picture of every window it met.
#include "Robot.h"

#include <cctype>
#include <cstdio>
#include <set>
#include <string>

namespace
{
int g_shot = 0;

void Shoot(HWND hWnd, const std::string& folder, const std::string& what)
{
    char name[32];
    std::snprintf(name, sizeof(name), "%02d-", ++g_shot);
    std::string file = folder + "\\" + name + what + ".bmp";
    if (CRobot::Capture(hWnd, file))
    {
        std::printf("  picture: %s\n", file.c_str());
    }
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
} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
    {
        std::fprintf(stderr, "usage: robot_demo SETUP.EXE PICTURE-FOLDER [WINVER]\n");
        return 2;
    }
    const std::string setup = argv[1];
    const std::string pictures = argv[2];
    const std::string winver = argc > 3 ? argv[3] : "winxp";
    CreateDirectoryA(pictures.c_str(), nullptr);

    CRobot robot;
    std::printf("Starting %s (Windows version %s)\n", setup.c_str(), winver.c_str());
    if (!robot.Launch(setup, winver))
    {
        std::fprintf(stderr, "could not start %s\n", setup.c_str());
        return 1;
    }
    std::string installFolder = "C:\\Nimbus";
    std::set<HWND> seen;
    // Answer whatever the setup shows with its default choice until it ends.
    while (robot.IsRunning())
    {
        RobotMessageBox box;
        if (robot.WaitMessageBox(box, 100))
        {
            std::printf("Message box \"%s\": %s\n", box.caption.c_str(), box.text.c_str());
            Shoot(box.hWnd, pictures, "message");
            robot.Answer(box, IDOK);
            robot.Answer(box, IDYES);
            robot.WaitWindowGone(box.hWnd, 5000);
            continue;
        }
        for (HWND window : robot.Windows())
        {
            if (seen.count(window))
            {
                continue;
            }
            seen.insert(window);
            Sleep(150); // let it paint
            const std::string caption = CRobot::WindowText(window);
            std::printf("Window \"%s\"\n", caption.c_str());
            std::string tag = caption.empty() ? "window" : caption;
            for (char& c : tag)
            {
                if (!isalnum(static_cast<unsigned char>(c)))
                {
                    c = '-';
                }
            }
            Shoot(window, pictures, tag);
        }
    }
    DWORD exitCode = 0;
    robot.WaitExit(5000, &exitCode);
    std::printf("Setup ended.\nInstalled tree of %s:\n", installFolder.c_str());
    ListTree(installFolder, 1);
    return 0;
}
