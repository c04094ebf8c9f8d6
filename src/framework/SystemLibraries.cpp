#include "framework/SystemLibraries.h"

#include <cstring>

const char* const CSystemLibraries::kLateLoaded[41] = {
    // Window frames, drawing, message boxes and the system's start-up helpers.
    "uxtheme.dll", "msimg32.dll", "dwmapi.dll", "oleacc.dll", "winmm.dll", "userenv.dll",
    "profapi.dll", "apphelp.dll", "cryptbase.dll", "version.dll",
    // COM, which makes the shell link and the folder browser's namespace, and what it loads
    // for its resources and its calls between processes (XP, 7).
    "clbcatq.dll", "propsys.dll", "comres.dll", "rpcrtremote.dll",
    // The folder browser and the shell link: the shell's view, the sharing and offline-files
    // overlays, link tracking, network names, and what those load in turn.
    "shdocvw.dll", "linkinfo.dll", "ntshrui.dll", "cscui.dll", "cscdll.dll", "cscapi.dll",
    "mpr.dll", "netapi32.dll", "srvcli.dll", "wkscli.dll", "netutils.dll", "samlib.dll", "slc.dll",
    "setupapi.dll",
    // Vista's and 7's folder browser (the namespace tree and the user interface it is drawn
    // with, the icons' codecs), the session queries of the shell, and the installer the shell
    // asks about an advertised link.
    "explorerframe.dll", "duser.dll", "dui70.dll", "windowscodecs.dll", "wtsapi32.dll",
    "winsta.dll", "msi.dll",
    // The folder rights, and the trust and security providers behind them and the shell.
    "ntmarta.dll", "wintrust.dll", "cryptsp.dll", "rsaenh.dll", "sspicli.dll", "secur32.dll"};

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
