#include "app/KelvarinApp.h"

#include "app/Messages.h"
#include "ui/DLG_Installing.h"
#include "ui/resource.h"

#include <ole2.h>
#include <shlobj.h>

const char* const CKelvarinApp::kDefaultInstallPath = "C:\\Nimbus";

// The same tree for both editions and both platform families; parents come first
// so that each creation only has to make the last element.
const char* const CKelvarinApp::kProductFolders[] = {
    "\\Programs",
    "\\Configuration",
    "\\Configuration\\Machine",
    "\\Drivers",
    "\\Drivers\\RERER8",
    "\\Drivers\\RERER8\\amd64",
    "\\Drivers\\RERER8\\i386",
    "\\Lexicography",
    "\\Logs",
    "\\Documents",
    "\\Language",
    "\\Language\\English",
};
const int CKelvarinApp::kProductFolderCount =
    static_cast<int>(sizeof(kProductFolders) / sizeof(kProductFolders[0]));

namespace
{
const DWORD kExitNoPlatformVersion = 1000;

// OLE stays initialised for the whole run: the shortcut step creates COM objects
// and control modules expect it while they register.
class COleSession
{
public:
    COleSession() : m_ok(SUCCEEDED(OleInitialize(nullptr))) {}
    ~COleSession()
    {
        if (m_ok)
        {
            OleUninitialize();
        }
    }
    COleSession(const COleSession&) = delete;
    COleSession& operator=(const COleSession&) = delete;

private:
    bool m_ok;
};

std::string FolderOfModule(HINSTANCE instance)
{
    char path[1024] = "";
    const DWORD length = GetModuleFileNameA(instance, path, sizeof(path));
    std::string folder(path, length < sizeof(path) ? length : 0);
    const std::string::size_type slash = folder.find_last_of('\\');
    folder.erase(slash == std::string::npos ? 0 : slash + 1);
    return folder;
}
} // namespace

CKelvarinApp::CKelvarinApp(bool ardentEdition)
    : m_bRestartNeeded(false), m_strInstallPath(kDefaultInstallPath), m_bArdent(FALSE),
      m_bAskBeforeReplace(TRUE), m_bCancel(FALSE), m_bArdentBuild(ardentEdition)
{
}

BOOL CKelvarinApp::InitInstance()
{
    COleSession ole;

    if (!HasAdminRights())
    {
        return FALSE;
    }

    m_strSourceFolder = FolderOfModule(GetInstance());
    char folder[1024] = "";
    UINT length = GetWindowsDirectoryA(folder, sizeof(folder));
    m_strWindowsFolder.assign(folder, length < sizeof(folder) ? length : 0);
    length = GetSystemDirectoryA(folder, sizeof(folder));
    m_strSystemFolder.assign(folder, length < sizeof(folder) ? length : 0);

    // The edition is a property of this build of the setup.
    m_bArdent = m_bArdentBuild ? TRUE : FALSE;

    // NOT BUILT YET: the main menu, the licence agreement and the install path dialog.
    // Until they exist the run goes from start-up straight to a fresh install into
    // the default folder.

    if (!RunInstall())
    {
        return FALSE;
    }
    if (m_bRestartNeeded)
    {
        if (Messages::Show(IDS_RESTART_QUERY, {}, MB_YESNO | MB_ICONHAND) != IDNO)
        {
            RestartWindows();
        }
        return TRUE;
    }
    ShowClosingMessage();
    return TRUE;
}

bool CKelvarinApp::RunInstall()
{
    DLG_Installing progress;
    if (!progress.Create())
    {
        SetMainWnd(nullptr);
        return false;
    }
    SetMainWnd(progress.GetSafeHwnd());
    const bool installed = Install(progress);
    SetMainWnd(nullptr);
    progress.DestroyWindow();
    return installed;
}

void CKelvarinApp::ShowClosingMessage()
{
    Messages::Show(m_bArdent ? IDS_COMPLETE_ARDENT : IDS_COMPLETE_BRISK);
}

bool CKelvarinApp::IsWindowsNT()
{
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExA(&info))
    {
        ExitProcess(kExitNoPlatformVersion);
    }
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

bool CKelvarinApp::HasAdminRights()
{
    if (!IsWindowsNT())
    {
        return true;
    }
    HKEY key = nullptr;
    DWORD disposition = 0;
    char emptyClass[] = "";
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Secure\\Pellmor", 0, emptyClass,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        &disposition) != ERROR_SUCCESS)
    {
        return false;
    }
    RegCloseKey(key);
    return true;
}

