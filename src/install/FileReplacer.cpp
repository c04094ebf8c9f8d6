#include "install/FileReplacer.h"

#include "config/RegistryKey.h"
#include "framework/Messages.h"
#include "framework/Platform.h"
#include "framework/SetupState.h"
#include "framework/SystemError.h"
#include "framework/resource.h"
#include "install/BootRenames.h"
#include "install/ReplaceRules.h"
#include "install/TempFileRecord.h"
#include "install/WininitMerge.h"
#include "package/PackageFile.h"

#include <utility>

namespace
{
const char kSessionManagerKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPendingRenamesValue[] = "PendingFileRenameOperations";

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

// WININIT.INI's bytes; a missing file is an empty one. Any other failure to read it
// whole is reported as false, so that a file read only in part is never rewritten.
bool ReadWininit(const std::string& path, std::string& bytes)
{
    CFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
    {
        // Only a file that is really not there counts as empty.
        const DWORD error = GetLastError();
        auto notThere = [](DWORD code)
        { return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND; };
        const bool missing = notThere(error) &&
                             GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
                             notThere(GetLastError());
        SetLastError(error);
        return missing;
    }
    char chunk[4096];
    for (;;)
    {
        DWORD done = 0;
        if (!ReadFile(file.Get(), chunk, sizeof(chunk), &done, nullptr))
        {
            return false;
        }
        if (done == 0)
        {
            return true;
        }
        bytes.append(chunk, done);
    }
}

bool WriteAll(HANDLE file, const std::string& text)
{
    DWORD done = 0;
    return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &done, nullptr) &&
           done == text.size() && FlushFileBuffers(file);
}

// A temporary file of the replacement: recorded until it is placed or scheduled,
// and deleted with its record on any way out that did not keep it, an exception's
// included. It refers to the caller's path, so that taking it over allocates nothing.
class CTemporary
{
public:
    explicit CTemporary(const std::string& path) : m_path(path), m_kept(true) {}
    ~CTemporary()
    {
        if (!m_kept)
        {
            Delete();
        }
    }

    // The file exists from now on.
    void Created() { m_kept = false; }
    CTemporary(const CTemporary&) = delete;
    CTemporary& operator=(const CTemporary&) = delete;

    const std::string& Path() const { return m_path; }

    // The file is placed (renamed onto its target): nothing is left to remove.
    void Placed()
    {
        m_kept = true;
        TempFileRecord::Remove(m_path);
    }
    // The file stays for a boot-time move; the record goes once the move is registered.
    void Kept() { m_kept = true; }

    void Delete()
    {
        m_kept = true;
        const DWORD saved = GetLastError();
        if (DeleteFileA(m_path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND)
        {
            TempFileRecord::Remove(m_path);
        }
        SetLastError(saved);
    }

private:
    const std::string& m_path;
    bool m_kept;
};
} // namespace

CFileReplacer::CFileReplacer(CSetupState& state) : m_state(state) {}

