// Drives a real Setup.exe the way a person would: starts it, waits for its
// windows, reads and clicks their controls, answers its message boxes, and
// takes pictures of what it shows.
#pragma once

#include <windows.h>
#include <functional>
#include <string>
#include <vector>

struct RobotMessageBox
{
    HWND hWnd = nullptr;
    std::string caption;
    std::string text;
};

// The way the robot takes through the setup's dialogs.
struct RobotPath
{
    int menuButton;          // the main menu's choice: install (or upgrade) or uninstall
    std::string installPath; // typed into the path dialog; empty keeps the preset
    int replaceAnswer;       // the button pressed in "Query Replace File"
    // The answer to the question before installing into a folder that holds files; 0 hands
    // the question back like any other message box.
    int existingFolderAnswer;
    // The same for the question before the uninstall deletes anything.
    int uninstallAnswer;
    // Called once for each window met (message boxes aside), before the robot acts on it.
    std::function<void(HWND window, const std::string& caption)> onWindow;

    RobotPath();
};

class CRobot
{
public:
    CRobot();
    ~CRobot(); // ends the program if it is still running
    CRobot(const CRobot&) = delete;
    CRobot& operator=(const CRobot&) = delete;

    // Starts `exePath` seeing Windows version `winver` ("win98", "winxp", "win7",
    // "win10"; empty keeps the prefix's own), with `arguments` after its quoted path.
    // False when it could not start.
    bool Launch(const std::string& exePath, const std::string& winver,
                const std::string& arguments = std::string());
    // Makes every program of that file name see Windows version `winver`.
    static bool SetWindowsVersion(const std::string& exeName, const std::string& winver);
    // Goes on with the program (of any process) that shows a window `match` picks, such as
    // the one the launched program started in its turn; false when none comes in time.
    bool Follow(const std::function<bool(HWND)>& match, DWORD timeoutMs = 15000);

    // Polls `condition` until it holds; false on time-out.
    static bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

    // A visible top-level window of the program whose caption is `caption`
    // (empty: any dialog that is not a message box).
    HWND WaitWindow(const std::string& caption, DWORD timeoutMs = 10000);
    bool WaitMessageBox(RobotMessageBox& box, DWORD timeoutMs = 10000);
    // Waits until the given window is gone or hidden, and then (for an owned window) until
    // its owner has gone on from it; false when it does not go in time.
    bool WaitWindowGone(HWND hWnd, DWORD timeoutMs = 10000);
    // Waits until the window's thread has handled every message posted to it so far
    // (a window that went away meanwhile counts as handled).
    static bool WaitHandled(HWND hWnd, DWORD timeoutMs = 10000);
    // ... and has painted what that changed.
    static bool WaitPainted(HWND hWnd, DWORD timeoutMs = 10000);

    static std::string ControlText(HWND hDlg, int id);
    static std::string WindowText(HWND hWnd);
    static bool IsControlEnabled(HWND hDlg, int id);
    static bool IsChecked(HWND hDlg, int id);
    // Clicks and presses return once the dialog has handled them.
    void Click(HWND hDlg, int id);
    void SetText(HWND hDlg, int id, const std::string& text);
    void SendKey(HWND hWnd, WORD virtualKey);
    void Answer(const RobotMessageBox& box, int buttonId) { Click(box.hWnd, buttonId); }

    // Takes the started setup along `path` through whichever of the main menu, the
    // agreement (ticked), the path dialog and the replace question it shows, and
    // returns at the first message box (the closing message or a failure), which it
    // does not answer; false when none came before the time-out or the end.
    bool DriveSetup(const RobotPath& path, RobotMessageBox& box, DWORD timeoutMs = 60000);

    // Waits for the program to end; false on time-out.
    bool WaitExit(DWORD timeoutMs, DWORD* exitCode = nullptr);
    bool IsRunning() const;
    DWORD ProcessId() const { return m_process.dwProcessId; }

    // Saves what the window shows as a 24-bit BMP file.
    static bool Capture(HWND hWnd, const std::string& bmpPath);

    // Visible top-level windows of the program, most recent first.
    std::vector<HWND> Windows() const;

private:
    static bool IsMessageBox(HWND hWnd);

    PROCESS_INFORMATION m_process;
};
