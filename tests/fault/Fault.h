// Fault injection for the Windows tests. The import table of the test program itself is
// patched, so every call that code linked into it makes to the functions below passes a
// counting stub. Armed on one thread, the harness counts that thread's calls and fails (or
// ends the process at) the N-th one, the way the real function fails. Nothing here is
// linked into the shipped setup.
//
//   Fault::Install();                       // first thing, before any code binds functions
//   Fault::Arm({Fault::Plan::Mode::Count}); // a clean run gives the number of points
//   ... run the sequence ...
//   const uint64_t points = Fault::Disarm().total;
//   for N in 1..points: Arm({Fail, N}), run, Disarm(), check Changes() and the outcome
//
// A plan may add a second failure once the first has fired (Plan::thenApi), counted among
// the calls that followed it, which Stats logs in order.
//
// Not seen: calls made inside system DLLs (the shell's own writing of a link, version.dll
// reading a file, the registry write behind a boot-time move, a control module's
// DllRegisterServer), the functions that release (CloseHandle, FindClose, RegCloseKey, free)
// or cannot fail for the setup (FaultCoverage in the harness test lists them with reasons),
// and a new-expression the compiler elides because its pointer never escapes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace Fault
{
enum class Api
{
    CreateFileA,
    ReadFile,
    WriteFile,
    FlushFileBuffers,
    SetFilePointer,
    SetEndOfFile,
    SetFileTime,
    GetFileSize,
    GetFileAttributesA,
    SetFileAttributesA,
    DeleteFileA,
    FindFirstFileA,
    FindNextFileA,
    GetShortPathNameA,
    GetFileInformationByHandle,
    MoveFileA,
    MoveFileExA,
    CreateDirectoryA,
    RemoveDirectoryA,
    GetDiskFreeSpaceA,
    // Bound at run time through GetProcAddress from kernel32.
    GetDiskFreeSpaceExA,
    GetVolumePathNameA,
    GetFinalPathNameByHandleW,
    // The install folder's guard reads the system's folders wide on the NT family.
    GetFileAttributesW,
    CreateFileW,
    GetShortPathNameW,
    GetDriveTypeW,
    GetWindowsDirectoryW,
    GetSystemDirectoryW,
    GetTempPathW,
    GetEnvironmentVariableW,
    ExpandEnvironmentStringsW,
    SHGetPathFromIDListW,
    RegCreateKeyExA,
    RegOpenKeyExA,
    RegOpenKeyExW,
    RegSetValueExA,
    RegQueryValueExA,
    RegQueryValueExW,
    RegGetValueW,
    RegDeleteValueA,
    RegDeleteKeyA,
    RegEnumKeyExA,
    RegEnumValueA,
    CoCreateInstance,
    OleInitialize,
    ShellLinkSetPath,
    ShellLinkSetDescription,
    PersistFileSave,
    PersistFileSaveCompleted,
    SHGetMalloc,
    SHGetSpecialFolderLocation,
    SHGetPathFromIDListA,
    SHBrowseForFolderA,
    LoadLibraryA,
    LoadLibraryW,
    LoadLibraryExA,
    GetProcAddress,
    GetModuleFileNameA,
    FormatMessageA,
    MultiByteToWideChar,
    WideCharToMultiByte,
    // version.dll: imported, or bound at run time through GetProcAddress.
    GetFileVersionInfoSizeA,
    GetFileVersionInfoA,
    VerQueryValueA,
    AllocateAndInitializeSid,
    // Bound at run time through GetProcAddress from advapi32: counted when bound after Install.
    GetSecurityInfo,
    SetSecurityInfo,
    SetEntriesInAclA,
    // CryptoAPI, bound at run time from advapi32 by the check of the medium's packages.
    CryptAcquireContextA,
    CryptCreateHash,
    CryptHashData,
    CryptGetHashParam,
    // user32's switch of the "Not Responding" marking, bound at run time by the start-up.
    DisableProcessWindowsGhosting,
    // The restart: never carried out while armed (ExitWindowsEx answers success).
    OpenProcessToken,
    LookupPrivilegeValueA,
    AdjustTokenPrivileges,
    ExitWindowsEx,
    // Memory: the C++ allocations, and the C runtime's (zlib's streams among them).
    OperatorNew,
    Malloc,
    Calloc,
    Realloc,
    Count
};

// A set of Apis, as wide as the list needs.
class ApiSet
{
public:
    constexpr ApiSet() : m_words{0, 0} {}
    constexpr explicit ApiSet(Api api) : m_words{0, 0}
    {
        m_words[static_cast<int>(api) / 64] = uint64_t(1) << (static_cast<int>(api) % 64);
    }
    constexpr bool Has(Api api) const
    {
        return (m_words[static_cast<int>(api) / 64] >> (static_cast<int>(api) % 64)) & 1;
    }
    constexpr ApiSet operator|(ApiSet other) const
    {
        return ApiSet(m_words[0] | other.m_words[0], m_words[1] | other.m_words[1]);
    }
    constexpr ApiSet operator-(ApiSet other) const
    {
        return ApiSet(m_words[0] & ~other.m_words[0], m_words[1] & ~other.m_words[1]);
    }
    constexpr bool operator==(ApiSet other) const
    {
        return m_words[0] == other.m_words[0] && m_words[1] == other.m_words[1];
    }

private:
    constexpr ApiSet(uint64_t low, uint64_t high) : m_words{low, high} {}
    uint64_t m_words[2];
};
static_assert(static_cast<int>(Api::Count) <= 128, "ApiSet holds 128 Apis");

constexpr ApiSet Bit(Api api)
{
    return ApiSet(api);
}

constexpr ApiSet AllApis()
{
    ApiSet all;
    for (int api = 0; api < static_cast<int>(Api::Count); ++api)
    {
        all = all | ApiSet(static_cast<Api>(api));
    }
    return all;
}
constexpr ApiSet kAllApis = AllApis();
constexpr ApiSet kAllocations =
    Bit(Api::OperatorNew) | Bit(Api::Malloc) | Bit(Api::Calloc) | Bit(Api::Realloc);
constexpr ApiSet kAllButAllocations = kAllApis - kAllocations;

// Exit codes below 256, so that they survive Wine's passing them on to the shell.
constexpr DWORD kCrashExitCode = 0xFA;
constexpr DWORD kHangExitCode = 0xFB;

const char* Name(Api api);

// Patches this program's imports once; false, with the reason on stderr, if it cannot.
bool Install();

struct Plan
{
    enum class Mode
    {
        Count, // count only
        Fail,  // the at-th counted call fails with `error`
        Crash  // the at-th counted call ends the process with kCrashExitCode
    };
    Plan(Mode mode_ = Mode::Count, uint64_t at_ = 0, uint32_t error_ = 0,
         ApiSet apis_ = kAllButAllocations)
        : mode(mode_), at(at_), error(error_), apis(apis_)
    {
    }

    Mode mode;
    uint64_t at;    // 1-based
    uint32_t error; // 0: RealisticErrors(api)[(at - 1) % their number]
    ApiSet apis;    // the counted Apis
    // Once that failure has fired, the calls of `after` are counted afresh (Stats::after),
    // and in Fail mode the thenAt-th call of thenApi among them fails too (0: none).
    ApiSet after;
    Api thenApi = Api::Count;
    uint64_t thenAt = 0;
    uint32_t thenError = 0; // 0: as for `error`
};

// Resets the counters and the change log and starts counting on the calling thread.
void Arm(const Plan& plan);

struct Stats
{
    uint64_t total = 0;
    uint64_t perApi[static_cast<int>(Api::Count)] = {};
    bool fired = false;
    Api firedApi = Api::Count;
    uint32_t firedError = 0;
    uint64_t after[static_cast<int>(Api::Count)] = {}; // calls of Plan::after once fired
    bool thenFired = false;
    // The first calls of Plan::after once fired, in order: what the code did about it.
    struct Call
    {
        Api api;
        uint64_t at; // among that function's calls since the first failure
    };
    static constexpr unsigned kAftermath = 64;
    Call aftermath[kAftermath] = {};
    unsigned aftermathCalls = 0;
};

// Stops counting; the change log stays readable until the next Arm.
Stats Disarm();

// Errors the real function gives on real machines (HRESULTs for the COM calls).
std::vector<uint32_t> RealisticErrors(Api api);

// A path a mutating call named while armed, whether or not the call succeeded; repeats of
// the same change in a row are one. Files by their path as the program named it (a handle
// opened before Arm: as the system spells it); registry keys as "HKLM\Software\Key", values
// as "HKLM\Software\Key:Value". File opens count as changes when they may write or create.
// `flags` holds a call's own flags where they matter: MoveFileExA's, ExitWindowsEx's,
// OpenProcessToken's access, AdjustTokenPrivileges' attributes (its path names the
// privilege), LookupPrivilegeValueA's path the privilege asked for.
struct Change
{
    Api api;
    std::string path;
    uint32_t flags = 0;
    uint64_t call = 0; // the call's number among its function's counted calls (0: not counted)
};
std::vector<Change> Changes();

// Volumes as a test wants them, armed or not: the free-space calls answer for `root` (with
// its trailing backslash) that the user is granted `available` bytes, of more that are free,
// on clusters of `cluster` bytes; the volume-path call names the longest `root` that a path
// lies below. An empty list gives the system's own answers again.
struct Volume
{
    std::string root;
    uint64_t available;
    uint32_t cluster;
};
void FakeVolumes(const std::vector<Volume>& volumes);

// Until called again with null, every answer GetFileInformationByHandle gives, armed or not,
// passes through `edit`: a test gives folders identities no disk of the machine has.
using FileInformationEdit = void (*)(BY_HANDLE_FILE_INFORMATION& information);
void EditFileInformation(FileInformationEdit edit);

// Ends the process with kHangExitCode and a message on stderr when not cancelled in time.
class CWatchdog
{
public:
    CWatchdog(DWORD milliseconds, const std::string& what);
    ~CWatchdog();
    CWatchdog(const CWatchdog&) = delete;
    CWatchdog& operator=(const CWatchdog&) = delete;

    void Cancel();

private:
    static DWORD WINAPI Watch(void* self);

    DWORD m_milliseconds;
    std::string m_what;
    HANDLE m_done;
    HANDLE m_thread;
};
} // namespace Fault
