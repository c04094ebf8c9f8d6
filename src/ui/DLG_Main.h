// "Permission": the edition's licence agreement. The install goes on only after the
// box is ticked and Install pressed; the system menu carries the About box.
#pragma once

#include "framework/Dialog.h"

#include <string>

struct CSetupState;

class DLG_Main : public CDialog
{
public:
    static const char* GetRuntimeClassName() { return "DLG_Main"; }

    // The edition chooses the agreement shown.
    explicit DLG_Main(const CSetupState& state, HWND hParent = nullptr);

    int m_bAccepted; // the check box: 0 until the user ticks it

    // The text shown when the edition's agreement cannot be loaded.
    static const char* const kLoadFailedText;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    void AddAboutItem();
    void ShowAgreement();
    void UpdateInstallButton();
    void PaintMinimised();

    const CSetupState& m_state;
    HICON m_hIcon;
    HWND m_editLicense;
    HWND m_btnInstall;
};
