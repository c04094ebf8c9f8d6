// "Query Replace File": asks whether an existing file without version information
// may be overwritten. It only reports the answer; the installer decides what it means.
#pragma once

#include "framework/Dialog.h"
#include "install/ReplaceRules.h"

#include <string>

class DLG_QueryReplace : public CDialog
{
public:
    explicit DLG_QueryReplace(HWND hParent = nullptr);

    // Shows the question modally (owned by the main window) and returns the answer.
    static ReplaceRules::Answer Ask(const std::string& question);

    std::string m_strQuestion;
    // No ends with IDCANCEL like Cancel; this flag is what tells them apart.
    int m_bYesToAll;
    int m_bNo;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
};
