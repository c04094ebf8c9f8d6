// The fault harness on itself: the calls of this program are the ones it sees. Results are
// kept in plain variables while armed and checked after Disarm, so that the checks' own
// allocations and files are not counted.
#include "Fault.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <objbase.h>
#include <shlobj.h>
#include <wincrypt.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using Fault::Api;
using Fault::Plan;

namespace
{
const char kFolder[] = "C:\\faulttest";
const char kKey[] = "Software\\KelvarinFaultTest";
const char kChildSwitch[] = "--fault-child=";

std::string Path(const char* name)
{
    return std::string(kFolder) + "\\" + name;
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void Clear()
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(Path("*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE)
    {
        do
        {
            const std::string path = Path(found.cFileName);
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileA(path.c_str()) && found.cFileName[0] != '.')
            {
                RemoveDirectoryA(path.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(kFolder);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(kKey) + "\\Sub").c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
}

HANDLE OpenForWriting(const std::string& path, DWORD disposition)
{
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

class FaultHarness : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Fault::Install());
        Clear();
        ASSERT_TRUE(CreateDirectoryA(kFolder, nullptr));
        CoInitialize(nullptr);
    }
    void TearDown() override
    {
        Fault::Disarm();
        CoUninitialize();
        Clear();
    }
};

// The pointer escapes, or the optimiser may drop the allocation with its delete.
void* volatile g_escape = nullptr;

bool Allocates(bool array)
{
    try
    {
        if (array)
        {
            char* block = new char[16];
            g_escape = block;
            delete[] block;
        }
        else
        {
            int* one = new int(1);
            g_escape = one;
            delete one;
        }
        return true;
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
}

struct Outcome
{
    bool failed = false;
    uint32_t error = 0; // how the failure was reported: last error, result code or HRESULT
};

Outcome LastError(bool ok)
{
    return {!ok, ok ? 0u : static_cast<uint32_t>(GetLastError())};
}

TEST_F(FaultHarness, TheNthCallFailsAsTheRealOneDoesAndOnlyThatOne)
{
    const std::string existing = Path("existing.txt");
    HANDLE make = OpenForWriting(existing, CREATE_NEW);
    ASSERT_NE(make, INVALID_HANDLE_VALUE);
    CloseHandle(make);
    HANDLE out = OpenForWriting(Path("out.bin"), CREATE_NEW);
    ASSERT_NE(out, INVALID_HANDLE_VALUE);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    using SetEntriesFn = DWORD(WINAPI*)(ULONG, PEXPLICIT_ACCESS_A, PACL, PACL*);
    const auto setEntries = reinterpret_cast<SetEntriesFn>(reinterpret_cast<void (*)()>(
        GetProcAddress(LoadLibraryA("advapi32.dll"), "SetEntriesInAclA")));
    ASSERT_NE(setEntries, nullptr);
    // Bound at run time, as the setup binds version.dll: the stub is what it is handed.
    using VersionSizeFn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
    const auto versionSize = reinterpret_cast<VersionSizeFn>(reinterpret_cast<void (*)()>(
        GetProcAddress(LoadLibraryA("version.dll"), "GetFileVersionInfoSizeA")));
    ASSERT_NE(versionSize, nullptr);
    // The package check's SHA-256, bound from advapi32 as well.
    using CreateHashFn = BOOL(WINAPI*)(HCRYPTPROV, ALG_ID, HCRYPTKEY, DWORD, HCRYPTHASH*);
    const auto createHash = reinterpret_cast<CreateHashFn>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("advapi32.dll"), "CryptCreateHash")));
    HCRYPTPROV provider = 0;
    ASSERT_TRUE(
        CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT));
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, MAX_PATH);
    const std::string versioned = std::string(system) + "\\kernel32.dll";

    struct Row
    {
        Api api;
        uint32_t error; // 0: the realistic one the harness picks for call 2
        std::function<Outcome()> call;
    };
    const std::vector<Row> rows = {
        {Api::CreateFileA, 32,
         [&]
         {
             HANDLE file = CreateFileA(existing.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, 0, nullptr);
             const Outcome outcome = LastError(file != INVALID_HANDLE_VALUE);
             if (!outcome.failed)
             {
                 CloseHandle(file);
             }
             return outcome;
         }},
        {Api::WriteFile, 112,
         [&]
         {
             DWORD done = 7;
             const Outcome outcome = LastError(WriteFile(out, "x", 1, &done, nullptr));
             return outcome.failed && done != 0 ? Outcome{true, 0} : outcome;
         }},
        {Api::SetFilePointer, 131,
         [&] {
             return LastError(SetFilePointer(out, 0, nullptr, FILE_BEGIN) !=
                              INVALID_SET_FILE_POINTER);
         }},
        {Api::GetFileAttributesA, 0,
         [&]
         { return LastError(GetFileAttributesA(existing.c_str()) != INVALID_FILE_ATTRIBUTES); }},
        {Api::RegOpenKeyExA, 5,
         [&]
         {
             // A registry failure is its result; the thread's last error stays as it was.
             SetLastError(777);
             HKEY opened = nullptr;
             const LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &opened);
             const bool untouched = GetLastError() == 777;
             if (opened)
             {
                 RegCloseKey(opened);
             }
             return Outcome{result != ERROR_SUCCESS, untouched ? static_cast<uint32_t>(result) : 0};
         }},
        {Api::LoadLibraryExA, 0,
         [&]
         {
             HMODULE module = LoadLibraryExA("advapi32.dll", nullptr, 0);
             const Outcome outcome = LastError(module != nullptr);
             FreeLibrary(module);
             return outcome;
         }},
        {Api::GetProcAddress, 127,
         [&] {
             return LastError(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount") !=
                              nullptr);
         }},
        {Api::SetEntriesInAclA, 8,
         [&]
         {
             PACL acl = reinterpret_cast<PACL>(1);
             const DWORD result = setEntries(0, nullptr, nullptr, &acl);
             if (result == ERROR_SUCCESS)
             {
                 LocalFree(acl);
             }
             return Outcome{result != ERROR_SUCCESS, acl ? 0 : result};
         }},
        {Api::CryptCreateHash, 0,
         [&]
         {
             HCRYPTHASH hash = 1;
             const ALG_ID sha256 = ALG_CLASS_HASH | ALG_TYPE_ANY | 12;
             const Outcome outcome = LastError(createHash(provider, sha256, 0, 0, &hash));
             if (!outcome.failed)
             {
                 CryptDestroyHash(hash);
             }
             return outcome.failed && hash != 0 ? Outcome{true, 0} : outcome;
         }},
        {Api::CoCreateInstance, static_cast<uint32_t>(E_OUTOFMEMORY),
         [&]
         {
             void* link = &link;
             const HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                                 IID_IShellLinkA, &link);
             if (SUCCEEDED(hr))
             {
                 static_cast<IUnknown*>(link)->Release();
             }
             return Outcome{FAILED(hr), link ? 0 : static_cast<uint32_t>(hr)};
         }},
        {Api::OperatorNew, 0,
         [&] {
             return Allocates(false) ? Outcome{} : Outcome{true, 8};
         }},
        {Api::Malloc, 0,
         [&]
         {
             errno = 0;
             void* block = std::malloc(16);
             g_escape = block;
             std::free(block);
             return block ? Outcome{} : Outcome{true, errno == ENOMEM ? 8u : 0u};
         }},
        {Api::GetFileSize, 1117,
         [&] { return LastError(GetFileSize(out, nullptr) != INVALID_FILE_SIZE); }},
        {Api::FormatMessageA, 0,
         [&]
         {
             char text[256] = "x";
             return LastError(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_DISK_FULL,
                                             0, text, sizeof(text), nullptr) != 0 &&
                              text[0] != 0);
         }},
        {Api::MultiByteToWideChar, 0,
         [&]
         {
             wchar_t wide[8];
             return LastError(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 8) == 4);
         }},
        {Api::GetFileVersionInfoSizeA, 0,
         [&]
         {
             DWORD ignored = 0;
             return LastError(versionSize(versioned.c_str(), &ignored) != 0);
         }},
        {Api::SHGetMalloc, 0,
         [&]
         {
             IMalloc* allocator = reinterpret_cast<IMalloc*>(&allocator);
             const HRESULT hr = SHGetMalloc(&allocator);
             if (SUCCEEDED(hr))
             {
                 allocator->Release();
             }
             return Outcome{FAILED(hr), allocator ? 0 : static_cast<uint32_t>(hr)};
         }},
    };

    for (const Row& row : rows)
    {
        SCOPED_TRACE(Fault::Name(row.api));
        const std::vector<uint32_t> realistic = Fault::RealisticErrors(row.api);
        ASSERT_FALSE(realistic.empty());
        const uint32_t expected = row.error ? row.error : realistic[1 % realistic.size()];
        Fault::Arm({Plan::Mode::Fail, 2, row.error, Fault::Bit(row.api)});
        const Outcome first = row.call();
        const Outcome second = row.call();
        const Outcome third = row.call();
        const Fault::Stats stats = Fault::Disarm();
        const Outcome after = row.call();

        EXPECT_FALSE(first.failed);
        EXPECT_TRUE(second.failed);
        EXPECT_EQ(second.error, expected);
        EXPECT_FALSE(third.failed);
        EXPECT_FALSE(after.failed);
        EXPECT_EQ(stats.total, 3u);
        EXPECT_EQ(stats.perApi[static_cast<int>(row.api)], 3u);
        EXPECT_TRUE(stats.fired);
        EXPECT_EQ(stats.firedApi, row.api);
        EXPECT_EQ(stats.firedError, expected);
    }
    CryptReleaseContext(provider, 0);
    CloseHandle(out);
}

