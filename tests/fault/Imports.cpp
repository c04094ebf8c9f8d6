// The stubs that stand in the test program's import table, and the patching itself.
#include "FaultState.h"

#include <aclapi.h>
#include <objbase.h>
#include <ole2.h>
#include <shlobj.h>
#include <winver.h>
#include <wincrypt.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Fault
{
namespace
{
using detail::Enter;
using detail::Verdict;

// Vista's; declared here because the headers of the XP target leave it out.
using RegGetValueWFn = LONG(WINAPI*)(HKEY, LPCWSTR, LPCWSTR, DWORD, LPDWORD, PVOID, LPDWORD);

// The functions the stubs call on: the import table's entries from before the patch.
struct RealApis
{
    decltype(&::CreateFileA) CreateFileA;
    decltype(&::ReadFile) ReadFile;
    decltype(&::WriteFile) WriteFile;
    decltype(&::FlushFileBuffers) FlushFileBuffers;
    decltype(&::SetFilePointer) SetFilePointer;
    decltype(&::SetEndOfFile) SetEndOfFile;
    decltype(&::SetFileTime) SetFileTime;
    decltype(&::GetFileSize) GetFileSize;
    decltype(&::GetFileAttributesA) GetFileAttributesA;
    decltype(&::SetFileAttributesA) SetFileAttributesA;
    decltype(&::DeleteFileA) DeleteFileA;
    decltype(&::FindFirstFileA) FindFirstFileA;
    decltype(&::FindNextFileA) FindNextFileA;
    decltype(&::GetShortPathNameA) GetShortPathNameA;
    decltype(&::GetFileInformationByHandle) GetFileInformationByHandle;
    decltype(&::MoveFileA) MoveFileA;
    decltype(&::MoveFileExA) MoveFileExA;
    decltype(&::CreateDirectoryA) CreateDirectoryA;
    decltype(&::RemoveDirectoryA) RemoveDirectoryA;
    decltype(&::GetDiskFreeSpaceA) GetDiskFreeSpaceA;
    decltype(&::GetDiskFreeSpaceExA) GetDiskFreeSpaceExA;
    decltype(&::GetVolumePathNameA) GetVolumePathNameA;
    // Vista's: not declared for the XP the setup is built for.
    DWORD(WINAPI* GetFinalPathNameByHandleW)(HANDLE, LPWSTR, DWORD, DWORD);
    decltype(&::GetFileAttributesW) GetFileAttributesW;
    decltype(&::CreateFileW) CreateFileW;
    decltype(&::GetShortPathNameW) GetShortPathNameW;
    decltype(&::GetDriveTypeW) GetDriveTypeW;
    decltype(&::GetWindowsDirectoryW) GetWindowsDirectoryW;
    decltype(&::GetSystemDirectoryW) GetSystemDirectoryW;
    decltype(&::GetTempPathW) GetTempPathW;
    decltype(&::GetEnvironmentVariableW) GetEnvironmentVariableW;
    decltype(&::ExpandEnvironmentStringsW) ExpandEnvironmentStringsW;
    decltype(&::SHGetPathFromIDListW) SHGetPathFromIDListW;
    decltype(&::LoadLibraryA) LoadLibraryA;
    decltype(&::LoadLibraryW) LoadLibraryW;
    decltype(&::LoadLibraryExA) LoadLibraryExA;
    decltype(&::GetProcAddress) GetProcAddress;
    decltype(&::GetModuleFileNameA) GetModuleFileNameA;
    decltype(&::FormatMessageA) FormatMessageA;
    decltype(&::MultiByteToWideChar) MultiByteToWideChar;
    decltype(&::WideCharToMultiByte) WideCharToMultiByte;
    decltype(&::GetFileVersionInfoSizeA) GetFileVersionInfoSizeA;
    decltype(&::GetFileVersionInfoA) GetFileVersionInfoA;
    decltype(&::VerQueryValueA) VerQueryValueA;
    decltype(&::CloseHandle) CloseHandle;
    decltype(&::RegCreateKeyExA) RegCreateKeyExA;
    decltype(&::RegOpenKeyExA) RegOpenKeyExA;
    decltype(&::RegOpenKeyExW) RegOpenKeyExW;
    decltype(&::RegSetValueExA) RegSetValueExA;
    decltype(&::RegQueryValueExA) RegQueryValueExA;
    decltype(&::RegQueryValueExW) RegQueryValueExW;
    RegGetValueWFn RegGetValueW;
    decltype(&::RegDeleteValueA) RegDeleteValueA;
    decltype(&::RegDeleteKeyA) RegDeleteKeyA;
    decltype(&::RegEnumKeyExA) RegEnumKeyExA;
    decltype(&::RegEnumValueA) RegEnumValueA;
    decltype(&::RegCloseKey) RegCloseKey;
    decltype(&::CoCreateInstance) CoCreateInstance;
    decltype(&::OleInitialize) OleInitialize;
    decltype(&::SHGetMalloc) SHGetMalloc;
    decltype(&::SHGetSpecialFolderLocation) SHGetSpecialFolderLocation;
    decltype(&::SHGetPathFromIDListA) SHGetPathFromIDListA;
    decltype(&::SHBrowseForFolderA) SHBrowseForFolderA;
    decltype(&::AllocateAndInitializeSid) AllocateAndInitializeSid;
    decltype(&::GetSecurityInfo) GetSecurityInfo;
    decltype(&::SetSecurityInfo) SetSecurityInfo;
    decltype(&::SetEntriesInAclA) SetEntriesInAclA;
    decltype(&::CryptAcquireContextA) CryptAcquireContextA;
    decltype(&::CryptCreateHash) CryptCreateHash;
    decltype(&::CryptHashData) CryptHashData;
    decltype(&::CryptGetHashParam) CryptGetHashParam;
    // XP's: not declared for every target.
    void(WINAPI* DisableProcessWindowsGhosting)();
    decltype(&::OpenProcessToken) OpenProcessToken;
    decltype(&::LookupPrivilegeValueA) LookupPrivilegeValueA;
    decltype(&::AdjustTokenPrivileges) AdjustTokenPrivileges;
    decltype(&::ExitWindowsEx) ExitWindowsEx;
    decltype(&::malloc) malloc;
    decltype(&::calloc) calloc;
    decltype(&::realloc) realloc;
};
RealApis g_real;

template <typename T> T FailWith(const Verdict& v, T result)
{
    SetLastError(v.error);
    return result;
}

// A failed call leaves nothing in its outputs, as the system's do.
template <typename T> void Clear(T* out)
{
    if (out)
    {
        *out = T();
    }
}

bool OpensForWriting(DWORD access, DWORD disposition)
{
    const DWORD writes = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA |
                         FILE_WRITE_ATTRIBUTES | FILE_WRITE_EA | DELETE | WRITE_DAC | WRITE_OWNER;
    return (access & writes) != 0 || disposition != OPEN_EXISTING;
}

bool OpensKeyForWriting(REGSAM access)
{
    return (access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY | DELETE | WRITE_DAC | WRITE_OWNER |
                      GENERIC_WRITE | GENERIC_ALL)) != 0;
}

HANDLE WINAPI StubCreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                              DWORD disposition, DWORD flags, HANDLE templateFile)
{
    const Verdict v = Enter(Api::CreateFileA);
    if (OpensForWriting(access, disposition))
    {
        detail::NoteFile(v, Api::CreateFileA, name);
    }
    if (v.fail)
    {
        return FailWith(v, INVALID_HANDLE_VALUE);
    }
    HANDLE file = g_real.CreateFileA(name, access, share, sa, disposition, flags, templateFile);
    if (file != INVALID_HANDLE_VALUE && name)
    {
        detail::RememberFile(v, file, name);
    }
    return file;
}