bool CFileReplacer::ReplaceFile(CPackageFile& package, const CPackageCatalogEntry& entry, int index,
                                const std::string& targetPath)
{
    std::string tempPath;
    CTemporary temporary(tempPath);
    CFileHandle file = CreateTempFile(targetPath, tempPath);
    if (!file.IsValid())
    {
        return false;
    }
    temporary.Created();

    // The error text is taken before the clean-up calls overwrite the error code.
    auto abandon = [&](UINT messageId)
    {
        const std::string error = SystemError::LastErrorText();
        file.Reset();
        temporary.Delete();
        Messages::Show(messageId, {error});
        return false;
    };

    // An uncompressed package gives an empty file no block to extract from; the
    // new temporary file already holds its whole content.
    if (entry.GetUnpackedSize() != 0 && !package.ExtractToFile(index, file.Get()))
    {
        return abandon(IDS_READ_PACKAGE_FAILED);
    }
    if (!FlushFileBuffers(file.Get()))
    {
        return abandon(IDS_WRITE_FILE_FAILED);
    }
    const FILETIME created = ToFileTime(entry.GetCreationTime());
    const FILETIME written = ToFileTime(entry.GetLastWriteTime());
    if (!SetFileTime(file.Get(), &created, nullptr, &written))
    {
        return abandon(IDS_WRITE_FILE_FAILED);
    }
    file.Reset();

    if (MoveFileA(tempPath.c_str(), targetPath.c_str()))
    {
        temporary.Placed();
        return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS)
    {
        const std::string error = SystemError::LastErrorText();
        temporary.Delete();
        Messages::Show(IDS_RENAME_FAILED, {error});
        return false;
    }

    if (!DeleteFileA(targetPath.c_str()))
    {
        SetFileAttributesA(targetPath.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileA(targetPath.c_str()))
        {
            // In use: the temporary file waits beside the target for the restart.
            temporary.Kept();
            ScheduleBootReplace(tempPath, targetPath);
            return true;
        }
    }
    if (MoveFileA(tempPath.c_str(), targetPath.c_str()))
    {
        temporary.Placed();
        return true;
    }
    // The old file is gone: the new one is kept and moved in at the next boot, so the
    // target never ends with neither.
    const std::string error = SystemError::LastErrorText();
    temporary.Kept();
    ScheduleBootMove(tempPath, targetPath);
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

    // Recorded before it exists, so that no moment leaves it unknown to the next run.
    TempFileRecord::Add(tempPath);
    CFileHandle file(CreateFileA(tempPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                                 nullptr));
    if (!file.IsValid())
    {
        const std::string error = SystemError::LastErrorText();
        TempFileRecord::Remove(tempPath);
        Messages::Show(IDS_TEMP_FILE_FAILED, {tempPath, error});
    }
    return file;
}

