#include "ui/DLG_InstallPath.h"

#include "app/Messages.h"
#include "ui/DataExchange.h"
#include "ui/resource.h"

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
    if (Messages::Show(IDS_CANCEL_SETUP, {}, MB_YESNO | MB_ICONQUESTION) == IDYES)
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
    LPITEMIDLIST list = SHBrowseForFolderA(&info);
    if (list)
    {
        char path[MAX_PATH] = "";
        if (SHGetPathFromIDListA(list, path))
        {
            chosen = path;
        }
        IMalloc* allocator = nullptr;
        if (SUCCEEDED(SHGetMalloc(&allocator)))
        {
            allocator->Free(list);
            allocator->Release();
        }
    }
    // A cancelled browser empties the field too: the caller then keeps its own folder.
    m_strPath = chosen;
    SetDlgItemText(IDC_PATH, m_strPath);
}
