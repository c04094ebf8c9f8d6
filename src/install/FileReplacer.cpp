#include "install/FileReplacer.h"

#include "config/RegistryKey.h"
#include "framework/AnsiText.h"
#include "framework/Messages.h"
#include "framework/Platform.h"
#include "framework/SetupState.h"
#include "framework/SystemError.h"
#include "framework/Win32Handles.h"
#include "framework/resource.h"
#include "install/BootRenames.h"
#include "install/PathNames.h"
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

// The short form of an existing path, one separator between names as WININIT.INI's boot
// step reads them.
bool ShortForm(const std::string& path, std::string& shortPath)
{
    char buffer[1024];
    const DWORD length = GetShortPathNameA(path.c_str(), buffer, sizeof(buffer));
    if (length == 0 || length >= sizeof(buffer))
    {
        if (length != 0)
        {
            SetLastError(ERROR_BUFFER_OVERFLOW);
        }
        return false;
    }
    shortPath = ReplaceRules::SingleSeparators(std::string(buffer, length));
    return true;
}

// Whether the system says nothing is at `path`; false when it cannot say.
bool IsMissing(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
           (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND);
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
        const bool missing =
            (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) && IsMissing(path);
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
    // An uncompressed package gives an empty file no block to extract from; the
    // new temporary file already holds its whole content.
    return PlaceFile(targetPath, entry.GetCreationTime(), entry.GetLastWriteTime(),
                     [&](HANDLE file)
                     { return entry.GetUnpackedSize() == 0 || package.ExtractToFile(index, file); },
                     IDS_READ_PACKAGE_FAILED, {});
}

