#include "Robot.h"

#include "framework/resource.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{
const DWORD kPollMs = 20;
// The static control that holds a message box's text.
const int kMessageBoxTextId = 0xFFFF;

struct FindContext
{
    DWORD processId; // 0: every process's
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND hWnd, LPARAM lParam)
{
    FindContext* context = reinterpret_cast<FindContext*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(hWnd, &owner);
    if ((context->processId == 0 || owner == context->processId) && IsWindowVisible(hWnd))
    {
        context->windows.push_back(hWnd);
    }
    return TRUE;
}

struct ChildCensus
{
    int textIds;     // children with the message box text's id
    bool otherClass; // a child that is neither a button nor a static
};

BOOL CALLBACK CountChild(HWND child, LPARAM lParam)
{
    ChildCensus* census = reinterpret_cast<ChildCensus*>(lParam);
    char name[64] = "";
    GetClassNameA(child, name, sizeof(name));
    if (lstrcmpiA(name, "Button") != 0 && lstrcmpiA(name, "Static") != 0)
    {
        census->otherClass = true;
    }
    if (GetDlgCtrlID(child) == kMessageBoxTextId)
    {
        ++census->textIds;
    }
    return TRUE;
}

// Clicks are numbered; the answer of each, taken in while waiting, records its number.
LONG g_clicksSent = 0;
LONG g_clicksAnswered = 0;

VOID CALLBACK ClickAnswered(HWND, UINT, ULONG_PTR click, LRESULT)
{
    g_clicksAnswered = std::max(g_clicksAnswered, static_cast<LONG>(click));
}

bool SetWineVersionOf(const std::string& exeName, const std::string& winver)
{
    const std::string keyPath = "Software\\Wine\\AppDefaults\\" + exeName;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
    {
        return false;
    }
    LONG result;
    if (winver.empty())
    {
        result = RegDeleteValueA(key, "Version");
        result = (result == ERROR_FILE_NOT_FOUND) ? ERROR_SUCCESS : result;
    }
    else
    {
        result =
            RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(winver.c_str()),
                           static_cast<DWORD>(winver.size() + 1));
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}
} // namespace

RobotPath::RobotPath()
    : menuButton(IDC_MENU_INSTALL), replaceAnswer(IDC_YES_TO_ALL), existingFolderAnswer(IDYES),
      uninstallAnswer(IDYES)
{
}

CRobot::CRobot()
{
    ZeroMemory(&m_process, sizeof(m_process));
}

CRobot::~CRobot()
{
    if (m_process.hProcess)
    {
        if (IsRunning())
        {
            TerminateProcess(m_process.hProcess, 99);
            WaitForSingleObject(m_process.hProcess, 5000);
        }
        CloseHandle(m_process.hProcess);
        if (m_process.hThread)
        {
            CloseHandle(m_process.hThread);
        }
    }
}

bool CRobot::SetWindowsVersion(const std::string& exeName, const std::string& winver)
{
    return SetWineVersionOf(exeName, winver);
}

bool CRobot::Launch(const std::string& exePath, const std::string& winver,
                    const std::string& arguments)
{
    if (m_process.hProcess)
    {
        return false; // one program per robot
    }
    std::string name = exePath.substr(exePath.find_last_of("\\/") + 1);
    if (!SetWineVersionOf(name, winver))
    {
        return false;
    }
    std::string folder = exePath.substr(0, exePath.find_last_of("\\/"));
    std::string commandLine = "\"" + exePath + "\"" + (arguments.empty() ? "" : " " + arguments);
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    return CreateProcessA(exePath.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.c_str(), &startup, &m_process) != FALSE;
}

bool CRobot::Follow(const std::function<bool(HWND)>& match, DWORD timeoutMs)
{
    DWORD processId = 0;
    WaitUntil(
        [&]
        {
            FindContext all{0, {}};
            EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&all));
            for (HWND hWnd : all.windows)
            {
                if (match(hWnd))
                {
                    GetWindowThreadProcessId(hWnd, &processId);
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    HANDLE process = processId
                         ? OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE,
                                       FALSE, processId)
                         : nullptr;
    if (!process)
    {
        return false;
    }
    // The program that started it goes on by itself, and ends when the followed one does.
    if (m_process.hProcess)
    {
        CloseHandle(m_process.hProcess);
    }
    if (m_process.hThread)
    {
        CloseHandle(m_process.hThread);
    }
    ZeroMemory(&m_process, sizeof(m_process));
    m_process.hProcess = process;
    m_process.dwProcessId = processId;
    return true;
}

std::vector<HWND> CRobot::Windows() const
{
    FindContext context{m_process.dwProcessId, {}};
    EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&context));
    return context.windows;
}

bool CRobot::IsMessageBox(HWND hWnd)
{
    char className[64] = "";
    GetClassNameA(hWnd, className, sizeof(className));
    if (lstrcmpA(className, "#32770") != 0 || GetDlgItem(hWnd, kMessageBoxTextId) == nullptr)
    {
        return false;
    }
    // Dialogs use the same id for their unnamed labels: a message box is told apart by
    // holding buttons and labels only, and exactly one label of that id.
    ChildCensus census{0, false};
    EnumChildWindows(hWnd, &CountChild, reinterpret_cast<LPARAM>(&census));
    return census.textIds == 1 && !census.otherClass;
}