TEST_F(FaultHarness, CountsEachCallAndNamesWhatEachMutatingCallChanged)
{
    const std::string a = Path("a.txt"), b = Path("b.txt"), c = Path("c.txt"), dir = Path("dir");
    HANDLE early = OpenForWriting(Path("early.bin"), CREATE_NEW);
    ASSERT_NE(early, INVALID_HANDLE_VALUE);
    HKEY earlyKey = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &earlyKey, nullptr),
              ERROR_SUCCESS);
    const DWORD one = 1;
    const BYTE* data = reinterpret_cast<const BYTE*>(&one);
    FILETIME time = {0x12345678, 0x01D00000};
    DWORD done = 0;

    const std::string subKey = std::string(kKey) + "\\Sub";

    // Allocation counted too: the harness's own bookkeeping must not show in it.
    Fault::Arm({Plan::Mode::Count, 0, 0, Fault::kAllApis});
    HANDLE file = OpenForWriting(a, CREATE_NEW);
    WriteFile(file, "ab", 2, &done, nullptr);
    WriteFile(file, "cd", 2, &done, nullptr);
    SetFileTime(file, &time, nullptr, &time);
    FlushFileBuffers(file);
    CloseHandle(file);
    GetFileAttributesA(a.c_str());
    MoveFileA(a.c_str(), b.c_str());
    MoveFileExA(b.c_str(), c.c_str(), MOVEFILE_REPLACE_EXISTING);
    DeleteFileA(c.c_str());
    CreateDirectoryA(dir.c_str(), nullptr);
    RemoveDirectoryA(dir.c_str());
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &key, nullptr);
    RegSetValueExA(key, "Name", 0, REG_DWORD, data, sizeof(one));
    RegQueryValueExA(key, "Name", nullptr, nullptr, nullptr, nullptr);
    RegDeleteValueA(key, "Name");
    RegCloseKey(key);
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key); // reading: no change
    RegCloseKey(key);
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &key);
    RegDeleteKeyA(key, "Sub");
    RegCloseKey(key);
    // Opened before the run: named by asking the system.
    WriteFile(early, "x", 1, &done, nullptr);
    RegSetValueExA(earlyKey, "Early", 0, REG_DWORD, data, sizeof(one));
    const Fault::Stats stats = Fault::Disarm();
    CloseHandle(early);
    RegCloseKey(earlyKey);

    const std::pair<Api, uint64_t> counts[] = {
        {Api::CreateFileA, 1},      {Api::WriteFile, 3},          {Api::SetFileTime, 1},
        {Api::FlushFileBuffers, 1}, {Api::GetFileAttributesA, 1}, {Api::MoveFileA, 1},
        {Api::MoveFileExA, 1},      {Api::DeleteFileA, 1},        {Api::CreateDirectoryA, 1},
        {Api::RemoveDirectoryA, 1}, {Api::RegCreateKeyExA, 1},    {Api::RegSetValueExA, 2},
        {Api::RegQueryValueExA, 1}, {Api::RegDeleteValueA, 1},    {Api::RegOpenKeyExA, 2},
        {Api::RegDeleteKeyA, 1}};
    uint64_t total = 0;
    for (int api = 0; api < static_cast<int>(Api::Count); ++api)
    {
        uint64_t expected = 0;
        for (const auto& [which, count] : counts)
        {
            expected = which == static_cast<Api>(api) ? count : expected;
        }
        EXPECT_EQ(stats.perApi[api], expected) << Fault::Name(static_cast<Api>(api));
        total += expected;
    }
    EXPECT_EQ(stats.total, total);
    EXPECT_FALSE(stats.fired);

    const std::string sub = std::string("HKLM\\") + kKey + "\\Sub";
    const std::pair<Api, std::string> expected[] = {
        {Api::CreateFileA, a},
        {Api::WriteFile, a},
        {Api::SetFileTime, a},
        {Api::MoveFileA, a},
        {Api::MoveFileA, b},
        {Api::MoveFileExA, b},
        {Api::MoveFileExA, c},
        {Api::DeleteFileA, c},
        {Api::CreateDirectoryA, dir},
        {Api::RemoveDirectoryA, dir},
        {Api::RegCreateKeyExA, sub},
        {Api::RegSetValueExA, sub + ":Name"},
        {Api::RegDeleteValueA, sub + ":Name"},
        {Api::RegOpenKeyExA, std::string("HKLM\\") + kKey},
        {Api::RegDeleteKeyA, sub},
        {Api::WriteFile, Path("early.bin")},
        {Api::RegSetValueExA, std::string("HKLM\\") + kKey + ":Early"}};
    const std::vector<Fault::Change> changes = Fault::Changes();
    ASSERT_EQ(changes.size(), std::size(expected));
    for (size_t i = 0; i < changes.size(); ++i)
    {
        EXPECT_EQ(changes[i].api, expected[i].first) << i;
        // The system spells a name in its own letter case.
        EXPECT_EQ(_stricmp(changes[i].path.c_str(), expected[i].second.c_str()), 0)
            << changes[i].path << " is not " << expected[i].second;
    }
}

