#include "app/KelvarinApp.h"

#include "config/FolderAccess.h"
#include "config/OleRegistration.h"
#include "config/ProductRegistry.h"
#include "config/RegistryKey.h"
#include "config/Shortcuts.h"
#include "config/UninstallEntry.h"
#include "framework/Messages.h"
#include "framework/Platform.h"
#include "framework/SpecialFolders.h"
#include "framework/SystemError.h"
#include "framework/Win32Handles.h"
#include "framework/resource.h"
#include "install/PackageCheck.h"
#include "install/PackageInstaller.h"
#include "install/ProductTree.h"
#include "install/InstallFolderGuard.h"
#include "install/SetupCopy.h"
#include "install/SpaceCheck.h"
#include "ui/DLG_InstallPath.h"
#include "ui/DLG_Installing.h"
#include "ui/DLG_Main.h"
#include "ui/DLG_MainMenu.h"
#include "ui/DLG_QueryReplace.h"
#include "ui/DLG_Uninstalling.h"
#include "ui/MainMenuLogic.h"

#include <ole2.h>

#include <exception>

namespace
{
// OLE stays initialised for the whole run: the shortcut step creates COM objects
// and control modules expect it while they register.
class COleSession
{
public:
    COleSession() : m_ok(SUCCEEDED(OleInitialize(nullptr))) {}
    ~COleSession()
    {
        if (m_ok)
        {
            OleUninitialize();
        }
    }
    COleSession(const COleSession&) = delete;
    COleSession& operator=(const COleSession&) = delete;

private:
    bool m_ok;
};

std::string FromBuffer(const char* buffer, UINT length, UINT size)
{
    return std::string(buffer, length < size ? length : 0);
}

// The install sequence: each step's upper status line (0 leaves the line as it is)
// and whether its failure ends the install.
struct InstallStep
{
    UINT status;
    bool (CKelvarinApp::*run)(IProgressReport&);
    bool stopsOnFailure;
};

const InstallStep kInstallSteps[] = {
    {IDS_CREATING_FOLDERS, &CKelvarinApp::CreateFolderTree, true},
    {IDS_INSTALLING_FILES, &CKelvarinApp::InstallPackages, true},
    {IDS_CONFIGURING, &CKelvarinApp::WriteProductRegistry, true},
    // After the record and the entry: a copy that cannot be written leaves the install listed.
    {0, &CKelvarinApp::WriteSetupCopy, true},
    {IDS_CREATING_SHORTCUTS, &CKelvarinApp::CreateShortcuts, true},
    {IDS_REGISTERING_COMPONENTS, &CKelvarinApp::RegisterComponents, true},
    {IDS_REGISTERING_OLE, &CKelvarinApp::RegisterOleControls, true},
    // Folder rights are a convenience for the data folders; the install stands without them.
    {0, &CKelvarinApp::GrantFolderAccess, false},
};

// Why a recorded folder stays, as the uninstall's question says it.
std::string KeptReason(const CKelvarinApp::FolderJudgement& judged)
{
    switch (judged.verdict)
    {
    case InstallFolderRules::Verdict::GuardedFolder:
        return Messages::Format(IDS_KEPT_BECAUSE_GUARDED, {judged.guarded});
    case InstallFolderRules::Verdict::Link:
        return Messages::Format(IDS_KEPT_BECAUSE_LINK, {});
    case InstallFolderRules::Verdict::NotFullPath:
    case InstallFolderRules::Verdict::Accepted:
    case InstallFolderRules::Verdict::Unknown: // never kept: the uninstall does not start
        break;
    }
    return Messages::Format(IDS_KEPT_BECAUSE_NOT_FULL, {});
}
} // namespace

CKelvarinApp::FolderJudgement CKelvarinApp::JudgeFolder(const std::string& folder)
{
    // A root, a relative path, a link, or a folder that is or holds one of Windows' or the
    // users' own, whatever path leads there, would take with it what was never the
    // product's: it stays, and the user is told why.
    FolderJudgement judged;
    judged.verdict = InstallFolderGuard::Check(folder, judged.guarded);
    judged.error = GetLastError();
    return judged;
}

