#include "TestFiles.h"

#include <shlobj.h>

#include <algorithm>

namespace TestFiles
{
std::string FromUnixPath(const std::string& unixPath)
{
    std::string path = "Z:" + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string UnixPath(const std::string& path)
{
    typedef char*(CDECL * UnixNameFn)(LPCWSTR);
    const UnixNameFn toUnix = reinterpret_cast<UnixNameFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    WCHAR wide[MAX_PATH] = L"";
    char* unixName = nullptr;
    if (!toUnix || !MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH) ||
        !(unixName = toUnix(wide)))
    {
        return std::string();
    }
    std::string result = unixName;
    HeapFree(GetProcessHeap(), 0, unixName);
    return result;
}

bool RunUnix(const char* program, const std::string& commandLine)
{
    // Wine starts a Unix program without a process handle to wait on, so a later step
    // could meet it still running (a late "rm" once took the next test's new link). A
    // shell runs it instead and leaves its exit status in a file, renamed into place
    // whole; the status's arrival is its end.
    static LONG runs = 0;
    const std::string status = "/tmp/kelvarin-unix-" + std::to_string(GetCurrentProcessId()) + "-" +
                               std::to_string(InterlockedIncrement(&runs));
    const std::string windowsStatus = FromUnixPath(status);
    std::string unixProgram = std::string(program).substr(2); // "Z:\bin\ln" runs /bin/ln
    std::replace(unixProgram.begin(), unixProgram.end(), '\\', '/');
    const std::string command =
        "\"" + unixProgram + "\"" +
        commandLine.substr(std::min(commandLine.find(' '), commandLine.size()));
    std::string quoted;
    for (const char c :
         command + "; echo $? >" + status + ".new && mv " + status + ".new " + status)
    {
        quoted += c == '"' ? "\\\"" : std::string(1, c);
    }
    std::string line = "sh -c \"" + quoted + "\"";
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof(process));
    if (!CreateProcessA("Z:\\bin\\sh", buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
    {
        return false;
    }
    for (HANDLE handle : {process.hThread, process.hProcess})
    {
        if (handle)
        {
            CloseHandle(handle);
        }
    }
    for (int i = 0; i < 1500 && !Exists(windowsStatus); ++i)
    {
        Sleep(20);
    }
    const std::string exitCode = ReadText(windowsStatus);
    DeleteFileA(windowsStatus.c_str());
    return exitCode == "0\n";
}

bool MakeFolderLink(const std::string& target, const std::string& link, std::string& why)
{
    const std::string::size_type slash = link.find_last_of('\\');
    const std::string unixTarget = UnixPath(target);
    const std::string unixFolder =
        slash == std::string::npos ? "" : UnixPath(link.substr(0, slash));
    if (unixTarget.empty() || unixFolder.empty())
    {
        why = "no Unix path for " + target + " or " + link + " (not running under Wine?)";
        return false;
    }
    const std::string unixLink = unixFolder + "/" + link.substr(slash + 1);
    RunUnix("Z:\\bin\\ln", "ln -sfn \"" + unixTarget + "\" \"" + unixLink + "\"");
    // Wine may take a moment to see what another process made.
    for (int i = 0; i < 500; ++i)
    {
        const DWORD attributes = GetFileAttributesA(link.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        {
            return true;
        }
        Sleep(20);
    }
    why = "the link " + unixLink + " -> " + unixTarget + " did not appear";
    return false;
}

void RemoveFolderLink(const std::string& link)
{
    const std::string unixLink = UnixPath(link);
    if (!unixLink.empty())
    {
        RunUnix("Z:\\bin\\rm", "rm -f \"" + unixLink + "\"");
    }
    for (int i = 0; i < 500 && Exists(link); ++i)
    {
        Sleep(20);
    }
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE)
    {
        do
        {
            const std::string name = found.cFileName;
            if (name == "." || name == "..")
            {
                continue;
            }
            const std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            {
                RemoveTree(child);
            }
            else if (!RemoveDirectoryA(child.c_str()))
            {
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!RemoveDirectoryA(path.c_str()))
    {
        DeleteFileA(path.c_str());
    }
}

bool WriteText(const std::string& path, const std::string& text)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        return false;
    }
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::vector<uint8_t> bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        return bytes;
    }
    char chunk[65536];
    DWORD done = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &done, nullptr) && done > 0)
    {
        bytes.insert(bytes.end(), chunk, chunk + done);
    }
    CloseHandle(file);
    return bytes;
}