TEST_F(FaultHarness, OperatorNewIsCountedOnlyWhenAskedAndOnlyWhileArmed)
{
    Fault::Arm({Plan::Mode::Fail, 1});
    const bool allocated = Allocates(false);
    const Fault::Stats notAsked = Fault::Disarm();
    EXPECT_TRUE(allocated);
    EXPECT_EQ(notAsked.perApi[static_cast<int>(Api::OperatorNew)], 0u);
    EXPECT_FALSE(notAsked.fired);

    // new and new[] both count; and once disarmed the plan no longer applies.
    Fault::Arm({Plan::Mode::Count, 0, 0, Fault::Bit(Api::OperatorNew)});
    Allocates(false);
    Allocates(true);
    EXPECT_EQ(Fault::Disarm().perApi[static_cast<int>(Api::OperatorNew)], 2u);
    Fault::Arm({Plan::Mode::Fail, 1, 0, Fault::Bit(Api::OperatorNew)});
    Fault::Disarm();
    EXPECT_TRUE(Allocates(false));
}

TEST_F(FaultHarness, ASecondFailureCountsItsCallsFromTheFirst)
{
    const std::string folder = kFolder;
    Plan plan(Plan::Mode::Fail, 1, 5, Fault::Bit(Api::GetFileAttributesA));
    plan.after = Fault::Bit(Api::GetFileAttributesA);
    plan.thenApi = Api::GetFileAttributesA;
    plan.thenAt = 2;
    plan.thenError = 32;
    Fault::Arm(plan);
    std::vector<DWORD> errors;
    for (int i = 0; i < 4; ++i)
    {
        SetLastError(0);
        const bool failed = GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
        errors.push_back(failed ? GetLastError() : 0);
    }
    const Fault::Stats stats = Fault::Disarm();
    EXPECT_EQ(errors, (std::vector<DWORD>{5, 0, 32, 0}));
    EXPECT_TRUE(stats.fired);
    EXPECT_TRUE(stats.thenFired);
    EXPECT_EQ(stats.after[static_cast<int>(Api::GetFileAttributesA)], 3u);
}

