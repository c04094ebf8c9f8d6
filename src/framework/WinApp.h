// The application object every Win32 program of ours derives from: it owns the
// process's module handle and main window reference, runs the start-up routine,
// and is the one place message boxes go through (so tests can answer them).
#pragma once

#include <windows.h>
#include <string>

class CWinApp
{
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // The application object of this process, or null before one exists.
    static CWinApp* Get();
    // The module whose resources the program uses: the application's, or the
    // executable's while no application object exists.
    static HINSTANCE ResourceInstance();

    // Called once by the entry point; the process ends when it returns.
    int Run(HINSTANCE hInstance);

    // The start-up routine; its result carries no meaning beyond ending the run.
    virtual BOOL InitInstance() = 0;

    // Shows a message box owned by `owner` (as a rule the main window), captioned with
    // the program's name. Allocates nothing, so that memory running out can be told.
    virtual int DoMessageBox(const char* text, UINT type, HWND owner);

    HWND GetMainWnd() const { return m_hMainWnd; }
    void SetMainWnd(HWND hWnd) { m_hMainWnd = hWnd; }
    HINSTANCE GetInstance() const { return m_hInstance; }

    // The executable's file name without folder and extension ("Setup").
    std::string GetAppTitle() const;

private:
    HINSTANCE m_hInstance;
    HWND m_hMainWnd;
};
