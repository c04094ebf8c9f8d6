#include "install/SetupCopy.h"

#include "framework/AnsiText.h"
#include "framework/Messages.h"
#include "framework/Platform.h"
#include "framework/ProgressReport.h"
#include "framework/SetupState.h"
#include "framework/SystemError.h"
#include "framework/resource.h"
#include "install/FileReplacer.h"
#include "install/PathNames.h"
#include "install/ProductTree.h"

namespace SetupCopy
{
namespace
{
// The folder's name is the product's own and never changes, so that an upgrade replaces
// the copy in place; the 9x name is one 8.3 name, the only kind WININIT.INI reads.
const char kFolderNT[] = "Pellmor Kelvarin";
const char kFileNT[] = "Setup.exe";
const char kFile9x[] = "KELSETUP.EXE";

std::string ShortForm(const std::string& path)
{
    char buffer[1024];
    const DWORD length = GetShortPathNameA(path.c_str(), buffer, sizeof(buffer));
    return length > 0 && length < sizeof(buffer) ? std::string(buffer, length) : path;
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

enum class Deleted
{
    Now,
    AtBoot,
    Stays // told
};

// Deletes one copy now, or at the next boot when it is running. A copy gone now still comes
// back at that boot when a move onto it waits (installed again after an uninstall from the
// entry left its deletion pending), and it would have no entry: its deletion is asked again,
// after that move.
Deleted DeleteCopy(CSetupState& state, const std::string& copy)
{
    CFileReplacer replacer(state);
    if (!DeleteFileA(copy.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND &&
        GetLastError() != ERROR_PATH_NOT_FOUND)
    {
        const DWORD attributes = GetFileAttributesA(copy.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES)
        {
            SetFileAttributesA(copy.c_str(),
                               attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
        }
        if (!DeleteFileA(copy.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
        {
            // The running copy cannot delete itself: the system does at the next boot.
            const DWORD error = GetLastError();
            if (replacer.ScheduleBootDelete(copy))
            {
                return Deleted::AtBoot;
            }
            Messages::Show(IDS_DELETE_FILE_FAILED, {copy, SystemError::Text(error)});
            return Deleted::Stays;
        }
    }
    if (!replacer.MoveOntoMayBePending(copy))
    {
        return Deleted::Now;
    }
    if (replacer.ScheduleBootDelete(copy))
    {
        return Deleted::AtBoot;
    }
    Messages::Show(IDS_DELETE_FILE_FAILED, {copy, SystemError::LastErrorText()});
    return Deleted::Stays;
}
} // namespace

std::string Folder(bool windowsNT, const std::string& windowsFolder)
{
    return windowsNT ? windowsFolder + "\\" + kFolderNT : std::string();
}

std::string Path(bool windowsNT, const std::string& windowsFolder)
{
    return windowsNT ? Folder(windowsNT, windowsFolder) + "\\" + kFileNT
                     : windowsFolder + "\\" + kFile9x;
}

bool IsRunning(const CSetupState& state)
{
    const std::string self = state.m_strSourceFolder + state.m_strSetupFile;
    // A name that cannot be converted cannot be compared: it counts as another file.
    auto same = [](const std::string& a, const std::string& b)
    {
        std::u16string wideA, wideB;
        return AnsiText::Widen(a, wideA) && AnsiText::Widen(b, wideB) &&
               PathNames::SameFile(wideA, wideB);
    };
    // The system may name the running program by either form of its path. After 98 was
    // upgraded in place to NT, the entry still starts the copy under the 9x name.
    for (const bool windowsNT : {true, false})
    {
        const std::string copy = Path(windowsNT, state.m_strWindowsFolder);
        if (same(self, copy) || same(ShortForm(self), ShortForm(copy)))
        {
            return true;
        }
    }
    return false;
}

bool Write(CSetupState& state, IProgressReport& progress)
{
    // A copy started to install again is already in place.
    if (IsRunning(state))
    {
        return true;
    }
    const bool windowsNT = Platform::IsWindowsNT();
    if (windowsNT && !ProductTree::CreateFolder(Folder(true, state.m_strWindowsFolder), progress))
    {
        return false;
    }
    const std::string target = Path(windowsNT, state.m_strWindowsFolder);
    const std::string source = state.m_strSourceFolder + state.m_strSetupFile;
    progress.SetLine2Text(target);
    CFileReplacer replacer(state);
    // The entry's uninstall leaves the copy's deletion (on NT its folder's too) to the next
    // boot, and a copy written now would go with it. So the new copy waits beside the old one,
    // which serves the entry until then, and moves in at the boot after that deletion; on NT
    // the folder's deletion fails harmlessly, the waiting file being in it. Lists that cannot
    // be read are taken to hold the deletion: a needless restart costs less than an entry that
    // starts nothing.
    const bool deletionPending = replacer.DeletionMayBePending(target);
    bool written = false;
    try
    {
        if (!deletionPending)
        {
            written = replacer.ReplaceFileFrom(source, target);
        }
        else
        {
            // A copy that is not there is placed now as well, for the entry to start meanwhile.
            const bool there = GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES;
            written = (there || replacer.ReplaceFileFrom(source, target)) &&
                      replacer.ReplaceFileFrom(source, target, true);
        }
    }
    catch (...)
    {
        // A copy in use waits in the rename list: it is written before the failure goes on.
        if (!windowsNT && !state.m_renameList.empty())
        {
            replacer.WriteWininit();
        }
        throw;
    }
    if (!windowsNT && !state.m_renameList.empty())
    {
        // An old copy that only waits to be deleted is no copy: its replacement must be
        // listed for the install to have one.
        const bool listed = replacer.WriteWininit();
        written = written && (listed || !deletionPending);
    }
    // The copy 98 kept, before it was upgraded in place to NT, is no entry's any more.
    const std::string copy9x = Path(false, state.m_strWindowsFolder);
    if (written && windowsNT && Exists(copy9x))
    {
        DeleteCopy(state, copy9x);
    }
    return written;
}

void Remove(CSetupState& state)
{
    const bool windowsNT = Platform::IsWindowsNT();
    const Deleted copy = DeleteCopy(state, Path(windowsNT, state.m_strWindowsFolder));
    if (!windowsNT)
    {
        return;
    }
    // An entry of 98's, upgraded in place to NT, starts the copy under the 9x name.
    const std::string copy9x = Path(false, state.m_strWindowsFolder);
    if (Exists(copy9x))
    {
        DeleteCopy(state, copy9x);
    }
    const std::string folder = Folder(true, state.m_strWindowsFolder);
    if (copy == Deleted::AtBoot)
    {
        // Requested after the copy's own deletion, so that the folder is empty by its turn;
        // what waits in it to be moved onto the copy has gone by then too.
        if (!MoveFileExA(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        {
            Messages::Show(IDS_DELETE_FOLDER_FAILED, {folder, SystemError::LastErrorText()});
        }
        return;
    }
    if (!RemoveDirectoryA(folder.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND &&
        GetLastError() != ERROR_PATH_NOT_FOUND)
    {
        Messages::Show(IDS_DELETE_FOLDER_FAILED, {folder, SystemError::LastErrorText()});
    }
}
} // namespace SetupCopy
