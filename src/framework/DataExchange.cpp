#include "framework/DataExchange.h"

#include <vector>

void DDX_Text(CDataExchange* pDX, int id, std::string& value)
{
    HWND control = GetDlgItem(pDX->m_hDlg, id);
    if (!control)
    {
        return;
    }
    if (pDX->m_bSaveAndValidate)
    {
        const int length = GetWindowTextLengthA(control);
        std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
        const int copied = GetWindowTextA(control, buffer.data(), length + 1);
        value.assign(buffer.data(), copied > 0 ? static_cast<std::size_t>(copied) : 0);
    }
    else
    {
        SetWindowTextA(control, value.c_str());
    }
}

void DDX_Check(CDataExchange* pDX, int id, int& value)
{
    HWND control = GetDlgItem(pDX->m_hDlg, id);
    if (!control)
    {
        return;
    }
    if (pDX->m_bSaveAndValidate)
    {
        value = SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    }
    else
    {
        SendMessageA(control, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

void DDX_Control(CDataExchange* pDX, int id, HWND& control)
{
    control = GetDlgItem(pDX->m_hDlg, id);
}
