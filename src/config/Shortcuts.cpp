#include "config/Shortcuts.h"

#include "app/KelvarinApp.h"
#include "app/Messages.h"
#include "config/ShortcutPaths.h"
#include "ui/DLG_Installing.h"
#include "ui/resource.h"

#include <objbase.h>
#include <shlobj.h>

namespace
{
// The message carries the thread's last error, as the convention has it, not the HRESULT.
bool ReportFailure()
{
    Messages::Show(IDS_SHORTCUT_FAILED, {CKelvarinApp::GetSystemErrorText()});
    return false;
}
} // namespace

CShortcuts::CShortcuts(CKelvarinApp& app) : m_app(app) {}

std::string CShortcuts::EditionName() const
{
    return Messages::LoadText(m_app.IsArdent() ? IDS_EDITION_ARDENT : IDS_EDITION_BRISK);
}

bool CShortcuts::CreateShortcuts(DLG_Installing& dlg)
{
    dlg.SetStatus(IDS_CREATING_SHORTCUTS, 0);
    if (!CreateShortcut(m_app.GetSpecialFolderPath(CSIDL_COMMON_PROGRAMS)))
    {
        return false;
    }
    return CreateShortcut(m_app.GetSpecialFolderPath(CSIDL_COMMON_DESKTOPDIRECTORY));
}

bool CShortcuts::CreateShortcut(const std::string& folder)
{
    const std::string edition = EditionName();
    const std::string linkFile = ShortcutPaths::LinkFile(folder, edition);
    if (linkFile.empty())
    {
        return true;
    }

    IShellLinkA* link = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(&link));
    if (FAILED(hr))
    {
        return ReportFailure();
    }
    link->SetPath(
        ShortcutPaths::Target(m_app.m_strInstallPath, CKelvarinApp::IsWindowsNT()).c_str());
    link->SetDescription(edition.c_str());

    IPersistFile* file = nullptr;
    hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (FAILED(hr))
    {
        // Told before the release, which could change the last error the text comes from.
        const bool result = ReportFailure();
        link->Release();
        return result;
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
    file->Release();
    link->Release();
    if (FAILED(hr))
    {
        return ReportFailure();
    }
    return true;
}

void CShortcuts::RemoveShortcuts()
{
    RemoveShortcut(m_app.GetSpecialFolderPath(CSIDL_COMMON_PROGRAMS));
    RemoveShortcut(m_app.GetSpecialFolderPath(CSIDL_COMMON_DESKTOPDIRECTORY));
}

void CShortcuts::RemoveShortcut(const std::string& folder)
{
    const std::string linkFile = ShortcutPaths::LinkFile(folder, EditionName());
    if (!linkFile.empty())
    {
        DeleteFileA(linkFile.c_str());
    }
}
