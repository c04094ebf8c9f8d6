// Moves values between a dialog's members and its controls, in one direction per pass.
#pragma once

#include <windows.h>
#include <string>

class CDataExchange
{
public:
    CDataExchange(HWND hDlg, bool saveAndValidate)
        : m_hDlg(hDlg), m_bSaveAndValidate(saveAndValidate)
    {
    }

    HWND m_hDlg;
    bool m_bSaveAndValidate; // true: controls to members; false: members to controls
};

// An edit or static control's text <-> a string member.
void DDX_Text(CDataExchange* pDX, int id, std::string& value);
// A check box's state <-> an integer flag (0 or 1).
void DDX_Check(CDataExchange* pDX, int id, int& value);
// Binds a control's window handle to a member (both directions do the same).
void DDX_Control(CDataExchange* pDX, int id, HWND& control);
