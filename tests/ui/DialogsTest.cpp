// The dialogs in this process, created modeless so that their state can be read.
#include "app/KelvarinApp.h"
#include "TestApp.h"
#include "ui/DLG_Main.h"
#include "framework/resource.h"

#include <gtest/gtest.h>

namespace
{
// Every question is answered No, so no dialog ends by a test's accident.
class CQuietApp : public TestSupport::CTestApp
{
public:
    explicit CQuietApp(bool ardent) : CTestApp(ardent) { answer = IDNO; }
};

using TestSupport::ControlText;

TEST(AgreementDialogTest, SetsBothIconsAndAnswersTheDragIconQuery)
{
    CQuietApp app(true);
    DLG_Main dlg(app.State());
    ASSERT_TRUE(dlg.Create());
    HWND hWnd = dlg.GetSafeHwnd();
    const LRESULT big = SendMessageA(hWnd, WM_GETICON, ICON_BIG, 0);
    EXPECT_NE(big, 0);
    EXPECT_EQ(SendMessageA(hWnd, WM_GETICON, ICON_SMALL, 0), big);
    EXPECT_EQ(SendMessageA(hWnd, WM_QUERYDRAGICON, 0, 0), big);
    dlg.DestroyWindow();
}

TEST(AgreementDialogTest, AddsTheAboutItemAfterASeparator)
{
    CQuietApp app(false);
    DLG_Main dlg(app.State());
    ASSERT_TRUE(dlg.Create());
    HMENU menu = GetSystemMenu(dlg.GetSafeHwnd(), FALSE);
    ASSERT_NE(menu, nullptr);
    const int count = GetMenuItemCount(menu);
    ASSERT_GE(count, 2);
    EXPECT_EQ(GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
    char text[64] = "";
    GetMenuStringA(menu, count - 1, text, sizeof(text), MF_BYPOSITION);
    EXPECT_STREQ(text, "&About Kelvarin...");
    MENUITEMINFOA info;
    ZeroMemory(&info, sizeof(info));
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE;
    GetMenuItemInfoA(menu, count - 2, TRUE, &info);
    EXPECT_TRUE(info.fType & MFT_SEPARATOR);
    dlg.DestroyWindow();
}

TEST(AgreementDialogTest, TheEditionPicksTheText)
{
    for (bool ardent : {true, false})
    {
        CQuietApp app(ardent);
        DLG_Main dlg(app.State());
        ASSERT_TRUE(dlg.Create());
        const std::string text = ControlText(dlg.GetSafeHwnd(), IDC_LICENSE_TEXT);
        EXPECT_EQ(text.rfind(ardent ? "KELVARIN ARDENT" : "KELVARIN BRISK", 0), 0u) << text;
        EXPECT_EQ(text.find("!!"), std::string::npos);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dlg.GetSafeHwnd(), IDC_INSTALL)));
        dlg.DestroyWindow();
    }
}
} // namespace
