// What the steps, the dialogs and the start-up routine share during one run. The
// application object owns the one instance; each step and dialog is handed it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct CSetupState
{
    static constexpr const char* kDefaultInstallPath = "C:\\Nimbus";

    bool m_bRestartNeeded = false;                      // a boot-time replacement was scheduled
    std::string m_strInstallPath = kDefaultInstallPath; // the install folder
    std::string m_strSourceFolder;         // the setup's own folder, trailing backslash
    std::string m_strSystemFolder;         // no trailing backslash
    std::string m_strWindowsFolder;        // as the system returns it
    std::vector<std::string> m_renameList; // WININIT.INI lines waiting (9x)
    BOOL m_bArdent = FALSE;                // true: Ardent edition, false: Brisk
    BOOL m_bAskBeforeReplace = TRUE;       // cleared by "Yes To All"
    BOOL m_bCancel = FALSE;                // the user cancelled the replace question

    // The setup's own file name in its folder: the install keeps a copy of it.
    std::string m_strSetupFile = "Setup.exe";

    BOOL IsArdent() const { return m_bArdent; }
};
