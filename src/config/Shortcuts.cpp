#include "config/Shortcuts.h"

#include "config/ShortcutPaths.h"
#include "framework/ComPtr.h"
#include "framework/Messages.h"
#include "framework/Platform.h"
#include "framework/SetupState.h"
#include "framework/SpecialFolders.h"
#include "framework/SystemError.h"
#include "framework/resource.h"

#include <shlobj.h>

namespace
{
// The message carries the thread's last error, as the convention has it; a COM call
// that failed without setting one is told by its HRESULT rather than as a success.
bool ReportFailure(HRESULT hr)
{
    Messages::Show(IDS_SHORTCUT_FAILED, {SystemError::ComErrorText(hr)});
    return false;
}
} // namespace

CShortcuts::CShortcuts(const CSetupState& state) : m_state(state) {}

std::string CShortcuts::EditionName() const
{
    return Messages::LoadText(m_state.IsArdent() ? IDS_EDITION_ARDENT : IDS_EDITION_BRISK);
}

bool CShortcuts::CreateShortcuts()
{
    if (!CreateShortcut(SpecialFolders::GetPath(CSIDL_COMMON_PROGRAMS)))
    {
        return false;
    }
    return CreateShortcut(SpecialFolders::GetPath(CSIDL_COMMON_DESKTOPDIRECTORY));
}

bool CShortcuts::CreateShortcut(const std::string& folder)
{
    const std::string edition = EditionName();
    const std::string linkFile = ShortcutPaths::LinkFile(folder, edition);
    if (linkFile.empty())
    {
        return false;
    }

    CComPtr<IShellLinkA> link;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  link.ReceiveVoid());
    if (FAILED(hr))
    {
        return ReportFailure(hr);
    }
    // A link without its target would be saved, and the install would end as complete.
    hr = link->SetPath(
        ShortcutPaths::Target(m_state.m_strInstallPath, Platform::IsWindowsNT()).c_str());
    if (FAILED(hr))
    {
        return ReportFailure(hr);
    }
    link->SetDescription(edition.c_str());

    CComPtr<IPersistFile> file;
    hr = link->QueryInterface(IID_IPersistFile, file.ReceiveVoid());
    if (FAILED(hr))
    {
        return ReportFailure(hr);
    }

    WCHAR widePath[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, linkFile.c_str(), -1, widePath, MAX_PATH))
    {
        // Longer than MAX_PATH: saving a cut path would put the link somewhere else.
        hr = E_FAIL;
    }
    else
    {
        hr = file->Save(widePath, TRUE);
        if (SUCCEEDED(hr))
        {
            hr = file->SaveCompleted(widePath);
        }
    }
    if (FAILED(hr))
    {
        // The link objects go before the message, which is told from what the save left.
        const std::string error = SystemError::ComErrorText(hr);
        file.Reset();
        link.Reset();
        Messages::Show(IDS_SHORTCUT_FAILED, {error});
        return false;
    }
    return true;
}

void CShortcuts::RemoveShortcuts()
{
    RemoveShortcut(SpecialFolders::GetPath(CSIDL_COMMON_PROGRAMS));
    RemoveShortcut(SpecialFolders::GetPath(CSIDL_COMMON_DESKTOPDIRECTORY));
}

void CShortcuts::RemoveShortcut(const std::string& folder)
{
    const std::string linkFile = ShortcutPaths::LinkFile(folder, EditionName());
    // A link already gone is no error; one that stays is told, as any file the uninstall
    // cannot delete.
    if (!linkFile.empty() && !DeleteFileA(linkFile.c_str()) &&
        GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND)
    {
        const std::string error = SystemError::LastErrorText();
        Messages::Show(IDS_DELETE_FILE_FAILED, {linkFile, error});
    }
}
