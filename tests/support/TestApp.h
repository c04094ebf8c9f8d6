// The application object of the in-process tests: it records every message box
// instead of showing it and answers as the test says.
#pragma once

#include "app/KelvarinApp.h"

#include <functional>
#include <string>
#include <vector>

namespace TestSupport
{
struct Shown
{
    std::string text;
    UINT type = 0;
    HWND owner = nullptr;
};

class CTestApp : public CKelvarinApp
{
public:
    // The Windows and system folders are the prefix's own, as the start-up would record.
    explicit CTestApp(bool ardent = true);

    int DoMessageBox(const char* text, UINT type, HWND owner) override;

    std::vector<std::string> Texts() const;

    std::vector<Shown> shown;
    // The button every box is answered with.
    int answer = IDOK;
    // Called as each box comes up, before it is answered.
    std::function<void(const Shown&)> onShow;
};
// The text of a dialog's control.
std::string ControlText(HWND dlg, int id);
} // namespace TestSupport
