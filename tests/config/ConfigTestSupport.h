// Shared ground of the configuration tests under Wine: an application object that records
// its message boxes, a recorder of the progress window's status lines, and registry and
// file helpers that work without the code under test.
#pragma once

#include "app/KelvarinApp.h"

#include <windows.h>

#include <string>
#include <vector>

namespace ConfigTest
{
// Records every message box instead of showing it; answers OK.
class CTestApp : public CKelvarinApp
{
public:
    explicit CTestApp(bool ardent = true);
    int DoMessageBox(const std::string& text, UINT type) override;

    std::vector<std::string> messages;
};

// Every text given to the progress window's status lines, in order ("1:text", "2:text"),
// seen through a hook on this thread's sent messages: the window repaints too fast for
// anything else to see the sequence.
class CStatusRecorder
{
public:
    explicit CStatusRecorder(HWND dlg);
    ~CStatusRecorder();
    CStatusRecorder(const CStatusRecorder&) = delete;
    CStatusRecorder& operator=(const CStatusRecorder&) = delete;

    static std::vector<std::string> s_lines;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
    static HWND s_dlg;
    HHOOK m_hook;
};

std::string ControlText(HWND dlg, int id);

// Registry, straight through the platform.
bool KeyExists(const std::string& path);
void DeleteKeyTree(const std::string& path);
// Values and subkeys directly in the key; -1 when it cannot be opened.
int CountValues(const std::string& path);
int CountSubKeys(const std::string& path);
bool ReadDword(const std::string& path, const std::string& name, DWORD& value);
bool ReadRaw(const std::string& path, const std::string& name, DWORD& type,
             std::vector<BYTE>& data);
void WriteDword(const std::string& path, const std::string& name, DWORD value);

// Files.
std::string TempFolder(const std::string& name); // fresh and empty
void RemoveTree(const std::string& path);
bool FileExists(const std::string& path);
// Folder of the running test executable, no trailing backslash.
std::string ExeFolder();
// Path of a stand-in control module built beside the tests ("reg_ok.dll", ...).
std::string ModulePath(const std::string& file);
} // namespace ConfigTest