bool CRobot::WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;)
    {
        if (condition())
        {
            return true;
        }
        if (GetTickCount() - start >= timeoutMs)
        {
            return false;
        }
        Sleep(kPollMs);
    }
}

HWND CRobot::WaitWindow(const std::string& caption, DWORD timeoutMs)
{
    HWND found = nullptr;
    WaitUntil(
        [&]
        {
            for (HWND hWnd : Windows())
            {
                if (!IsMessageBox(hWnd) && (caption.empty() || WindowText(hWnd) == caption))
                {
                    found = hWnd;
                    return true;
                }
            }
            return !IsRunning();
        },
        timeoutMs);
    // Whoever looks next sees the window as its initialisation left it.
    if (found)
    {
        WaitHandled(found);
    }
    return found;
}

bool CRobot::WaitMessageBox(RobotMessageBox& box, DWORD timeoutMs)
{
    HWND found = nullptr;
    WaitUntil(
        [&]
        {
            for (HWND hWnd : Windows())
            {
                if (IsMessageBox(hWnd))
                {
                    found = hWnd;
                    return true;
                }
            }
            return !IsRunning();
        },
        timeoutMs);
    if (!found)
    {
        return false;
    }
    WaitHandled(found);
    box.hWnd = found;
    box.caption = WindowText(found);
    box.text = ControlText(found, kMessageBoxTextId);
    return true;
}

bool CRobot::WaitWindowGone(HWND hWnd, DWORD timeoutMs)
{
    const HWND owner = GetWindow(hWnd, GW_OWNER);
    if (!WaitUntil([hWnd] { return !IsWindow(hWnd) || !IsWindowVisible(hWnd); }, timeoutMs))
    {
        return false;
    }
    // Hidden is not yet done with: the code after the window's modal loop (what the
    // answer leads to) runs once that loop has ended and the owner's own loop is back.
    // What is posted to the owner before then would go to the ended loop.
    if (owner)
    {
        WaitUntil([hWnd] { return !IsWindow(hWnd); }, timeoutMs);
        WaitHandled(owner, timeoutMs);
    }
    return true;
}

namespace
{
// One round: a small icon is posted behind what was posted before; once the window
// holds it, its thread has handled everything in front of it. The window's own
// icon goes back at once. (Wine keeps no UI state that could serve instead.)
bool PostedMarkerHandled(HWND hWnd, DWORD timeoutMs)
{
    DWORD_PTR own = 0;
    if (!SendMessageTimeoutA(hWnd, WM_GETICON, ICON_SMALL, 0, SMTO_NORMAL, timeoutMs, &own))
    {
        return !IsWindow(hWnd);
    }
    HICON asterisk = LoadIconA(nullptr, IDI_ASTERISK);
    HICON marker =
        reinterpret_cast<HICON>(own) == asterisk ? LoadIconA(nullptr, IDI_HAND) : asterisk;
    if (!PostMessageA(hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(marker)))
    {
        return !IsWindow(hWnd);
    }
    const bool handled = CRobot::WaitUntil(
        [&]
        {
            DWORD_PTR now = 0;
            if (!SendMessageTimeoutA(hWnd, WM_GETICON, ICON_SMALL, 0, SMTO_NORMAL, timeoutMs, &now))
            {
                return !IsWindow(hWnd);
            }
            return reinterpret_cast<HICON>(now) == marker;
        },
        timeoutMs);
    SendMessageTimeoutA(hWnd, WM_SETICON, ICON_SMALL, static_cast<LPARAM>(own), SMTO_NORMAL,
                        timeoutMs, nullptr);
    return handled;
}
} // namespace

bool CRobot::WaitHandled(HWND hWnd, DWORD timeoutMs)
{
    // Twice: handling a click or a key may post further messages (the button's own
    // mouse messages), which the second round waits for as well.
    return PostedMarkerHandled(hWnd, timeoutMs) && PostedMarkerHandled(hWnd, timeoutMs);
}