BOOL WINAPI StubReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED ov)
{
    const Verdict v = Enter(Api::ReadFile);
    if (v.fail)
    {
        Clear(read);
        return FailWith(v, FALSE);
    }
    return g_real.ReadFile(file, buffer, size, read, ov);
}

BOOL WINAPI StubWriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED ov)
{
    const Verdict v = Enter(Api::WriteFile);
    detail::NoteHandle(v, Api::WriteFile, file);
    if (v.fail)
    {
        Clear(written);
        return FailWith(v, FALSE);
    }
    return g_real.WriteFile(file, buffer, size, written, ov);
}

BOOL WINAPI StubFlushFileBuffers(HANDLE file)
{
    const Verdict v = Enter(Api::FlushFileBuffers);
    return v.fail ? FailWith(v, FALSE) : g_real.FlushFileBuffers(file);
}

DWORD WINAPI StubSetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method)
{
    const Verdict v = Enter(Api::SetFilePointer);
    return v.fail ? FailWith(v, INVALID_SET_FILE_POINTER)
                  : g_real.SetFilePointer(file, distance, distanceHigh, method);
}

BOOL WINAPI StubSetEndOfFile(HANDLE file)
{
    const Verdict v = Enter(Api::SetEndOfFile);
    detail::NoteHandle(v, Api::SetEndOfFile, file);
    return v.fail ? FailWith(v, FALSE) : g_real.SetEndOfFile(file);
}

BOOL WINAPI StubSetFileTime(HANDLE file, const FILETIME* created, const FILETIME* accessed,
                            const FILETIME* written)
{
    const Verdict v = Enter(Api::SetFileTime);
    detail::NoteHandle(v, Api::SetFileTime, file);
    return v.fail ? FailWith(v, FALSE) : g_real.SetFileTime(file, created, accessed, written);
}

DWORD WINAPI StubGetFileSize(HANDLE file, LPDWORD high)
{
    const Verdict v = Enter(Api::GetFileSize);
    return v.fail ? FailWith(v, INVALID_FILE_SIZE) : g_real.GetFileSize(file, high);
}

DWORD WINAPI StubGetFileAttributesA(LPCSTR name)
{
    const Verdict v = Enter(Api::GetFileAttributesA);
    return v.fail ? FailWith(v, INVALID_FILE_ATTRIBUTES) : g_real.GetFileAttributesA(name);
}

BOOL WINAPI StubSetFileAttributesA(LPCSTR name, DWORD attributes)
{
    const Verdict v = Enter(Api::SetFileAttributesA);
    detail::NoteFile(v, Api::SetFileAttributesA, name);
    return v.fail ? FailWith(v, FALSE) : g_real.SetFileAttributesA(name, attributes);
}

BOOL WINAPI StubDeleteFileA(LPCSTR name)
{
    const Verdict v = Enter(Api::DeleteFileA);
    detail::NoteFile(v, Api::DeleteFileA, name);
    return v.fail ? FailWith(v, FALSE) : g_real.DeleteFileA(name);
}

HANDLE WINAPI StubFindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA found)
{
    const Verdict v = Enter(Api::FindFirstFileA);
    return v.fail ? FailWith(v, INVALID_HANDLE_VALUE) : g_real.FindFirstFileA(pattern, found);
}

BOOL WINAPI StubFindNextFileA(HANDLE search, LPWIN32_FIND_DATAA found)
{
    const Verdict v = Enter(Api::FindNextFileA);
    return v.fail ? FailWith(v, FALSE) : g_real.FindNextFileA(search, found);
}

DWORD WINAPI StubGetShortPathNameA(LPCSTR path, LPSTR buffer, DWORD size)
{
    const Verdict v = Enter(Api::GetShortPathNameA);
    return v.fail ? FailWith(v, DWORD(0)) : g_real.GetShortPathNameA(path, buffer, size);
}

FileInformationEdit g_editInformation = nullptr;

BOOL WINAPI StubGetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information)
{
    const Verdict v = Enter(Api::GetFileInformationByHandle);
    if (v.fail)
    {
        Clear(information);
        return FailWith(v, FALSE);
    }
    const BOOL read = g_real.GetFileInformationByHandle(file, information);
    if (read && information && g_editInformation)
    {
        g_editInformation(*information);
    }
    return read;
}