std::string ReadText(const std::string& path)
{
    const std::vector<uint8_t> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> List(const std::string& folder, const std::string& pattern)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\" + pattern).c_str(), &found);
    if (search != INVALID_HANDLE_VALUE)
    {
        do
        {
            names.push_back(found.cFileName);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string ExeFolder()
{
    char path[MAX_PATH] = "";
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string folder(path, length);
    folder.erase(folder.find_last_of('\\'));
    return folder;
}

std::string Fixture(const std::string& name)
{
    return ExeFolder() + "\\" + name;
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

std::string SystemText(DWORD code)
{
    char buffer[4096] = "";
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, buffer, sizeof(buffer), nullptr);
    std::string text(buffer, length);
    text.erase(text.find_last_not_of(" \r\n") + 1);
    return text;
}

Link ReadLink(const std::string& file, bool rawPath)
{
    Link link;
    IShellLinkA* shellLink = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&shellLink))))
    {
        return link;
    }
    IPersistFile* persist = nullptr;
    WCHAR wide[MAX_PATH];
    if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))))
    {
        link.loaded = MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH) &&
                      SUCCEEDED(persist->Load(wide, STGM_READ));
        persist->Release();
    }
    if (link.loaded)
    {
        char text[MAX_PATH];
        auto read = [&](auto call)
        {
            text[0] = '\0';
            return SUCCEEDED(call()) ? std::string(text) : std::string();
        };
        const DWORD flags = rawPath ? SLGP_RAWPATH : 0;
        link.path = read([&] { return shellLink->GetPath(text, MAX_PATH, nullptr, flags); });
        link.arguments = read([&] { return shellLink->GetArguments(text, MAX_PATH); });
        link.folder = read([&] { return shellLink->GetWorkingDirectory(text, MAX_PATH); });
        link.description = read([&] { return shellLink->GetDescription(text, MAX_PATH); });
        link.icon =
            read([&] { return shellLink->GetIconLocation(text, MAX_PATH, &link.iconIndex); });
    }
    shellLink->Release();
    return link;
}

bool RunBootProcessing()
{
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    char command[] = "wineboot.exe -r";
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
    {
        return false;
    }
    const bool done = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return done;
}

CScratch::CScratch(const std::string& name) : m_path("C:\\insttest\\" + name)
{
    CreateDirectoryA("C:\\insttest", nullptr);
    RemoveTree(m_path);
    CreateDirectoryA(m_path.c_str(), nullptr);
}

CScratch::~CScratch()
{
    RemoveTree(m_path);
}

CFileHolder::CFileHolder(const std::string& path) : m_holding(false)
{
    ZeroMemory(&m_process, sizeof(m_process));
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    std::string command = "\"" + FromUnixPath(KELVARIN_FILE_HOLDER) + "\" \"" + path + "\"";
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &m_process))
    {
        return;
    }
    // Held once an open that shares everything is refused.
    for (int i = 0; i < 500 && !m_holding; ++i)
    {
        HANDLE probe = CreateFileA(path.c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
        if (probe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION)
        {
            m_holding = true;
            break;
        }
        if (probe != INVALID_HANDLE_VALUE)
        {
            CloseHandle(probe);
        }
        if (WaitForSingleObject(m_process.hProcess, 20) == WAIT_OBJECT_0)
        {
            break;
        }
    }
}

CFileHolder::~CFileHolder()
{
    Release();
}

void CFileHolder::Release()
{
    if (m_process.hProcess)
    {
        TerminateProcess(m_process.hProcess, 0);
        WaitForSingleObject(m_process.hProcess, 10000);
        CloseHandle(m_process.hProcess);
        CloseHandle(m_process.hThread);
        m_process.hProcess = nullptr;
    }
    m_holding = false;
}
} // namespace TestFiles
