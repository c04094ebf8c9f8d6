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
int ShowTextOwned(HWND owner, const std::string& text, UINT type)
{
    CWinApp* app = CWinApp::Get();
    if (app)
    {
        return app->DoMessageBox(text.c_str(), type, owner);
    }
    return MessageBoxA(owner, text.c_str(), "Setup", type);
}
} // namespace

int ShowText(const std::string& text, UINT type)
{
    CWinApp* app = CWinApp::Get();
    return ShowTextOwned(app ? app->GetMainWnd() : nullptr, text, type);
}

void ShowOutOfMemory() noexcept
{
    char text[512];
    if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                        ERROR_NOT_ENOUGH_MEMORY, 0, text, sizeof(text), nullptr))
    {
        lstrcpynA(text, "Not enough memory.", sizeof(text));
    }
    CWinApp* app = CWinApp::Get();
    if (app)
    {
        app->DoMessageBox(text, kDefaultType, app->GetMainWnd());
    }
    else
    {
        MessageBoxA(nullptr, text, "Setup", kDefaultType);
    }
}

int ShowOwned(HWND owner, UINT id, const std::vector<std::string>& args, UINT type)
{
    return ShowTextOwned(owner, Format(id, args), type);
}
} // namespace Messages
