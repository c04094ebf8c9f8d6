#include "TestApp.h"

namespace TestSupport
{
CTestApp::CTestApp(bool ardent) : CKelvarinApp(ardent)
{
    CSetupState& state = State();
    state.m_bArdent = ardent ? TRUE : FALSE;
    char folder[1024] = "";
    UINT length = GetWindowsDirectoryA(folder, sizeof(folder));
    state.m_strWindowsFolder.assign(folder, length);
    length = GetSystemDirectoryA(folder, sizeof(folder));
    state.m_strSystemFolder.assign(folder, length);
}

int CTestApp::DoMessageBox(const char* text, UINT type, HWND owner)
{
    shown.push_back({text, type, owner});
    if (onShow)
    {
        onShow(shown.back());
    }
    return answer;
}

std::vector<std::string> CTestApp::Texts() const
{
    std::vector<std::string> texts;
    for (const Shown& box : shown)
    {
        texts.push_back(box.text);
    }
    return texts;
}
std::string ControlText(HWND dlg, int id)
{
    char buffer[8192] = "";
    GetDlgItemTextA(dlg, id, buffer, sizeof(buffer));
    return buffer;
}
} // namespace TestSupport