CKelvarinApp::CKelvarinApp(bool ardentEdition)
    : m_bArdentBuild(ardentEdition), m_askReplace(&DLG_QueryReplace::Ask)
{
}

BOOL CKelvarinApp::InitInstance()
{
    COleSession ole;

    if (!HasAdminRights())
    {
        return FALSE;
    }
    RecordFolders();

    // The menu's choice decides the rest of the run; any dialog left without OK
    // ends the setup silently (the dialogs ask their own questions first).
    MainMenuLogic::Route route = MainMenuLogic::Route::Uninstall;
    for (;;)
    {
        // The edition is a property of this build of the setup.
        m_state.m_bArdent = m_bArdentBuild ? TRUE : FALSE;
        DLG_MainMenu menu(m_state);
        if (menu.DoModal() != IDOK)
        {
            return FALSE;
        }
        route = MainMenuLogic::RouteFor(menu.GetResult());
        if (route != MainMenuLogic::Route::Uninstall)
        {
            break;
        }
        // No to the uninstall's question changes nothing: the menu comes back.
        const UninstallOutcome outcome = UninstallAfterQuestion(menu.UninstallFolder());
        if (outcome != UninstallOutcome::Declined)
        {
            return outcome == UninstallOutcome::Completed ? TRUE : FALSE;
        }
    }
    if (route != MainMenuLogic::Route::InstallInPlace &&
        !RunAgreementAndPath(route == MainMenuLogic::Route::AgreementThenInstall))
    {
        return FALSE;
    }
    // The path dialog asks about the space itself; the upgrades, which have none, ask now,
    // and No ends the setup with nothing changed.
    if (route != MainMenuLogic::Route::AgreementThenPath &&
        !ConfirmSpace(nullptr, m_state.m_strInstallPath))
    {
        return FALSE;
    }
    if (!RunInstall())
    {
        return FALSE;
    }
    FinishInstall();
    return TRUE;
}

void CKelvarinApp::RecordFolders()
{
    char path[1024] = "";
    const DWORD pathLength = GetModuleFileNameA(GetInstance(), path, sizeof(path));
    const std::string self(path, pathLength < sizeof(path) ? pathLength : 0);
    const std::string::size_type slash = self.find_last_of('\\');
    m_state.m_strSourceFolder = self.substr(0, slash == std::string::npos ? 0 : slash + 1);
    // The copy for the uninstall is made from the setup's own file, whatever its name.
    if (slash != std::string::npos)
    {
        m_state.m_strSetupFile = self.substr(slash + 1);
    }
    char folder[1024] = "";
    UINT length = GetWindowsDirectoryA(folder, sizeof(folder));
    m_state.m_strWindowsFolder = FromBuffer(folder, length, sizeof(folder));
    length = GetSystemDirectoryA(folder, sizeof(folder));
    m_state.m_strSystemFolder = FromBuffer(folder, length, sizeof(folder));
}

bool CKelvarinApp::RunAgreementAndPath(bool switchToArdent)
{
    DLG_Main agreement(m_state);
    if (agreement.DoModal() != IDOK)
    {
        return false;
    }
    if (switchToArdent)
    {
        m_state.m_bArdent = TRUE;
        return true;
    }
    DLG_InstallPath pathDialog;
    pathDialog.m_strPath = m_state.m_strInstallPath;
    pathDialog.m_confirmFolder = [this](HWND owner, const std::string& folder)
    { return ConfirmSpace(owner, folder); };
    if (pathDialog.DoModal() != IDOK)
    {
        return false;
    }
    m_state.m_strInstallPath =
        MainMenuLogic::FolderAfterPathDialog(m_state.m_strInstallPath, pathDialog.m_strPath);
    return true;
}

bool CKelvarinApp::RunInstall()
{
    DLG_Installing progress;
    if (!progress.Create())
    {
        SetMainWnd(nullptr);
        return false;
    }
    SetMainWnd(progress.GetSafeHwnd());
    // A damaged medium is found before the first folder is made.
    const bool installed = CheckPackages(progress) && Install(progress);
    m_checkedPackages.clear();
    SetMainWnd(nullptr);
    progress.DestroyWindow();
    return installed;
}

