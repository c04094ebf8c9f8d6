#include "framework/Messages.h"

#include "framework/MessageText.h"
#include "framework/WinApp.h"

namespace Messages
{
std::string LoadText(UINT id)
{
    if (id == 0)
    {
        return std::string();
    }
    HINSTANCE instance = CWinApp::ResourceInstance();
    // Texts of the table stay well below this; LoadStringA truncates, never overflows.
    char buffer[4096];
    const int length = LoadStringA(instance, id, buffer, sizeof(buffer));
    return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string();
}

std::string Format(UINT id, const std::vector<std::string>& args)
{
    return MessageText::Fill(LoadText(id), args);
}

int Show(UINT id, const std::vector<std::string>& args, UINT type)
{
    return ShowText(Format(id, args), type);
}

namespace
{
// Allocates nothing, for the out-of-memory report.
int ShowTextOwned(HWND owner, const char* text, UINT type)
{
    CWinApp* app = CWinApp::Get();
    if (app)
    {
        return app->DoMessageBox(text, type, owner);
    }
    return MessageBoxA(owner, text, "Setup", type);
}

HWND MainWindow()
{
    CWinApp* app = CWinApp::Get();
    return app ? app->GetMainWnd() : nullptr;
}
} // namespace

int ShowText(const std::string& text, UINT type)
{
    return ShowTextOwned(MainWindow(), text.c_str(), type);
}

void ShowOutOfMemory() noexcept
{
    char text[512];
    if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                        ERROR_NOT_ENOUGH_MEMORY, 0, text, sizeof(text), nullptr))
    {
        lstrcpynA(text, "Not enough memory.", sizeof(text));
    }
    ShowTextOwned(MainWindow(), text, kDefaultType);
}

int ShowOwned(HWND owner, UINT id, const std::vector<std::string>& args, UINT type)
{
    return ShowTextOwned(owner, Format(id, args).c_str(), type);
}
} // namespace Messages
