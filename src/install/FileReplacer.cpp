#include "install/FileReplacer.h"

#include "framework/Messages.h"
#include "framework/Platform.h"
#include "framework/SetupState.h"
#include "framework/SystemError.h"
#include "install/ReplaceRules.h"
#include "install/WininitMerge.h"
#include "package/PackageFile.h"
#include "framework/resource.h"

namespace
{
FILETIME ToFileTime(uint64_t value)
{
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(value);
    time.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return time;
}

// The short form of an existing path. Without one (a file system that keeps no
// short names) the long path is the only name the file has, so it stands in.
std::string ShortPath(const std::string& path)
{
    char buffer[1024];
    const DWORD length = GetShortPathNameA(path.c_str(), buffer, sizeof(buffer));
    if (length == 0 || length >= sizeof(buffer))
    {
        return path;
    }
    return std::string(buffer, length);
}

bool ReadWholeFile(const std::string& path, std::string& bytes)
{
    CFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
    {
        return false;
    }
    char chunk[4096];
    DWORD done = 0;
    while (ReadFile(file.Get(), chunk, sizeof(chunk), &done, nullptr) && done > 0)
    {
        bytes.append(chunk, done);
    }
    return true;
}
} // namespace

CFileReplacer::CFileReplacer(CSetupState& state) : m_state(state) {}

bool CFileReplacer::ReplaceFile(CPackageFile& package, const CPackageCatalogEntry& entry, int index,
                                const std::string& targetPath)
{
    std::string tempPath;
    CFileHandle temp = CreateTempFile(targetPath, tempPath);
    if (!temp.IsValid())
    {
        return false;
    }

    // The error text is taken before the clean-up calls overwrite the error code.
    auto abandon = [&](UINT messageId)
    {
        const std::string error = SystemError::LastErrorText();
        temp.Reset();
        DeleteFileA(tempPath.c_str());
        Messages::Show(messageId, {error});
        return false;
    };

    // An uncompressed package gives an empty file no block to extract from; the
    // new temporary file already holds its whole content.
    if (entry.GetUnpackedSize() != 0 && !package.ExtractToFile(index, temp.Get()))
    {
        return abandon(IDS_READ_PACKAGE_FAILED);
    }
    if (!FlushFileBuffers(temp.Get()))
    {
        return abandon(IDS_WRITE_FILE_FAILED);
    }
    const FILETIME created = ToFileTime(entry.GetCreationTime());
    const FILETIME written = ToFileTime(entry.GetLastWriteTime());
    if (!SetFileTime(temp.Get(), &created, nullptr, &written))
    {
        return abandon(IDS_WRITE_FILE_FAILED);
    }
    temp.Reset();

    if (MoveFileA(tempPath.c_str(), targetPath.c_str()))
    {
        return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS)
    {
        const std::string error = SystemError::LastErrorText();
        DeleteFileA(tempPath.c_str());
        Messages::Show(IDS_RENAME_FAILED, {error});
        return false;
    }

    if (!DeleteFileA(targetPath.c_str()))
    {
        SetFileAttributesA(targetPath.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileA(targetPath.c_str()))
        {
            // In use: the temporary file waits beside the target for the restart.
            ScheduleBootReplace(tempPath, targetPath);
            return true;
        }
    }
    if (MoveFileA(tempPath.c_str(), targetPath.c_str()))
    {
        return true;
    }
    const std::string error = SystemError::LastErrorText();
    DeleteFileA(tempPath.c_str());
    Messages::Show(IDS_RENAME_AFTER_DELETE_FAILED, {targetPath, error});
    return false;
}

CFileHandle CFileReplacer::CreateTempFile(const std::string& targetPath, std::string& tempPath)
{
    const std::string folder = ReplaceRules::FolderOf(targetPath);
    // Create-new below keeps a name taken in the meantime from being overwritten.
    unsigned number = 1;
    do
    {
        tempPath = ReplaceRules::TempFileName(folder, number++);
    } while (GetFileAttributesA(tempPath.c_str()) != INVALID_FILE_ATTRIBUTES);

    CFileHandle file(CreateFileA(tempPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                                 nullptr));
    if (!file.IsValid())
    {
        Messages::Show(IDS_TEMP_FILE_FAILED, {tempPath, SystemError::LastErrorText()});
    }
    return file;
}

void CFileReplacer::ScheduleBootReplace(const std::string& tempPath, const std::string& targetPath)
{
    if (Platform::IsWindowsNT())
    {
        if (!MoveFileExA(targetPath.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) ||
            !MoveFileExA(tempPath.c_str(), targetPath.c_str(), MOVEFILE_DELAY_UNTIL_REBOOT))
        {
            Messages::Show(IDS_BOOT_REPLACE_FAILED, {SystemError::LastErrorText()});
        }
    }
    else
    {
        // WININIT.INI runs before long names are available, so it gets the 8.3 forms.
        const std::string shortTemp = ShortPath(tempPath);
        const std::string shortTarget = ShortPath(targetPath);
        m_state.m_renameList.push_back("NUL=" + shortTarget);
        m_state.m_renameList.push_back(shortTarget + "=" + shortTemp);
    }
    m_state.m_bRestartNeeded = true;
}

void CFileReplacer::WriteWininit()
{
    const std::string path = m_state.m_strWindowsFolder + "\\WININIT.INI";
    std::string bytes;
    std::vector<std::string> lines;
    if (ReadWholeFile(path, bytes))
    {
        lines = WininitMerge::SplitLines(bytes);
    }
    WininitMerge::Merge(lines, m_state.m_renameList);
    m_state.m_renameList.clear();

    CFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
    {
        Messages::Show(IDS_WININIT_FAILED, {SystemError::LastErrorText()});
        return;
    }
    const std::string text = WininitMerge::JoinLines(lines);
    DWORD done = 0;
    // A short write would leave the system's rename list cut off: say so.
    if (!WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &done, nullptr) ||
        done != text.size() || !FlushFileBuffers(file.Get()))
    {
        const std::string error = SystemError::LastErrorText();
        file.Reset();
        Messages::Show(IDS_WININIT_FAILED, {error});
    }
}
