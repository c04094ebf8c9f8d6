#include "ui/DLG_InstallPath.h"

#include "framework/AnsiText.h"
#include "framework/DataExchange.h"
#include "framework/ItemIdList.h"
#include "framework/Messages.h"
#include "framework/SystemError.h"
#include "framework/resource.h"
#include "install/InstallFolderGuard.h"
#include "install/PathNames.h"
#include "ui/MainMenuLogic.h"

#include <shlobj.h>

DLG_InstallPath::DLG_InstallPath(HWND hParent) : CDialog(IDD_INSTALLPATH, hParent) {}

void DLG_InstallPath::DoDataExchange(CDataExchange* pDX)
{
    DDX_Text(pDX, IDC_PATH, m_strPath);
}

BOOL DLG_InstallPath::OnInitDialog()
{
    m_strPreset = m_strPath;
    return CDialog::OnInitDialog();
}

void DLG_InstallPath::OnOK()
{
    UpdateData(true);
    const std::string folder = MainMenuLogic::FolderAfterPathDialog(m_strPreset, m_strPath);
    if (Accepts(folder) && (!m_confirmFolder || m_confirmFolder(m_hWnd, folder)))
    {
        EndDialog(IDOK);
    }
}

bool DLG_InstallPath::Accepts(const std::string& folder)
{
    // The preset (the default folder, or where an earlier install was found) stands. A name
    // that cannot be converted is not the preset: the guard says why it cannot judge it.
    std::u16string wideFolder, widePreset;
    const bool preset = AnsiText::Widen(folder, wideFolder) &&
                        AnsiText::Widen(m_strPreset, widePreset) &&
                        PathNames::SameFile(wideFolder, widePreset);
    if (!preset)
    {
        std::string guarded;
        const InstallFolderRules::Verdict verdict = InstallFolderGuard::Check(folder, guarded);
        const DWORD error = GetLastError();
        switch (verdict)
        {
        case InstallFolderRules::Verdict::NotFullPath:
            Messages::ShowOwned(m_hWnd, IDS_PATH_NOT_FULL, {folder}, Messages::kDefaultType);
            return false;
        case InstallFolderRules::Verdict::GuardedFolder:
            Messages::ShowOwned(m_hWnd, IDS_PATH_GUARDED, {folder, guarded},
                                Messages::kDefaultType);
            return false;
        case InstallFolderRules::Verdict::Link:
            Messages::ShowOwned(m_hWnd, IDS_PATH_LINK, {folder}, Messages::kDefaultType);
            return false;
        case InstallFolderRules::Verdict::Unknown:
            Messages::ShowOwned(m_hWnd, IDS_PATH_UNKNOWN,
                                {folder, InstallFolderGuard::WhyUnknown(guarded, error)},
                                Messages::kDefaultType);
            return false;
        case InstallFolderRules::Verdict::Accepted:
            break;
        }
    }
    // The uninstall removes the install folder whole: somebody's files already there would
    // go with it, so they are only taken knowingly. An earlier install is no surprise.
    const bool earlierInstall = MainMenuLogic::HoldsProgram(
        folder, [](const std::string& path)
        { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; });
    if (earlierInstall)
    {
        return true;
    }
    switch (InstallFolderGuard::LookInside(folder))
    {
    case InstallFolderGuard::Contents::Empty:
        return true;
    case InstallFolderGuard::Contents::Something:
        return Messages::ShowOwned(m_hWnd, IDS_FOLDER_NOT_EMPTY, {folder},
                                   MB_YESNO | MB_ICONQUESTION) == IDYES;
    case InstallFolderGuard::Contents::Unknown:
        break;
    }
    return Messages::ShowOwned(m_hWnd, IDS_FOLDER_UNLISTABLE,
                               {folder, SystemError::LastErrorText()},
                               MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool DLG_InstallPath::OnCommand(WORD id, WORD code, HWND control)
{
    if (id == IDC_BROWSE)
    {
        OnBrowse();
        return true;
    }
    return CDialog::OnCommand(id, code, control);
}

void DLG_InstallPath::OnCancel()
{
    if (Messages::ShowOwned(m_hWnd, IDS_CANCEL_SETUP, {}, MB_YESNO | MB_ICONQUESTION) == IDYES)
    {
        CDialog::OnCancel();
    }
}

void DLG_InstallPath::OnBrowse()
{
    const std::string title = Messages::LoadText(IDS_BROWSE_TITLE);
    char displayName[MAX_PATH] = "";
    BROWSEINFOA info;
    ZeroMemory(&info, sizeof(info));
    info.hwndOwner = m_hWnd;
    info.pszDisplayName = displayName;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;

    std::string chosen;
    LPITEMIDLIST browsed = SHBrowseForFolderA(&info);
    if (browsed)
    {
        CComPtr<IMalloc> allocator;
        SHGetMalloc(allocator.Receive());
        CItemIdList list(allocator.Get());
        list.Reset(browsed);
        list.GetPath(chosen);
    }
    // A cancelled browser empties the field too: the caller then keeps its own folder.
    m_strPath = chosen;
    SetDlgItemText(IDC_PATH, m_strPath);
}
