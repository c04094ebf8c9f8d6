#include "install/InstallFolderGuard.h"

#include "config/RegistryKey.h"
#include "framework/AnsiText.h"
#include "framework/Platform.h"
#include "framework/SpecialFolders.h"
#include "framework/SystemLibraries.h"
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

// Every profile the system keeps, not only the running user's: the setup runs as an
// administrator, often another account than the user who started it. The NT family lists
// them with the profiles' root and the shared profiles; the 9x family keeps them below
// <Windows>\Profiles where user profiles are on.
const char kProfileListNT[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
const char kProfileList9x[] = "Software\\Microsoft\\Windows\\CurrentVersion\\ProfileList";
const char* const kProfileRootValues[] = {"ProfilesDirectory", "DefaultUserProfile", "Default",
                                          "AllUsersProfile", "Public"};

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
        Keep(folder, folder, longForms);
        const std::string shortForm = ShortOf(folder);
        if (!shortForm.empty())
        {
            Keep(shortForm, folder, shortForms);
        }
    }

    // A folder that may be there but could not be named or compared: nothing is judged
    // safe while one is missing from the list.
    void Fail(DWORD error) { failure = error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE; }
    // A key or value that is not there names no folder.
    void FailUnlessMissing(DWORD error)
    {
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_INVALID_DATATYPE)
        {
            Fail(error);
        }
    }

    struct Forms
    {
        std::vector<std::u16string> wide;
        std::vector<std::string> shown; // the long form, to name it to the user
    };
    // The disk knows a folder by either name: the long forms alone are looked at there.
    Forms longForms;
    Forms shortForms;
    DWORD failure = ERROR_SUCCESS;

private:
    void Keep(const std::string& form, const std::string& name, Forms& forms)
    {
        std::u16string converted;
        if (!AnsiText::Widen(form, converted))
        {
            Fail(GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_NO_UNICODE_TRANSLATION);
            return;
        }
        forms.wide.push_back(converted);
        forms.shown.push_back(name);
    }
};

// A registry path with its %variables% expanded from the process's environment, as the
// system reads a REG_EXPAND_SZ; a variable it does not have stays as written (and names no
// folder, as for the system).
std::string Expanded(const std::string& text)
{
    char buffer[1024];
    // The count includes the terminating zero.
    const DWORD length = ExpandEnvironmentStringsA(text.c_str(), buffer, sizeof(buffer));
    return length > 0 && length <= sizeof(buffer) ? std::string(buffer) : text;
}

// The profiles of every account, read from the system's list of them.
void AddProfiles(CGuarded& guarded, bool windowsNT)
{
    CRegistryKey list;
    if (!list.Open(HKEY_LOCAL_MACHINE, windowsNT ? kProfileListNT : kProfileList9x,
                   KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS))
    {
        guarded.FailUnlessMissing(GetLastError());
        return;
    }
    std::string root;
    if (windowsNT)
    {
        for (const char* value : kProfileRootValues)
        {
            std::string path;
            if (!list.QueryString(value, path))
            {
                guarded.FailUnlessMissing(GetLastError());
                continue;
            }
            path = Expanded(path);
            // XP names the shared profiles by their folder in the profiles' root.
            if (value == kProfileRootValues[0])
            {
                root = path;
            }
            else if (!root.empty() && path.find('\\') == std::string::npos)
            {
                path = root + "\\" + path;
            }
            guarded.Add(path);
        }
    }
    else
    {
        char windows[1024];
        guarded.Add(
            FromBuffer(windows, GetWindowsDirectoryA(windows, sizeof(windows)), sizeof(windows)) +
            "\\Profiles");
    }
    for (DWORD index = 0;; ++index)
    {
        std::string name, className;
        if (!list.EnumSubKey(index, name, className))
        {
            if (GetLastError() != ERROR_NO_MORE_ITEMS)
            {
                guarded.Fail(GetLastError());
            }
            return;
        }
        CRegistryKey profile;
        std::string path;
        if (!profile.Open(list.GetHandle(), name, KEY_QUERY_VALUE) ||
            !profile.QueryString("ProfileImagePath", path))
        {
            guarded.FailUnlessMissing(GetLastError());
            continue;
        }
        guarded.Add(Expanded(path));
    }
}

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
        HRESULT result = S_OK;
        if (SpecialFolders::Find(csidl, path, &result))
        {
            guarded.Add(path);
        }
        else if (result == E_OUTOFMEMORY || result == E_ACCESSDENIED ||
                 result == HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY))
        {
            // The folder may well be there: the shell could not say where.
            guarded.Fail(static_cast<DWORD>(result));
        }
    }
    AddProfiles(guarded, Platform::IsWindowsNT());
    CRegistryKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, kCurrentVersionKey, KEY_QUERY_VALUE))
    {
        guarded.FailUnlessMissing(GetLastError());
        return guarded;
    }
    for (const char* value : kProgramFilesValues)
    {
        std::string path;
        if (key.QueryString(value, path))
        {
            guarded.Add(path);
        }
        else
        {
            guarded.FailUnlessMissing(GetLastError());
        }
    }
    return guarded;
}

using InstallFolderRules::Seen;

Seen Unreadable(DWORD error)
{
    Seen seen;
    seen.state = Seen::State::Unreadable;
    seen.error = error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
    return seen;
}

