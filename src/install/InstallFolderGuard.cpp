#include "install/InstallFolderGuard.h"

#include "config/RegistryKey.h"
#include "framework/AnsiText.h"
#include "framework/Messages.h"
#include "framework/Platform.h"
#include "framework/SpecialFolders.h"
#include "framework/SystemError.h"
#include "framework/SystemLibraries.h"
#include "framework/Win32Handles.h"
#include "framework/resource.h"

#include <shlobj.h>

#include <functional>
#include <string>
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

// What the system answers into a buffer of 1,024 characters: through the W call on the NT
// family, where a name outside the code page comes back as the system keeps it; through the A
// call, widened, on the 9x family, whose W calls are stubs. `counted`: the call's count holds
// the terminating zero. False with the last error when there is no whole answer.
using WideCall = std::function<DWORD(wchar_t* buffer, DWORD size)>;
using AnsiCall = std::function<DWORD(char* buffer, DWORD size)>;

bool Read(bool windowsNT, const WideCall& wide, const AnsiCall& ansi, std::u16string& text,
          bool counted = false)
{
    text.clear();
    const DWORD kSize = 1024;
    const DWORD zero = counted ? 1 : 0;
    DWORD length = 0;
    if (windowsNT)
    {
        wchar_t buffer[kSize];
        length = wide(buffer, kSize);
        if (length > zero && length < kSize + zero)
        {
            text.assign(reinterpret_cast<const char16_t*>(buffer), length - zero);
            return true;
        }
    }
    else
    {
        char buffer[kSize];
        length = ansi(buffer, kSize);
        if (length > zero && length < kSize + zero)
        {
            return AnsiText::Widen(std::string(buffer, length - zero), text);
        }
    }
    if (length > zero)
    {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
    }
    return false;
}

// The 8.3 form of an existing path; empty where the system keeps none or cannot say.
std::u16string ShortOf(bool windowsNT, const std::u16string& path)
{
    std::string narrow;
    if (!windowsNT && !AnsiText::Narrow(path.data(), path.size(), narrow))
    {
        return std::u16string();
    }
    std::u16string shortForm;
    Read(
        windowsNT,
        [&](wchar_t* buffer, DWORD size)
        { return GetShortPathNameW(reinterpret_cast<const wchar_t*>(path.c_str()), buffer, size); },
        [&](char* buffer, DWORD size) { return GetShortPathNameA(narrow.c_str(), buffer, size); },
        shortForm);
    return shortForm;
}

// Whether a path's root lies on the network, told without touching it: a share always; on
// the NT family a drive the system calls remote, or cannot tell. The 9x family's guard reads
// no disk but for 8.3 names, and takes every drive for local.
bool OnNetwork(bool windowsNT, const std::u16string& path)
{
    const std::vector<std::u16string> way = InstallFolderRules::FolderAndAncestors(path);
    if (way.empty())
    {
        return false;
    }
    const std::u16string& root = way.back();
    if (root.compare(0, 2, u"\\\\") == 0)
    {
        return true;
    }
    if (!windowsNT)
    {
        return false;
    }
    const UINT kind = GetDriveTypeW(reinterpret_cast<const wchar_t*>(root.c_str()));
    return kind == DRIVE_REMOTE || kind == DRIVE_UNKNOWN;
}

class CGuarded
{
public:
    // `network`: guarded folders on the network are worth a look on the network.
    CGuarded(bool windowsNT, bool network) : m_windowsNT(windowsNT), m_network(network) {}

    // Each folder in its long form and, where the system keeps one, its 8.3 form.
    void Add(const std::u16string& folder)
    {
        if (folder.empty())
        {
            return;
        }
        longForms.push_back(folder);
        if (m_network || !OnNetwork(m_windowsNT, folder))
        {
            const std::u16string shortForm = ShortOf(m_windowsNT, folder);
            if (!shortForm.empty())
            {
                shortForms.push_back(shortForm);
                shortOf.push_back(longForms.size() - 1);
            }
        }
    }