void CKelvarinApp::FinishInstall()
{
    if (m_state.m_bRestartNeeded)
    {
        if (Messages::Show(IDS_RESTART_QUERY, {}, MB_YESNO | MB_ICONHAND) != IDNO)
        {
            RestartWindows();
        }
        return;
    }
    Messages::Show(m_state.m_bArdent ? IDS_COMPLETE_ARDENT : IDS_COMPLETE_BRISK);
}

bool CKelvarinApp::ConfirmSpace(HWND owner, const std::string& installFolder)
{
    try
    {
        for (const SpaceCheck::Shortage& shortage : SpaceCheck::ForInstall(m_state, installFolder))
        {
            // Yes goes on: the estimate can be wrong (quotas, compression, a network share).
            if (Messages::ShowOwned(owner, IDS_SPACE_SHORT,
                                    {shortage.drive,
                                     SpaceEstimate::Megabytes(shortage.needed, true),
                                     SpaceEstimate::Megabytes(shortage.free, false)},
                                    MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
            {
                return false;
            }
        }
    }
    catch (...)
    {
        // Memory ran out before the question could be put: no drive is asked about.
    }
    return true;
}

bool CKelvarinApp::IsWindowsNT()
{
    return Platform::IsWindowsNT();
}

bool CKelvarinApp::HasAdminRights()
{
    if (!IsWindowsNT())
    {
        return true;
    }
    CRegistryKey key;
    key.Create(HKEY_LOCAL_MACHINE, "Software\\Secure\\Pellmor", REG_OPTION_NON_VOLATILE,
               KEY_ALL_ACCESS);
    return key.IsOpen();
}

void CKelvarinApp::RestartWindows()
{
    if (IsWindowsNT())
    {
        CKernelHandle token;
        TOKEN_PRIVILEGES privileges;
        ZeroMemory(&privileges, sizeof(privileges));
        OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                         token.Receive());
        LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid);
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
    }
    if (!ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0))
    {
        Messages::Show(IDS_RESTART_FAILED);
    }
}

std::string CKelvarinApp::GetSystemErrorText()
{
    return SystemError::LastErrorText();
}

std::string CKelvarinApp::GetSpecialFolderPath(int csidl)
{
    return SpecialFolders::GetPath(csidl);
}

bool CKelvarinApp::CheckPackages(IProgressReport& progress)
{
    try
    {
        m_checkedPackages.clear();
        CPackageCheck check(m_state);
        const bool whole =
            check.Check(progress, m_recordModule != nullptr ? m_recordModule : GetInstance());
        m_checkedPackages = check.TakeCheckedPackages();
        return whole;
    }
    catch (...)
    {
        // Memory ran out (nothing else throws): the setup stops, and says why.
        Messages::ShowOutOfMemory();
        return false;
    }
}

bool CKelvarinApp::Install(IProgressReport& progress)
{
    for (const InstallStep& step : kInstallSteps)
    {
        bool done = false;
        try
        {
            if (step.status != 0)
            {
                progress.SetStatus(step.status, 0);
            }
            done = (this->*step.run)(progress);
        }
        catch (...)
        {
            // Memory ran out inside the step (nothing else throws): it stops like any other
            // failure, and says why.
            if (step.stopsOnFailure)
            {
                Messages::ShowOutOfMemory();
            }
        }
        if (!done && step.stopsOnFailure)
        {
            return false;
        }
    }
    return true;
}

bool CKelvarinApp::CreateFolderTree(IProgressReport& progress)
{
    return ProductTree::CreateFolderTree(m_state.m_strInstallPath, progress);
}

bool CKelvarinApp::CreateFolder(IProgressReport& progress, const std::string& path)
{
    return ProductTree::CreateFolder(path, progress);
}

bool CKelvarinApp::InstallPackages(IProgressReport& progress)
{
    return CPackageInstaller(m_state, m_askReplace).InstallPackages(progress);
}

