#include "package/FileIo.h"

#include <cstdio>
#include <cstring>

#ifndef _WIN32
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace FileIo
{

#ifdef _WIN32

uint32_t GetLastError()
{
    return ::GetLastError();
}

void SetLastError(uint32_t code)
{
    ::SetLastError(code);
}

std::string ErrorText(uint32_t code)
{
    char* text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string result;
    if (length != 0 && text != nullptr)
    {
        result.assign(text, length);
    }
    if (text != nullptr)
    {
        LocalFree(text);
    }
    while (!result.empty() &&
           (result.back() == '\r' || result.back() == '\n' || result.back() == ' '))
    {
        result.pop_back();
    }
    if (result.empty())
    {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "Error %lu", static_cast<unsigned long>(code));
        result = buffer;
    }
    return result;
}

Handle OpenExisting(const std::string& path, bool writable)
{
    return CreateFileA(path.c_str(), writable ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                       writable ? 0 : FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

Handle CreateNew(const std::string& path)
{
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

Handle CreateAlways(const std::string& path)
{
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

void Close(Handle& file)
{
    if (file != INVALID_HANDLE_VALUE)
    {
        // Keep the code of the failure that led here, not CloseHandle's.
        DWORD saved = ::GetLastError();
        CloseHandle(file);
        ::SetLastError(saved);
        file = INVALID_HANDLE_VALUE;
    }
}

bool Delete(const std::string& path)
{
    return DeleteFileA(path.c_str()) != FALSE;
}

bool Read(Handle file, void* buffer, uint32_t size, uint32_t* done)
{
    *done = 0;
    auto* p = static_cast<uint8_t*>(buffer);
    while (*done < size)
    {
        DWORD got = 0;
        if (!ReadFile(file, p + *done, size - *done, &got, nullptr))
        {
            return false;
        }
        if (got == 0)
        {
            break;
        }
        *done += got;
    }
    return true;
}

bool Write(Handle file, const void* buffer, uint32_t size, uint32_t* done)
{
    *done = 0;
    const auto* p = static_cast<const uint8_t*>(buffer);
    while (*done < size)
    {
        DWORD put = 0;
        if (!WriteFile(file, p + *done, size - *done, &put, nullptr))
        {
            return false;
        }
        if (put == 0)
        {
            ::SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        *done += put;
    }
    return true;
}

// These calls can only be told to have failed by clearing the code first;
// on success the caller's code is put back, so a success changes nothing.
bool Seek(Handle file, uint32_t offset, uint32_t* position)
{
    DWORD saved = ::GetLastError();
    ::SetLastError(NO_ERROR);
    DWORD result = SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN);
    if (result == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR)
    {
        return false;
    }
    ::SetLastError(saved);
    *position = result;
    return true;
}

bool Tell(Handle file, uint64_t* position)
{
    DWORD saved = ::GetLastError();
    LONG high = 0;
    ::SetLastError(NO_ERROR);
    DWORD low = SetFilePointer(file, 0, &high, FILE_CURRENT);
    if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR)
    {
        return false;
    }
    ::SetLastError(saved);
    *position = (static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | low;
    return true;
}

bool GetSize(Handle file, uint64_t* size)
{
    DWORD saved = ::GetLastError();
    DWORD high = 0;
    ::SetLastError(NO_ERROR);
    DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR)
    {
        return false;
    }
    ::SetLastError(saved);
    *size = (static_cast<uint64_t>(high) << 32) | low;
    return true;
}

bool SetEnd(Handle file)
{
    return SetEndOfFile(file) != FALSE;
}

bool Flush(Handle file)
{
    return FlushFileBuffers(file) != FALSE;
}

#else // POSIX

namespace
{
thread_local uint32_t t_lastError = 0;

struct ErrorName
{
    uint32_t code;
    const char* text;
};

// The system texts of the codes this layer produces, as Windows words them.
const ErrorName kErrorTexts[] = {
    {kErrorSuccess, "The operation completed successfully."},
    {kErrorFileNotFound, "The system cannot find the file specified."},
    {kErrorPathNotFound, "The system cannot find the path specified."},
    {kErrorTooManyOpenFiles, "The system cannot open the file."},
    {kErrorAccessDenied, "Access is denied."},
    {kErrorInvalidHandle, "The handle is invalid."},
    {kErrorNotEnoughMemory, "Not enough memory resources are available to process this command."},
    {kErrorNotSameDevice, "The system cannot move the file to a different disk drive."},
    {kErrorWriteFault, "The system cannot write to the specified device."},
    {kErrorReadFault, "The system cannot read from the specified device."},
    {kErrorSharingViolation,
     "The process cannot access the file because it is being used by another process."},
    {kErrorHandleEof, "Reached the end of the file."},
    {kErrorNotSupported, "The request is not supported."},
    {kErrorFileExists, "The file exists."},
    {kErrorInvalidParameter, "The parameter is incorrect."},
    {kErrorDiskFull, "There is not enough space on the disk."},
    {kErrorInvalidName, "The filename, directory name, or volume label syntax is incorrect."},
    {kErrorNegativeSeek,
     "An attempt was made to move the file pointer before the beginning of the file."},
    {kErrorDirNotEmpty, "The directory is not empty."},
    {kErrorAlreadyExists, "Cannot create a file when that file already exists."},
    {kErrorBadExeFormat, "The file is not a valid Win32 application."},
    {kErrorFilenameExcedRange, "The filename or extension is too long."},
    {kErrorFileTooLarge, "The file size exceeds the limit allowed and cannot be saved."},
    {kErrorDirectory, "The directory name is invalid."},
    {kErrorIoDevice, "The request could not be performed because of an I/O device error."},
    {kErrorFileCorrupt, "The file or directory is corrupted and unreadable."},
    {kErrorResourceDataNotFound, "The specified image file did not contain a resource section."},
    {kErrorResourceTypeNotFound, "The specified resource type cannot be found in the image file."},
    {kErrorCantResolveFilename, "The name of the file cannot be resolved by the system."},
};

// ENOENT means a missing file or a missing folder on the way to it; Windows
// tells the two apart, so look at the parent.
uint32_t MissingFileOrPath(const std::string& path)
{
    std::string::size_type slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0)
    {
        return kErrorFileNotFound;
    }
    struct stat st;
    std::string parent = path.substr(0, slash);
    if (stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    {
        return kErrorFileNotFound;
    }
    return kErrorPathNotFound;
}

Handle OpenWithFlags(const std::string& path, int flags)
{
    int fd;
    do
    {
        fd = open(path.c_str(), flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
    {
        int err = errno;
        t_lastError = err == ENOENT ? MissingFileOrPath(path) : ErrorFromErrno(err);
        return -1;
    }
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode))
    {
        // Windows refuses to open a folder as a file.
        close(fd);
        t_lastError = kErrorAccessDenied;
        return -1;
    }
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}
} // namespace

uint32_t ErrorFromErrno(int err)
{
    switch (err)
    {
    case 0:
        return kErrorSuccess;
    case ENOENT:
        return kErrorFileNotFound;
    case ENOTDIR:
        return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return kErrorAccessDenied;
    case EEXIST:
        return kErrorFileExists;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return kErrorDiskFull;
    case EFBIG:
        return kErrorFileTooLarge;
    case EBADF:
        return kErrorInvalidHandle;
    case ENOMEM:
        return kErrorNotEnoughMemory;
    case EMFILE:
    case ENFILE:
        return kErrorTooManyOpenFiles;
    case EIO:
        return kErrorIoDevice;
    case ENAMETOOLONG:
        return kErrorFilenameExcedRange;
    case ENOTEMPTY:
        return kErrorDirNotEmpty;
    case EINVAL:
        return kErrorInvalidParameter;
    case EBUSY:
    case ETXTBSY:
        return kErrorSharingViolation;
    case EXDEV:
        return kErrorNotSameDevice;
    case ELOOP:
        return kErrorCantResolveFilename;
    default:
        return kErrnoFlag | static_cast<uint32_t>(err);
    }
}

void SetLastErrorFromErrno(int err)
{
    t_lastError = ErrorFromErrno(err);
}

uint32_t GetLastError()
{
    return t_lastError;
}

void SetLastError(uint32_t code)
{
    t_lastError = code;
}

std::string ErrorText(uint32_t code)
{
    for (const ErrorName& entry : kErrorTexts)
    {
        if (entry.code == code)
        {
            return entry.text;
        }
    }
    if ((code & kErrnoFlag) != 0)
    {
        return std::strerror(static_cast<int>(code & ~kErrnoFlag));
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "Error %lu", static_cast<unsigned long>(code));
    return buffer;
}

Handle OpenExisting(const std::string& path, bool writable)
{
    return OpenWithFlags(path, writable ? O_RDWR : O_RDONLY);
}

Handle CreateNew(const std::string& path)
{
    return OpenWithFlags(path, O_RDWR | O_CREAT | O_EXCL);
}

Handle CreateAlways(const std::string& path)
{
    return OpenWithFlags(path, O_RDWR | O_CREAT | O_TRUNC);
}

void Close(Handle& file)
{
    if (file >= 0)
    {
        close(file);
        file = -1;
    }
}

bool Delete(const std::string& path)
{
    if (unlink(path.c_str()) != 0)
    {
        int err = errno;
        t_lastError = err == ENOENT ? MissingFileOrPath(path) : ErrorFromErrno(err);
        return false;
    }
    return true;
}

bool Read(Handle file, void* buffer, uint32_t size, uint32_t* done)
{
    *done = 0;
    auto* p = static_cast<uint8_t*>(buffer);
    while (*done < size)
    {
        ssize_t got = read(file, p + *done, size - *done);
        if (got < 0)
        {
            if (errno == EINTR)
            {
                continue;
            }
            SetLastErrorFromErrno(errno);
            return false;
        }
        if (got == 0)
        {
            break;
        }
        *done += static_cast<uint32_t>(got);
    }
    return true;
}

bool Write(Handle file, const void* buffer, uint32_t size, uint32_t* done)
{
    *done = 0;
    const auto* p = static_cast<const uint8_t*>(buffer);
    while (*done < size)
    {
        ssize_t put = write(file, p + *done, size - *done);
        if (put < 0)
        {
            if (errno == EINTR)
            {
                continue;
            }
            SetLastErrorFromErrno(errno);
            return false;
        }
        if (put == 0)
        {
            t_lastError = kErrorWriteFault;
            return false;
        }
        *done += static_cast<uint32_t>(put);
    }
    return true;
}

bool Seek(Handle file, uint32_t offset, uint32_t* position)
{
    if (offset > 0x7FFFFFFFu)
    {
        t_lastError = kErrorNegativeSeek;
        return false;
    }
    off_t result = lseek(file, static_cast<off_t>(offset), SEEK_SET);
    if (result < 0)
    {
        SetLastErrorFromErrno(errno);
        return false;
    }
    *position = static_cast<uint32_t>(result);
    return true;
}

bool Tell(Handle file, uint64_t* position)
{
    off_t result = lseek(file, 0, SEEK_CUR);
    if (result < 0)
    {
        SetLastErrorFromErrno(errno);
        return false;
    }
    *position = static_cast<uint64_t>(result);
    return true;
}

bool GetSize(Handle file, uint64_t* size)
{
    struct stat st;
    if (fstat(file, &st) != 0)
    {
        SetLastErrorFromErrno(errno);
        return false;
    }
    *size = static_cast<uint64_t>(st.st_size);
    return true;
}

bool SetEnd(Handle file)
{
    off_t position = lseek(file, 0, SEEK_CUR);
    if (position < 0 || ftruncate(file, position) != 0)
    {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}

bool Flush(Handle file)
{
    if (fsync(file) != 0)
    {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}

#endif

bool ReadExact(Handle file, void* buffer, uint32_t size)
{
    uint32_t got = 0;
    if (!Read(file, buffer, size, &got))
    {
        return false;
    }
    if (got != size)
    {
        SetLastError(kErrorFileCorrupt);
        return false;
    }
    return true;
}

bool SameFileName(const std::string& a, const std::string& b)
{
    auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
    if (a.size() != b.size())
    {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i)
    {
        if (upper(a[i]) != upper(b[i]))
        {
            return false;
        }
    }
    return true;
}

} // namespace FileIo
