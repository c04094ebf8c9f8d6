#include "Platform.h"

#include <atomic>
#include <cstdio>

#ifdef _WIN32
#include "framework/Win32Handles.h"
#include <windows.h>
#else
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace Platform
{

namespace
{
std::atomic<unsigned> g_temporaryCounter{0};
} // namespace

std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty())
    {
        return name;
    }
    char last = folder.back();
    if (last == '/' || (kSeparator == '\\' && last == '\\'))
    {
        return folder + name;
    }
    return folder + kSeparator + name;
}

std::string ParentOf(const std::string& path)
{
    std::string::size_type cut =
        kSeparator == '\\' ? path.find_last_of("\\/") : path.find_last_of('/');
    if (cut == std::string::npos)
    {
        return ".";
    }
    if (cut == 0)
    {
        return path.substr(0, 1);
    }
    return path.substr(0, cut);
}

bool IsTemporaryName(const std::string& name)
{
    // NAME.pkgtool-PROCESS-COUNT.tmp
    const std::string marker = ".pkgtool-";
    const size_t at = name.rfind(marker);
    size_t i = at == std::string::npos ? name.size() : at + marker.size();
    const auto digits = [&name, &i]()
    {
        const size_t first = i;
        while (i < name.size() && name[i] >= '0' && name[i] <= '9')
        {
            ++i;
        }
        return i > first;
    };
    return at != std::string::npos && at != 0 && digits() && i < name.size() && name[i++] == '-' &&
           digits() && name.compare(i, std::string::npos, ".tmp") == 0;
}

bool Exists(const std::string& path)
{
    FileInfo info;
    return Stat(path, &info);
}

bool MakeFolders(const std::string& path)
{
    FileInfo info;
    if (Stat(path, &info))
    {
        if (info.isDirectory)
        {
            return true;
        }
        FileIo::SetLastError(FileIo::kErrorAlreadyExists);
        return false;
    }
    std::string parent = ParentOf(path);
    if (parent != path && parent != "." && !MakeFolders(parent))
    {
        return false;
    }
#ifdef _WIN32
    if (!CreateDirectoryA(path.c_str(), nullptr))
    {
        return ::GetLastError() == ERROR_ALREADY_EXISTS && Stat(path, &info) && info.isDirectory;
    }
#else
    if (mkdir(path.c_str(), 0777) != 0)
    {
        if (errno == EEXIST && Stat(path, &info) && info.isDirectory)
        {
            return true;
        }
        FileIo::SetLastErrorFromErrno(errno);
        return false;
    }
#endif
    return true;
}

#ifdef _WIN32

const char kSeparator = '\\';

namespace
{
uint64_t FromFileTime(const FILETIME& time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME ToFileTime(uint64_t time)
{
    FILETIME result;
    result.dwLowDateTime = static_cast<DWORD>(time);
    result.dwHighDateTime = static_cast<DWORD>(time >> 32);
    return result;
}
} // namespace

bool Stat(const std::string& path, FileInfo* info)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
    {
        return false;
    }
    info->isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info->size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    info->creationTime = FromFileTime(data.ftCreationTime);
    info->lastWriteTime = FromFileTime(data.ftLastWriteTime);
    return true;
}

bool ListFolder(const std::string& path, std::vector<std::string>* names, std::string* bad)
{
    names->clear();
    WIN32_FIND_DATAA data;
    CFindHandle find(FindFirstFileA(JoinPath(path, "*").c_str(), &data));
    if (!find.IsValid())
    {
        return false;
    }
    bool ok = true;
    do
    {
        std::string name = data.cFileName;
        if (name == "." || name == "..")
        {
            continue;
        }
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        {
            *bad = name;
            ok = false;
            break;
        }
        names->push_back(name);
    } while (FindNextFileA(find.Get(), &data));
    DWORD error = ::GetLastError();
    find.Reset();
    if (!ok)
    {
        ::SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    if (error != ERROR_NO_MORE_FILES)
    {
        ::SetLastError(error);
        return false;
    }
    return true;
}

bool RemoveEmptyFolder(const std::string& path)
{
    return RemoveDirectoryA(path.c_str()) != FALSE;
}

bool RenameFolder(const std::string& from, const std::string& to)
{
    return MoveFileA(from.c_str(), to.c_str()) != FALSE;
}

bool RenameNoReplace(const std::string& from, const std::string& to)
{
    return MoveFileA(from.c_str(), to.c_str()) != FALSE;
}

bool RenameReplace(const std::string& from, const std::string& to)
{
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool SetTimes(FileIo::Handle file, uint64_t creationTime, uint64_t lastWriteTime)
{
    FILETIME created = ToFileTime(creationTime);
    FILETIME written = ToFileTime(lastWriteTime);
    return SetFileTime(file, &created, nullptr, &written) != FALSE;
}

std::string TemporaryNameBeside(const std::string& path)
{
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".pkgtool-%lu-%u.tmp",
                  static_cast<unsigned long>(GetCurrentProcessId()), g_temporaryCounter++);
    return path + suffix;
}

std::string NullDevice()
{
    return "NUL";
}

bool ToUtf16(const std::string& text, std::u16string* out)
{
    out->clear();
    if (text.empty())
    {
        return true;
    }
    int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(),
                                static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0)
    {
        return false;
    }
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        &wide[0], n);
    out->assign(wide.begin(), wide.end());
    return true;
}

