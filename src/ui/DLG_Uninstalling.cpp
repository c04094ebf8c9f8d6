#include "ui/DLG_Uninstalling.h"

#include "framework/Messages.h"
#include "framework/DataExchange.h"
#include "framework/resource.h"

DLG_Uninstalling::DLG_Uninstalling(HWND hParent) : CDialog(IDD_UNINSTALLING, hParent) {}

BOOL DLG_Uninstalling::OnInitDialog()
{
    m_strStages = Messages::LoadText(IDS_STAGE_FIRST);
    return CDialog::OnInitDialog();
}

void DLG_Uninstalling::DoDataExchange(CDataExchange* pDX)
{
    // The list is only ever shown, never read back.
    if (!pDX->m_bSaveAndValidate)
    {
        DDX_Text(pDX, IDC_STAGE_LIST, m_strStages);
    }
}

void DLG_Uninstalling::StageDone(int nextStage)
{
    m_strStages += Messages::LoadText(IDS_STAGE_DONE);
    m_strStages += '\n';
    if (nextStage >= 0 && nextStage < kStageCount)
    {
        m_strStages += Messages::LoadText(IDS_STAGE_FIRST + nextStage);
    }
    UpdateData(false);
}
