#include "framework/Dialog.h"

#include "framework/WinApp.h"
#include "framework/DataExchange.h"
#include "framework/Messages.h"

CDialog::CDialog(UINT idTemplate, HWND hParent)
    : m_hWnd(nullptr), m_idTemplate(idTemplate), m_hParent(hParent), m_bModal(false)
{
}

CDialog::~CDialog()
{
    if (m_hWnd && !m_bModal)
    {
        DestroyWindow();
    }
}

HINSTANCE CDialog::Instance() const
{
    return CWinApp::ResourceInstance();
}

INT_PTR CDialog::DoModal()
{
    HWND owner = m_hParent;
    if (!owner && CWinApp::Get())
    {
        owner = CWinApp::Get()->GetMainWnd();
    }
    m_bModal = true;
    const INT_PTR result = DialogBoxParamA(Instance(), MAKEINTRESOURCEA(m_idTemplate), owner,
                                           &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    return result;
}

bool CDialog::Create(HWND hParent)
{
    if (hParent)
    {
        m_hParent = hParent;
    }
    m_bModal = false;
    HWND hWnd = CreateDialogParamA(Instance(), MAKEINTRESOURCEA(m_idTemplate), m_hParent,
                                   &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    return hWnd != nullptr;
}

void CDialog::DestroyWindow()
{
    if (m_hWnd)
    {
        HWND hWnd = m_hWnd;
        ::DestroyWindow(hWnd);
        m_hWnd = nullptr;
    }
}

bool CDialog::UpdateData(bool saveAndValidate)
{
    if (!m_hWnd)
    {
        return false;
    }
    CDataExchange dx(m_hWnd, saveAndValidate);
    DoDataExchange(&dx);
    return true;
}

void CDialog::EndDialog(INT_PTR result)
{
    if (m_hWnd && m_bModal)
    {
        ::EndDialog(m_hWnd, result);
    }
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(false);
    return TRUE;
}

void CDialog::OnOK()
{
    UpdateData(true);
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

bool CDialog::OnCommand(WORD id, WORD /*code*/, HWND /*control*/)
{
    switch (id)
    {
    case IDOK:
        OnOK();
        return true;
    case IDCANCEL:
        OnCancel();
        return true;
    default:
        return false;
    }
}

void CDialog::DoDataExchange(CDataExchange* /*pDX*/) {}

bool CDialog::OnMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/, INT_PTR& /*result*/)
{
    return false;
}

void CDialog::SetDlgItemText(int id, const std::string& text)
{
    ::SetDlgItemTextA(m_hWnd, id, text.c_str());
}

void CDialog::EnableDlgItem(int id, bool enable)
{
    HWND control = GetDlgItem(id);
    if (control)
    {
        EnableWindow(control, enable ? TRUE : FALSE);
    }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    // An exception cannot unwind through the system's frames that called in here: it
    // would end the process. Only memory running out throws; that is told, and the
    // message counts as not handled.
    try
    {
        return Dispatch(hWnd, message, wParam, lParam);
    }
    catch (...)
    {
        Messages::ShowOutOfMemory();
        return FALSE;
    }
}

INT_PTR CDialog::Dispatch(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CDialog* self = nullptr;
    if (message == WM_INITDIALOG)
    {
        self = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrA(hWnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        self->m_hWnd = hWnd;
    }
    else
    {
        self = reinterpret_cast<CDialog*>(GetWindowLongPtrA(hWnd, DWLP_USER));
    }
    if (!self)
    {
        return FALSE;
    }
    if (message == WM_NCDESTROY)
    {
        SetWindowLongPtrA(hWnd, DWLP_USER, 0);
        self->m_hWnd = nullptr;
        return FALSE;
    }
    return self->HandleMessage(message, wParam, lParam);
}

INT_PTR CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    INT_PTR result = FALSE;
    if (OnMessage(message, wParam, lParam, result))
    {
        return result;
    }
    switch (message)
    {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)) ? TRUE
                                                                                         : FALSE;
    case WM_CLOSE:
        // The close box takes the same path as the Cancel button and Esc.
        OnCancel();
        return TRUE;
    default:
        return FALSE;
    }
}