BOOL WINAPI StubMoveFileA(LPCSTR from, LPCSTR to)
{
    const Verdict v = Enter(Api::MoveFileA);
    detail::NoteFile(v, Api::MoveFileA, from);
    detail::NoteFile(v, Api::MoveFileA, to);
    return v.fail ? FailWith(v, FALSE) : g_real.MoveFileA(from, to);
}

BOOL WINAPI StubMoveFileExA(LPCSTR from, LPCSTR to, DWORD flags)
{
    const Verdict v = Enter(Api::MoveFileExA);
    detail::NoteCall(v, Api::MoveFileExA, from, flags);
    detail::NoteCall(v, Api::MoveFileExA, to, flags);
    return v.fail ? FailWith(v, FALSE) : g_real.MoveFileExA(from, to, flags);
}

BOOL WINAPI StubCreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES sa)
{
    const Verdict v = Enter(Api::CreateDirectoryA);
    detail::NoteFile(v, Api::CreateDirectoryA, path);
    return v.fail ? FailWith(v, FALSE) : g_real.CreateDirectoryA(path, sa);
}

BOOL WINAPI StubRemoveDirectoryA(LPCSTR path)
{
    const Verdict v = Enter(Api::RemoveDirectoryA);
    detail::NoteFile(v, Api::RemoveDirectoryA, path);
    return v.fail ? FailWith(v, FALSE) : g_real.RemoveDirectoryA(path);
}

// A faked volume: a gigabyte, of which the user is granted `available` bytes and 64 MB more
// are free to others, so that a figure read from the wrong field shows.
const uint64_t kFakedSize = 1024ull * 1024 * 1024;
const uint64_t kFakedOthers = 64ull * 1024 * 1024;

BOOL WINAPI StubGetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                                  LPDWORD freeClusters, LPDWORD clusters)
{
    const Verdict v = Enter(Api::GetDiskFreeSpaceA);
    if (v.fail)
    {
        Clear(sectorsPerCluster);
        Clear(bytesPerSector);
        Clear(freeClusters);
        Clear(clusters);
        return FailWith(v, FALSE);
    }
    if (const Volume* fake = detail::FakedVolume(root, false))
    {
        *sectorsPerCluster = fake->cluster / 512;
        *bytesPerSector = 512;
        *freeClusters = static_cast<DWORD>((fake->available + kFakedOthers) / fake->cluster);
        *clusters = static_cast<DWORD>(kFakedSize / fake->cluster);
        return TRUE;
    }
    return g_real.GetDiskFreeSpaceA(root, sectorsPerCluster, bytesPerSector, freeClusters,
                                    clusters);
}

BOOL WINAPI StubGetDiskFreeSpaceExA(LPCSTR folder, PULARGE_INTEGER available, PULARGE_INTEGER total,
                                    PULARGE_INTEGER totalFree)
{
    const Verdict v = Enter(Api::GetDiskFreeSpaceExA);
    if (v.fail)
    {
        Clear(available);
        Clear(total);
        Clear(totalFree);
        return FailWith(v, FALSE);
    }
    if (const Volume* fake = detail::FakedVolume(folder, false))
    {
        available->QuadPart = fake->available;
        total->QuadPart = kFakedSize;
        totalFree->QuadPart = fake->available + kFakedOthers;
        return TRUE;
    }
    return g_real.GetDiskFreeSpaceExA(folder, available, total, totalFree);
}

BOOL WINAPI StubGetVolumePathNameA(LPCSTR path, LPSTR volume, DWORD size)
{
    const Verdict v = Enter(Api::GetVolumePathNameA);
    if (v.fail)
    {
        if (volume != nullptr && size != 0)
        {
            volume[0] = '\0';
        }
        return FailWith(v, FALSE);
    }
    const Volume* fake = detail::FakedVolume(path, true);
    if (fake && fake->root.size() < size)
    {
        memcpy(volume, fake->root.c_str(), fake->root.size() + 1);
        return TRUE;
    }
    return g_real.GetVolumePathNameA(path, volume, size);
}

DWORD WINAPI StubGetFinalPathNameByHandleW(HANDLE file, LPWSTR path, DWORD size, DWORD flags)
{
    const Verdict v = Enter(Api::GetFinalPathNameByHandleW);
    return v.fail ? FailWith(v, DWORD(0))
                  : g_real.GetFinalPathNameByHandleW(file, path, size, flags);
}

DWORD WINAPI StubGetFileAttributesW(LPCWSTR name)
{
    const Verdict v = Enter(Api::GetFileAttributesW);
    return v.fail ? FailWith(v, INVALID_FILE_ATTRIBUTES) : g_real.GetFileAttributesW(name);
}

HANDLE WINAPI StubCreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                              DWORD disposition, DWORD flags, HANDLE templateFile)
{
    const Verdict v = Enter(Api::CreateFileW);
    if (OpensForWriting(access, disposition))
    {
        detail::NoteFile(v, Api::CreateFileW, name);
    }
    return v.fail ? FailWith(v, INVALID_HANDLE_VALUE)
                  : g_real.CreateFileW(name, access, share, sa, disposition, flags, templateFile);
}

// The calls that answer into the caller's buffer leave it empty when they fail.
template <typename Char> void ClearText(Char* buffer, DWORD size)
{
    if (buffer && size > 0)
    {
        buffer[0] = 0;
    }
}

DWORD WINAPI StubGetShortPathNameW(LPCWSTR path, LPWSTR buffer, DWORD size)
{
    const Verdict v = Enter(Api::GetShortPathNameW);
    if (v.fail)
    {
        ClearText(buffer, size);
        return FailWith(v, DWORD(0));
    }
    return g_real.GetShortPathNameW(path, buffer, size);
}