// The record the setup finds the install by, then the entry Windows lists it by.
bool CKelvarinApp::WriteProductRegistry(IProgressReport& progress)
{
    if (!CProductRegistry(m_state).WriteProductRegistry(progress))
    {
        return false;
    }
    SYSTEMTIME today;
    GetLocalTime(&today);
    const bool windowsNT = IsWindowsNT();
    return UninstallEntry::Write(UninstallEntry::For(
        m_state, windowsNT, SetupCopy::Path(windowsNT, m_state.m_strWindowsFolder),
        ProductTree::TreeBytes(m_state.m_strInstallPath), today));
}

// The setup's copy, which the product's entry starts, is installed like the packages' files,
// once the record and the entry stand: a copy that fails stops the install with the product
// listed, its entry starting the copy an earlier install left (or nothing, on a first
// install, until the medium installs it again or removes it).
bool CKelvarinApp::WriteSetupCopy(IProgressReport& progress)
{
    return SetupCopy::Write(m_state, progress);
}

bool CKelvarinApp::CreateShortcuts(IProgressReport& /*progress*/)
{
    return CShortcuts(m_state).CreateShortcuts();
}

// A step of its own in the sequence, kept for its status line: the components
// register themselves in the control step that follows.
bool CKelvarinApp::RegisterComponents(IProgressReport& /*progress*/)
{
    return true;
}

bool CKelvarinApp::RegisterOleControls(IProgressReport& /*progress*/)
{
    return COleRegistration(m_state).RegisterOleControls();
}

bool CKelvarinApp::GrantFolderAccess(IProgressReport& /*progress*/)
{
    const OSVERSIONINFOA version = Platform::QueryVersion();
    if (!FolderAccessRules::AppliesToVersion(version.dwMajorVersion, version.dwMinorVersion))
    {
        return true;
    }
    // An upgrade keeps the folder an older build recorded, which no dialog judged: entries
    // inherited below a folder of Windows or of a user would open it to every user. Such a
    // folder keeps its rights, and the user is told once; the install stands.
    const std::string& folder = m_state.m_strInstallPath;
    std::string guarded;
    const InstallFolderRules::Verdict verdict = InstallFolderGuard::Check(folder, guarded);
    const DWORD error = GetLastError();
    switch (verdict)
    {
    case InstallFolderRules::Verdict::Accepted:
        CFolderAccess(m_state).GrantFolderAccess();
        break;
    case InstallFolderRules::Verdict::NotFullPath:
        Messages::Show(IDS_RIGHTS_NOT_FULL_PASSED, {folder});
        break;
    case InstallFolderRules::Verdict::GuardedFolder:
        Messages::Show(IDS_RIGHTS_GUARDED_PASSED, {folder, guarded});
        break;
    case InstallFolderRules::Verdict::Link:
        Messages::Show(IDS_RIGHTS_LINK_PASSED, {folder});
        break;
    case InstallFolderRules::Verdict::Unknown:
        Messages::Show(IDS_RIGHTS_UNKNOWN_PASSED,
                       {folder, InstallFolderGuard::WhyUnknown(guarded, error)});
        break;
    }
    return true;
}

CKelvarinApp::UninstallOutcome CKelvarinApp::UninstallAfterQuestion(const std::string& folder)
{
    return UninstallCaught(true, folder);
}

bool CKelvarinApp::Uninstall()
{
    return UninstallCaught(false, std::string()) == UninstallOutcome::Completed;
}

CKelvarinApp::UninstallOutcome CKelvarinApp::UninstallCaught(bool ask, const std::string& chosen)
{
    try
    {
        return UninstallRecorded(ask, chosen);
    }
    catch (...)
    {
        // Memory ran out outside the stages, which catch their own: told, like any failure.
        SetMainWnd(nullptr);
        Messages::ShowOutOfMemory();
        return UninstallOutcome::NotStarted;
    }
}