bool CFileReplacer::ReplaceFileFrom(const std::string& sourcePath, const std::string& targetPath,
                                    bool atBoot)
{
    const std::vector<std::string> named = {sourcePath};
    WIN32_FIND_DATAA found;
    CFindHandle search(FindFirstFileA(sourcePath.c_str(), &found));
    CFileHandle source(search.IsValid()
                           ? CreateFileA(sourcePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)
                           : INVALID_HANDLE_VALUE);
    if (!source.IsValid())
    {
        Messages::Show(IDS_SETUP_COPY_FAILED, {sourcePath, SystemError::LastErrorText()});
        return false;
    }
    auto time = [](const FILETIME& t)
    { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return PlaceFile(
        targetPath, time(found.ftCreationTime), time(found.ftLastWriteTime),
        [&](HANDLE file)
        {
            char chunk[65536];
            for (;;)
            {
                DWORD read = 0, written = 0;
                if (!ReadFile(source.Get(), chunk, sizeof(chunk), &read, nullptr))
                {
                    return false;
                }
                if (read == 0)
                {
                    return true;
                }
                if (!WriteFile(file, chunk, read, &written, nullptr) || written != read)
                {
                    return false;
                }
            }
        },
        IDS_SETUP_COPY_FAILED, named, atBoot);
}

bool CFileReplacer::PlaceFile(const std::string& targetPath, uint64_t creationTime,
                              uint64_t lastWriteTime, const Filler& fill, UINT fillFailure,
                              const std::vector<std::string>& fillArgs, bool atBoot)
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
    auto abandon = [&](UINT messageId, const std::vector<std::string>& args)
    {
        const std::string error = SystemError::LastErrorText();
        std::vector<std::string> filled(args);
        filled.push_back(error);
        file.Reset();
        temporary.Delete();
        Messages::Show(messageId, filled);
        return false;
    };

    if (!fill(file.Get()))
    {
        return abandon(fillFailure, fillArgs);
    }
    if (!FlushFileBuffers(file.Get()))
    {
        return abandon(IDS_WRITE_FILE_FAILED, {});
    }
    const FILETIME created = ToFileTime(creationTime);
    const FILETIME written = ToFileTime(lastWriteTime);
    if (!SetFileTime(file.Get(), &created, nullptr, &written))
    {
        return abandon(IDS_WRITE_FILE_FAILED, {});
    }
    file.Reset();

    if (atBoot)
    {
        temporary.Kept();
        return ScheduleBootReplace(tempPath, targetPath);
    }
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
    // The old file is gone and the temporary file is the only copy: from here on nothing
    // deletes it, an exception included, so it is kept before anything can allocate, and
    // its move at boot is arranged before anything is said.
    const DWORD error = GetLastError();
    temporary.Kept();
    DWORD refused = ERROR_SUCCESS;
    const bool scheduled = ScheduleBootMove(tempPath, targetPath, refused);
    Messages::Show(IDS_RENAME_AFTER_DELETE_FAILED, {targetPath, SystemError::Text(error)});
    if (!scheduled)
    {
        if (refused != ERROR_SUCCESS)
        {
            Messages::Show(IDS_BOOT_REPLACE_FAILED, {SystemError::Text(refused)});
        }
        Messages::Show(IDS_NEW_FILE_KEPT, {targetPath, tempPath});
    }
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

bool CFileReplacer::ScheduleBootReplace(const std::string& tempPath, const std::string& targetPath)
{
    if (Platform::IsWindowsNT())
    {
        // One request that replaces the target in a single step at boot: there is never a
        // moment, nor a failed request, that leaves the target deleted with nothing moved in.
        if (MoveFileExA(tempPath.c_str(), targetPath.c_str(),
                        MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING))
        {
            TempFileRecord::Remove(tempPath);
        }
        else
        {
            // Nothing was registered: the old file stays, and the new one is not needed. It
            // goes before anything can allocate, so that no exception leaves it behind.
            const DWORD error = GetLastError();
            if (DeleteFileA(tempPath.c_str()))
            {
                TempFileRecord::Remove(tempPath);
            }
            Messages::Show(IDS_BOOT_REPLACE_FAILED, {SystemError::Text(error)});
            return false;
        }
    }
    else
    {
        // WININIT.INI runs before long names are available, so it gets the 8.3 forms; a pair
        // without them would do nothing at boot. Every allocation comes before the list
        // changes: a delete line must never be queued without the move that follows it.
        bool named = false;
        try
        {
            std::string shortTarget, shortTemporary;
            named = ShortForm(targetPath, shortTarget) && ShortForm(tempPath, shortTemporary);
            if (named)
            {
                std::string move = shortTarget + "=" + shortTemporary;
                std::string deletion = "NUL=" + shortTarget;
                Queued queued = {tempPath, targetPath, false};
                m_state.m_renameList.reserve(m_state.m_renameList.size() + 2);
                m_queued.reserve(m_queued.size() + 1);
                m_state.m_renameList.push_back(std::move(deletion));
                m_state.m_renameList.push_back(std::move(move));
                m_queued.push_back(std::move(queued));
            }
        }
        catch (...)
        {
            // The old file is still there: the new one is not needed.
            DeleteFileA(tempPath.c_str());
            throw;
        }
        if (!named)
        {
            // As when the system refuses the request: the old file stays.
            const DWORD error = GetLastError();
            if (DeleteFileA(tempPath.c_str()))
            {
                TempFileRecord::Remove(tempPath);
            }
            Messages::Show(IDS_BOOT_REPLACE_FAILED, {SystemError::Text(error)});
            return false;
        }
    }
    m_state.m_bRestartNeeded = true;
    return true;
}

bool CFileReplacer::ScheduleBootMove(const std::string& tempPath, const std::string& targetPath,
                                     DWORD& refused)
{
    refused = ERROR_SUCCESS;
    if (Platform::IsWindowsNT())
    {
        if (!MoveFileExA(tempPath.c_str(), targetPath.c_str(),
                         MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING))
        {
            refused = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_GEN_FAILURE;
            return false;
        }
        m_state.m_bRestartNeeded = true;
        TempFileRecord::Remove(tempPath);
        return true;
    }
    // The target no longer exists and so has no short name of its own: its folder's short
    // form and its own name stand in when that name is already one 8.3 name. The boot step
    // reads 8.3 names only: without them (a longer name, a folder or file whose short form
    // cannot be had) the file is only kept.
    const std::string folder = ReplaceRules::FolderOf(targetPath);
    const std::string name = ReplaceRules::AsShortName(targetPath.substr(folder.size() + 1));
    std::string shortFolder, shortTemp;
    if (name.empty() || !ShortForm(folder, shortFolder) || !ShortForm(tempPath, shortTemp))
    {
        return false;
    }
    std::string move = shortFolder + "\\" + name + "=" + shortTemp;
    Queued queued = {tempPath, targetPath, true};
    m_state.m_renameList.reserve(m_state.m_renameList.size() + 1);
    m_queued.reserve(m_queued.size() + 1);
    m_state.m_renameList.push_back(std::move(move));
    m_queued.push_back(std::move(queued));
    m_state.m_bRestartNeeded = true;
    return true;
}

bool CFileReplacer::ScheduleBootDelete(const std::string& path)
{
    if (Platform::IsWindowsNT())
    {
        return MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
    }
    // A folder has no line of its own: WININIT.INI deletes files only, and names them by
    // their 8.3 forms. A file that is gone (something waits to be moved onto it) has none of
    // its own: its folder's short form and its own name stand in when that is one 8.3 name.
    std::string shortPath;
    if (!ShortForm(path, shortPath))
    {
        const std::string folder = ReplaceRules::FolderOf(path);
        const std::string name = ReplaceRules::AsShortName(path.substr(folder.size() + 1));
        if (!IsMissing(path) || name.empty() || !ShortForm(folder, shortPath))
        {
            return false;
        }
        shortPath += "\\" + name;
    }
    m_state.m_renameList.push_back("NUL=" + shortPath);
    return WriteWininit();
}

namespace
{
// Every request the system will carry out at the next boot, in order; false when the list
// cannot be read whole (a missing list is an empty one).
bool ReadBootOps(bool windowsNT, const std::string& windowsFolder,
                 std::vector<BootRenames::Op>& ops)
{
    if (windowsNT)
    {
        CRegistryKey key;
        std::vector<std::u16string> pending;
        if (!key.Open(HKEY_LOCAL_MACHINE, kSessionManagerKey, KEY_QUERY_VALUE))
        {
            return false;
        }
        if (!key.QueryMultiStringW(kPendingRenamesValue, pending) &&
            GetLastError() != ERROR_FILE_NOT_FOUND)
        {
            return false;
        }
        ops = BootRenames::NtOps(pending);
        return true;
    }
    std::string bytes;
    if (!ReadWininit(windowsFolder + "\\WININIT.INI", bytes))
    {
        return false;
    }
    for (const WininitMerge::Rename& rename :
         WininitMerge::Renames(WininitMerge::SplitLines(bytes)))
    {
        BootRenames::Op op;
        if (!AnsiText::Widen(rename.source, op.source) ||
            (!rename.deletes && !AnsiText::Widen(rename.target, op.target)))
        {
            return false;
        }
        ops.push_back(op);
    }
    return true;
}

// The sources of every move (or, with `deletions`, every file deleted) the system will
// carry out at the next boot; false when the list cannot be read whole.
bool ReadPending(bool windowsNT, const std::string& windowsFolder, bool deletions,
                 std::vector<std::u16string>& sources)
{
    std::vector<BootRenames::Op> ops;
    if (!ReadBootOps(windowsNT, windowsFolder, ops))
    {
        return false;
    }
    for (const BootRenames::Op& op : ops)
    {
        if (op.target.empty() == deletions)
        {
            sources.push_back(op.source);
        }
    }
    return true;
}

// Whether a boot list names the file, in its long or its 8.3 form.
bool Names(const std::vector<std::u16string>& list, const std::u16string& longForm,
           const std::u16string& shortForm)
{
    for (const std::u16string& named : list)
    {
        if (PathNames::SameFile(named, longForm) || PathNames::SameFile(named, shortForm))
        {
            return true;
        }
    }
    return false;
}

// A file's long and 8.3 forms as the boot lists may name it. WININIT.INI names files by their
// 8.3 forms; a file that is gone has none of its own, so its folder's stands in. False when
// the names cannot be converted.
bool BootNames(const std::string& path, std::u16string& longForm, std::u16string& shortForm)
{
    std::string shortPath, shortFolder;
    const std::string folder = ReplaceRules::FolderOf(path);
    if (!ShortForm(path, shortPath))
    {
        shortPath =
            ShortForm(folder, shortFolder) ? shortFolder + path.substr(folder.size()) : path;
    }
    return AnsiText::Widen(path, longForm) && AnsiText::Widen(shortPath, shortForm);
}
} // namespace

bool CFileReplacer::DeletionMayBePending(const std::string& path) const
{
    std::u16string longForm, shortForm;
    std::vector<std::u16string> deletions;
    return !BootNames(path, longForm, shortForm) ||
           !ReadPending(Platform::IsWindowsNT(), m_state.m_strWindowsFolder, true, deletions) ||
           Names(deletions, longForm, shortForm);
}

bool CFileReplacer::MoveOntoMayBePending(const std::string& path) const
{
    std::u16string longForm, shortForm;
    std::vector<BootRenames::Op> ops;
    return !BootNames(path, longForm, shortForm) ||
           !ReadBootOps(Platform::IsWindowsNT(), m_state.m_strWindowsFolder, ops) ||
           BootRenames::EndsMovedOnto(ops, {longForm, shortForm});
}

void CFileReplacer::RemoveLeftovers()
{
    const bool windowsNT = Platform::IsWindowsNT();
    // Each recorded file in the forms the lists may hold: the long or the 8.3 one, in the
    // system's spelling. WININIT.INI holds only the 8.3 one: a file whose short form cannot
    // be had cannot be told apart, and a name that cannot be compared is never proved stray.
    struct Recorded
    {
        std::string path;
        std::u16string longForm;
        std::u16string shortForm;
    };
    std::vector<Recorded> candidates;
    for (const std::string& path : TempFileRecord::Paths())
    {
        std::string shortPath;
        if (!ShortForm(path, shortPath) && !windowsNT && !IsMissing(path))
        {
            continue;
        }
        Recorded candidate = {path, {}, {}};
        if (AnsiText::Widen(path, candidate.longForm) &&
            AnsiText::Widen(shortPath.empty() ? path : shortPath, candidate.shortForm))
        {
            candidates.push_back(candidate);
        }
    }
    std::vector<std::u16string> pending;
    if (candidates.empty() || !ReadPending(windowsNT, m_state.m_strWindowsFolder, false, pending))
    {
        // What cannot be proved stray stays, recorded, for a later run.
        return;
    }
    for (const Recorded& candidate : candidates)
    {
        // A file the system moves at the next boot is the system's now.
        const bool registered = Names(pending, candidate.longForm, candidate.shortForm);
        const char* path = candidate.path.c_str();
        if (registered || DeleteFileA(path) || GetLastError() == ERROR_FILE_NOT_FOUND ||
            GetLastError() == ERROR_PATH_NOT_FOUND)
        {
            TempFileRecord::Remove(candidate.path);
        }
    }
}

bool CFileReplacer::WriteWininit()
{
    std::vector<Queued> queued;
    queued.swap(m_queued);
    WininitOutcome outcome = WininitOutcome::Unchanged;
    DWORD error = ERROR_SUCCESS;
    try
    {
        outcome = WriteWininitNow(error);
    }
    catch (...)
    {
        // Out of memory before the file was opened: it is as it was. The temporary files of
        // in-use targets go; an only copy stays, recorded. Nothing here may allocate.
        for (const Queued& item : queued)
        {
            if (!item.onlyCopy)
            {
                DeleteFileA(item.temporary.c_str());
            }
        }
        m_state.m_renameList.clear();
        throw;
    }
    if (outcome != WininitOutcome::Written)
    {
        DropQueued(queued, outcome == WininitOutcome::Damaged, error);
        return false;
    }
    // Written: the system moves the files now, whatever happens to these records.
    for (const Queued& item : queued)
    {
        TempFileRecord::Remove(item.temporary);
    }
    return true;
}

void CFileReplacer::DropQueued(const std::vector<Queued>& queued, bool keepAll, DWORD error)
{
    // Which files go is settled before anything is said: telling allocates, and running out
    // of memory there must not decide for a file that WININIT.INI may still name.
    for (const Queued& item : queued)
    {
        if (!keepAll && !item.onlyCopy && DeleteFileA(item.temporary.c_str()))
        {
            TempFileRecord::Remove(item.temporary);
        }
    }
    Messages::Show(IDS_WININIT_FAILED, {SystemError::Text(error)});
    for (const Queued& item : queued)
    {
        if (item.onlyCopy)
        {
            Messages::Show(IDS_NEW_FILE_KEPT, {item.target, item.temporary});
        }
    }
}

CFileReplacer::WininitOutcome CFileReplacer::WriteWininitNow(DWORD& error)
{
    const std::string path = m_state.m_strWindowsFolder + "\\WININIT.INI";
    // Whatever happens, the list is emptied; the caller deals with its files and tells.
    auto fail = [&](DWORD code, WininitOutcome outcome)
    {
        m_state.m_renameList.clear();
        error = code != ERROR_SUCCESS ? code : ERROR_GEN_FAILURE;
        return outcome;
    };

    // An unreadable file is left as it is: rewriting what could be read would lose
    // other programs' renames.
    std::string bytes;
    if (!ReadWininit(path, bytes))
    {
        return fail(GetLastError(), WininitOutcome::Unchanged);
    }
    std::vector<std::string> lines = WininitMerge::SplitLines(bytes);
    WininitMerge::Merge(lines, m_state.m_renameList);
    // Whole before the file is opened: from the opening on nothing here allocates, so the
    // outcome always reaches the caller.
    std::string text = WininitMerge::JoinLines(lines);
    // The 9x family cannot replace a file in one step, so the file is never emptied: the
    // new text goes over the old in one write, made no shorter than it by blank lines at
    // the end, and a run cut short at any call leaves one text or the other whole.
    while (text.size() < bytes.size())
    {
        text += "\r\n";
    }

    CFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
    {
        return fail(GetLastError(), WininitOutcome::Unchanged);
    }
    if (!WriteAll(file.Get(), text))
    {
        // Part of the new text may be in place: what the file held goes back before
        // anything else is done.
        const DWORD written = GetLastError();
        const bool restored = SetFilePointer(file.Get(), 0, nullptr, FILE_BEGIN) == 0 &&
                              WriteAll(file.Get(), bytes) && SetEndOfFile(file.Get());
        file.Reset();
        // A file not put back may still hold a delete line of ours: no file it names goes.
        return fail(written, restored ? WininitOutcome::Unchanged : WininitOutcome::Damaged);
    }
    m_state.m_renameList.clear();
    return WininitOutcome::Written;
}