UINT WINAPI StubGetDriveTypeW(LPCWSTR root)
{
    const Verdict v = Enter(Api::GetDriveTypeW);
    return v.fail ? FailWith(v, UINT(DRIVE_UNKNOWN)) : g_real.GetDriveTypeW(root);
}

UINT WINAPI StubGetWindowsDirectoryW(LPWSTR buffer, UINT size)
{
    const Verdict v = Enter(Api::GetWindowsDirectoryW);
    if (v.fail)
    {
        ClearText(buffer, size);
        return FailWith(v, UINT(0));
    }
    return g_real.GetWindowsDirectoryW(buffer, size);
}

UINT WINAPI StubGetSystemDirectoryW(LPWSTR buffer, UINT size)
{
    const Verdict v = Enter(Api::GetSystemDirectoryW);
    if (v.fail)
    {
        ClearText(buffer, size);
        return FailWith(v, UINT(0));
    }
    return g_real.GetSystemDirectoryW(buffer, size);
}

DWORD WINAPI StubGetTempPathW(DWORD size, LPWSTR buffer)
{
    const Verdict v = Enter(Api::GetTempPathW);
    if (v.fail)
    {
        ClearText(buffer, size);
        return FailWith(v, DWORD(0));
    }
    return g_real.GetTempPathW(size, buffer);
}

DWORD WINAPI StubGetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size)
{
    const Verdict v = Enter(Api::GetEnvironmentVariableW);
    if (v.fail)
    {
        ClearText(buffer, size);
        return FailWith(v, DWORD(0));
    }
    return g_real.GetEnvironmentVariableW(name, buffer, size);
}

DWORD WINAPI StubExpandEnvironmentStringsW(LPCWSTR text, LPWSTR buffer, DWORD size)
{
    const Verdict v = Enter(Api::ExpandEnvironmentStringsW);
    if (v.fail)
    {
        ClearText(buffer, size);
        return FailWith(v, DWORD(0));
    }
    return g_real.ExpandEnvironmentStringsW(text, buffer, size);
}

HMODULE WINAPI StubLoadLibraryExA(LPCSTR name, HANDLE file, DWORD flags)
{
    const Verdict v = Enter(Api::LoadLibraryExA);
    return v.fail ? FailWith<HMODULE>(v, nullptr) : g_real.LoadLibraryExA(name, file, flags);
}

HMODULE WINAPI StubLoadLibraryA(LPCSTR name)
{
    const Verdict v = Enter(Api::LoadLibraryA);
    return v.fail ? FailWith<HMODULE>(v, nullptr) : g_real.LoadLibraryA(name);
}

HMODULE WINAPI StubLoadLibraryW(LPCWSTR name)
{
    const Verdict v = Enter(Api::LoadLibraryW);
    return v.fail ? FailWith<HMODULE>(v, nullptr) : g_real.LoadLibraryW(name);
}

// As a path longer than the buffer fails: cut to fit, the buffer's size returned.
DWORD WINAPI StubGetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size)
{
    const Verdict v = Enter(Api::GetModuleFileNameA);
    const DWORD length = g_real.GetModuleFileNameA(module, buffer, size);
    if (!v.fail || length == 0 || size == 0)
    {
        return length;
    }
    buffer[size - 1] = '\0';
    return FailWith(v, size);
}

DWORD WINAPI StubFormatMessageA(DWORD flags, LPCVOID source, DWORD id, DWORD language, LPSTR buffer,
                                DWORD size, va_list* arguments)
{
    const Verdict v = Enter(Api::FormatMessageA);
    if (!v.fail)
    {
        return g_real.FormatMessageA(flags, source, id, language, buffer, size, arguments);
    }
    if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) && buffer)
    {
        *reinterpret_cast<LPSTR*>(buffer) = nullptr;
    }
    else if (buffer && size > 0)
    {
        buffer[0] = '\0';
    }
    return FailWith(v, DWORD(0));
}

int WINAPI StubMultiByteToWideChar(UINT codePage, DWORD flags, LPCCH text, int length, LPWSTR wide,
                                   int wideLength)
{
    const Verdict v = Enter(Api::MultiByteToWideChar);
    return v.fail ? FailWith(v, 0)
                  : g_real.MultiByteToWideChar(codePage, flags, text, length, wide, wideLength);
}

int WINAPI StubWideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideLength,
                                   LPSTR text, int length, LPCCH defaultChar, LPBOOL usedDefault)
{
    const Verdict v = Enter(Api::WideCharToMultiByte);
    return v.fail ? FailWith(v, 0)
                  : g_real.WideCharToMultiByte(codePage, flags, wide, wideLength, text, length,
                                               defaultChar, usedDefault);
}

DWORD WINAPI StubGetFileVersionInfoSizeA(LPCSTR path, LPDWORD handle)
{
    const Verdict v = Enter(Api::GetFileVersionInfoSizeA);
    return v.fail ? FailWith(v, DWORD(0)) : g_real.GetFileVersionInfoSizeA(path, handle);
}

BOOL WINAPI StubGetFileVersionInfoA(LPCSTR path, DWORD handle, DWORD size, LPVOID data)
{
    const Verdict v = Enter(Api::GetFileVersionInfoA);
    return v.fail ? FailWith(v, FALSE) : g_real.GetFileVersionInfoA(path, handle, size, data);
}

BOOL WINAPI StubVerQueryValueA(LPCVOID block, LPCSTR name, LPVOID* value, PUINT length)
{
    const Verdict v = Enter(Api::VerQueryValueA);
    if (!v.fail)
    {
        return g_real.VerQueryValueA(block, name, value, length);
    }
    Clear(value);
    Clear(length);
    return FailWith(v, FALSE);
}

BOOL WINAPI StubCloseHandle(HANDLE handle)
{
    detail::ForgetFile(handle);
    return g_real.CloseHandle(handle);
}