    // A folder that may be there but could not be named: nothing is judged safe while one is
    // missing from the list.
    void Fail(DWORD error) { failure = error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE; }
    // A key or value that is not there names no folder.
    void FailUnlessMissing(DWORD error)
    {
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_INVALID_DATATYPE)
        {
            Fail(error);
        }
    }
    // A folder read through Read: its failure is a folder that could not be named.
    void AddRead(bool read, const std::u16string& folder)
    {
        if (read)
        {
            Add(folder);
        }
        else
        {
            Fail(GetLastError());
        }
    }

    bool WindowsNT() const { return m_windowsNT; }

    // The disk knows a folder by either name: the long forms alone are looked at there.
    std::vector<std::u16string> longForms;
    std::vector<std::u16string> shortForms;
    std::vector<size_t> shortOf; // the long form each short form stands for
    DWORD failure = ERROR_SUCCESS;

private:
    bool m_windowsNT;
    bool m_network;
};

// A registry path with its %variables% expanded from the process's environment, as the
// system reads a REG_EXPAND_SZ; a variable it does not have stays as written (and names no
// folder, as for the system). False with the last error when it cannot be expanded.
bool Expand(bool windowsNT, const std::u16string& text, std::u16string& expanded)
{
    std::string narrow;
    if (text.empty() || (!windowsNT && !AnsiText::Narrow(text.data(), text.size(), narrow)))
    {
        expanded.clear();
        return text.empty();
    }
    return Read(
        windowsNT,
        [&](wchar_t* buffer, DWORD size) {
            return ExpandEnvironmentStringsW(reinterpret_cast<const wchar_t*>(text.c_str()), buffer,
                                             size);
        },
        [&](char* buffer, DWORD size)
        { return ExpandEnvironmentStringsA(narrow.c_str(), buffer, size); },
        expanded, true);
}

// A path the registry keeps, as the system stores it on the NT family.
bool QueryPath(const CRegistryKey& key, bool windowsNT, const char* value, std::u16string& path)
{
    if (windowsNT)
    {
        return key.QueryStringW(value, path);
    }
    std::string narrow;
    return key.QueryString(value, narrow) && AnsiText::Widen(narrow, path);
}

// The profiles of every account, read from the system's list of them.
void AddProfiles(CGuarded& guarded)
{
    const bool windowsNT = guarded.WindowsNT();
    CRegistryKey list;
    if (!list.Open(HKEY_LOCAL_MACHINE, windowsNT ? kProfileListNT : kProfileList9x,
                   KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS))
    {
        guarded.FailUnlessMissing(GetLastError());
        return;
    }
    if (windowsNT)
    {
        std::u16string root;
        for (const char* value : kProfileRootValues)
        {
            std::u16string path, expanded;
            if (!QueryPath(list, true, value, path))
            {
                guarded.FailUnlessMissing(GetLastError());
                continue;
            }
            if (!Expand(true, path, expanded))
            {
                guarded.Fail(GetLastError());
                continue;
            }
            // XP names the shared profiles by their folder in the profiles' root.
            if (value == kProfileRootValues[0])
            {
                root = expanded;
            }
            else if (!root.empty() && expanded.find(u'\\') == std::u16string::npos)
            {
                expanded = root + u"\\" + expanded;
            }
            guarded.Add(expanded);
        }
    }
    else
    {
        std::u16string windows;
        guarded.AddRead(Read(
                            false, nullptr,
                            [](char* buffer, DWORD size)
                            { return GetWindowsDirectoryA(buffer, size); },
                            windows),
                        windows + u"\\Profiles");
    }
    for (DWORD index = 0;; ++index)
    {
        // The subkeys are named by the accounts' SIDs, plain ASCII.
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
        std::u16string path, expanded;
        if (!profile.Open(list.GetHandle(), name, KEY_QUERY_VALUE) ||
            !QueryPath(profile, windowsNT, "ProfileImagePath", path))
        {
            guarded.FailUnlessMissing(GetLastError());
            continue;
        }
        guarded.AddRead(Expand(windowsNT, path, expanded), expanded);
    }
}

