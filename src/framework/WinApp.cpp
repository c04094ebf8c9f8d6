#include "framework/WinApp.h"

namespace
{
CWinApp* g_pApp = nullptr; // the one application object; set and cleared by its lifetime
}

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

int CWinApp::DoMessageBox(const std::string& text, UINT type, HWND owner)
{
    const std::string caption = GetAppTitle();
    return MessageBoxA(owner, text.c_str(), caption.c_str(), type);
}

std::string CWinApp::GetAppTitle() const
{
    char path[1024] = "";
    const DWORD length = GetModuleFileNameA(m_hInstance, path, sizeof(path));
    std::string name(path, length < sizeof(path) ? length : 0);
    const std::string::size_type slash = name.find_last_of("\\/");
    if (slash != std::string::npos)
    {
        name.erase(0, slash + 1);
    }
    const std::string::size_type dot = name.find_last_of('.');
    if (dot != std::string::npos)
    {
        name.erase(dot);
    }
    return name;
}