// The registry reports failure by its result alone; the thread's last error stays.
LONG WINAPI StubRegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass,
                                DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES sa,
                                PHKEY result, LPDWORD disposition)
{
    const Verdict v = Enter(Api::RegCreateKeyExA);
    detail::NoteKey(v, Api::RegCreateKeyExA, key, subKey);
    if (v.fail)
    {
        Clear(result);
        return static_cast<LONG>(v.error);
    }
    const LONG status = g_real.RegCreateKeyExA(key, subKey, reserved, keyClass, options, access, sa,
                                               result, disposition);
    if (status == ERROR_SUCCESS && result)
    {
        detail::RememberKey(v, *result, key, subKey);
    }
    return status;
}

// Both spellings alike: `open` is the real function of the same spelling.
template <typename Char, typename Open>
LONG OpenKey(Api api, Open open, HKEY key, const Char* subKey, DWORD options, REGSAM access,
             PHKEY result)
{
    const Verdict v = Enter(api);
    if (OpensKeyForWriting(access))
    {
        detail::NoteKey(v, api, key, subKey);
    }
    if (v.fail)
    {
        Clear(result);
        return static_cast<LONG>(v.error);
    }
    const LONG status = open(key, subKey, options, access, result);
    if (status == ERROR_SUCCESS && result)
    {
        detail::RememberKey(v, *result, key, subKey);
    }
    return status;
}

LONG WINAPI StubRegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result)
{
    return OpenKey(Api::RegOpenKeyExA, g_real.RegOpenKeyExA, key, subKey, options, access, result);
}

LONG WINAPI StubRegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result)
{
    return OpenKey(Api::RegOpenKeyExW, g_real.RegOpenKeyExW, key, subKey, options, access, result);
}

LONG WINAPI StubRegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                               DWORD size)
{
    const Verdict v = Enter(Api::RegSetValueExA);
    detail::NoteKey(v, Api::RegSetValueExA, key, nullptr, name ? name : "");
    return v.fail ? static_cast<LONG>(v.error)
                  : g_real.RegSetValueExA(key, name, reserved, type, data, size);
}

LONG WINAPI StubRegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                 LPDWORD size)
{
    const Verdict v = Enter(Api::RegQueryValueExA);
    return v.fail ? static_cast<LONG>(v.error)
                  : g_real.RegQueryValueExA(key, name, reserved, type, data, size);
}

LONG WINAPI StubRegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type,
                                 LPBYTE data, LPDWORD size)
{
    const Verdict v = Enter(Api::RegQueryValueExW);
    return v.fail ? static_cast<LONG>(v.error)
                  : g_real.RegQueryValueExW(key, name, reserved, type, data, size);
}

LONG WINAPI StubRegGetValueW(HKEY key, LPCWSTR subKey, LPCWSTR name, DWORD flags, LPDWORD type,
                             PVOID data, LPDWORD size)
{
    const Verdict v = Enter(Api::RegGetValueW);
    return v.fail ? static_cast<LONG>(v.error)
                  : g_real.RegGetValueW(key, subKey, name, flags, type, data, size);
}

LONG WINAPI StubRegDeleteValueA(HKEY key, LPCSTR name)
{
    const Verdict v = Enter(Api::RegDeleteValueA);
    detail::NoteKey(v, Api::RegDeleteValueA, key, nullptr, name ? name : "");
    return v.fail ? static_cast<LONG>(v.error) : g_real.RegDeleteValueA(key, name);
}

LONG WINAPI StubRegDeleteKeyA(HKEY key, LPCSTR subKey)
{
    const Verdict v = Enter(Api::RegDeleteKeyA);
    detail::NoteKey(v, Api::RegDeleteKeyA, key, subKey);
    return v.fail ? static_cast<LONG>(v.error) : g_real.RegDeleteKeyA(key, subKey);
}

LONG WINAPI StubRegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                              LPSTR keyClass, LPDWORD classSize, PFILETIME written)
{
    const Verdict v = Enter(Api::RegEnumKeyExA);
    return v.fail ? static_cast<LONG>(v.error)
                  : g_real.RegEnumKeyExA(key, index, name, nameSize, reserved, keyClass, classSize,
                                         written);
}

LONG WINAPI StubRegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                              LPDWORD type, LPBYTE data, LPDWORD dataSize)
{
    const Verdict v = Enter(Api::RegEnumValueA);
    return v.fail
               ? static_cast<LONG>(v.error)
               : g_real.RegEnumValueA(key, index, name, nameSize, reserved, type, data, dataSize);
}

LONG WINAPI StubRegCloseKey(HKEY key)
{
    detail::ForgetKey(key);
    return g_real.RegCloseKey(key);
}

BOOL WINAPI StubOpenProcessToken(HANDLE process, DWORD access, PHANDLE token)
{
    const Verdict v = Enter(Api::OpenProcessToken);
    detail::NoteCall(v, Api::OpenProcessToken, "", access);
    return v.fail ? FailWith(v, FALSE) : g_real.OpenProcessToken(process, access, token);
}

BOOL WINAPI StubLookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid)
{
    const Verdict v = Enter(Api::LookupPrivilegeValueA);
    detail::NoteCall(v, Api::LookupPrivilegeValueA, name, 0);
    return v.fail ? FailWith(v, FALSE) : g_real.LookupPrivilegeValueA(system, name, luid);
}

BOOL WINAPI StubAdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES state,
                                      DWORD size, PTOKEN_PRIVILEGES previous, PDWORD returned)
{
    const Verdict v = Enter(Api::AdjustTokenPrivileges);
    if (v.watched && state && state->PrivilegeCount > 0)
    {
        char name[64] = "";
        DWORD length = sizeof(name);
        LookupPrivilegeNameA(nullptr, &state->Privileges[0].Luid, name, &length);
        detail::NoteCall(v, Api::AdjustTokenPrivileges, name, state->Privileges[0].Attributes);
    }
    return v.fail
               ? FailWith(v, FALSE)
               : g_real.AdjustTokenPrivileges(token, disableAll, state, size, previous, returned);
}

