#include "FaultState.h"

#include <atomic>
#include <cstring>
#include <cstdlib>
#include <map>
#include <new>

namespace Fault
{
namespace
{
struct ApiRow
{
    const char* name;
    uint32_t errors[4]; // the realistic ones, ended by 0
};

// Errors that leave the world as it is, so that a failure never lies about what exists: no
// "file not found" for a file that is there, no "no more items" in the middle of a list.
const ApiRow kApis[] = {
    {"CreateFileA", {5, 32, 3, 112}},
    {"ReadFile", {1117, 33, 8}},
    {"WriteFile", {112, 5}},
    {"FlushFileBuffers", {112, 1117}},
    {"SetFilePointer", {1117, 87}},
    {"SetEndOfFile", {112, 5}},
    {"SetFileTime", {5, 1117}},
    {"GetFileSize", {1117, 5}},
    {"GetFileAttributesA", {5, 32}},
    {"SetFileAttributesA", {5, 32}},
    {"DeleteFileA", {5, 32}},
    {"FindFirstFileA", {5, 8}},
    {"FindNextFileA", {8, 1117}},
    {"GetShortPathNameA", {5, 8}},
    // A file system that keeps no file index for the folder.
    {"GetFileInformationByHandle", {5, 1}},
    // Never 183: the target is there only when the real call says so itself.
    {"MoveFileA", {5, 32}},
    {"MoveFileExA", {5, 32}},
    {"CreateDirectoryA", {5, 3, 112}},
    {"RemoveDirectoryA", {5, 32, 145}},
    {"GetDiskFreeSpaceA", {5, 21}},
    {"GetDiskFreeSpaceExA", {5, 21}},
    {"GetVolumePathNameA", {5, 21}},
    // A volume without a drive letter; memory that runs out.
    {"GetFinalPathNameByHandleW", {3, 8}},
    {"GetFileAttributesW", {5, 32}},
    {"CreateFileW", {5, 32}},
    {"GetShortPathNameW", {5, 8}},
    // No error of its own: the drive's kind is unknown, with memory that ran out.
    {"GetDriveTypeW", {8}},
    {"GetWindowsDirectoryW", {8}},
    {"GetSystemDirectoryW", {8}},
    {"GetTempPathW", {8}},
    {"GetEnvironmentVariableW", {8}},
    {"ExpandEnvironmentStringsW", {8}},
    {"SHGetPathFromIDListW", {5, 8}},
    {"RegCreateKeyExA", {5, 8}},
    {"RegOpenKeyExA", {5, 8}},
    {"RegOpenKeyExW", {5, 8}},
    {"RegSetValueExA", {5, 8}},
    {"RegQueryValueExA", {5, 8}},
    {"RegQueryValueExW", {5, 8}},
    {"RegGetValueW", {5, 8}},
    {"RegDeleteValueA", {5, 8}},
    {"RegDeleteKeyA", {5, 8}},
    {"RegEnumKeyExA", {5, 8}},
    {"RegEnumValueA", {5, 8}},
    {"CoCreateInstance",
     {static_cast<uint32_t>(E_OUTOFMEMORY), static_cast<uint32_t>(REGDB_E_CLASSNOTREG)}},
    {"OleInitialize", {static_cast<uint32_t>(E_OUTOFMEMORY), static_cast<uint32_t>(E_UNEXPECTED)}},
    {"IShellLink::SetPath",
     {static_cast<uint32_t>(E_OUTOFMEMORY), static_cast<uint32_t>(E_INVALIDARG)}},
    {"IShellLink::SetDescription", {static_cast<uint32_t>(E_OUTOFMEMORY)}},
    {"IPersistFile::Save",
     {static_cast<uint32_t>(E_ACCESSDENIED), static_cast<uint32_t>(STG_E_MEDIUMFULL),
      static_cast<uint32_t>(E_OUTOFMEMORY)}},
    {"IPersistFile::SaveCompleted",
     {static_cast<uint32_t>(E_OUTOFMEMORY), static_cast<uint32_t>(E_UNEXPECTED)}},
    {"SHGetMalloc", {static_cast<uint32_t>(E_OUTOFMEMORY)}},
    {"SHGetSpecialFolderLocation",
     {static_cast<uint32_t>(E_OUTOFMEMORY), static_cast<uint32_t>(E_ACCESSDENIED)}},
    // No HRESULT: the failure is FALSE, with these as the thread's last error.
    {"SHGetPathFromIDListA", {5, 8}},
    {"SHBrowseForFolderA", {8}},
    {"LoadLibraryA", {126, 8}},
    {"LoadLibraryW", {126, 8}},
    {"LoadLibraryExA", {126, 8}},
    {"GetProcAddress", {127}},
    // The path does not fit the buffer: cut, and the call says so.
    {"GetModuleFileNameA", {122}},
    {"FormatMessageA", {317, 8}},
    {"MultiByteToWideChar", {122, 1113}},
    {"WideCharToMultiByte", {122}},
    {"GetFileVersionInfoSizeA", {5, 32, 8}},
    {"GetFileVersionInfoA", {5, 32, 8}},
    {"VerQueryValueA", {1813}},
    {"AllocateAndInitializeSid", {8}},
    {"GetSecurityInfo", {5, 8}},
    {"SetSecurityInfo", {5, 8}},
    {"SetEntriesInAclA", {8}},
    // A provider that cannot load, memory that runs out: never an answer that the system
    // has no SHA-256, which only an older system gives.
    {"CryptAcquireContextA", {8, static_cast<uint32_t>(NTE_PROVIDER_DLL_FAIL)}},
    {"CryptCreateHash", {static_cast<uint32_t>(NTE_NO_MEMORY)}},
    {"CryptHashData", {static_cast<uint32_t>(NTE_NO_MEMORY)}},
    {"CryptGetHashParam", {static_cast<uint32_t>(NTE_NO_MEMORY)}},
    // It cannot fail: failed, it does nothing, as Wine's own stub of it.
    {"DisableProcessWindowsGhosting", {120}},
    {"OpenProcessToken", {5}},
    {"LookupPrivilegeValueA", {1313}},
    {"AdjustTokenPrivileges", {1300}},
    {"ExitWindowsEx", {5, 1115}},
    {"operator new", {8}},
    // The C runtime's allocations: null, with errno ENOMEM; shown here as the system's code.
    {"malloc", {8}},
    {"calloc", {8}},
    {"realloc", {8}},
};
static_assert(sizeof(kApis) / sizeof(kApis[0]) == static_cast<size_t>(Api::Count),
              "one row per Api");

uint32_t PickError(Api api, uint64_t at)
{
    const uint32_t* errors = kApis[static_cast<int>(api)].errors;
    size_t count = 0;
    while (count < 4 && errors[count])
    {
        ++count;
    }
    return errors[(at - 1) % count];
}

// operator new reads these before anything else, so they must be usable before main.
std::atomic<bool> g_armed{false};
std::atomic<DWORD> g_thread{0};
bool g_quiet = false; // only the armed thread touches it
std::vector<Volume> g_volumes;

struct Run
{
    Plan plan;
    Stats stats;
    std::vector<Change> changes;
    std::map<HANDLE, std::string> files;
    std::map<HKEY, std::string> keys;
};

Run& TheRun()
{
    static Run run;
    return run;
}

bool Watching()
{
    return g_armed.load(std::memory_order_acquire) &&
           GetCurrentThreadId() == g_thread.load(std::memory_order_relaxed) && !g_quiet;
}

void Record(const detail::Verdict& v, Api api, std::string path, uint32_t flags = 0)
{
    std::vector<Change>& changes = TheRun().changes;
    // A file written in many chunks is one change, not thousands.
    if (!changes.empty() && changes.back().api == api && changes.back().path == path &&
        changes.back().flags == flags)
    {
        return;
    }
    changes.push_back({api, std::move(path), flags, v.call});
}

std::string Narrow(const wchar_t* wide)
{
    char buffer[MAX_PATH * 2];
    const int length =
        WideCharToMultiByte(CP_ACP, 0, wide, -1, buffer, sizeof(buffer), nullptr, nullptr);
    return length > 0 ? std::string(buffer, length - 1) : std::string("?");
}

template <typename Fn> Fn Resolve(const char* module, const char* name)
{
    return reinterpret_cast<Fn>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA(module), name)));
}