void CFileReplacer::ScheduleBootReplace(const std::string& tempPath, const std::string& targetPath)
{
    if (Platform::IsWindowsNT())
    {
        if (!MoveFileExA(targetPath.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        {
            Messages::Show(IDS_BOOT_REPLACE_FAILED, {SystemError::LastErrorText()});
            DeleteFileA(tempPath.c_str());
            TempFileRecord::Remove(tempPath);
        }
        else if (!MoveFileExA(tempPath.c_str(), targetPath.c_str(), MOVEFILE_DELAY_UNTIL_REBOOT))
        {
            // Deleted at boot with nothing in its place would lose the file: the
            // delete request is taken back, and the old file stays.
            const std::string error = SystemError::LastErrorText();
            WithdrawBootDelete(targetPath);
            DeleteFileA(tempPath.c_str());
            TempFileRecord::Remove(tempPath);
            Messages::Show(IDS_BOOT_REPLACE_FAILED, {error});
        }
        else
        {
            TempFileRecord::Remove(tempPath);
        }
    }
    else
    {
        // WININIT.INI runs before long names are available, so it gets the 8.3 forms.
        // Every allocation comes before the list changes: a delete line must never be
        // queued without the move that follows it.
        try
        {
            std::string shortTarget = ShortPath(targetPath);
            std::string move = shortTarget + "=" + ShortPath(tempPath);
            std::string deletion = "NUL=" + shortTarget;
            std::string queued = tempPath;
            m_state.m_renameList.reserve(m_state.m_renameList.size() + 2);
            m_queued.reserve(m_queued.size() + 1);
            m_state.m_renameList.push_back(std::move(deletion));
            m_state.m_renameList.push_back(std::move(move));
            m_queued.push_back(std::move(queued));
        }
        catch (...)
        {
            DeleteFileA(tempPath.c_str());
            throw;
        }
    }
    m_state.m_bRestartNeeded = true;
}

void CFileReplacer::ScheduleBootMove(const std::string& tempPath, const std::string& targetPath)
{
    if (Platform::IsWindowsNT())
    {
        if (MoveFileExA(tempPath.c_str(), targetPath.c_str(), MOVEFILE_DELAY_UNTIL_REBOOT))
        {
            TempFileRecord::Remove(tempPath);
        }
    }
    else
    {
        // The target is gone and has no short name of its own: its folder's stands in.
        const std::string folder = ReplaceRules::FolderOf(targetPath);
        const std::string name = targetPath.substr(folder.size() + 1);
        m_state.m_renameList.push_back(ShortPath(folder) + "\\" + name + "=" + ShortPath(tempPath));
        m_queued.push_back(tempPath);
    }
    m_state.m_bRestartNeeded = true;
}

void CFileReplacer::WithdrawBootDelete(const std::string& targetPath)
{
    CRegistryKey key;
    std::vector<std::string> pending;
    if (key.Open(HKEY_LOCAL_MACHINE, kSessionManagerKey, KEY_QUERY_VALUE | KEY_SET_VALUE) &&
        key.QueryMultiString(kPendingRenamesValue, pending) &&
        BootRenames::WithdrawDelete(pending, targetPath))
    {
        if (pending.empty())
        {
            key.DeleteValue(kPendingRenamesValue);
        }
        else
        {
            key.SetMultiString(kPendingRenamesValue, pending);
        }
    }
}

void CFileReplacer::RemoveLeftovers()
{
    std::vector<std::string> pending;
    std::vector<std::string> wininit;
    const bool windowsNT = Platform::IsWindowsNT();
    if (windowsNT)
    {
        CRegistryKey key;
        if (key.Open(HKEY_LOCAL_MACHINE, kSessionManagerKey, KEY_QUERY_VALUE))
        {
            key.QueryMultiString(kPendingRenamesValue, pending);
        }
    }
    else
    {
        std::string bytes;
        ReadWininit(m_state.m_strWindowsFolder + "\\WININIT.INI", bytes);
        wininit = WininitMerge::SplitLines(bytes);
    }
    for (const std::string& path : TempFileRecord::Paths())
    {
        // A file the system moves at the next boot is the system's now.
        const bool registered = windowsNT ? BootRenames::NtListMoves(pending, path)
                                          : BootRenames::WininitMoves(wininit, ShortPath(path));
        if (registered || DeleteFileA(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND ||
            GetLastError() == ERROR_PATH_NOT_FOUND)
        {
            TempFileRecord::Remove(path);
        }
    }
}

void CFileReplacer::WriteWininit()
{
    std::vector<std::string> queued;
    queued.swap(m_queued);
    bool written = false;
    try
    {
        written = WriteWininitNow(queued);
    }
    catch (...)
    {
        // Out of memory before the pairs were written: their files go.
        for (const std::string& temporary : queued)
        {
            DeleteFileA(temporary.c_str());
        }
        m_state.m_renameList.clear();
        throw;
    }
    // Written: the system moves the files now, whatever happens to these records.
    if (written)
    {
        for (const std::string& temporary : queued)
        {
            TempFileRecord::Remove(temporary);
        }
    }
}

bool CFileReplacer::WriteWininitNow(const std::vector<std::string>& queued)
{
    const std::string path = m_state.m_strWindowsFolder + "\\WININIT.INI";
    // The pairs could not be written: their files have no move waiting for them.
    auto drop = [&](const std::string& error)
    {
        m_state.m_renameList.clear();
        for (const std::string& temporary : queued)
        {
            DeleteFileA(temporary.c_str());
            TempFileRecord::Remove(temporary);
        }
        Messages::Show(IDS_WININIT_FAILED, {error});
    };

    // An unreadable file is left as it is: rewriting what could be read would lose
    // other programs' renames.
    std::string bytes;
    if (!ReadWininit(path, bytes))
    {
        drop(SystemError::LastErrorText());
        return false;
    }
    std::vector<std::string> lines = WininitMerge::SplitLines(bytes);
    WininitMerge::Merge(lines, m_state.m_renameList);
    // Whole before the file is opened: nothing may fail between emptying it and writing it.
    const std::string text = WininitMerge::JoinLines(lines);

    CFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
    {
        drop(SystemError::LastErrorText());
        return false;
    }
    if (!WriteAll(file.Get(), text))
    {
        // A file cut short would lose the system's renames: what it held goes back
        // before anything else is done.
        const DWORD error = GetLastError();
        SetFilePointer(file.Get(), 0, nullptr, FILE_BEGIN);
        SetEndOfFile(file.Get());
        WriteAll(file.Get(), bytes);
        file.Reset();
        drop(SystemError::Text(error));
        return false;
    }
    m_state.m_renameList.clear();
    return true;
}