// A test never restarts the machine: while armed the call only answers.
BOOL WINAPI StubExitWindowsEx(UINT flags, DWORD reason)
{
    const Verdict v = Enter(Api::ExitWindowsEx);
    detail::NoteCall(v, Api::ExitWindowsEx, "", flags);
    if (v.fail)
    {
        return FailWith(v, FALSE);
    }
    return v.watched ? TRUE : g_real.ExitWindowsEx(flags, reason);
}

HRESULT WINAPI StubCoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                                    LPVOID* object)
{
    const Verdict v = Enter(Api::CoCreateInstance);
    if (v.fail)
    {
        Clear(object);
        return static_cast<HRESULT>(v.error);
    }
    const HRESULT hr = g_real.CoCreateInstance(clsid, outer, context, iid, object);
    if (SUCCEEDED(hr) && !outer && object && *object && IsEqualCLSID(clsid, CLSID_ShellLink))
    {
        detail::WrapShellObject(iid, object);
    }
    return hr;
}

HRESULT WINAPI StubOleInitialize(LPVOID reserved)
{
    const Verdict v = Enter(Api::OleInitialize);
    return v.fail ? static_cast<HRESULT>(v.error) : g_real.OleInitialize(reserved);
}

HRESULT WINAPI StubSHGetMalloc(LPMALLOC* allocator)
{
    const Verdict v = Enter(Api::SHGetMalloc);
    if (v.fail)
    {
        Clear(allocator);
        return static_cast<HRESULT>(v.error);
    }
    return g_real.SHGetMalloc(allocator);
}

HRESULT WINAPI StubSHGetSpecialFolderLocation(HWND owner, int csidl, PIDLIST_ABSOLUTE* list)
{
    const Verdict v = Enter(Api::SHGetSpecialFolderLocation);
    if (v.fail)
    {
        Clear(list);
        return static_cast<HRESULT>(v.error);
    }
    return g_real.SHGetSpecialFolderLocation(owner, csidl, list);
}

BOOL WINAPI StubSHGetPathFromIDListA(PCIDLIST_ABSOLUTE list, LPSTR path)
{
    const Verdict v = Enter(Api::SHGetPathFromIDListA);
    if (v.fail)
    {
        if (path)
        {
            path[0] = '\0';
        }
        return FailWith(v, FALSE);
    }
    return g_real.SHGetPathFromIDListA(list, path);
}

BOOL WINAPI StubSHGetPathFromIDListW(PCIDLIST_ABSOLUTE list, LPWSTR path)
{
    const Verdict v = Enter(Api::SHGetPathFromIDListW);
    if (v.fail)
    {
        if (path)
        {
            path[0] = L'\0';
        }
        return FailWith(v, FALSE);
    }
    return g_real.SHGetPathFromIDListW(list, path);
}

PIDLIST_ABSOLUTE WINAPI StubSHBrowseForFolderA(LPBROWSEINFOA info)
{
    const Verdict v = Enter(Api::SHBrowseForFolderA);
    return v.fail ? FailWith<PIDLIST_ABSOLUTE>(v, nullptr) : g_real.SHBrowseForFolderA(info);
}

BOOL WINAPI StubAllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD a0,
                                         DWORD a1, DWORD a2, DWORD a3, DWORD a4, DWORD a5, DWORD a6,
                                         DWORD a7, PSID* sid)
{
    const Verdict v = Enter(Api::AllocateAndInitializeSid);
    if (v.fail)
    {
        Clear(sid);
        return FailWith(v, FALSE);
    }
    return g_real.AllocateAndInitializeSid(authority, count, a0, a1, a2, a3, a4, a5, a6, a7, sid);
}

// The C runtime's allocations fail as it does: null, and errno ENOMEM.
void* OutOfMemory()
{
    errno = ENOMEM;
    return nullptr;
}

void* __cdecl Stubmalloc(size_t size)
{
    return Enter(Api::Malloc).fail ? OutOfMemory() : g_real.malloc(size);
}

void* __cdecl Stubcalloc(size_t count, size_t size)
{
    return Enter(Api::Calloc).fail ? OutOfMemory() : g_real.calloc(count, size);
}

void* __cdecl Stubrealloc(void* block, size_t size)
{
    return Enter(Api::Realloc).fail ? OutOfMemory() : g_real.realloc(block, size);
}

DWORD WINAPI StubGetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE type, SECURITY_INFORMATION info,
                                 PSID* owner, PSID* group, PACL* dacl, PACL* sacl,
                                 PSECURITY_DESCRIPTOR* descriptor)
{
    const Verdict v = Enter(Api::GetSecurityInfo);
    if (v.fail)
    {
        Clear(descriptor);
        return v.error;
    }
    return g_real.GetSecurityInfo(handle, type, info, owner, group, dacl, sacl, descriptor);
}

DWORD WINAPI StubSetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE type, SECURITY_INFORMATION info,
                                 PSID owner, PSID group, PACL dacl, PACL sacl)
{
    const Verdict v = Enter(Api::SetSecurityInfo);
    if (type == SE_FILE_OBJECT)
    {
        detail::NoteHandle(v, Api::SetSecurityInfo, handle);
    }
    return v.fail ? v.error : g_real.SetSecurityInfo(handle, type, info, owner, group, dacl, sacl);
}

DWORD WINAPI StubSetEntriesInAclA(ULONG count, PEXPLICIT_ACCESS_A entries, PACL oldAcl,
                                  PACL* newAcl)
{
    const Verdict v = Enter(Api::SetEntriesInAclA);
    if (v.fail)
    {
        Clear(newAcl);
        return v.error;
    }
    return g_real.SetEntriesInAclA(count, entries, oldAcl, newAcl);
}

BOOL WINAPI StubCryptAcquireContextA(HCRYPTPROV* provider, LPCSTR container, LPCSTR name,
                                     DWORD type, DWORD flags)
{
    const Verdict v = Enter(Api::CryptAcquireContextA);
    if (v.fail)
    {
        Clear(provider);
        return FailWith(v, FALSE);
    }
    return g_real.CryptAcquireContextA(provider, container, name, type, flags);
}

