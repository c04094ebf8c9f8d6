#include "Win9xStubs.h"

#include <windows.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace
{
// One function of the table that 98 has only as a stub (`bytes` of arguments) or lacks.
struct Row
{
    std::string dll;
    std::string name;
    unsigned bytes;
    bool lacking;
};

std::vector<Row> g_rows;
decltype(&::GetProcAddress) g_getProcAddress = nullptr;

// A stub of 98: the stack of a stdcall function of N words popped, the call refused.
template <size_t> using Word = DWORD;
template <typename Words> struct Stub;
template <size_t... I> struct Stub<std::index_sequence<I...>>
{
    static DWORD WINAPI Call(Word<I>...)
    {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return 0;
    }
};

template <size_t... N> std::array<uintptr_t, sizeof...(N)> MakeStubs(std::index_sequence<N...>)
{
    return {reinterpret_cast<uintptr_t>(&Stub<std::make_index_sequence<N>>::Call)...};
}
const std::array<uintptr_t, 17> kStubs = MakeStubs(std::make_index_sequence<17>());

uintptr_t StubFor(const Row& row)
{
    return row.bytes % 4 == 0 && row.bytes / 4 < kStubs.size() ? kStubs[row.bytes / 4] : 0;
}

// 98's CryptoAPI knows no AES provider type, which Wine's offers whatever version it plays:
// so the 9x tests meet the setup's check as 98 does, comparing CRC-32s.
using AcquireContextFn = BOOL(WINAPI*)(ULONG_PTR*, LPCSTR, LPCSTR, DWORD, DWORD);
AcquireContextFn g_acquireContext = nullptr;
const DWORD kProvRsaAes = 24;

BOOL WINAPI NineXCryptAcquireContextA(ULONG_PTR* provider, LPCSTR container, LPCSTR name,
                                      DWORD type, DWORD flags)
{
    if (type == kProvRsaAes)
    {
        SetLastError(static_cast<DWORD>(NTE_PROV_TYPE_NOT_DEF));
        return FALSE;
    }
    return g_acquireContext(provider, container, name, type, flags);
}

FARPROC WINAPI NineXGetProcAddress(HMODULE module, LPCSTR name)
{
    // An ordinal is no name to compare.
    if (module && reinterpret_cast<uintptr_t>(name) > 0xFFFF &&
        std::strcmp(name, "CryptAcquireContextA") == 0 &&
        module == GetModuleHandleA("advapi32.dll"))
    {
        g_acquireContext = reinterpret_cast<AcquireContextFn>(
            reinterpret_cast<void (*)()>(g_getProcAddress(module, name)));
        return g_acquireContext ? reinterpret_cast<FARPROC>(
                                      reinterpret_cast<void (*)()>(&NineXCryptAcquireContextA))
                                : nullptr;
    }
    if (module && reinterpret_cast<uintptr_t>(name) > 0xFFFF)
    {
        for (const Row& row : g_rows)
        {
            if (row.name == name && GetModuleHandleA(row.dll.c_str()) == module)
            {
                if (row.lacking)
                {
                    SetLastError(ERROR_PROC_NOT_FOUND);
                    return nullptr;
                }
                return reinterpret_cast<FARPROC>(StubFor(row));
            }
        }
    }
    return g_getProcAddress(module, name);
}

// The rows whose 98 column says stub or no: "dll name[@bytes] 95 98 Me NT4 source...".
bool ReadTable(const char* path)
{
    FILE* table = std::fopen(path, "r");
    if (!table)
    {
        std::fprintf(stderr, "9x stubs: cannot read %s\n", path);
        return false;
    }
    char line[1024];
    while (std::fgets(line, sizeof(line), table))
    {
        char dll[64], function[128], on95[8], on98[8];
        if (line[0] == '#' ||
            std::sscanf(line, "%63s %127s %7s %7s", dll, function, on95, on98) != 4)
        {
            continue;
        }
        const bool lacking = std::strcmp(on98, "no") == 0;
        if (!lacking && std::strcmp(on98, "stub") != 0)
        {
            continue;
        }
        char* at = std::strchr(function, '@');
        const unsigned bytes = at ? static_cast<unsigned>(std::atoi(at + 1)) : ~0u;
        if (at)
        {
            *at = '\0';
        }
        g_rows.push_back({dll, function, bytes, lacking});
        if (!lacking && !StubFor(g_rows.back()))
        {
            std::fprintf(stderr, "9x stubs: no stub for %s of %u bytes\n", function, bytes);
            std::fclose(table);
            return false;
        }
    }
    std::fclose(table);
    return true;
}

void Patch(uintptr_t* slot, uintptr_t stub)
{
    DWORD old = 0;
    VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &old);
    *slot = stub;
    VirtualProtect(slot, sizeof(*slot), old, &old);
}

void PatchImports()
{
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* module =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         directory.VirtualAddress && module->Name; ++module)
    {
        const char* dll = reinterpret_cast<const char*>(base + module->Name);
        auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
        auto* slots = reinterpret_cast<uintptr_t*>(base + module->FirstThunk);
        for (; module->OriginalFirstThunk && names->u1.AddressOfData; ++names, ++slots)
        {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
            {
                continue;
            }
            const char* name = reinterpret_cast<const char*>(
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)
                    ->Name);
            if (_stricmp(dll, "kernel32.dll") == 0 && std::strcmp(name, "GetProcAddress") == 0)
            {
                g_getProcAddress = reinterpret_cast<decltype(g_getProcAddress)>(*slots);
                Patch(slots, reinterpret_cast<uintptr_t>(&NineXGetProcAddress));
                continue;
            }
            for (const Row& row : g_rows)
            {
                if (!row.lacking && row.name == name && _stricmp(row.dll.c_str(), dll) == 0)
                {
                    Patch(slots, StubFor(row));
                }
            }
        }
    }
}

bool InstallForNineX()
{
    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExA(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS)
    {
        return false;
    }
    // A 9x test that ran without its stubs would pass for the wrong reason.
    if (!ReadTable(KELVARIN_EXPORTS_TABLE))
    {
        std::exit(1);
    }
    PatchImports();
    return true;
}

const bool g_installed = InstallForNineX();
} // namespace

// Named by the test support's link options, so that every test program links this file.
extern "C" const int kelvarin_win9x_stubs = 0;

bool Win9xStubs::Installed()
{
    return g_installed;
}
