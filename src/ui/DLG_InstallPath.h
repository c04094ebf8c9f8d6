// "Choose Install Path": confirms or changes the install folder before a fresh
// install. The text is handed back as typed; an empty text is the caller's to judge.
#pragma once

#include "framework/Dialog.h"

#include <string>

class DLG_InstallPath : public CDialog
{
public:
    explicit DLG_InstallPath(HWND hParent = nullptr);

    std::string m_strPath; // preset by the caller, the edit's text after OK

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    void OnCancel() override;

private:
    void OnBrowse();
};