bool FromUtf16(const std::u16string& text, std::string* out)
{
    out->clear();
    if (text.empty())
    {
        return true;
    }
    std::wstring wide(text.begin(), text.end());
    BOOL lossy = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(),
                                static_cast<int>(wide.size()), nullptr, 0, nullptr, &lossy);
    if (n <= 0 || lossy)
    {
        if (n > 0)
        {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        }
        return false;
    }
    out->resize(static_cast<size_t>(n));
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                        &(*out)[0], n, nullptr, nullptr);
    return true;
}

std::string ToDisplay(const std::u16string& text)
{
    std::wstring wide(text.begin(), text.end());
    int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                nullptr, nullptr);
    if (n <= 0)
    {
        return std::string();
    }
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &out[0], n, nullptr,
                        nullptr);
    return out;
}

bool StderrIsTerminal()
{
    HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) == FILE_TYPE_CHAR;
}

#else // POSIX

const char kSeparator = '/';

namespace
{
constexpr int64_t kUnixEpochInFileTimeSeconds = 11644473600LL;

uint64_t ToFileTime(const struct timespec& time)
{
    int64_t seconds = static_cast<int64_t>(time.tv_sec) + kUnixEpochInFileTimeSeconds;
    if (seconds < 0)
    {
        return 0;
    }
    return static_cast<uint64_t>(seconds) * 10000000u + static_cast<uint64_t>(time.tv_nsec) / 100u;
}

struct timespec FromFileTime(uint64_t time)
{
    struct timespec result;
    result.tv_sec =
        static_cast<time_t>(static_cast<int64_t>(time / 10000000u) - kUnixEpochInFileTimeSeconds);
    result.tv_nsec = static_cast<long>((time % 10000000u) * 100u);
    return result;
}

bool Fail()
{
    FileIo::SetLastErrorFromErrno(errno);
    return false;
}

bool DecodeUtf8(const std::string& text, std::u16string* out)
{
    out->clear();
    size_t i = 0;
    while (i < text.size())
    {
        unsigned char c = static_cast<unsigned char>(text[i]);
        uint32_t code;
        size_t extra;
        if (c < 0x80)
        {
            code = c;
            extra = 0;
        }
        else if ((c & 0xE0) == 0xC0)
        {
            code = c & 0x1F;
            extra = 1;
        }
        else if ((c & 0xF0) == 0xE0)
        {
            code = c & 0x0F;
            extra = 2;
        }
        else if ((c & 0xF8) == 0xF0)
        {
            code = c & 0x07;
            extra = 3;
        }
        else
        {
            return false;
        }
        if (extra != 0 && i + extra >= text.size())
        {
            return false;
        }
        for (size_t k = 1; k <= extra; ++k)
        {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
            {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        static const uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (code < kMinimum[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        {
            return false;
        }
        if (code >= 0x10000)
        {
            code -= 0x10000;
            out->push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out->push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        }
        else
        {
            out->push_back(static_cast<char16_t>(code));
        }
        i += extra + 1;
    }
    return true;
}

// Unpaired surrogates have no UTF-8 form; they become U+FFFD when `lossy`.
bool EncodeUtf8(const std::u16string& text, std::string* out, bool lossy)
{
    out->clear();
    for (size_t i = 0; i < text.size(); ++i)
    {
        uint32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
        {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        else if (code >= 0xD800 && code <= 0xDFFF)
        {
            if (!lossy)
            {
                return false;
            }
            code = 0xFFFD;
        }
        if (code < 0x80)
        {
            out->push_back(static_cast<char>(code));
        }
        else if (code < 0x800)
        {
            out->push_back(static_cast<char>(0xC0 | (code >> 6)));
            out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
        else if (code < 0x10000)
        {
            out->push_back(static_cast<char>(0xE0 | (code >> 12)));
            out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
        else
        {
            out->push_back(static_cast<char>(0xF0 | (code >> 18)));
            out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    return true;
}
} // namespace

bool Stat(const std::string& path, FileInfo* info)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
    {
        return Fail();
    }
    info->isDirectory = S_ISDIR(st.st_mode);
    info->size = static_cast<uint64_t>(st.st_size);
    info->lastWriteTime = ToFileTime(st.st_mtim);
    info->creationTime = info->lastWriteTime;
    return true;
}

bool ListFolder(const std::string& path, std::vector<std::string>* names, std::string* bad)
{
    names->clear();
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr)
    {
        return Fail();
    }
    bool ok = true;
    errno = 0;
    while (struct dirent* entry = readdir(dir))
    {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
        {
            continue;
        }
        std::string full = JoinPath(path, name);
        struct stat linkStat;
        struct stat targetStat;
        if (lstat(full.c_str(), &linkStat) != 0 || stat(full.c_str(), &targetStat) != 0)
        {
            *bad = name;
            FileIo::SetLastErrorFromErrno(errno);
            ok = false;
            break;
        }
        // Links to files are stored as the files they name; links to folders
        // could loop, and other kinds have no place in a package.
        bool regular = S_ISREG(targetStat.st_mode);
        bool folder = S_ISDIR(targetStat.st_mode) && !S_ISLNK(linkStat.st_mode);
        if (!regular && !folder)
        {
            *bad = name;
            FileIo::SetLastError(FileIo::kErrorNotSupported);
            ok = false;
            break;
        }
        names->push_back(name);
        errno = 0;
    }
    if (ok && errno != 0)
    {
        FileIo::SetLastErrorFromErrno(errno);
        ok = false;
    }
    closedir(dir);
    return ok;
}

bool RemoveEmptyFolder(const std::string& path)
{
    if (rmdir(path.c_str()) != 0)
    {
        return Fail();
    }
    return true;
}

bool RenameFolder(const std::string& from, const std::string& to)
{
    // rename() would also replace an empty folder; the caller has made sure
    // there is none, and this keeps both systems alike.
    struct stat st;
    if (lstat(to.c_str(), &st) == 0)
    {
        FileIo::SetLastError(FileIo::kErrorAlreadyExists);
        return false;
    }
    return RenameReplace(from, to);
}

bool RenameNoReplace(const std::string& from, const std::string& to)
{
    // link() fails when the target exists, which rename() would overwrite.
    if (link(from.c_str(), to.c_str()) != 0)
    {
        return Fail();
    }
    unlink(from.c_str());
    return true;
}

bool RenameReplace(const std::string& from, const std::string& to)
{
    if (rename(from.c_str(), to.c_str()) != 0)
    {
        return Fail();
    }
    return true;
}

bool SetTimes(FileIo::Handle file, uint64_t /*creationTime*/, uint64_t lastWriteTime)
{
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_NOW;
    times[1] = FromFileTime(lastWriteTime);
    if (futimens(file, times) != 0)
    {
        return Fail();
    }
    return true;
}

std::string TemporaryNameBeside(const std::string& path)
{
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".pkgtool-%ld-%u.tmp", static_cast<long>(getpid()),
                  g_temporaryCounter++);
    return path + suffix;
}

std::string NullDevice()
{
    return "/dev/null";
}

bool ToUtf16(const std::string& text, std::u16string* out)
{
    if (!DecodeUtf8(text, out))
    {
        FileIo::SetLastError(FileIo::kErrorInvalidName);
        return false;
    }
    return true;
}

bool FromUtf16(const std::u16string& text, std::string* out)
{
    if (!EncodeUtf8(text, out, false))
    {
        FileIo::SetLastError(FileIo::kErrorInvalidName);
        return false;
    }
    return true;
}

std::string ToDisplay(const std::u16string& text)
{
    std::string out;
    EncodeUtf8(text, &out, true);
    return out;
}

bool StderrIsTerminal()
{
    return isatty(STDERR_FILENO) != 0;
}

#endif

} // namespace Platform
