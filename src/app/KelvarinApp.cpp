#include "app/KelvarinApp.h"

#include "app/Messages.h"
#include "install/PackageInstaller.h"
#include "config/FolderAccess.h"
#include "config/OleRegistration.h"
#include "config/ProductRegistry.h"
#include "config/Shortcuts.h"
#include "app/UninstallRules.h"
#include "config/RegistryKey.h"
#include "ui/DLG_InstallPath.h"
#include "ui/DLG_Installing.h"
#include "ui/DLG_Main.h"
#include "ui/DLG_MainMenu.h"
#include "ui/DLG_Uninstalling.h"
#include "ui/MainMenuLogic.h"
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

    // The menu's choice decides the rest of the run; any dialog left without OK
    // ends the setup silently (the dialogs ask their own questions first).
    DLG_MainMenu menu(*this);
    if (menu.DoModal() != IDOK)
    {
        return FALSE;
    }
    const MainMenuLogic::Route route = MainMenuLogic::RouteFor(menu.GetResult());
    if (route == MainMenuLogic::Route::Uninstall)
    {
        return Uninstall() ? TRUE : FALSE;
    }
    if (route != MainMenuLogic::Route::InstallInPlace)
    {
        DLG_Main agreement;
        if (agreement.DoModal() != IDOK)
        {
            return FALSE;
        }
        if (route == MainMenuLogic::Route::AgreementThenInstall)
        {
            m_bArdent = TRUE;
        }
        else
        {
            DLG_InstallPath pathDialog;
            pathDialog.m_strPath = m_strInstallPath;
            if (pathDialog.DoModal() != IDOK)
            {
                return FALSE;
            }
            m_strInstallPath =
                MainMenuLogic::FolderAfterPathDialog(m_strInstallPath, pathDialog.m_strPath);
        }
    }

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
    // Some system texts hold inserts of their own; without IGNORE_INSERTS the call
    // fails for them and the user would read an empty reason.
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, buffer, sizeof(buffer), nullptr);
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

// A step of its own in the sequence, kept for its status line: the components
// register themselves in the control step that follows.
bool CKelvarinApp::RegisterComponents(DLG_Installing& /*dlg*/)
{
    return true;
}

bool CKelvarinApp::InstallPackages(DLG_Installing& dlg)
{
    CPackageInstaller installer(*this);
    return installer.InstallPackages(dlg);
}

bool CKelvarinApp::WriteProductRegistry(DLG_Installing& dlg)
{
    return CProductRegistry(*this).WriteProductRegistry(dlg);
}

bool CKelvarinApp::CreateShortcuts(DLG_Installing& dlg)
{
    return CShortcuts(*this).CreateShortcuts(dlg);
}

bool CKelvarinApp::RegisterOleControls(DLG_Installing& dlg)
{
    return COleRegistration(*this).RegisterOleControls(dlg);
}

void CKelvarinApp::GrantFolderAccess()
{
    CFolderAccess(*this).GrantFolderAccess();
}

bool CKelvarinApp::Uninstall()
{
    CRegistryKey key;
    key.Create(HKEY_LOCAL_MACHINE, CProductRegistry::kInstallKey);
    std::string folder;
    if (!key.QueryString(CProductRegistry::kInstallPathValue, folder))
    {
        return false;
    }

    DLG_Uninstalling dlg;
    if (!dlg.Create())
    {
        SetMainWnd(nullptr);
        return false;
    }
    SetMainWnd(dlg.GetSafeHwnd());

    // An empty or root folder would turn the tree deletion on a whole drive or
    // share: it is refused the way a folder the system will not remove is.
    if (UninstallRules::IsDeletableInstallFolder(folder))
    {
        DeleteFolderTree(folder);
    }
    else
    {
        SetLastError(ERROR_ACCESS_DENIED);
        Messages::Show(IDS_DELETE_FOLDER_FAILED, {folder, GetSystemErrorText()});
    }
    dlg.StageDone(1);
    CProductRegistry(*this).RemoveProductRegistry();
    dlg.StageDone(2);
    CShortcuts(*this).RemoveShortcuts();
    dlg.StageDone(3);
    Messages::Show(IDS_UNINSTALL_COMPLETE);

    SetMainWnd(nullptr);
    dlg.DestroyWindow();
    key.Close();
    return true;
}

void CKelvarinApp::DeleteFolderTree(const std::string& folder)
{
    // A junction or symbolic link leads out of the tree: only the link itself goes,
    // never what it points to.
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    {
        EmptyFolder(folder);
    }
    if (!RemoveDirectoryA(folder.c_str()))
    {
        Messages::Show(IDS_DELETE_FOLDER_FAILED, {folder, GetSystemErrorText()});
    }
}

void CKelvarinApp::EmptyFolder(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*.*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
    {
        return;
    }
    std::string parent = folder;
    while (!parent.empty() && (parent.back() == '\\' || parent.back() == '/'))
    {
        parent.pop_back();
    }
    bool more = true;
    while (more)
    {
        // The next entry is fetched before this one goes, so the deletion cannot
        // disturb the search.
        const WIN32_FIND_DATAA entry = found;
        more = FindNextFileA(search, &found) != FALSE;
        const std::string name = entry.cFileName;
        if (name == "." || name == "..")
        {
            continue;
        }
        const std::string path = parent + "\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        {
            DeleteFolderTree(path);
        }
        else
        {
            DeleteOneFile(path);
        }
    }
    FindClose(search);
}

void CKelvarinApp::DeleteOneFile(const std::string& path)
{
    if (DeleteFileA(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND)
    {
        return;
    }
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
    {
        SetFileAttributesA(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
    if (DeleteFileA(path.c_str()))
    {
        return;
    }
    Messages::Show(IDS_DELETE_FILE_FAILED, {path, GetSystemErrorText()});
}
