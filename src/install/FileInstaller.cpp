#include "install/FileInstaller.h"

#include "app/KelvarinApp.h"
#include "app/Messages.h"
#include "install/FileReplacer.h"
#include "install/ReplaceRules.h"
#include "install/VersionData.h"
#include "package/PackageCatalogEntry.h"
#include "ui/DLG_QueryReplace.h"
#include "ui/resource.h"

namespace
{
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

CFileInstaller::CFileInstaller(CKelvarinApp& app, CFileReplacer& replacer)
    : m_app(app), m_replacer(replacer)
{
}

bool CFileInstaller::InstallFile(CPackageFile& package, const CPackageCatalogEntry& entry,
                                 int index, const std::string& targetPath)
{
    const bool exists = GetFileAttributesA(targetPath.c_str()) != INVALID_FILE_ATTRIBUTES;
    const uint64_t oldVersion = exists ? ExistingFileVersion(targetPath) : 0;
    switch (ReplaceRules::Decide(exists, oldVersion, entry.GetFileVersion(), targetPath,
                                 m_app.m_bAskBeforeReplace != FALSE))
    {
    case ReplaceRules::Action::Keep:
        return true;
    case ReplaceRules::Action::Ask:
        if (!QueryReplace(entry, targetPath))
        {
            return !m_app.m_bCancel;
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
    HANDLE search = FindFirstFileA(targetPath.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
    {
        Messages::Show(IDS_FILE_INFO_FAILED, {targetPath, CKelvarinApp::GetSystemErrorText()});
    }
    else
    {
        FindClose(search);
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

    DLG_QueryReplace dlg;
    dlg.m_strQuestion = question;
    const INT_PTR answer = dlg.DoModal();
    if (answer == IDCANCEL)
    {
        if (!dlg.m_bNo)
        {
            m_app.m_bCancel = TRUE;
        }
        return false;
    }
    if (dlg.m_bYesToAll)
    {
        m_app.m_bAskBeforeReplace = FALSE;
    }
    return true;
}

std::string CFileInstaller::FormatFileTime(uint64_t fileTime)
{
    return ReplaceRules::FormatFileTime(fileTime);
}
