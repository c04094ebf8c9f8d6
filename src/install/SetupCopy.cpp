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
    const std::string copy = Path(Platform::IsWindowsNT(), state.m_strWindowsFolder);
    // A name that cannot be converted cannot be compared: it counts as another file.
    auto same = [](const std::string& a, const std::string& b)
    {
        std::u16string wideA, wideB;
        return AnsiText::Widen(a, wideA) && AnsiText::Widen(b, wideB) &&
               PathNames::SameFile(wideA, wideB);
    };
    // The system may name the running program by either form of its path.
    return same(self, copy) || same(ShortForm(self), ShortForm(copy));
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
    return written;
}

void Remove(CSetupState& state)
{
    const bool windowsNT = Platform::IsWindowsNT();
    const std::string copy = Path(windowsNT, state.m_strWindowsFolder);
    bool waits = false;
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
            waits = CFileReplacer(state).ScheduleBootDelete(copy);
            if (!waits)
            {
                Messages::Show(IDS_DELETE_FILE_FAILED, {copy, SystemError::Text(error)});
            }
        }
    }
    if (!windowsNT)
    {
        return;
    }
    const std::string folder = Folder(true, state.m_strWindowsFolder);
    if (waits)
    {
        // Requested after the copy's own deletion, so that the folder is empty by its turn.
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
