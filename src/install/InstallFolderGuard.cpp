#include "install/InstallFolderGuard.h"

#include "config/RegistryKey.h"
#include "framework/AnsiText.h"
#include "framework/SpecialFolders.h"
#include "framework/Win32Handles.h"

#include <shlobj.h>

#include <vector>

namespace InstallFolderGuard
{
namespace
{
// Windows' own folders and those of its users: an install folder that is or holds one
// would take it with it when the product is removed. Missing ones (many do not exist on
// every system) are passed over.
const int kGuardedFolders[] = {
    CSIDL_WINDOWS,
    CSIDL_SYSTEM,
    CSIDL_SYSTEMX86,
    CSIDL_FONTS,
    CSIDL_RESOURCES,
    CSIDL_PROGRAM_FILES,
    CSIDL_PROGRAM_FILESX86,
    CSIDL_PROGRAM_FILES_COMMON,
    CSIDL_PROGRAM_FILES_COMMONX86,
    CSIDL_PROFILE,
    CSIDL_DESKTOPDIRECTORY,
    CSIDL_PERSONAL,
    CSIDL_MYPICTURES,
    CSIDL_MYMUSIC,
    CSIDL_MYVIDEO,
    CSIDL_FAVORITES,
    CSIDL_APPDATA,
    CSIDL_LOCAL_APPDATA,
    CSIDL_STARTMENU,
    CSIDL_PROGRAMS,
    CSIDL_STARTUP,
    CSIDL_RECENT,
    CSIDL_SENDTO,
    CSIDL_TEMPLATES,
    CSIDL_NETHOOD,
    CSIDL_PRINTHOOD,
    CSIDL_INTERNET_CACHE,
    CSIDL_COOKIES,
    CSIDL_HISTORY,
    CSIDL_ADMINTOOLS,
    CSIDL_CDBURN_AREA,
    CSIDL_COMMON_DESKTOPDIRECTORY,
    CSIDL_COMMON_DOCUMENTS,
    CSIDL_COMMON_PICTURES,
    CSIDL_COMMON_MUSIC,
    CSIDL_COMMON_VIDEO,
    CSIDL_COMMON_FAVORITES,
    CSIDL_COMMON_APPDATA,
    CSIDL_COMMON_STARTMENU,
    CSIDL_COMMON_PROGRAMS,
    CSIDL_COMMON_STARTUP,
    CSIDL_COMMON_TEMPLATES,
    CSIDL_COMMON_ADMINTOOLS,
};

// Where the shell does not know Program Files (older systems), the registry does; a
// 32-bit program on a 64-bit system also learns the 64-bit one from there.
const char kCurrentVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char* const kProgramFilesValues[] = {
    "ProgramFilesDir",      "CommonFilesDir",  "ProgramFilesDir (x86)",
    "CommonFilesDir (x86)", "ProgramW6432Dir", "CommonW6432Dir",
};

std::string FromBuffer(const char* buffer, DWORD length, DWORD size)
{
    return length > 0 && length < size ? std::string(buffer, length) : std::string();
}

// The 8.3 form of an existing path; empty where the system keeps none.
std::string ShortOf(const std::string& path)
{
    char buffer[1024];
    return FromBuffer(buffer, GetShortPathNameA(path.c_str(), buffer, sizeof(buffer)),
                      sizeof(buffer));
}

class CGuarded
{
public:
    // Each folder in its long form and, where the system keeps one, its 8.3 form.
    void Add(const std::string& folder)
    {
        if (folder.empty())
        {
            return;
        }
        Keep(folder, folder);
        const std::string shortForm = ShortOf(folder);
        if (!shortForm.empty())
        {
            Keep(shortForm, folder);
        }
    }

    std::vector<std::u16string> wide;
    std::vector<std::string> shown;

private:
    void Keep(const std::string& form, const std::string& name)
    {
        std::u16string converted = AnsiText::Widen(form);
        if (!converted.empty())
        {
            wide.push_back(converted);
            shown.push_back(name);
        }
    }
};

CGuarded GuardedFolders()
{
    CGuarded guarded;
    char buffer[1024];
    guarded.Add(FromBuffer(buffer, GetWindowsDirectoryA(buffer, sizeof(buffer)), sizeof(buffer)));
    guarded.Add(FromBuffer(buffer, GetSystemDirectoryA(buffer, sizeof(buffer)), sizeof(buffer)));
    guarded.Add(FromBuffer(buffer, GetTempPathA(sizeof(buffer), buffer), sizeof(buffer)));
    for (const char* variable : {"ProgramW6432", "USERPROFILE", "ALLUSERSPROFILE"})
    {
        guarded.Add(FromBuffer(buffer, GetEnvironmentVariableA(variable, buffer, sizeof(buffer)),
                               sizeof(buffer)));
    }
    for (int csidl : kGuardedFolders)
    {
        std::string path;
        if (SpecialFolders::Find(csidl, path))
        {
            guarded.Add(path);
        }
    }
    CRegistryKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, kCurrentVersionKey, KEY_QUERY_VALUE))
    {
        for (const char* value : kProgramFilesValues)
        {
            std::string path;
            if (key.QueryString(value, path))
            {
                guarded.Add(path);
            }
        }
    }
    return guarded;
}
} // namespace

InstallFolderRules::Verdict Check(const std::string& folder, std::string& guardedFolder)
{
    const CGuarded guarded = GuardedFolders();
    // The folder as typed, and, when it exists, in its 8.3 form too: "C:\PROGRA~1" is
    // Program Files, whichever spelling either side uses.
    std::vector<std::u16string> forms = {AnsiText::Widen(folder)};
    const std::string shortForm = ShortOf(folder);
    if (!shortForm.empty())
    {
        forms.push_back(AnsiText::Widen(shortForm));
    }
    InstallFolderRules::Verdict verdict = InstallFolderRules::Verdict::Accepted;
    for (const std::u16string& form : forms)
    {
        size_t which = 0;
        verdict = InstallFolderRules::Judge(form, guarded.wide, &which);
        if (verdict == InstallFolderRules::Verdict::GuardedFolder)
        {
            guardedFolder = guarded.shown[which];
        }
        if (verdict != InstallFolderRules::Verdict::Accepted)
        {
            break;
        }
    }
    return verdict;
}

bool HoldsAnything(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    CFindHandle search(FindFirstFileA((folder + "\\*").c_str(), &found));
    if (!search.IsValid())
    {
        return false;
    }
    do
    {
        const std::string name = found.cFileName;
        if (name != "." && name != "..")
        {
            return true;
        }
    } while (FindNextFileA(search.Get(), &found));
    return false;
}
} // namespace InstallFolderGuard
