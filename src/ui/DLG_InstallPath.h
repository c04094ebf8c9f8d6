// "Choose Install Path": confirms or changes the install folder before a fresh
// install. The text is handed back as typed; an empty text keeps the preset. A folder the
// uninstall could not safely remove is refused with a message, and an existing folder of
// somebody else's files is taken only when the user says so; the dialog then stays open
// as it was.
#pragma once

#include "framework/Dialog.h"

#include <functional>
#include <string>

class DLG_InstallPath : public CDialog
{
public:
    explicit DLG_InstallPath(HWND hParent = nullptr);

    std::string m_strPath; // preset by the caller, the edit's text after OK
    // Asked about a folder the dialog has accepted, with the dialog as the owner of what it
    // shows; false keeps the dialog open as it was. None: every accepted folder is taken.
    std::function<bool(HWND owner, const std::string& folder)> m_confirmFolder;

    // Whether the folder the text names may be taken, after telling or asking the user, as
    // OK decides it; the preset is m_strPath as the dialog opened (asked without a window, as a
    // test does, there is none and every folder is judged).
    bool Accepts(const std::string& folder);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

private:
    void OnBrowse();

    std::string m_strPreset;
};