BOOL WINAPI StubCryptCreateHash(HCRYPTPROV provider, ALG_ID algorithm, HCRYPTKEY key, DWORD flags,
                                HCRYPTHASH* hash)
{
    const Verdict v = Enter(Api::CryptCreateHash);
    if (v.fail)
    {
        Clear(hash);
        return FailWith(v, FALSE);
    }
    return g_real.CryptCreateHash(provider, algorithm, key, flags, hash);
}

BOOL WINAPI StubCryptHashData(HCRYPTHASH hash, const BYTE* data, DWORD size, DWORD flags)
{
    const Verdict v = Enter(Api::CryptHashData);
    return v.fail ? FailWith(v, FALSE) : g_real.CryptHashData(hash, data, size, flags);
}

BOOL WINAPI StubCryptGetHashParam(HCRYPTHASH hash, DWORD parameter, BYTE* data, DWORD* size,
                                  DWORD flags)
{
    const Verdict v = Enter(Api::CryptGetHashParam);
    return v.fail ? FailWith(v, FALSE)
                  : g_real.CryptGetHashParam(hash, parameter, data, size, flags);
}

void WINAPI StubDisableProcessWindowsGhosting()
{
    const Verdict v = Enter(Api::DisableProcessWindowsGhosting);
    if (v.fail)
    {
        SetLastError(v.error);
        return;
    }
    g_real.DisableProcessWindowsGhosting();
}

// One function whose address is stored in a slot of another type; kept as raw bits so that
// no cast between unrelated function types is needed.
struct Hook
{
    const char* module;
    const char* name;
    uintptr_t stub;
    void* real;
};

template <typename Fn> Hook MakeHook(const char* module, const char* name, Fn stub, Fn* real)
{
    return {module, name, reinterpret_cast<uintptr_t>(stub), real};
}

// Hands out stubs from the table of bound functions below.
FARPROC WINAPI StubGetProcAddress(HMODULE module, LPCSTR name);

#define FAULT_HOOK(module, fn) MakeHook(module, #fn, &Stub##fn, &g_real.fn)

// Imported by the program: patched in its import table.
const Hook kImports[] = {
    FAULT_HOOK("kernel32.dll", CreateFileA),
    FAULT_HOOK("kernel32.dll", ReadFile),
    FAULT_HOOK("kernel32.dll", WriteFile),
    FAULT_HOOK("kernel32.dll", FlushFileBuffers),
    FAULT_HOOK("kernel32.dll", SetFilePointer),
    FAULT_HOOK("kernel32.dll", SetEndOfFile),
    FAULT_HOOK("kernel32.dll", SetFileTime),
    FAULT_HOOK("kernel32.dll", GetFileSize),
    FAULT_HOOK("kernel32.dll", GetFileAttributesA),
    FAULT_HOOK("kernel32.dll", SetFileAttributesA),
    FAULT_HOOK("kernel32.dll", DeleteFileA),
    FAULT_HOOK("kernel32.dll", FindFirstFileA),
    FAULT_HOOK("kernel32.dll", FindNextFileA),
    FAULT_HOOK("kernel32.dll", GetShortPathNameA),
    FAULT_HOOK("kernel32.dll", GetFileInformationByHandle),
    FAULT_HOOK("kernel32.dll", MoveFileA),
    FAULT_HOOK("kernel32.dll", MoveFileExA),
    FAULT_HOOK("kernel32.dll", CreateDirectoryA),
    FAULT_HOOK("kernel32.dll", RemoveDirectoryA),
    FAULT_HOOK("kernel32.dll", GetDiskFreeSpaceA),
    FAULT_HOOK("kernel32.dll", GetFileAttributesW),
    FAULT_HOOK("kernel32.dll", CreateFileW),
    FAULT_HOOK("kernel32.dll", GetShortPathNameW),
    FAULT_HOOK("kernel32.dll", GetDriveTypeW),
    FAULT_HOOK("kernel32.dll", GetWindowsDirectoryW),
    FAULT_HOOK("kernel32.dll", GetSystemDirectoryW),
    FAULT_HOOK("kernel32.dll", GetTempPathW),
    FAULT_HOOK("kernel32.dll", GetEnvironmentVariableW),
    FAULT_HOOK("kernel32.dll", ExpandEnvironmentStringsW),
    FAULT_HOOK("shell32.dll", SHGetPathFromIDListW),
    FAULT_HOOK("kernel32.dll", LoadLibraryA),
    FAULT_HOOK("kernel32.dll", LoadLibraryW),
    FAULT_HOOK("kernel32.dll", LoadLibraryExA),
    FAULT_HOOK("kernel32.dll", GetProcAddress),
    FAULT_HOOK("kernel32.dll", GetModuleFileNameA),
    FAULT_HOOK("kernel32.dll", FormatMessageA),
    FAULT_HOOK("kernel32.dll", MultiByteToWideChar),
    FAULT_HOOK("kernel32.dll", WideCharToMultiByte),
    FAULT_HOOK("kernel32.dll", CloseHandle),
    FAULT_HOOK("version.dll", GetFileVersionInfoSizeA),
    FAULT_HOOK("version.dll", GetFileVersionInfoA),
    FAULT_HOOK("version.dll", VerQueryValueA),
    FAULT_HOOK("advapi32.dll", RegCreateKeyExA),
    FAULT_HOOK("advapi32.dll", RegOpenKeyExA),
    FAULT_HOOK("advapi32.dll", RegOpenKeyExW),
    FAULT_HOOK("advapi32.dll", RegSetValueExA),
    FAULT_HOOK("advapi32.dll", RegQueryValueExA),
    FAULT_HOOK("advapi32.dll", RegQueryValueExW),
    FAULT_HOOK("advapi32.dll", RegGetValueW),
    FAULT_HOOK("advapi32.dll", RegDeleteValueA),
    FAULT_HOOK("advapi32.dll", RegDeleteKeyA),
    FAULT_HOOK("advapi32.dll", RegEnumKeyExA),
    FAULT_HOOK("advapi32.dll", RegEnumValueA),
    FAULT_HOOK("advapi32.dll", RegCloseKey),
    FAULT_HOOK("ole32.dll", CoCreateInstance),
    FAULT_HOOK("ole32.dll", OleInitialize),
    FAULT_HOOK("shell32.dll", SHGetMalloc),
    FAULT_HOOK("shell32.dll", SHGetSpecialFolderLocation),
    FAULT_HOOK("shell32.dll", SHGetPathFromIDListA),
    FAULT_HOOK("shell32.dll", SHBrowseForFolderA),
    FAULT_HOOK("advapi32.dll", AllocateAndInitializeSid),
    FAULT_HOOK("advapi32.dll", OpenProcessToken),
    FAULT_HOOK("advapi32.dll", LookupPrivilegeValueA),
    FAULT_HOOK("advapi32.dll", AdjustTokenPrivileges),
    FAULT_HOOK("user32.dll", ExitWindowsEx),
    FAULT_HOOK("msvcrt.dll", malloc),
    FAULT_HOOK("msvcrt.dll", calloc),
    FAULT_HOOK("msvcrt.dll", realloc),
};

