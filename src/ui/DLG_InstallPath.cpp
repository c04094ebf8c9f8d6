#include "ui/DLG_InstallPath.h"

#include "framework/DataExchange.h"
#include "framework/ItemIdList.h"
#include "framework/Messages.h"
#include "framework/resource.h"

#include <shlobj.h>

DLG_InstallPath::DLG_InstallPath(HWND hParent) : CDialog(IDD_INSTALLPATH, hParent) {}

void DLG_InstallPath::DoDataExchange(CDataExchange* pDX)
{
    DDX_Text(pDX, IDC_PATH, m_strPath);
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
    if (Messages::ShowOwned(m_hWnd, IDS_CANCEL_SETUP, MB_YESNO | MB_ICONQUESTION) == IDYES)
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