TEST_F(FaultHarness, CallsOfOtherThreadsAreNeitherCountedNorFailed)
{
    const std::string folder = kFolder;
    int otherFailures = 0;
    Fault::Arm({Plan::Mode::Fail, 1, 5, Fault::Bit(Api::GetFileAttributesA)});
    std::thread other(
        [&]
        {
            for (int i = 0; i < 5; ++i)
            {
                otherFailures += GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
            }
        });
    other.join();
    const bool mineFailed = GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
    const Fault::Stats stats = Fault::Disarm();
    EXPECT_EQ(otherFailures, 0);
    EXPECT_TRUE(mineFailed);
    EXPECT_EQ(stats.total, 1u);
}

TEST_F(FaultHarness, ShellLinkSavesAreCountedAndTheLinkIsStillSaved)
{
    struct Row
    {
        const char* name;
        Plan plan;
        HRESULT expected;
        bool saved;
    };
    const Row rows[] = {
        {"clean.lnk", {}, S_OK, true},
        {"full.lnk",
         {Plan::Mode::Fail, 1, static_cast<uint32_t>(STG_E_MEDIUMFULL),
          Fault::Bit(Api::PersistFileSave)},
         STG_E_MEDIUMFULL,
         false},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        const std::string path = Path(row.name);
        WCHAR wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
        ULONG persistLeft = 1, linkLeft = 1;
        HRESULT hr = E_FAIL;

        Fault::Arm(row.plan);
        IShellLinkA* link = nullptr;
        if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IShellLinkA, reinterpret_cast<void**>(&link))))
        {
            link->SetPath("C:\\windows\\notepad.exe");
            IPersistFile* persist = nullptr;
            if (SUCCEEDED(
                    link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))))
            {
                hr = persist->Save(wide, TRUE);
                if (SUCCEEDED(hr))
                {
                    hr = persist->SaveCompleted(wide);
                }
                persistLeft = persist->Release();
            }
            linkLeft = link->Release();
        }
        const Fault::Stats stats = Fault::Disarm();

        EXPECT_EQ(hr, row.expected);
        EXPECT_EQ(Exists(path), row.saved);
        EXPECT_EQ(persistLeft, 0u);
        EXPECT_EQ(linkLeft, 0u);
        EXPECT_EQ(stats.perApi[static_cast<int>(Api::PersistFileSave)], 1u);
        EXPECT_EQ(stats.perApi[static_cast<int>(Api::PersistFileSaveCompleted)],
                  row.saved ? 1u : 0u);
        const std::vector<Fault::Change> changes = Fault::Changes();
        ASSERT_FALSE(changes.empty());
        EXPECT_EQ(changes[0].api, Api::PersistFileSave);
        EXPECT_EQ(changes[0].path, path);
    }
}