// A handle opened before this run: asked of the system, in its own spelling.
std::string SystemFilePath(HANDLE file)
{
    using Fn = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);
    static const Fn byHandle = Resolve<Fn>("kernel32.dll", "GetFinalPathNameByHandleA");
    char buffer[MAX_PATH * 2];
    const DWORD length = byHandle ? byHandle(file, buffer, sizeof(buffer), 0) : 0;
    if (length == 0 || length >= sizeof(buffer))
    {
        return "?";
    }
    std::string path(buffer, length);
    return path.compare(0, 4, "\\\\?\\") == 0 ? path.substr(4) : path;
}

std::string SystemKeyPath(HKEY key)
{
    using Fn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    static const Fn queryKey = Resolve<Fn>("ntdll.dll", "NtQueryKey");
    const int kKeyNameInformation = 3;
    struct
    {
        ULONG bytes;
        wchar_t text[1024];
    } name;
    ULONG size = 0;
    if (!queryKey ||
        queryKey(key, kKeyNameInformation, &name, sizeof(name) - sizeof(wchar_t), &size) != 0)
    {
        return "?";
    }
    name.text[name.bytes / sizeof(wchar_t)] = 0;
    const std::string path = Narrow(name.text);
    const std::pair<const char*, const char*> roots[] = {{"\\REGISTRY\\MACHINE", "HKLM"},
                                                         {"\\REGISTRY\\USER", "HKU"}};
    for (const auto& [prefix, root] : roots)
    {
        const size_t length = strlen(prefix);
        if (_strnicmp(path.c_str(), prefix, length) == 0)
        {
            return root + path.substr(length);
        }
    }
    return path;
}

