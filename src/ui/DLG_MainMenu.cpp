#include "ui/DLG_MainMenu.h"

#include "config/ProductRegistry.h"
#include "config/RegistryKey.h"
#include "config/UninstallEntry.h"
#include "framework/DataExchange.h"
#include "framework/Messages.h"
#include "framework/SetupState.h"
#include "framework/WinApp.h"
#include "framework/resource.h"
#include "install/SetupCopy.h"
#include "package/BuildNumber.h"

namespace
{
bool PathExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Case-insensitive in the system code page, so double-byte names compare whole.
bool SameFolder(const std::string& a, const std::string& b)
{
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a.c_str(),
                          static_cast<int>(a.size()), b.c_str(),
                          static_cast<int>(b.size())) == CSTR_EQUAL;
}
} // namespace

DLG_MainMenu::DLG_MainMenu(CSetupState& state, HWND hParent)
    : CDialog(IDD_MAINMENU, hParent), m_bInstall(false), m_bUpgrade(false),
      m_bSwitchToArdent(false), m_state(state), m_nInstalledBuild(0), m_bSameProduct(false),
      m_bPredecessor(false)
{
}

MainMenuLogic::MenuResult DLG_MainMenu::GetResult() const
{
    MainMenuLogic::MenuResult result;
    result.install = m_bInstall;
    result.upgrade = m_bUpgrade;
    result.switchToArdent = m_bSwitchToArdent;
    return result;
}

void DLG_MainMenu::DoDataExchange(CDataExchange* pDX)
{
    DDX_Text(pDX, IDC_MENU_FOUND_IN, m_strFoundIn);
    DDX_Text(pDX, IDC_MENU_INSTALL_LABEL, m_strInstallLabel);
    DDX_Text(pDX, IDC_MENU_UNINSTALL_LABEL, m_strUninstallLabel);
}

BOOL DLG_MainMenu::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_strBuild = std::to_string(KELVARIN_BUILD_NUMBER);
    const HINSTANCE instance = CWinApp::ResourceInstance();
    m_installButton.LoadBitmaps(instance, IDB_INSTALL_NORMAL, IDB_INSTALL_PRESSED,
                                IDB_INSTALL_DISABLED);
    m_uninstallButton.LoadBitmaps(instance, IDB_UNINSTALL_NORMAL, IDB_UNINSTALL_PRESSED,
                                  IDB_UNINSTALL_DISABLED);
    m_strFoundIn.clear();
    EnableDlgItem(IDC_MENU_UNINSTALL, false);
    EnableDlgItem(IDC_MENU_UNINSTALL_LABEL, false);

    const bool setupCopy = SetupCopy::IsRunning(m_state);
    LookForEarlierInstall(setupCopy);

    SetWindowTextA(m_hWnd, m_strCaption.c_str());
    UpdateData(false);
    const bool installEnabled =
        MainMenuLogic::InstallEnabled(m_nInstalledBuild, m_strInstallLabel, setupCopy);
    EnableDlgItem(IDC_MENU_INSTALL, installEnabled);
    EnableDlgItem(IDC_MENU_INSTALL_LABEL, installEnabled);
    return TRUE;
}

MainMenuLogic::RecordedInstall DLG_MainMenu::ReadRecord(DWORD* error)
{
    CRegistryKey key;
    key.Create(HKEY_LOCAL_MACHINE, CProductRegistry::kInstallKey);
    const DWORD opened = key.IsOpen() ? ERROR_SUCCESS : GetLastError();
    MainMenuLogic::RecordedInstall recorded;
    recorded.hasPath = key.QueryString(CProductRegistry::kInstallPathValue, recorded.path);
    if (!recorded.hasPath && error)
    {
        const DWORD why = opened != ERROR_SUCCESS ? opened : GetLastError();
        *error = why == ERROR_FILE_NOT_FOUND || why == ERROR_INVALID_DATATYPE ? ERROR_SUCCESS : why;
    }
    else if (error)
    {
        *error = ERROR_SUCCESS;
    }
    LONG build = 0;
    if (key.QueryDword(CProductRegistry::kBuildNumberValue, build))
    {
        recorded.hasBuild = true;
        recorded.build = build;
    }
    recorded.entryLocation = UninstallEntry::InstallLocation();
    return recorded;
}

