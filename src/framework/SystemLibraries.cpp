#include "framework/SystemLibraries.h"

#include <cstring>

const char* const CSystemLibraries::kLateLoaded[15] = {
    "uxtheme.dll",  "msimg32.dll", "userenv.dll",  "dwmapi.dll",  "cryptbase.dll",
    "oleacc.dll",   "propsys.dll", "apphelp.dll",  "profapi.dll", "ntmarta.dll",
    "wintrust.dll", "clbcatq.dll", "setupapi.dll", "version.dll", "rsaenh.dll"};

CSystemLibraries::CSystemLibraries() : m_search(Narrow())
{
    for (size_t i = 0; i < sizeof(kLateLoaded) / sizeof(kLateLoaded[0]); ++i)
    {
        m_loaded[i].Reset(Load(kLateLoaded[i]));
    }
}

CSystemLibraries::Search CSystemLibraries::Narrow()
{
    // Both are looked up: the 9x family and the older NT versions lack them.
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
    const auto setDefaultDirectories =
        Bind<SetDefaultDllDirectoriesFn>(kernel, "SetDefaultDllDirectories");
    if (setDefaultDirectories && setDefaultDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32))
    {
        return Search::SystemFolderOnly;
    }
    const auto setDllDirectory = Bind<SetDllDirectoryFn>(kernel, "SetDllDirectoryA");
    if (setDllDirectory && setDllDirectory(""))
    {
        return Search::CurrentFolderLeftOut;
    }
    return Search::Unchanged;
}

HMODULE CSystemLibraries::Load(const char* fileName)
{
    char path[MAX_PATH + 32] = "";
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    const size_t nameLength = std::strlen(fileName);
    if (length == 0 || length >= MAX_PATH || length + 1 + nameLength >= sizeof(path))
    {
        if (length != 0)
        {
            SetLastError(ERROR_BUFFER_OVERFLOW);
        }
        return nullptr;
    }
    size_t end = length;
    if (path[end - 1] != '\\')
    {
        path[end++] = '\\';
    }
    std::memcpy(path + end, fileName, nameLength + 1);
    // A library loaded by its full path still has its own imports looked for beside the
    // program, unless the search starts in the library's folder.
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
