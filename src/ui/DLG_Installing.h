// The modeless "Installing components" window: two status lines, the upper naming
// the step, the lower the item the step works on. It repaints at once on every
// change because no message loop runs while the install sequence works.
#pragma once

#include "framework/Dialog.h"
#include "framework/ProgressReport.h"

class DLG_Installing : public CDialog, public IProgressReport
{
public:
    static const char* GetRuntimeClassName() { return "DLG_Installing"; }

    explicit DLG_Installing(HWND hParent = nullptr);

    // Both lines from string ids; 0 (or an id without text) clears the line.
    void SetStatus(UINT line1Id, UINT line2Id) override;
    void SetLine1(UINT id);
    void SetLine2(UINT id) override;
    void SetLine1Text(const std::string& text);
    void SetLine2Text(const std::string& text) override;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    // No user action ends this window: only its owner destroys it.
    void OnCancel() override {}
    void OnOK() override {}

private:
    void SetLineText(HWND line, const std::string& text);

    HWND m_line1;
    HWND m_line2;
};
