// The setup's first window: finds an earlier install, records it in the setup
// state and the registry, and offers install (or upgrade) and uninstall.
#pragma once

#include "framework/Dialog.h"
#include "ui/MainMenuLogic.h"
#include "ui/PictureButton.h"

#include <string>

struct CSetupState;

class DLG_MainMenu : public CDialog
{
public:
    // Reads the edition; sets the install folder and, for a Tarpan LT install found,
    // the Ardent flag.
    explicit DLG_MainMenu(CSetupState& state, HWND hParent = nullptr);

    // The menu result, read by the start-up routine after OK.
    bool m_bInstall;
    bool m_bUpgrade;
    bool m_bSwitchToArdent;

    MainMenuLogic::MenuResult GetResult() const;
    // The folder the uninstall button removes: the install the menu found, or the one an
    // install stated (the setup's copy).
    const std::string& UninstallFolder() const { return m_strUninstallFolder; }

    // What the product key and the product's entry hold (creating the key, as the menu
    // always has); `error` is why "Install Path" could not be read, ERROR_SUCCESS when it
    // was or is simply not there.
    static MainMenuLogic::RecordedInstall ReadRecord(DWORD* error = nullptr);

    // What the menu does as it opens, before the user chooses anything: reads the record,
    // finds an earlier install, writes "Install Path" where the opening says so, and sets the
    // install folder and the Ardent flag in `state`. Kept apart from the window so that a
    // test can open the menu on a machine and choose as a user would.
    static MainMenuLogic::MenuState Open(CSetupState& state, bool setupCopy);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    void LookForEarlierInstall(bool setupCopy);
    void Choose(MainMenuLogic::Button button);

    CSetupState& m_state;
    CPictureButton m_installButton;
    CPictureButton m_uninstallButton;

    std::string m_strBuild;
    std::string m_strFoundIn;
    std::string m_strInstallLabel;
    std::string m_strUninstallLabel;
    std::string m_strCaption;
    std::string m_strUninstallFolder;
    long m_nInstalledBuild; // -1 unknown, 0 not looked up
    bool m_bSameProduct;
    bool m_bPredecessor;
};
