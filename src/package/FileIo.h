#pragma once

// The thin file layer under the package classes: Win32 handles and the
// thread's last-error code on Windows, POSIX descriptors and an emulated
// Win32 last-error code elsewhere, so callers report failures the same way
// on both.

#include <cstdint>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace FileIo
{

#ifdef _WIN32
using Handle = HANDLE;
#else
using Handle = int;
#endif

inline Handle InvalidHandle()
{
#ifdef _WIN32
    return INVALID_HANDLE_VALUE;
#else
    return -1;
#endif
}

// Win32 error codes, valid on every platform.
constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorTooManyOpenFiles = 4;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorNotSameDevice = 17;
constexpr uint32_t kErrorWriteFault = 29;
constexpr uint32_t kErrorReadFault = 30;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorHandleEof = 38;
constexpr uint32_t kErrorNotSupported = 50;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorInvalidName = 123;
constexpr uint32_t kErrorNegativeSeek = 131;
constexpr uint32_t kErrorDirNotEmpty = 145;
constexpr uint32_t kErrorAlreadyExists = 183;
constexpr uint32_t kErrorBadExeFormat = 193;
constexpr uint32_t kErrorFilenameExcedRange = 206;
constexpr uint32_t kErrorFileTooLarge = 223;
constexpr uint32_t kErrorDirectory = 267;
constexpr uint32_t kErrorIoDevice = 1117;
constexpr uint32_t kErrorFileCorrupt = 1392;
constexpr uint32_t kErrorResourceDataNotFound = 1812;
constexpr uint32_t kErrorResourceTypeNotFound = 1813;
constexpr uint32_t kErrorCantResolveFilename = 1921;

// Codes with this bit set carry an errno value that has no Win32 counterpart
// (bit 29 is the Win32 range reserved for application codes).
constexpr uint32_t kErrnoFlag = 0x20000000u;

uint32_t GetLastError();
void SetLastError(uint32_t code);

// A readable, single-line text for any code this layer or the system sets.
std::string ErrorText(uint32_t code);

#ifndef _WIN32
// Turns errno into the Win32 code that the same failure gives on Windows.
uint32_t ErrorFromErrno(int err);
void SetLastErrorFromErrno(int err);
#endif

// Read-only opens let other readers in; writable opens are exclusive.
Handle OpenExisting(const std::string& path, bool writable);
// Fails with kErrorFileExists when the path exists.
Handle CreateNew(const std::string& path);
// Creates or truncates a file for writing (exclusive).
Handle CreateAlways(const std::string& path);
void Close(Handle& file);
bool Delete(const std::string& path);

// Reads until `size` bytes or the end of the file; `*done` says how many.
bool Read(Handle file, void* buffer, uint32_t size, uint32_t* done);
// Reads exactly `size` bytes; a file that ends first is corrupt (the package
// promised more than it holds).
bool ReadExact(Handle file, void* buffer, uint32_t size);
// Writes all bytes or fails; `*done` says how many went out.
bool Write(Handle file, const void* buffer, uint32_t size, uint32_t* done);

// Offsets are signed 32-bit distances from the start, as the package format
// requires: anything above 2,147,483,647 fails with kErrorNegativeSeek.
bool Seek(Handle file, uint32_t offset, uint32_t* position);
bool Tell(Handle file, uint64_t* position);
bool GetSize(Handle file, uint64_t* size);
bool SetEnd(Handle file);
bool Flush(Handle file);

// Whether two file names are one name to Windows on every system: ASCII letters match in
// either case, every other character only itself.
bool SameFileName(const std::string& a, const std::string& b);

} // namespace FileIo