MainMenuLogic::MenuState DLG_MainMenu::Open(CSetupState& state, bool setupCopy)
{
    const MainMenuLogic::RecordedInstall recorded = ReadRecord();
    const MainMenuLogic::MenuState opened = MainMenuLogic::OpenMenu(
        recorded, state.IsArdent() != FALSE, PathExists, SameFolder, setupCopy);
    if (opened.writePath)
    {
        // Registry failures are not the menu's to report: a lost write only means
        // the next run searches again.
        CRegistryKey writer;
        writer.Create(HKEY_LOCAL_MACHINE, CProductRegistry::kInstallKey);
        writer.SetString(CProductRegistry::kInstallPathValue, opened.installFolder);
    }
    state.m_strInstallPath = opened.installFolder;
    state.m_bArdent = opened.ardent ? TRUE : FALSE;
    return opened;
}

void DLG_MainMenu::LookForEarlierInstall(bool setupCopy)
{
    const MainMenuLogic::MenuState state = Open(m_state, setupCopy);
    m_nInstalledBuild = state.installedBuild;
    m_bSameProduct = state.opening == MainMenuLogic::Opening::SameProduct;
    m_bPredecessor = state.opening == MainMenuLogic::Opening::Predecessor;
    m_strUninstallFolder = state.uninstallFolder;

    const MainMenuLogic::MenuTexts texts = MainMenuLogic::TextsFor(state.opening, state.ardent);
    m_strInstallLabel = Messages::Format(texts.installLabel, {m_strBuild});
    m_strUninstallLabel = Messages::Format(texts.uninstallLabel, {m_strBuild});
    m_strCaption = Messages::Format(texts.caption, {m_strBuild});
    if (state.opening != MainMenuLogic::Opening::Fresh)
    {
        m_strFoundIn = Messages::LoadText(texts.foundPrefix) + state.shownFolder;
    }
    const bool uninstall = MainMenuLogic::UninstallEnabled(
        state.opening, setupCopy, setupCopy && !state.uninstallFolder.empty());
    EnableDlgItem(IDC_MENU_UNINSTALL, uninstall);
    EnableDlgItem(IDC_MENU_UNINSTALL_LABEL, uninstall);
}

bool DLG_MainMenu::OnCommand(WORD id, WORD code, HWND control)
{
    if (id == IDC_MENU_INSTALL || id == IDC_MENU_UNINSTALL)
    {
        // A disabled button can still be sent a click; it must not choose.
        if (code == BN_CLICKED && IsWindowEnabled(GetDlgItem(id)))
        {
            Choose(id == IDC_MENU_INSTALL ? MainMenuLogic::Button::Install
                                          : MainMenuLogic::Button::Uninstall);
        }
        return true;
    }
    return CDialog::OnCommand(id, code, control);
}

// Enter with no push button taking it arrives as the OK command. It presses the
// install button when that has the focus and is enabled, and does nothing
// otherwise: ending with OK and no flag set would be read as the uninstall choice,
// which must never be made by a stray Enter.
void DLG_MainMenu::OnOK()
{
    HWND install = GetDlgItem(IDC_MENU_INSTALL);
    if (GetFocus() == install && IsWindowEnabled(install))
    {
        Choose(MainMenuLogic::Button::Install);
    }
}

void DLG_MainMenu::Choose(MainMenuLogic::Button button)
{
    const MainMenuLogic::MenuResult result =
        MainMenuLogic::ResultFor(button, m_bPredecessor   ? MainMenuLogic::Opening::Predecessor
                                         : m_bSameProduct ? MainMenuLogic::Opening::SameProduct
                                                          : MainMenuLogic::Opening::Fresh);
    m_bInstall = result.install;
    m_bUpgrade = result.upgrade;
    m_bSwitchToArdent = result.switchToArdent;
    EndDialog(IDOK);
}

bool DLG_MainMenu::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result)
{
    if (message != WM_DRAWITEM)
    {
        return false;
    }
    const DRAWITEMSTRUCT& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (wParam == IDC_MENU_INSTALL)
    {
        m_installButton.DrawItem(item);
    }
    else if (wParam == IDC_MENU_UNINSTALL)
    {
        m_uninstallButton.DrawItem(item);
    }
    else
    {
        return false;
    }
    result = TRUE;
    return true;
}
