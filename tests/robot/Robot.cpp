#include "Robot.h"

#include <cstdio>
#include <vector>

namespace
{
const DWORD kPollMs = 20;
// The static control that holds a message box's text.
const int kMessageBoxTextId = 0xFFFF;

struct FindContext
{
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND hWnd, LPARAM lParam)
{
    FindContext* context = reinterpret_cast<FindContext*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(hWnd, &owner);
    if (owner == context->processId && IsWindowVisible(hWnd))
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

bool SetWineVersion(const std::string& exeName, const std::string& winver)
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
        CloseHandle(m_process.hThread);
    }
}

bool CRobot::Launch(const std::string& exePath, const std::string& winver)
{
    if (m_process.hProcess)
    {
        return false; // one program per robot
    }
    std::string name = exePath.substr(exePath.find_last_of("\\/") + 1);
    if (!SetWineVersion(name, winver))
    {
        return false;
    }
    std::string folder = exePath.substr(0, exePath.find_last_of("\\/"));
    std::string commandLine = "\"" + exePath + "\"";
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    return CreateProcessA(exePath.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.c_str(), &startup, &m_process) != FALSE;
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

HWND CRobot::WaitWindow(const std::string& caption, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    do
    {
        for (HWND hWnd : Windows())
        {
            if (IsMessageBox(hWnd))
            {
                continue;
            }
            if (caption.empty() || WindowText(hWnd) == caption)
            {
                Sleep(100); // let it finish painting before anyone looks
                return hWnd;
            }
        }
        Sleep(kPollMs);
    } while (GetTickCount() - start < timeoutMs && IsRunning());
    return nullptr;
}

bool CRobot::WaitMessageBox(RobotMessageBox& box, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    do
    {
        for (HWND hWnd : Windows())
        {
            if (IsMessageBox(hWnd))
            {
                Sleep(100);
                box.hWnd = hWnd;
                box.caption = WindowText(hWnd);
                box.text = ControlText(hWnd, kMessageBoxTextId);
                return true;
            }
        }
        Sleep(kPollMs);
    } while (GetTickCount() - start < timeoutMs && IsRunning());
    return false;
}

bool CRobot::WaitWindowGone(HWND hWnd, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (IsWindow(hWnd) && IsWindowVisible(hWnd))
    {
        if (GetTickCount() - start >= timeoutMs)
        {
            return false;
        }
        Sleep(kPollMs);
    }
    return true;
}

std::string CRobot::WindowText(HWND hWnd)
{
    // WM_GETTEXT crosses process boundaries; GetWindowText would not for controls.
    char buffer[4096] = "";
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
    if (control)
    {
        PostMessageA(control, BM_CLICK, 0, 0);
    }
    Sleep(50);
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
    Sleep(50);
}

bool CRobot::IsRunning() const
{
    return m_process.hProcess && WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT;
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
