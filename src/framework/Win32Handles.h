// Owners of the Win32 resources the setup releases: each closes with the call its
// kind needs and keeps the thread's last error across that call.
#pragma once

#include "package/UniqueHandle.h"

#include <windows.h>

namespace Win32Traits
{
struct Find
{
    using Value = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE search) { FindClose(search); }
};

// Tokens and other kernel objects whose failure value is null.
struct Kernel
{
    using Value = HANDLE;
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE handle) { CloseHandle(handle); }
};

template <typename T> struct Local
{
    using Value = T;
    static T Invalid() { return nullptr; }
    static void Close(T memory) { LocalFree(reinterpret_cast<HLOCAL>(memory)); }
};

struct Sid
{
    using Value = PSID;
    static PSID Invalid() { return nullptr; }
    static void Close(PSID sid) { FreeSid(sid); }
};

struct Module
{
    using Value = HMODULE;
    static HMODULE Invalid() { return nullptr; }
    static void Close(HMODULE module) { FreeLibrary(module); }
};
} // namespace Win32Traits

using CFindHandle = CUniqueHandle<Win32Traits::Find>;
using CKernelHandle = CUniqueHandle<Win32Traits::Kernel>;
// Memory the system hands out to be freed with LocalFree (ACLs, security descriptors).
template <typename T> using CLocalPtr = CUniqueHandle<Win32Traits::Local<T>>;
using CSidPtr = CUniqueHandle<Win32Traits::Sid>;
// A library the setup loaded itself.
using CModuleHandle = CUniqueHandle<Win32Traits::Module>;