std::string FilePath(HANDLE file)
{
    const auto& files = TheRun().files;
    const auto found = files.find(file);
    return found != files.end() ? found->second : SystemFilePath(file);
}

std::string KeyPath(HKEY key)
{
    const std::pair<HKEY, const char*> roots[] = {
        {HKEY_CLASSES_ROOT, "HKCR"}, {HKEY_CURRENT_USER, "HKCU"},     {HKEY_LOCAL_MACHINE, "HKLM"},
        {HKEY_USERS, "HKU"},         {HKEY_PERFORMANCE_DATA, "HKPD"}, {HKEY_CURRENT_CONFIG, "HKCC"},
        {HKEY_DYN_DATA, "HKDD"}};
    for (const auto& [root, name] : roots)
    {
        if (key == root)
        {
            return name;
        }
    }
    const auto& keys = TheRun().keys;
    const auto found = keys.find(key);
    return found != keys.end() ? found->second : SystemKeyPath(key);
}

std::string Join(const std::string& key, const char* subKey)
{
    while (subKey && *subKey == '\\')
    {
        ++subKey;
    }
    return subKey && *subKey ? key + "\\" + subKey : key;
}
} // namespace

namespace detail
{
Verdict Enter(Api api)
{
    Verdict verdict;
    if (!Watching())
    {
        return verdict;
    }
    verdict.watched = true;
    Run& run = TheRun();
    Stats& stats = run.stats;
    if (stats.fired && (run.plan.after.Has(api) || api == run.plan.thenApi))
    {
        const uint64_t call = ++stats.after[static_cast<int>(api)];
        if (stats.aftermathCalls < Stats::kAftermath)
        {
            stats.aftermath[stats.aftermathCalls++] = {api, call};
        }
        if (run.plan.mode == Plan::Mode::Fail && api == run.plan.thenApi && call == run.plan.thenAt)
        {
            stats.thenFired = true;
            verdict.fail = true;
            verdict.error = run.plan.thenError ? run.plan.thenError : PickError(api, call);
        }
    }
    if (!run.plan.apis.Has(api))
    {
        return verdict;
    }
    ++stats.total;
    verdict.call = ++stats.perApi[static_cast<int>(api)];
    if (run.plan.mode == Plan::Mode::Count || stats.total != run.plan.at)
    {
        return verdict;
    }
    if (run.plan.mode == Plan::Mode::Crash)
    {
        // As if killed: no destructor, no flush, no handle closed by the program.
        TerminateProcess(GetCurrentProcess(), kCrashExitCode);
    }
    stats.fired = true;
    stats.firedApi = api;
    stats.firedError = run.plan.error ? run.plan.error : PickError(api, run.plan.at);
    verdict.fail = true;
    verdict.error = stats.firedError;
    return verdict;
}

CQuiet::CQuiet() : m_set(Watching()), m_error(GetLastError())
{
    if (m_set)
    {
        g_quiet = true;
    }
}

CQuiet::~CQuiet()
{
    if (m_set)
    {
        g_quiet = false;
    }
    SetLastError(m_error);
}

void NoteCall(const Verdict& v, Api api, const char* what, uint32_t flags)
{
    if (v.watched)
    {
        CQuiet quiet;
        Record(v, api, what ? what : "", flags);
    }
}

void NoteFile(const Verdict& v, Api api, const char* path)
{
    if (v.watched && path)
    {
        CQuiet quiet;
        Record(v, api, path);
    }
}

void NoteFile(const Verdict& v, Api api, const wchar_t* path)
{
    if (v.watched && path)
    {
        CQuiet quiet;
        Record(v, api, Narrow(path));
    }
}

void NoteHandle(const Verdict& v, Api api, HANDLE file)
{
    if (v.watched)
    {
        CQuiet quiet;
        Record(v, api, FilePath(file));
    }
}

void NoteKey(const Verdict& v, Api api, HKEY key, const char* subKey, const char* value)
{
    if (v.watched)
    {
        CQuiet quiet;
        std::string path = Join(KeyPath(key), subKey);
        if (value)
        {
            path += ":";
            path += value;
        }
        Record(v, api, std::move(path));
    }
}

void NoteKey(const Verdict& v, Api api, HKEY key, const wchar_t* subKey)
{
    if (v.watched)
    {
        CQuiet quiet;
        Record(v, api, Join(KeyPath(key), subKey ? Narrow(subKey).c_str() : nullptr));
    }
}

void RememberFile(const Verdict& v, HANDLE file, const char* path)
{
    if (v.watched)
    {
        CQuiet quiet;
        TheRun().files[file] = path;
    }
}

void RememberKey(const Verdict& v, HKEY key, HKEY parent, const char* subKey)
{
    if (v.watched)
    {
        CQuiet quiet;
        TheRun().keys[key] = Join(KeyPath(parent), subKey);
    }
}

void RememberKey(const Verdict& v, HKEY key, HKEY parent, const wchar_t* subKey)
{
    if (v.watched)
    {
        CQuiet quiet;
        TheRun().keys[key] = Join(KeyPath(parent), subKey ? Narrow(subKey).c_str() : nullptr);
    }
}

// A closed handle's value comes back for the next object, perhaps one opened out of sight.
void ForgetFile(HANDLE file)
{
    if (Watching())
    {
        CQuiet quiet;
        TheRun().files.erase(file);
    }
}

void ForgetKey(HKEY key)
{
    if (Watching())
    {
        CQuiet quiet;
        TheRun().keys.erase(key);
    }
}

const Volume* FakedVolume(const char* path, bool below)
{
    const Volume* found = nullptr;
    for (const Volume& volume : g_volumes)
    {
        const size_t length = volume.root.size();
        const bool matches = path && (below ? _strnicmp(path, volume.root.c_str(), length) == 0
                                            : _stricmp(path, volume.root.c_str()) == 0);
        if (matches && (!found || length > found->root.size()))
        {
            found = &volume;
        }
    }
    return found;
}
} // namespace detail