CKelvarinApp::UninstallOutcome CKelvarinApp::UninstallRecorded(bool ask, const std::string& chosen)
{
    std::string folder = chosen;
    if (folder.empty())
    {
        DWORD error = ERROR_SUCCESS;
        const MainMenuLogic::RecordedInstall recorded = DLG_MainMenu::ReadRecord(&error);
        if (error != ERROR_SUCCESS)
        {
            // A record that is there but cannot be read is told, and nothing is removed.
            Messages::Show(IDS_RECORD_UNREADABLE, {SystemError::Text(error)});
            return UninstallOutcome::NotStarted;
        }
        // Nothing recorded: nothing to remove, and nothing to say.
        if (!MainMenuLogic::FolderToRemove(recorded, SetupCopy::IsRunning(m_state), folder))
        {
            return UninstallOutcome::NotStarted;
        }
    }
    // Judged once: the folder the question says stays is the folder the deletion keeps, even
    // should the guard judge otherwise by then.
    const FolderJudgement judged = JudgeFolder(folder);
    if (judged.verdict == InstallFolderRules::Verdict::Unknown)
    {
        // Uninstalled now, the record, the entry and the copy would go and the folder stay,
        // and nothing could find it again: all of it stays until the folder can be read.
        Messages::Show(IDS_UNINSTALL_UNKNOWN,
                       {folder, InstallFolderGuard::WhyUnknown(judged.guarded, judged.error)});
        return UninstallOutcome::NotStarted;
    }
    if (ask)
    {
        // The user's own documents go with the folder: nothing is deleted unasked. Only Yes
        // goes on; a question that could not be shown is no Yes.
        const bool removable = judged.verdict == InstallFolderRules::Verdict::Accepted;
        const std::vector<std::string> args =
            removable ? std::vector<std::string>{folder}
                      : std::vector<std::string>{folder, KeptReason(judged)};
        if (Messages::Show(removable ? IDS_UNINSTALL_QUERY : IDS_UNINSTALL_QUERY_KEPT, args,
                           MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        {
            return UninstallOutcome::Declined;
        }
    }

    DLG_Uninstalling dlg;
    if (!dlg.Create())
    {
        SetMainWnd(nullptr);
        return UninstallOutcome::NotStarted;
    }
    SetMainWnd(dlg.GetSafeHwnd());

    // No stage stops the uninstall: one that runs out of memory says so, and the next
    // one runs.
    RunStage([&] { RemoveRecordedFolder(folder, judged); });
    RunStage([this] { SetupCopy::Remove(m_state); });
    dlg.StageDone(1);
    RunStage([] { CProductRegistry::RemoveProductRegistry(); });
    RunStage([] { UninstallEntry::Remove(); });
    dlg.StageDone(2);
    RunStage([this] { CShortcuts(m_state).RemoveShortcuts(); });
    dlg.StageDone(3);
    Messages::Show(IDS_UNINSTALL_COMPLETE);

    SetMainWnd(nullptr);
    dlg.DestroyWindow();
    return UninstallOutcome::Completed;
}

void CKelvarinApp::RemoveRecordedFolder(const std::string& folder, const FolderJudgement& judged)
{
    switch (judged.verdict)
    {
    case InstallFolderRules::Verdict::Accepted:
        DeleteFolderTree(folder);
        break;
    case InstallFolderRules::Verdict::NotFullPath:
        Messages::Show(IDS_FOLDER_KEPT_NOT_FULL, {folder});
        break;
    case InstallFolderRules::Verdict::GuardedFolder:
        Messages::Show(IDS_FOLDER_KEPT, {folder, judged.guarded});
        break;
    case InstallFolderRules::Verdict::Link:
        Messages::Show(IDS_FOLDER_KEPT_LINK, {folder});
        break;
    case InstallFolderRules::Verdict::Unknown: // the uninstall did not start
        break;
    }
}

void CKelvarinApp::RunStage(const std::function<void()>& stage)
{
    try
    {
        stage();
    }
    catch (...)
    {
        Messages::ShowOutOfMemory();
    }
}

void CKelvarinApp::DeleteFolderTree(const std::string& folder)
{
    ProductTree::DeleteFolderTree(folder);
}

void CKelvarinApp::EmptyFolder(const std::string& folder)
{
    ProductTree::EmptyFolder(folder);
}

void CKelvarinApp::DeleteOneFile(const std::string& path)
{
    ProductTree::DeleteOneFile(path);
}
