#include "ConfigTestSupport.h"

#include "Robot.h"

#include "ui/resource.h"

namespace ConfigTest
{
CTestApp::CTestApp(bool ardent) : CKelvarinApp(ardent)
{
    m_bArdent = ardent ? TRUE : FALSE;
}

int CTestApp::DoMessageBox(const std::string& text, UINT /*type*/)
{
    messages.push_back(text);
    return IDOK;
}

std::vector<std::string> CStatusRecorder::s_lines;
HWND CStatusRecorder::s_dlg = nullptr;

CStatusRecorder::CStatusRecorder(HWND dlg)
{
    s_dlg = dlg;
    s_lines.clear();
    m_hook = SetWindowsHookExA(WH_CALLWNDPROC, &Hook, nullptr, GetCurrentThreadId());
}

CStatusRecorder::~CStatusRecorder()
{
    UnhookWindowsHookEx(m_hook);
}

LRESULT CALLBACK CStatusRecorder::Hook(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_SETTEXT && GetParent(call->hwnd) == s_dlg)
    {
        const int id = GetDlgCtrlID(call->hwnd);
        if (id == IDC_STATUS_LINE1 || id == IDC_STATUS_LINE2)
        {
            s_lines.push_back((id == IDC_STATUS_LINE1 ? "1:" : "2:") +
                              std::string(reinterpret_cast<const char*>(call->lParam)));
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

std::string ControlText(HWND dlg, int id)
{
    char buffer[1024] = "";
    GetDlgItemTextA(dlg, id, buffer, sizeof(buffer));
    return buffer;
}

bool KeyExists(const std::string& path)
{
    return RobotRegistry::KeyExists(HKEY_LOCAL_MACHINE, path);
}

void DeleteKeyTree(const std::string& path)
{
    RobotRegistry::DeleteKeyTree(HKEY_LOCAL_MACHINE, path);
}

namespace
{
int QueryCount(const std::string& path, bool values)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    {
        return -1;
    }
    DWORD subKeys = 0;
    DWORD valueCount = 0;
    const LONG result = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                                         &valueCount, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
    {
        return -1;
    }
    return static_cast<int>(values ? valueCount : subKeys);
}
} // namespace

int CountValues(const std::string& path)
{
    return QueryCount(path, true);
}

int CountSubKeys(const std::string& path)
{
    return QueryCount(path, false);
}

bool ReadRaw(const std::string& path, const std::string& name, DWORD& type, std::vector<BYTE>& data)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    {
        return false;
    }
    DWORD size = 0;
    LONG result = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
    if (result == ERROR_SUCCESS)
    {
        data.assign(size + 1, 0);
        result = RegQueryValueExA(key, name.c_str(), nullptr, &type, data.data(), &size);
        data.resize(size);
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

bool ReadDword(const std::string& path, const std::string& name, DWORD& value)
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!ReadRaw(path, name, type, data) || type != REG_DWORD || data.size() != 4)
    {
        return false;
    }
    CopyMemory(&value, data.data(), 4);
    return true;
}

void WriteDword(const std::string& path, const std::string& name, DWORD value)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) == ERROR_SUCCESS)
    {
        RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof(value));
        RegCloseKey(key);
    }
}

std::string TempFolder(const std::string& name)
{
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof(temp), temp);
    const std::string path = std::string(temp) + name;
    RemoveTree(path);
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

void RemoveTree(const std::string& path)
{
    RobotFiles::RemoveTree(path);
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ExeFolder()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string folder = path;
    folder.erase(folder.find_last_of('\\'));
    return folder;
}

std::string ModulePath(const std::string& file)
{
    return ExeFolder() + "\\..\\modules\\" + file;
}
} // namespace ConfigTest