// The children: the same program, started with the switch and this test alone.
void RunChild(const std::string& mode)
{
    Fault::Install();
    if (mode == "crash")
    {
        Fault::Arm({Plan::Mode::Crash, 2, 0, Fault::Bit(Api::CreateFileA)});
        CloseHandle(OpenForWriting(Path("one"), CREATE_NEW));
        CloseHandle(OpenForWriting(Path("two"), CREATE_NEW));
    }
    else if (mode == "hang")
    {
        Fault::CWatchdog watchdog(200, "the hanging child");
        CloseHandle(OpenForWriting(Path("one"), CREATE_NEW));
        Sleep(30000);
    }
    ExitProcess(1);
}

DWORD RunAsChild(const std::string& mode)
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string command =
        std::string("\"") + self + "\" --gtest_filter=" +
        ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "." +
        ::testing::UnitTest::GetInstance()->current_test_info()->name() + " " + kChildSwitch + mode;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(self, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
    {
        return GetLastError();
    }
    DWORD code = 0;
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.hProcess, &code))
    {
        TerminateProcess(process.hProcess, 1);
        code = STILL_ACTIVE;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

TEST_F(FaultHarness, CrashAndWatchdogEndTheProcessAtOnce)
{
    const char* child = strstr(GetCommandLineA(), kChildSwitch);
    if (child)
    {
        RunChild(child + strlen(kChildSwitch));
    }
    struct Row
    {
        const char* mode;
        DWORD exitCode;
    };
    const Row rows[] = {{"crash", Fault::kCrashExitCode}, {"hang", Fault::kHangExitCode}};
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.mode);
        DeleteFileA(Path("one").c_str());
        EXPECT_EQ(RunAsChild(row.mode), row.exitCode);
        EXPECT_TRUE(Exists(Path("one")));
        EXPECT_FALSE(Exists(Path("two")));
    }
}

