// The setup's application object: it holds the setup state that every step shares
// and runs the whole setup from its start-up routine.
#pragma once

#include "app/WinApp.h"
#include "package/BuildNumber.h"

#include <string>
#include <vector>

class DLG_Installing;

class CKelvarinApp : public CWinApp
{
public:
    // The setup's own build: shown in the menu, recorded in the registry and
    // required in every package header.
    static const unsigned kBuildNumber = KELVARIN_BUILD_NUMBER;
    static const char* const kDefaultInstallPath;

    // `ardentEdition` is fixed when Setup.exe is built; it becomes the Ardent flag
    // before the main menu opens.
    explicit CKelvarinApp(bool ardentEdition);

    BOOL InitInstance() override;

    // --- setup state ---------------------------------------------------------
    bool m_bRestartNeeded;                 // a boot-time replacement was scheduled
    std::string m_strInstallPath;          // the install folder
    std::string m_strSourceFolder;         // the setup's own folder, with trailing backslash
    std::string m_strSystemFolder;         // no trailing backslash
    std::string m_strWindowsFolder;        // as the system returns it
    std::vector<std::string> m_renameList; // WININIT.INI lines waiting to be written (9x)
    BOOL m_bArdent;                        // true: Ardent edition, false: Brisk
    BOOL m_bAskBeforeReplace;              // cleared by "Yes To All"
    BOOL m_bCancel;                        // the user cancelled the replace question

    BOOL IsArdent() const { return m_bArdent; }

    // --- platform --------------------------------------------------------------
    // True on the NT family. Asked afresh by every caller; ends the process with
    // exit code 1000 when the platform version cannot be read.
    static bool IsWindowsNT();
    // NT: the process may create HKLM\Software\Secure\Pellmor. Always true on 9x.
    static bool HasAdminRights();
    static void RestartWindows();

    // The system's text for the last error code, as the system gives it.
    static std::string GetSystemErrorText();
    // Path of a shell folder, all-users folders mapped to per-user ones on 9x;
    // empty (after telling the user) when the lookup fails.
    std::string GetSpecialFolderPath(int csidl);

    // --- install sequence --------------------------------------------------------
    bool Install(DLG_Installing& dlg);
    bool CreateFolderTree(DLG_Installing& dlg);
    bool CreateFolder(DLG_Installing& dlg, const std::string& path);
    bool RegisterComponents(DLG_Installing& dlg);

    // Steps provided by the file installation and system configuration subsystems.
    bool InstallPackages(DLG_Installing& dlg);
    bool WriteProductRegistry(DLG_Installing& dlg);
    bool CreateShortcuts(DLG_Installing& dlg);
    bool RegisterOleControls(DLG_Installing& dlg);
    void GrantFolderAccess();

    // --- uninstall sequence -------------------------------------------------------
    // False when it did not start (no install recorded, no window): nothing removed.
    bool Uninstall();
    // Each deletion reports its own failure and lets the caller go on.
    void DeleteFolderTree(const std::string& folder);
    void EmptyFolder(const std::string& folder);
    void DeleteOneFile(const std::string& path);

    // The folders of the product tree below the install folder, in creation order.
    static const char* const kProductFolders[];
    static const int kProductFolderCount;

private:
    // Runs the install through its progress window; false when it did not succeed.
    bool RunInstall();
    void ShowClosingMessage();

    bool m_bArdentBuild;
};
