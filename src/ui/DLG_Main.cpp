#include "ui/DLG_Main.h"

#include "framework/DataExchange.h"
#include "framework/Messages.h"
#include "framework/SetupState.h"
#include "framework/WinApp.h"
#include "framework/resource.h"
#include "ui/DLG_About.h"
#include "ui/LicenseText.h"

const char* const DLG_Main::kLoadFailedText = "Error: Cannot load license agreement";

DLG_Main::DLG_Main(const CSetupState& state, HWND hParent)
    : CDialog(IDD_MAIN, hParent), m_bAccepted(0), m_state(state),
      m_hIcon(LoadIconA(CWinApp::ResourceInstance(), MAKEINTRESOURCEA(IDR_MAINFRAME))),
      m_editLicense(nullptr), m_btnInstall(nullptr)
{
}

void DLG_Main::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_LICENSE_TEXT, m_editLicense);
    DDX_Control(pDX, IDC_INSTALL, m_btnInstall);
    DDX_Check(pDX, IDC_ACCEPT, m_bAccepted);
}

BOOL DLG_Main::OnInitDialog()
{
    CDialog::OnInitDialog();
    AddAboutItem();
    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    ShowAgreement();
    UpdateInstallButton();
    return TRUE; // the first tab stop, the check box, takes the focus
}

void DLG_Main::AddAboutItem()
{
    HMENU systemMenu = GetSystemMenu(m_hWnd, FALSE);
    if (!systemMenu)
    {
        return;
    }
    const std::string text = Messages::LoadText(IDS_ABOUT_MENU);
    if (!text.empty())
    {
        AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, text.c_str());
    }
}

void DLG_Main::ShowAgreement()
{
    const bool ardent = m_state.IsArdent() != FALSE;
    const HINSTANCE instance = CWinApp::ResourceInstance();
    HRSRC found = FindResourceA(instance, ardent ? "LICENSEARDENT" : "LICENSEBRISK", "LICENSE");
    HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    const char* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (!data)
    {
        SetWindowTextA(m_editLicense, kLoadFailedText);
        return;
    }
    const std::string text = LicenseText::VisiblePart(data, SizeofResource(instance, found));
    SetWindowTextA(m_editLicense, text.c_str());
}

void DLG_Main::UpdateInstallButton()
{
    EnableWindow(m_btnInstall, m_bAccepted ? TRUE : FALSE);
}

bool DLG_Main::OnCommand(WORD id, WORD code, HWND control)
{
    if (id == IDC_ACCEPT)
    {
        if (code == BN_CLICKED)
        {
            UpdateData(true);
            UpdateInstallButton();
        }
        return true;
    }
    if (id == IDC_INSTALL)
    {
        if (code == BN_CLICKED)
        {
            OnOK();
        }
        return true;
    }
    return CDialog::OnCommand(id, code, control);
}

void DLG_Main::OnOK()
{
    // Enter arrives here as the OK command whatever has the focus; only an accepted
    // agreement may end the dialog with OK.
    UpdateData(true);
    UpdateInstallButton();
    if (m_bAccepted)
    {
        EndDialog(IDOK);
    }
}

void DLG_Main::OnCancel()
{
    if (Messages::ShowOwned(m_hWnd, IDS_CANCEL_SETUP, {}, MB_YESNO | MB_ICONQUESTION) == IDYES)
    {
        CDialog::OnCancel();
    }
}

bool DLG_Main::OnMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/, INT_PTR& result)
{
    switch (message)
    {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_ABOUTBOX)
        {
            DLG_About about(m_hWnd);
            about.DoModal();
            result = TRUE;
            return true;
        }
        return false;
    case WM_PAINT:
        if (IsIconic(m_hWnd))
        {
            PaintMinimised();
            result = TRUE;
            return true;
        }
        return false;
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<INT_PTR>(m_hIcon);
        return true;
    default:
        return false;
    }
}

void DLG_Main::PaintMinimised()
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hWnd, &paint);
    SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(m_hWnd, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hWnd, &paint);
}