// Where an open folder really lies, every link on the way followed: Vista and later say,
// through kernel32's GetFinalPathNameByHandleW. XP and 2000 have no such call; there, and
// where the call fails (a volume without a drive letter), a guarded folder is known by its
// path as written and the folders above that, so a folder that holds a junctioned profile
// only at its target is told by nothing on those systems.
using FinalPathFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);

std::u16string RealPath(FinalPathFn finalPath, HANDLE folder)
{
    wchar_t buffer[1024];
    const DWORD length =
        finalPath ? finalPath(folder, buffer, sizeof(buffer) / sizeof(buffer[0]), 0) : 0;
    if (length == 0 || length >= sizeof(buffer) / sizeof(buffer[0]))
    {
        return std::u16string();
    }
    std::u16string path(reinterpret_cast<const char16_t*>(buffer), length);
    // "\\?\C:\..." or "\\?\UNC\server\share\...", turned into the forms a user types.
    if (path.compare(0, 8, u"\\\\?\\UNC\\") == 0)
    {
        return u"\\\\" + path.substr(8);
    }
    return path.compare(0, 4, u"\\\\?\\") == 0 ? path.substr(4) : std::u16string();
}

// Which folder the disk finds at `folder`: its volume and file index, read through a
// handle that follows every link on the way, whether the path itself is a link, and where
// it really lies.
Seen LookAt(FinalPathFn finalPath, const std::u16string& folder)
{
    std::string path;
    if (!AnsiText::Narrow(folder.data(), folder.size(), path))
    {
        return Unreadable(GetLastError());
    }
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
    {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Seen()
                                                                              : Unreadable(error);
    }
    // Reading attributes asks for no right on the folder itself, so no one's folder is
    // refused for being locked against listing.
    CFileHandle handle(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    if (!handle.IsValid() || !GetFileInformationByHandle(handle.Get(), &information))
    {
        return Unreadable(GetLastError());
    }
    Seen seen;
    seen.state = Seen::State::Known;
    seen.volume = information.dwVolumeSerialNumber;
    seen.index =
        (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    seen.link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    seen.real = RealPath(finalPath, handle.Get());
    return seen;
}
} // namespace

InstallFolderRules::Verdict Check(const std::string& folder, std::string& guardedFolder)
{
    using InstallFolderRules::Verdict;
    const CGuarded guarded = GuardedFolders();
    // The folder as typed and, where it exists, in its 8.3 form: "C:\PROGRA~1" is Program
    // Files, whichever spelling either side uses.
    const std::string shortForm = ShortOf(folder);
    std::u16string wide, shortWide;
    if (!AnsiText::Widen(folder, wide) || !AnsiText::Widen(shortForm, shortWide))
    {
        SetLastError(GetLastError() != ERROR_SUCCESS ? GetLastError()
                                                     : ERROR_NO_UNICODE_TRANSLATION);
        return Verdict::Unknown;
    }
    // Each spelling of the folder against each spelling of the guarded folders.
    Verdict verdict = Verdict::Accepted;
    for (const std::u16string* form : {&wide, &shortWide})
    {
        for (const CGuarded::Forms* forms : {&guarded.longForms, &guarded.shortForms})
        {
            size_t which = 0;
            if (verdict == Verdict::Accepted && !form->empty())
            {
                verdict = InstallFolderRules::Judge(*form, forms->wide, &which);
                guardedFolder = verdict == Verdict::GuardedFolder ? forms->shown[which] : "";
            }
        }
    }
    uint32_t error = ERROR_SUCCESS;
    if (verdict == Verdict::Accepted && guarded.failure != ERROR_SUCCESS)
    {
        // A guarded folder is missing from the list: nothing is judged safe.
        verdict = Verdict::Unknown;
        error = guarded.failure;
    }
    else if (verdict == Verdict::Accepted && Platform::IsWindowsNT())
    {
        // The NT family tells a folder by what it is, whichever path leads there; the 9x
        // family has no links, and text is the rule there.
        // Imported by the setup, so loaded already: nothing is looked for by name.
        const FinalPathFn finalPath = CSystemLibraries::Bind<FinalPathFn>(
            GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleW");
        size_t which = 0;
        verdict = InstallFolderRules::JudgeOnDisk(
            wide, guarded.longForms.wide,
            [finalPath](const std::u16string& path) { return LookAt(finalPath, path); }, &which,
            &error);
        if (verdict == Verdict::GuardedFolder)
        {
            guardedFolder = guarded.longForms.shown[which];
        }
    }
    SetLastError(error);
    return verdict;
}

Contents LookInside(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    CFindHandle search(FindFirstFileA((folder + "\\*").c_str(), &found));
    if (!search.IsValid())
    {
        // Only a folder that is not there, or has no entries at all, is empty; one that
        // cannot be listed may hold anything, a link's target among them.
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
            error == ERROR_NO_MORE_FILES)
        {
            return Contents::Empty;
        }
        SetLastError(error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE);
        return Contents::Unknown;
    }
    do
    {
        const std::string name = found.cFileName;
        if (name != "." && name != "..")
        {
            return Contents::Something;
        }
    } while (FindNextFileA(search.Get(), &found));
    const DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES)
    {
        SetLastError(error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE);
        return Contents::Unknown;
    }
    return Contents::Empty;
}
} // namespace InstallFolderGuard
