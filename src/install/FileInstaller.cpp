#include "install/FileInstaller.h"

#include "framework/Messages.h"
#include "framework/SetupState.h"
#include "framework/SystemError.h"
#include "framework/Win32Handles.h"
#include "framework/resource.h"
#include "install/FileReplacer.h"
#include "install/VersionData.h"
#include "package/PackageCatalogEntry.h"

#include <utility>

namespace
{
bool IsNotThere(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
           error == ERROR_NO_MORE_FILES;
}

// Only a target the system says is not there counts as missing: one it cannot tell about
// may be the user's file, which is never replaced unasked. When the attributes cannot be
// read, the folder's listing is asked as well.
bool TargetExists(const std::string& path)
{
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
    {
        return true;
    }
    if (IsNotThere(GetLastError()))
    {
        return false;
    }
    WIN32_FIND_DATAA found;
    const CFindHandle search(FindFirstFileA(path.c_str(), &found));
    return search.IsValid() || !IsNotThere(GetLastError());
}

uint64_t ExistingFileVersion(const std::string& path)
{
    CVersionData data;
    uint64_t version = 0;
    if (!data.Load(path) || !data.GetFileVersion(version))
    {
        return 0;
    }
    return version;
}
} // namespace

CFileInstaller::CFileInstaller(CSetupState& state, CFileReplacer& replacer, ReplaceQuestion ask)
    : m_state(state), m_replacer(replacer), m_ask(std::move(ask))
{
}

bool CFileInstaller::InstallFile(CPackageFile& package, const CPackageCatalogEntry& entry,
                                 int index, const std::string& targetPath)
{
    const bool exists = TargetExists(targetPath);
    const uint64_t oldVersion = exists ? ExistingFileVersion(targetPath) : 0;
    switch (ReplaceRules::Decide(exists, oldVersion, entry.GetFileVersion(), targetPath,
                                 m_state.m_bAskBeforeReplace != FALSE))
    {
    case ReplaceRules::Action::Keep:
        return true;
    case ReplaceRules::Action::Ask:
        if (!QueryReplace(entry, targetPath))
        {
            return !m_state.m_bCancel;
        }
        break;
    case ReplaceRules::Action::Write:
        break;
    }
    return m_replacer.ReplaceFile(package, entry, index, targetPath);
}

bool CFileInstaller::QueryReplace(const CPackageCatalogEntry& entry, const std::string& targetPath)
{
    uint64_t oldTime = 0;
    WIN32_FIND_DATAA found;
    CFindHandle search(FindFirstFileA(targetPath.c_str(), &found));
    if (!search.IsValid())
    {
        Messages::Show(IDS_FILE_INFO_FAILED, {targetPath, SystemError::LastErrorText()});
    }
    else
    {
        oldTime = (static_cast<uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                  found.ftLastWriteTime.dwLowDateTime;
    }

    const std::string noVersion = Messages::LoadText(IDS_NO_VERSION_INFO);
    // The existing file has no version on this path; it is still spelled out by the rule.
    const std::string question =
        Messages::Format(IDS_QUERY_REPLACE,
                         {targetPath, ReplaceRules::VersionText(entry.GetFileVersion(), noVersion),
                          FormatFileTime(entry.GetLastWriteTime()),
                          ReplaceRules::VersionText(0, noVersion), FormatFileTime(oldTime)});

    switch (m_ask(question))
    {
    case ReplaceRules::Answer::Yes:
        return true;
    case ReplaceRules::Answer::YesToAll:
        m_state.m_bAskBeforeReplace = FALSE;
        return true;
    case ReplaceRules::Answer::No:
        return false;
    case ReplaceRules::Answer::Cancel:
        break;
    }
    m_state.m_bCancel = TRUE;
    return false;
}

std::string CFileInstaller::FormatFileTime(uint64_t fileTime)
{
    return ReplaceRules::FormatFileTime(fileTime);
}
