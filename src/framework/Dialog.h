// A dialog built from a template in the program's resources, shown modally or
// modeless. Derived classes override the handlers they need; the defaults behave
// like a plain dialog (OK saves the controls into the members and ends with IDOK,
// Cancel ends with IDCANCEL).
#pragma once

#include <windows.h>
#include <string>

class CDataExchange;

class CDialog
{
public:
    explicit CDialog(UINT idTemplate, HWND hParent = nullptr);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog modally; owned by the given parent, else by the application's
    // main window. Returns the end code, or -1 when the window could not be made.
    INT_PTR DoModal();

    // Creates the dialog modeless; false when the window could not be made.
    bool Create(HWND hParent = nullptr);
    void DestroyWindow();

    HWND GetSafeHwnd() const { return m_hWnd; }

    // true: controls to members; false: members to controls.
    bool UpdateData(bool saveAndValidate = true);

    void EndDialog(INT_PTR result);

protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    // A command from a control or menu; return true when handled.
    virtual bool OnCommand(WORD id, WORD code, HWND control);
    virtual void DoDataExchange(CDataExchange* pDX);
    // Any message; return true and set `result` when handled.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);

    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    void SetDlgItemText(int id, const std::string& text);
    void EnableDlgItem(int id, bool enable);

    HWND m_hWnd;

private:
    // Where the system calls in: nothing thrown inside gets past it.
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR Dispatch(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    HINSTANCE Instance() const;

    UINT m_idTemplate;
    HWND m_hParent;
    bool m_bModal;
};
