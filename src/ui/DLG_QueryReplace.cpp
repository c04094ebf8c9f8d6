#include "ui/DLG_QueryReplace.h"

#include "framework/DataExchange.h"
#include "framework/resource.h"

DLG_QueryReplace::DLG_QueryReplace(HWND hParent)
    : CDialog(IDD_QUERYREPLACE, hParent), m_bYesToAll(0), m_bNo(0)
{
}

void DLG_QueryReplace::DoDataExchange(CDataExchange* pDX)
{
    DDX_Text(pDX, IDC_QUESTION, m_strQuestion);
}

ReplaceRules::Answer DLG_QueryReplace::Ask(const std::string& question)
{
    DLG_QueryReplace dlg;
    dlg.m_strQuestion = question;
    const INT_PTR endCode = dlg.DoModal();
    return ReplaceRules::AnswerFor(endCode, dlg.m_bYesToAll != 0, dlg.m_bNo != 0);
}

bool DLG_QueryReplace::OnCommand(WORD id, WORD code, HWND control)
{
    if (code == BN_CLICKED)
    {
        switch (id)
        {
        case IDC_YES_TO_ALL:
            m_bYesToAll = 1;
            EndDialog(IDOK);
            return true;
        case IDC_ANSWER_NO:
            m_bNo = 1;
            EndDialog(IDCANCEL);
            return true;
        default:
            break;
        }
    }
    return CDialog::OnCommand(id, code, control);
}