// Bound by the program at run time: handed out by the GetProcAddress stub. Some are
// imported as well, so that either way of reaching them counts.
const Hook kBound[] = {
    FAULT_HOOK("kernel32.dll", GetDiskFreeSpaceExA),
    FAULT_HOOK("kernel32.dll", GetVolumePathNameA),
    FAULT_HOOK("kernel32.dll", GetFinalPathNameByHandleW),
    FAULT_HOOK("advapi32.dll", GetSecurityInfo),
    FAULT_HOOK("advapi32.dll", SetSecurityInfo),
    FAULT_HOOK("advapi32.dll", SetEntriesInAclA),
    FAULT_HOOK("advapi32.dll", CryptAcquireContextA),
    FAULT_HOOK("advapi32.dll", CryptCreateHash),
    FAULT_HOOK("advapi32.dll", CryptHashData),
    FAULT_HOOK("advapi32.dll", CryptGetHashParam),
    FAULT_HOOK("user32.dll", DisableProcessWindowsGhosting),
    FAULT_HOOK("advapi32.dll", RegOpenKeyExW),
    FAULT_HOOK("advapi32.dll", RegQueryValueExW),
    FAULT_HOOK("advapi32.dll", RegGetValueW),
    FAULT_HOOK("version.dll", GetFileVersionInfoSizeA),
    FAULT_HOOK("version.dll", GetFileVersionInfoA),
    FAULT_HOOK("version.dll", VerQueryValueA),
};

#undef FAULT_HOOK

void StoreReal(const Hook& hook, uintptr_t address)
{
    memcpy(hook.real, &address, sizeof(address));
}

FARPROC WINAPI StubGetProcAddress(HMODULE module, LPCSTR name)
{
    const Verdict v = Enter(Api::GetProcAddress);
    if (v.fail)
    {
        return FailWith<FARPROC>(v, nullptr);
    }
    const FARPROC found = g_real.GetProcAddress(module, name);
    // An ordinal is no name to compare.
    if (!found || reinterpret_cast<uintptr_t>(name) <= 0xFFFF)
    {
        return found;
    }
    for (const Hook& hook : kBound)
    {
        if (strcmp(name, hook.name) == 0 && module == GetModuleHandleA(hook.module))
        {
            StoreReal(hook, reinterpret_cast<uintptr_t>(found));
            return reinterpret_cast<FARPROC>(hook.stub);
        }
    }
    return found;
}

const Hook* FindImport(const char* module, const char* name)
{
    for (const Hook& hook : kImports)
    {
        if (_stricmp(module, hook.module) == 0 && strcmp(name, hook.name) == 0)
        {
            return &hook;
        }
    }
    return nullptr;
}

bool Patch(uintptr_t* slot, const Hook& hook)
{
    DWORD old = 0;
    if (!VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &old))
    {
        fprintf(stderr, "fault: cannot unprotect the import of %s (error %lu)\n", hook.name,
                GetLastError());
        return false;
    }
    StoreReal(hook, *slot);
    *slot = hook.stub;
    VirtualProtect(slot, sizeof(*slot), old, &old);
    return true;
}

bool PatchImports()
{
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || nt->Signature != IMAGE_NT_SIGNATURE)
    {
        fprintf(stderr, "fault: the program's image has no PE headers\n");
        return false;
    }
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0)
    {
        fprintf(stderr, "fault: the program imports nothing\n");
        return false;
    }
    int patched = 0;
    for (auto* module =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         module->Name; ++module)
    {
        // Without the lookup table the names are gone once the loader bound the slots.
        if (module->OriginalFirstThunk == 0)
        {
            continue;
        }
        const char* moduleName = reinterpret_cast<const char*>(base + module->Name);
        auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
        auto* slots = reinterpret_cast<uintptr_t*>(base + module->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots)
        {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
            {
                continue;
            }
            const auto* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            const Hook* hook = FindImport(moduleName, reinterpret_cast<const char*>(byName->Name));
            if (hook)
            {
                if (!Patch(slots, *hook))
                {
                    return false;
                }
                ++patched;
            }
        }
    }
    if (patched == 0)
    {
        fprintf(stderr, "fault: none of the watched functions is imported\n");
        return false;
    }
    return true;
}
} // namespace

namespace detail
{
void* RealMalloc(std::size_t size)
{
    return g_real.malloc ? g_real.malloc(size) : std::malloc(size);
}
} // namespace detail

void EditFileInformation(FileInformationEdit edit)
{
    g_editInformation = edit;
}

bool Install()
{
    // Before any test thread runs; a second call finds the table patched already.
    static const bool installed = PatchImports();
    return installed;
}
} // namespace Fault