// The setup's code calls nothing the sweep cannot fail: every function the shipped Setup.exe
// imports from the file, registry, shell, COM, module, conversion and memory libraries is
// either one the harness fails or named here with the reason it need not be.
TEST(FaultCoverage, EveryFailableImportOfTheSetupCanBeFailed)
{
    const char* const kRelease = "releases what a call before it got: nothing to do on failure";
    const char* const kPure = "pure: works on memory the caller holds";
    const char* const kRuntime = "the C runtime's start-up, threads and locks: the setup's steps "
                                 "run on one thread, after start-up";
    const char* const kOwnImage = "the program's own resources, mapped with its image";
    const std::pair<const char*, const char*> kNeedNotFail[] = {
        {"CloseHandle", kRelease},
        {"FindClose", kRelease},
        {"FreeLibrary", kRelease},
        {"LocalFree", kRelease},
        {"RegCloseKey", kRelease},
        {"FreeSid", kRelease},
        {"OleUninitialize", kRelease},
        {"free", kRelease},
        {"CompareStringA", kPure},
        {"IsDBCSLeadByteEx", kPure},
        {"lstrcpynA", kPure},
        {"GetEnvironmentVariableA", "the process's own environment; a folder it cannot name "
                                    "is named by the shell's and the registry's lookups too"},
        {"ExpandEnvironmentStringsA", "the process's own environment; a path it cannot expand "
                                      "names no folder, as it would for the system"},
        {"GetTempPathA", "the process's own environment; a folder it cannot name is named by "
                         "the shell's and the registry's lookups too"},
        {"GetLastError", kPure},
        {"SetLastError", kPure},
        {"GetCurrentProcess", "pure: a constant handle"},
        {"GetLocalTime", "pure: the clock, which cannot fail"},
        {"GetCurrentThreadId", "pure: a constant of the thread"},
        {"GetModuleHandleA", "names a module already loaded (the program's own) and loads nothing"},
        {"GetModuleHandleW", "the runtime's probe for its unwinder's module; loads nothing"},
        {"GetSystemDirectoryA", "a fixed answer, read once at start-up into a buffer it fits"},
        {"GetWindowsDirectoryA", "a fixed answer, read once at start-up into a buffer it fits"},
        {"GetVersionExA", "the platform family; its failure ends the setup with exit code 1000 "
                          "before anything is touched"},
        {"FindResourceA", kOwnImage},
        {"LoadResource", kOwnImage},
        {"LockResource", kOwnImage},
        {"SizeofResource", kOwnImage},
        {"GetStartupInfoA", kRuntime},
        {"SetUnhandledExceptionFilter", kRuntime},
        {"ExitProcess", kRuntime},
        {"VirtualProtect", "the runtime's relocation of its own image before main"},
        {"VirtualQuery", "the runtime's relocation of its own image before main"},
        {"CreateSemaphoreW", kRuntime},
        {"ReleaseSemaphore", kRuntime},
        {"WaitForSingleObject", kRuntime},
        {"InitializeCriticalSection", kRuntime},
        {"DeleteCriticalSection", kRuntime},
        {"EnterCriticalSection", kRuntime},
        {"LeaveCriticalSection", kRuntime},
        {"TlsAlloc", kRuntime},
        {"TlsFree", kRuntime},
        {"TlsGetValue", kRuntime},
        {"TlsSetValue", kRuntime},
        {"Sleep", kRuntime},
        {"_read", "std::random_device of the C++ runtime: linked in, never used by the setup"},
        {"_close", "std::random_device of the C++ runtime: linked in, never used by the setup"},
        {"fprintf", "the runtime's last words on stderr before it aborts"},
        {"vfprintf", "the runtime's last words on stderr before it aborts"},
        {"fputc", "the runtime's last words on stderr before it aborts"},
        {"fputs", "the runtime's last words on stderr before it aborts"},
        {"fwrite", "the runtime's last words on stderr before it aborts"},
    };
    // Every function of these modules is of the kinds named above; of the C runtime, its
    // memory and file functions are.
    const std::set<std::string> kWholeModules = {"kernel32.dll", "advapi32.dll", "shell32.dll",
                                                 "ole32.dll",    "oleaut32.dll", "version.dll"};
    const std::set<std::string> kRuntimeFiles = {
        "malloc", "calloc", "realloc", "free",   "_aligned_malloc", "fopen",    "_wfopen", "fread",
        "fwrite", "fclose", "fputs",   "fputc",  "fprintf",         "vfprintf", "_open",   "_wopen",
        "_read",  "_write", "_close",  "_lseek", "remove",          "rename",   "_unlink"};

    std::set<std::string> failable;
    for (int api = 0; api < static_cast<int>(Api::Count); ++api)
    {
        failable.insert(Fault::Name(static_cast<Api>(api)));
    }
    std::set<std::string> excused;
    for (const auto& [name, reason] : kNeedNotFail)
    {
        EXPECT_EQ(failable.count(name), 0u) << name << " is failable and excused both";
        EXPECT_GT(std::strlen(reason), 0u);
        excused.insert(name);
    }

    // Written on the build's side: Wine shows it on drive Z:.
    std::string path = std::string("Z:") + KELVARIN_SETUP_IMPORTS;
    std::replace(path.begin(), path.end(), '/', '\\');
    std::ifstream list(path);
    ASSERT_TRUE(list.good()) << "no list of the setup's imports";
    std::string module, name;
    int checked = 0;
    std::vector<std::string> missing;
    while (list >> module >> name)
    {
        const bool inScope = kWholeModules.count(module) ||
                             (module.rfind("msvcr", 0) == 0 && kRuntimeFiles.count(name));
        if (!inScope)
        {
            continue;
        }
        ++checked;
        if (!failable.count(name) && !excused.count(name))
        {
            missing.push_back(module + "!" + name);
        }
    }
    EXPECT_GT(checked, 50);
    EXPECT_TRUE(missing.empty()) << "the setup imports what the harness cannot fail: "
                                 << ::testing::PrintToString(missing);
}
} // namespace