CGuarded GuardedFolders(bool windowsNT, bool network)
{
    CGuarded guarded(windowsNT, network);
    std::u16string path;
    guarded.AddRead(
        Read(
            windowsNT,
            [](wchar_t* buffer, DWORD size) { return GetWindowsDirectoryW(buffer, size); },
            [](char* buffer, DWORD size) { return GetWindowsDirectoryA(buffer, size); }, path),
        path);
    guarded.AddRead(
        Read(
            windowsNT,
            [](wchar_t* buffer, DWORD size) { return GetSystemDirectoryW(buffer, size); },
            [](char* buffer, DWORD size) { return GetSystemDirectoryA(buffer, size); }, path),
        path);
    guarded.AddRead(Read(
                        windowsNT,
                        [](wchar_t* buffer, DWORD size) { return GetTempPathW(size, buffer); },
                        [](char* buffer, DWORD size) { return GetTempPathA(size, buffer); }, path),
                    path);
    for (const char* variable : {"ProgramW6432", "USERPROFILE", "ALLUSERSPROFILE"})
    {
        const std::wstring wideName(variable, variable + std::char_traits<char>::length(variable));
        SetLastError(ERROR_SUCCESS);
        const bool read = Read(
            windowsNT,
            [&](wchar_t* buffer, DWORD size)
            { return GetEnvironmentVariableW(wideName.c_str(), buffer, size); },
            [&](char* buffer, DWORD size)
            { return GetEnvironmentVariableA(variable, buffer, size); },
            path);
        // A variable the process does not have, or has empty, names no folder.
        if (read || (GetLastError() != ERROR_ENVVAR_NOT_FOUND && GetLastError() != ERROR_SUCCESS))
        {
            guarded.AddRead(read, path);
        }
    }
    for (int csidl : kGuardedFolders)
    {
        HRESULT result = S_OK;
        std::string narrow;
        const bool found = windowsNT ? SpecialFolders::Find(csidl, path, &result)
                                     : SpecialFolders::Find(csidl, narrow, &result);
        if (found && (windowsNT || AnsiText::Widen(narrow, path)))
        {
            guarded.Add(path);
        }
        else if (found || result == E_OUTOFMEMORY || result == E_ACCESSDENIED ||
                 result == HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY))
        {
            // The folder may well be there: the shell could not say where, or its name could
            // not be converted.
            guarded.Fail(found ? GetLastError() : static_cast<DWORD>(result));
        }
    }
    AddProfiles(guarded);
    CRegistryKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, kCurrentVersionKey, KEY_QUERY_VALUE))
    {
        guarded.FailUnlessMissing(GetLastError());
        return guarded;
    }
    for (const char* value : kProgramFilesValues)
    {
        if (QueryPath(key, windowsNT, value, path))
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

Seen Unreadable(DWORD error, bool link = false)
{
    Seen seen;
    seen.state = Seen::State::Unreadable;
    seen.error = error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
    seen.link = link;
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

// Which folder the disk finds at `folder` (the NT family): its volume and file index, read
// through a handle that follows every link on the way, whether the path itself is a link,
// and where it really lies.
Seen LookAt(FinalPathFn finalPath, const std::u16string& folder)
{
    const wchar_t* path = reinterpret_cast<const wchar_t*>(folder.c_str());
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
    {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Seen()
                                                                              : Unreadable(error);
    }
    const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    // Reading attributes asks for no right on the folder itself, so no one's folder is
    // refused for being locked against listing.
    CFileHandle handle(CreateFileW(path, FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle.IsValid())
    {
        return InstallFolderRules::NotOpened(link, GetLastError());
    }
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(handle.Get(), &information))
    {
        return Unreadable(GetLastError(), link);
    }
    Seen seen;
    seen.state = Seen::State::Known;
    seen.volume = information.dwVolumeSerialNumber;
    seen.index =
        (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    seen.link = link;
    seen.real = RealPath(finalPath, handle.Get());
    return seen;
}

// A folder's name as the messages show it, in the code page.
std::string Shown(const std::u16string& folder)
{
    std::string shown;
    return AnsiText::Narrow(folder.data(), folder.size(), shown) ? shown : std::string();
}
} // namespace

InstallFolderRules::Verdict Check(const std::string& folder, std::string& named)
{
    using InstallFolderRules::Verdict;
    named.clear();
    const bool windowsNT = Platform::IsWindowsNT();
    // The folder comes from a dialog in the code page.
    std::u16string wide;
    if (!AnsiText::Widen(folder, wide))
    {
        SetLastError(GetLastError() != ERROR_SUCCESS ? GetLastError()
                                                     : ERROR_NO_UNICODE_TRANSLATION);
        named = folder;
        return Verdict::Unknown;
    }
    const CGuarded guarded = GuardedFolders(windowsNT, OnNetwork(windowsNT, wide));
    // The folder as typed and, where it exists, in its 8.3 form: "C:\PROGRA~1" is Program
    // Files, whichever spelling either side uses.
    const std::u16string shortForm = ShortOf(windowsNT, wide);
    Verdict verdict = Verdict::Accepted;
    const std::u16string* const forms[] = {&wide, &shortForm};
    for (const std::u16string* form : forms)
    {
        for (const bool shortForms : {false, true})
        {
            size_t which = 0;
            if (verdict == Verdict::Accepted && !form->empty())
            {
                verdict = InstallFolderRules::Judge(
                    *form, shortForms ? guarded.shortForms : guarded.longForms, &which);
                if (verdict == Verdict::GuardedFolder)
                {
                    named = Shown(guarded.longForms[shortForms ? guarded.shortOf[which] : which]);
                }
            }
        }
    }
    DWORD error = ERROR_SUCCESS;
    if (verdict == Verdict::Accepted && guarded.failure != ERROR_SUCCESS)
    {
        // A guarded folder is missing from the list: nothing is judged safe, and no folder can
        // be named as the one that could not be read.
        verdict = Verdict::Unknown;
        error = guarded.failure;
    }
    else if (verdict == Verdict::Accepted && windowsNT)
    {
        // The NT family tells a folder by what it is, whichever path leads there; the 9x
        // family has no links, and text is the rule there.
        // Imported by the setup, so loaded already: nothing is looked for by name.
        const FinalPathFn finalPath = CSystemLibraries::Bind<FinalPathFn>(
            GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleW");
        const InstallFolderRules::OnDisk judged = InstallFolderRules::JudgeOnDisk(
            wide, guarded.longForms,
            [finalPath](const std::u16string& path) { return LookAt(finalPath, path); },
            [](const std::u16string& root) { return OnNetwork(true, root); });
        verdict = judged.verdict;
        error = judged.error;
        named = verdict == Verdict::GuardedFolder ? Shown(guarded.longForms[judged.which])
                : verdict == Verdict::Unknown     ? Shown(judged.unreadable)
                                                  : std::string();
    }
    else if (verdict == Verdict::Accepted)
    {
        // On the 9x family too, a drive that is not there (a network drive not connected) may
        // hold the folder all the same.
        const std::string root = folder.substr(0, 3);
        if (folder.size() > 3 && folder[1] == ':' &&
            GetFileAttributesA(root.c_str()) == INVALID_FILE_ATTRIBUTES)
        {
            verdict = Verdict::Unknown;
            error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_PATH_NOT_FOUND;
            named = root;
        }
    }
    SetLastError(error);
    return verdict;
}

std::string WhyUnknown(const std::string& named, DWORD error)
{
    return named.empty()
               ? Messages::Format(IDS_UNKNOWN_UNNAMED, {SystemError::Text(error)})
               : Messages::Format(IDS_UNKNOWN_UNREADABLE, {named, SystemError::Text(error)});
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
