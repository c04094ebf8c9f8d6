#include "framework/WinApp.h"

namespace
{
CWinApp* g_pApp = nullptr; // the one application object; set and cleared by its lifetime

// The executable's file name without folder and extension, in `title`.
void ModuleTitle(HINSTANCE instance, char (&title)[1024])
{
    char path[1024] = "";
    const DWORD length = GetModuleFileNameA(instance, path, sizeof(path));
    path[length < sizeof(path) ? length : 0] = '\0';
    const char* name = path;
    for (const char* at = path; *at; ++at)
    {
        if (*at == '\\' || *at == '/')
        {
            name = at + 1;
        }
    }
    lstrcpynA(title, name, sizeof(title));
    char* dot = nullptr;
    for (char* at = title; *at; ++at)
    {
        if (*at == '.')
        {
            dot = at;
        }
    }
    if (dot)
    {
        *dot = '\0';
    }
}
} // namespace

CWinApp::CWinApp() : m_hInstance(GetModuleHandleA(nullptr)), m_hMainWnd(nullptr)
{
    g_pApp = this;
}

CWinApp::~CWinApp()
{
    if (g_pApp == this)
    {
        g_pApp = nullptr;
    }
}

CWinApp* CWinApp::Get()
{
    return g_pApp;
}

HINSTANCE CWinApp::ResourceInstance()
{
    return g_pApp ? g_pApp->GetInstance() : GetModuleHandleA(nullptr);
}

int CWinApp::Run(HINSTANCE hInstance)
{
    m_hInstance = hInstance;
    return InitInstance() ? 0 : 1;
}

int CWinApp::DoMessageBox(const char* text, UINT type, HWND owner)
{
    char caption[1024];
    ModuleTitle(m_hInstance, caption);
    return MessageBoxA(owner, text, caption, type);
}

std::string CWinApp::GetAppTitle() const
{
    char title[1024];
    ModuleTitle(m_hInstance, title);
    return title;
}
