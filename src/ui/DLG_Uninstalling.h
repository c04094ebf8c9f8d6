// The modeless "Uninstalling components" window: a list of stages, each marked
// "done." when the next one begins.
#pragma once

#include "framework/Dialog.h"

class DLG_Uninstalling : public CDialog
{
public:
    static const int kStageCount = 3;

    explicit DLG_Uninstalling(HWND hParent = nullptr);

    // Marks the running stage done and, while stages remain, names `nextStage`.
    void StageDone(int nextStage);

    const std::string& GetStageList() const { return m_strStages; }

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnCancel() override {}
    void OnOK() override {}

private:
    std::string m_strStages;
};