void CKelvarinApp::RestartWindows()
{
    if (IsWindowsNT())
    {
        HANDLE token = nullptr;
        TOKEN_PRIVILEGES privileges;
        ZeroMemory(&privileges, sizeof(privileges));
        OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token);
        LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid);
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        if (token)
        {
            CloseHandle(token);
        }
    }
    if (!ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0))
    {
        Messages::Show(IDS_RESTART_FAILED);
    }
}

std::string CKelvarinApp::GetSystemErrorText()
{
    const DWORD code = GetLastError();
    char buffer[4096] = "";
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, buffer,
                                        sizeof(buffer), nullptr);
    return std::string(buffer, length < sizeof(buffer) ? length : 0);
}

std::string CKelvarinApp::GetSpecialFolderPath(int csidl)
{
    if (!IsWindowsNT())
    {
        switch (csidl)
        {
        case CSIDL_COMMON_STARTMENU:
            csidl = CSIDL_STARTMENU;
            break;
        case CSIDL_COMMON_PROGRAMS:
            csidl = CSIDL_PROGRAMS;
            break;
        case CSIDL_COMMON_STARTUP:
            csidl = CSIDL_STARTUP;
            break;
        case CSIDL_COMMON_DESKTOPDIRECTORY:
            csidl = CSIDL_DESKTOPDIRECTORY;
            break;
        default:
            break;
        }
    }
    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator)))
    {
        Messages::ShowText(GetSystemErrorText());
        return std::string();
    }
    LPITEMIDLIST list = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &list)))
    {
        const std::string error = GetSystemErrorText();
        allocator->Release();
        Messages::ShowText(error);
        return std::string();
    }
    char path[MAX_PATH] = "";
    const BOOL converted = SHGetPathFromIDListA(list, path);
    const std::string error = converted ? std::string() : GetSystemErrorText();
    allocator->Free(list);
    allocator->Release();
    if (!converted)
    {
        Messages::ShowText(error);
        return std::string();
    }
    return path;
}

bool CKelvarinApp::Install(DLG_Installing& dlg)
{
    dlg.SetStatus(IDS_CREATING_FOLDERS, 0);
    if (!CreateFolderTree(dlg))
    {
        return false;
    }
    dlg.SetStatus(IDS_INSTALLING_FILES, 0);
    if (!InstallPackages(dlg))
    {
        return false;
    }
    dlg.SetStatus(IDS_CONFIGURING, 0);
    if (!WriteProductRegistry(dlg))
    {
        return false;
    }
    dlg.SetStatus(IDS_CREATING_SHORTCUTS, 0);
    if (!CreateShortcuts(dlg))
    {
        return false;
    }
    dlg.SetStatus(IDS_REGISTERING_COMPONENTS, 0);
    if (!RegisterComponents(dlg))
    {
        return false;
    }
    dlg.SetStatus(IDS_REGISTERING_OLE, 0);
    if (!RegisterOleControls(dlg))
    {
        return false;
    }
    // Folder rights are a convenience for the data folders; the install stands without them.
    GrantFolderAccess();
    return true;
}

bool CKelvarinApp::CreateFolderTree(DLG_Installing& dlg)
{
    if (!CreateFolder(dlg, m_strInstallPath))
    {
        return false;
    }
    for (int i = 0; i < kProductFolderCount; ++i)
    {
        if (!CreateFolder(dlg, m_strInstallPath + kProductFolders[i]))
        {
            return false;
        }
    }
    return true;
}

bool CKelvarinApp::CreateFolder(DLG_Installing& dlg, const std::string& path)
{
    dlg.SetLine2Text(path);
    if (CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
    {
        return true;
    }
    Messages::Show(IDS_CREATE_FOLDER_FAILED, {path, GetSystemErrorText()});
    return false;
}

bool CKelvarinApp::RegisterComponents(DLG_Installing& /*dlg*/)
{
    return true;
}

// NOT BUILT YET: unpacking the packages into the tree and the system folder.
bool CKelvarinApp::InstallPackages(DLG_Installing& /*dlg*/)
{
    return true;
}

// NOT BUILT YET: the font-mapping seed and the product's registry record.
bool CKelvarinApp::WriteProductRegistry(DLG_Installing& /*dlg*/)
{
    return true;
}

// NOT BUILT YET: the Start-menu and desktop shortcuts.
bool CKelvarinApp::CreateShortcuts(DLG_Installing& /*dlg*/)
{
    return true;
}

// NOT BUILT YET: self-registration of the control module.
bool CKelvarinApp::RegisterOleControls(DLG_Installing& /*dlg*/)
{
    return true;
}

// NOT BUILT YET: access rights on the data folders.
void CKelvarinApp::GrantFolderAccess()
{
}

// NOT BUILT YET: removing an install. Reports that nothing was removed.
bool CKelvarinApp::Uninstall()
{
    return false;
}