bool CRobot::WaitPainted(HWND hWnd, DWORD timeoutMs)
{
    if (!WaitHandled(hWnd, timeoutMs))
    {
        return false;
    }
    RedrawWindow(hWnd, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
    return SendMessageTimeoutA(hWnd, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, nullptr) != 0 ||
           !IsWindow(hWnd);
}

std::string CRobot::WindowText(HWND hWnd)
{
    char buffer[4096] = "";
    // A caption is read without a message, so a window whose thread is busy (the
    // progress window while the install works) is still seen at once; a control's
    // text needs WM_GETTEXT across processes.
    if (!(GetWindowLongA(hWnd, GWL_STYLE) & WS_CHILD))
    {
        return std::string(buffer, static_cast<std::size_t>(
                                       std::max(0, GetWindowTextA(hWnd, buffer, sizeof(buffer)))));
    }
    const LRESULT length =
        SendMessageA(hWnd, WM_GETTEXT, sizeof(buffer), reinterpret_cast<LPARAM>(buffer));
    return std::string(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
}

std::string CRobot::ControlText(HWND hDlg, int id)
{
    HWND control = GetDlgItem(hDlg, id);
    return control ? WindowText(control) : std::string();
}

bool CRobot::IsControlEnabled(HWND hDlg, int id)
{
    HWND control = GetDlgItem(hDlg, id);
    return control && IsWindowEnabled(control);
}

bool CRobot::IsChecked(HWND hDlg, int id)
{
    return SendDlgItemMessageA(hDlg, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void CRobot::Click(HWND hDlg, int id)
{
    HWND control = GetDlgItem(hDlg, id);
    if (!control)
    {
        return;
    }
    const std::vector<HWND> before = Windows();
    const LONG click = ++g_clicksSent;
    if (!SendMessageCallbackA(control, BM_CLICK, 0, 0, &ClickAnswered,
                              static_cast<ULONG_PTR>(click)))
    {
        return;
    }
    // The click is handled when its answer comes back; one that opens a modal window
    // answers only when that closes, so a window coming or going ends the wait too.
    WaitUntil(
        [&]
        {
            MSG msg;
            PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE); // takes the answer in
            return g_clicksAnswered >= click || Windows() != before || !IsWindow(control);
        },
        10000);
}

void CRobot::SetText(HWND hDlg, int id, const std::string& text)
{
    HWND control = GetDlgItem(hDlg, id);
    if (control)
    {
        SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
}

void CRobot::SendKey(HWND hWnd, WORD virtualKey)
{
    // Dialog navigation keys reach the dialog manager through the focus window.
    PostMessageA(hWnd, WM_KEYDOWN, virtualKey, 1);
    PostMessageA(hWnd, WM_KEYUP, virtualKey, 0xC0000001);
    WaitHandled(hWnd);
}

bool CRobot::IsRunning() const
{
    return m_process.hProcess && WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT;
}

bool CRobot::DriveSetup(const RobotPath& path, RobotMessageBox& box, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    std::vector<HWND> met;
    while (GetTickCount() - start < timeoutMs && IsRunning())
    {
        if (WaitMessageBox(box, 50))
        {
            const bool folder =
                box.text.find("Uninstalling the product later removes this folder") !=
                std::string::npos;
            const bool uninstall = box.text.rfind("Uninstalling removes ", 0) == 0;
            const int answer = folder      ? path.existingFolderAnswer
                               : uninstall ? path.uninstallAnswer
                                           : 0;
            if (answer == 0)
            {
                return true;
            }
            Answer(box, answer);
            WaitWindowGone(box.hWnd, 5000);
            continue;
        }
        for (HWND hWnd : Windows())
        {
            const std::string caption = WindowText(hWnd);
            // Untitled windows are the system's helpers, not the setup's dialogs.
            if (caption.empty() || IsMessageBox(hWnd) ||
                std::find(met.begin(), met.end(), hWnd) != met.end())
            {
                continue;
            }
            met.push_back(hWnd);
            if (path.onWindow)
            {
                path.onWindow(hWnd, caption);
            }
            if (caption.find(" - Installation Build ") != std::string::npos)
            {
                Click(hWnd, path.menuButton);
            }
            else if (caption == "Permission")
            {
                if (!IsChecked(hWnd, IDC_ACCEPT))
                {
                    Click(hWnd, IDC_ACCEPT);
                }
                Click(hWnd, IDC_INSTALL);
            }
            else if (caption == "Choose Install Path")
            {
                if (!path.installPath.empty())
                {
                    SetText(hWnd, IDC_PATH, path.installPath);
                }
                Click(hWnd, IDOK);
            }
            else if (caption == "Query Replace File")
            {
                Click(hWnd, path.replaceAnswer);
            }
        }
    }
    return false;
}

bool CRobot::WaitExit(DWORD timeoutMs, DWORD* exitCode)
{
    if (!m_process.hProcess || WaitForSingleObject(m_process.hProcess, timeoutMs) != WAIT_OBJECT_0)
    {
        return false;
    }
    if (exitCode)
    {
        GetExitCodeProcess(m_process.hProcess, exitCode);
    }
    return true;
}

bool CRobot::Capture(HWND hWnd, const std::string& bmpPath)
{
    RECT rect;
    if (!GetWindowRect(hWnd, &rect))
    {
        return false;
    }
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER info;
    ZeroMemory(&info, sizeof(info));
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::vector<BYTE> pixels(stride * static_cast<DWORD>(height));
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
              reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER file;
    ZeroMemory(&file, sizeof(file));
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* out = std::fopen(bmpPath.c_str(), "wb");
    if (!out)
    {
        return false;
    }
    const bool written = std::fwrite(&file, sizeof(file), 1, out) == 1 &&
                         std::fwrite(&info, sizeof(info), 1, out) == 1 &&
                         std::fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
    return std::fclose(out) == 0 && written;
}