void FakeVolumes(const std::vector<Volume>& volumes)
{
    detail::CQuiet quiet;
    g_volumes = volumes;
}

const char* Name(Api api)
{
    return api < Api::Count ? kApis[static_cast<int>(api)].name : "?";
}

std::vector<uint32_t> RealisticErrors(Api api)
{
    detail::CQuiet quiet;
    std::vector<uint32_t> errors;
    if (api < Api::Count)
    {
        for (uint32_t error : kApis[static_cast<int>(api)].errors)
        {
            if (error)
            {
                errors.push_back(error);
            }
        }
    }
    return errors;
}

void Arm(const Plan& plan)
{
    g_armed.store(false);
    Run& run = TheRun();
    run.plan = plan;
    run.stats = Stats();
    run.changes.clear();
    run.files.clear();
    run.keys.clear();
    g_quiet = false;
    g_thread.store(GetCurrentThreadId(), std::memory_order_relaxed);
    g_armed.store(true, std::memory_order_release);
}

Stats Disarm()
{
    g_armed.store(false);
    return TheRun().stats;
}

std::vector<Change> Changes()
{
    detail::CQuiet quiet;
    return TheRun().changes;
}
} // namespace Fault

// The program's global allocation goes through here, so that allocation failure is one more
// call to count. Unarmed it costs one load. They live beside Arm, so that every program that
// arms the harness links them in place of the runtime's.
namespace
{
void* Allocate(std::size_t size)
{
    if (Fault::g_armed.load(std::memory_order_relaxed) &&
        Fault::detail::Enter(Fault::Api::OperatorNew).fail)
    {
        throw std::bad_alloc();
    }
    for (;;)
    {
        if (void* block = Fault::detail::RealMalloc(size ? size : 1))
        {
            return block;
        }
        std::new_handler handler = std::get_new_handler();
        if (!handler)
        {
            throw std::bad_alloc();
        }
        handler();
    }
}
} // namespace

void* operator new(std::size_t size)
{
    return Allocate(size);
}
void* operator new[](std::size_t size)
{
    return Allocate(size);
}
void operator delete(void* block) noexcept
{
    std::free(block);
}
void operator delete[](void* block) noexcept
{
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept
{
    std::free(block);
}
