#include "ui/DLG_Installing.h"

#include "framework/Messages.h"
#include "framework/DataExchange.h"
#include "framework/resource.h"

DLG_Installing::DLG_Installing(HWND hParent)
    : CDialog(IDD_INSTALLING, hParent), m_line1(nullptr), m_line2(nullptr)
{
}

BOOL DLG_Installing::OnInitDialog()
{
    CDialog::OnInitDialog();
    // The template's placeholder text must never show.
    SetLine1Text(std::string());
    SetLine2Text(std::string());
    return TRUE;
}

void DLG_Installing::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_STATUS_LINE1, m_line1);
    DDX_Control(pDX, IDC_STATUS_LINE2, m_line2);
}

void DLG_Installing::SetStatus(UINT line1Id, UINT line2Id)
{
    SetLine1(line1Id);
    SetLine2(line2Id);
}

void DLG_Installing::SetLine1(UINT id)
{
    SetLine1Text(Messages::LoadText(id));
}

void DLG_Installing::SetLine2(UINT id)
{
    SetLine2Text(Messages::LoadText(id));
}

void DLG_Installing::SetLine1Text(const std::string& text)
{
    SetLineText(m_line1, text);
}

void DLG_Installing::SetLine2Text(const std::string& text)
{
    SetLineText(m_line2, text);
}

void DLG_Installing::SetLineText(HWND line, const std::string& text)
{
    if (!m_hWnd || !line)
    {
        return;
    }
    SetWindowTextA(line, text.c_str());
    UpdateWindow(m_hWnd);
}
