// The start-up's narrowing of the DLL search, as the NT family and as 9x, whose kernel32 offers
// no way to narrow it (the 9x test program runs with 98's stubs and gaps).
#include "framework/SystemLibraries.h"
#include "Win9xStubs.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
bool WindowsNT()
{
    return std::string(KELVARIN_EXPECT_FAMILY) == "nt";
}

TEST(NineXStubs, AnswerAsNinetyEightDoes)
{
    ASSERT_EQ(Win9xStubs::Installed(), !WindowsNT());
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    EXPECT_NE(GetProcAddress(kernel, "GetVersionExA"), nullptr);
    if (WindowsNT())
    {
        return;
    }
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(kernel, "SetDllDirectoryA"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    SetLastError(0);
    EXPECT_FALSE(MoveFileExA("C:\\no such file", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    // Bound at run time, a stub of 98 fails the same way.
    using OpenProcessTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
    const auto openToken = reinterpret_cast<OpenProcessTokenFn>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("advapi32.dll"), "OpenProcessToken")));
    ASSERT_NE(openToken, nullptr);
    HANDLE token = nullptr;
    EXPECT_FALSE(openToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
}

TEST(SystemLibraries, NarrowsWhatTheSystemOffersAndLoadsFromTheSystemFolder)
{
    const CSystemLibraries libraries;
    EXPECT_EQ(libraries.GetSearch(), WindowsNT() ? CSystemLibraries::Search::SystemFolderOnly
                                                 : CSystemLibraries::Search::Unchanged);
    char folder[MAX_PATH] = "";
    ASSERT_NE(GetSystemDirectoryA(folder, sizeof(folder)), 0u);
    int present = 0;
    for (const char* name : CSystemLibraries::kLateLoaded)
    {
        const std::string path = std::string(folder) + "\\" + name;
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        {
            continue; // not every system has every one
        }
        ++present;
        char loaded[MAX_PATH] = "";
        ASSERT_NE(GetModuleFileNameA(GetModuleHandleA(name), loaded, sizeof(loaded)), 0u) << name;
        EXPECT_EQ(_stricmp(loaded, path.c_str()), 0) << loaded;
    }
    EXPECT_GT(present, 0);
    SetLastError(0);
    EXPECT_EQ(CSystemLibraries::Load("kelvarin-missing.dll"), nullptr);
    // The 9x family has its own code for it.
    EXPECT_EQ(GetLastError(),
              static_cast<DWORD>(WindowsNT() ? ERROR_MOD_NOT_FOUND : ERROR_DLL_NOT_FOUND));
}
} // namespace
