// Drives a real Setup.exe the way a person would: starts it, waits for its
// windows, reads and clicks their controls, answers its message boxes, and
// takes pictures of what it shows.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

struct RobotMessageBox
{
    HWND hWnd = nullptr;
    std::string caption;
    std::string text;
};

class CRobot
{
public:
    CRobot();
    ~CRobot(); // ends the program if it is still running
    CRobot(const CRobot&) = delete;
    CRobot& operator=(const CRobot&) = delete;

    // Starts `exePath` seeing Windows version `winver` ("win98", "winxp", "win7",
    // "win10"; empty keeps the prefix's own). False when it could not start.
    bool Launch(const std::string& exePath, const std::string& winver);

    // A visible top-level window of the program whose caption is `caption`
    // (empty: any dialog that is not a message box).
    HWND WaitWindow(const std::string& caption, DWORD timeoutMs = 10000);
    bool WaitMessageBox(RobotMessageBox& box, DWORD timeoutMs = 10000);
    // Waits until the given window is gone or hidden; false on time-out.
    bool WaitWindowGone(HWND hWnd, DWORD timeoutMs = 10000);

    static std::string ControlText(HWND hDlg, int id);
    static std::string WindowText(HWND hWnd);
    static bool IsControlEnabled(HWND hDlg, int id);
    static bool IsChecked(HWND hDlg, int id);
    void Click(HWND hDlg, int id);
    void SetText(HWND hDlg, int id, const std::string& text);
    void SendKey(HWND hWnd, WORD virtualKey);
    void Answer(const RobotMessageBox& box, int buttonId) { Click(box.hWnd, buttonId); }

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
