// The setup's application object: it owns the setup state that every step and
// dialog is handed, runs the whole setup from its start-up routine, and composes
// the steps into the install and uninstall sequences.
#pragma once

#include "framework/SetupState.h"
#include "framework/WinApp.h"
#include "install/FileInstaller.h"
#include "install/InstallFolderRules.h"
#include "package/BuildNumber.h"
#include "package/UniqueHandle.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

class IProgressReport;

class CKelvarinApp : public CWinApp
{
public:
    // The setup's own build: shown in the menu, recorded in the registry and
    // required in every package header.
    static const unsigned kBuildNumber = KELVARIN_BUILD_NUMBER;

    // `ardentEdition` is fixed when Setup.exe is built; it becomes the Ardent flag
    // before the main menu opens.
    explicit CKelvarinApp(bool ardentEdition);

    BOOL InitInstance() override;

    // Where the file step puts the replace question: the dialog, unless a test answers.
    void SetReplaceQuestion(ReplaceQuestion ask) { m_askReplace = std::move(ask); }
    // Where the record of the medium's packages is read: the setup's own image, unless a
    // test hands in another Setup.exe's.
    void SetRecordModule(HMODULE module) { m_recordModule = module; }

    CSetupState& State() { return m_state; }
    const CSetupState& State() const { return m_state; }
    BOOL IsArdent() const { return m_state.IsArdent(); }

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
    static std::string GetSpecialFolderPath(int csidl);

    // --- install sequence --------------------------------------------------------
    // Before anything is changed: every package of the family against the record that
    // Setup.exe carries (none: nothing to check); false after telling the user.
    bool CheckPackages(IProgressReport& progress);
    // The steps in order, each announced on the progress report's upper line; stops
    // at the first that fails (it has told the user).
    bool Install(IProgressReport& progress);
    bool CreateFolderTree(IProgressReport& progress);
    bool CreateFolder(IProgressReport& progress, const std::string& path);
    bool InstallPackages(IProgressReport& progress);
    bool WriteProductRegistry(IProgressReport& progress);
    bool WriteSetupCopy(IProgressReport& progress);
    bool CreateShortcuts(IProgressReport& progress);
    bool RegisterComponents(IProgressReport& progress);
    bool RegisterOleControls(IProgressReport& progress);
    // Its outcome is ignored: the install stands without the folder rights. Only a folder
    // the install folder's guard accepts gets them (an upgrade's was judged by no dialog).
    bool GrantFolderAccess(IProgressReport& progress);

    // After a successful install: the restart question when a boot-time replacement
    // waits (and the restart on any answer but No), else the edition's closing message.
    void FinishInstall();

    // Before a fresh install, an upgrade or a Tarpan LT upgrade writes anything: for each
    // drive the estimate finds short of room, the user is asked whether to go on anyway
    // (owned by `owner`). False on No.
    bool ConfirmSpace(HWND owner, const std::string& installFolder);

    // --- uninstall sequence -------------------------------------------------------
    enum class UninstallOutcome
    {
        NotStarted, // no install recorded, no window, no telling which folder: nothing removed
        Declined,   // the user said No: nothing removed
        Completed
    };
    // The uninstall the user chose: first the question naming what goes. `folder`: the one
    // the menu offered to remove; none: the recorded one.
    UninstallOutcome UninstallAfterQuestion(const std::string& folder = std::string());
    // False when it did not start (no install recorded, no window, or which folder the record
    // names cannot be told): nothing removed.
    bool Uninstall();
    // What the install folder's guard says of a recorded folder, and why it keeps it.
    struct FolderJudgement
    {
        InstallFolderRules::Verdict verdict = InstallFolderRules::Verdict::Unknown;
        std::string guarded; // the folder of Windows or of a user it is or holds; for Unknown,
                             // the folder that could not be read
        DWORD error = 0;     // why it cannot tell (Unknown)
    };
    static FolderJudgement JudgeFolder(const std::string& folder);
    // Each deletion reports its own failure and lets the caller go on.
    static void DeleteFolderTree(const std::string& folder);
    static void EmptyFolder(const std::string& folder);
    static void DeleteOneFile(const std::string& path);

private:
    // Records where the setup and the system live.
    void RecordFolders();
    // The agreement and, unless the menu chose otherwise, the path dialog; false when
    // the user left either.
    bool RunAgreementAndPath(bool switchToArdent);
    // Runs the install through its progress window; false when it did not succeed.
    bool RunInstall();
    // Stage 0: the recorded folder with everything in it, unless `judged` (the install
    // folder's guard, asked once for the question and the deletion alike) keeps it.
    void RemoveRecordedFolder(const std::string& folder, const FolderJudgement& judged);
    // The uninstall of `chosen` (none: the recorded folder), after the question when `ask`;
    // the callers add what no stage catches itself.
    UninstallOutcome UninstallRecorded(bool ask, const std::string& chosen);
    UninstallOutcome UninstallCaught(bool ask, const std::string& chosen);
    // One stage of the uninstall; running out of memory in it is told, not fatal.
    void RunStage(const std::function<void()>& stage);

    CSetupState m_state;
    bool m_bArdentBuild;
    ReplaceQuestion m_askReplace;
    HMODULE m_recordModule = nullptr;
    // Held from the package check to the install's end; see CPackageCheck.
    std::vector<CFileHandle> m_checkedPackages;
};
