#include "config/FolderAccess.h"

#include "framework/Messages.h"
#include "framework/Platform.h"
#include "framework/SetupState.h"
#include "framework/SystemError.h"
#include "framework/SystemLibraries.h"
#include "framework/Win32Handles.h"
#include "framework/resource.h"

#include <aclapi.h>

#include <algorithm>
#include <vector>

namespace
{
// The ACL functions exist on the NT family only. They are bound when first needed,
// so that the one Setup.exe still loads on Windows 9x, where this step never runs.
struct AclApi
{
    using GetSecurityInfoFn = DWORD(WINAPI*)(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*,
                                             PSID*, PACL*, PACL*, PSECURITY_DESCRIPTOR*);
    using SetSecurityInfoFn = DWORD(WINAPI*)(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID,
                                             PSID, PACL, PACL);
    using SetEntriesInAclFn = DWORD(WINAPI*)(ULONG, PEXPLICIT_ACCESS_A, PACL, PACL*);

    GetSecurityInfoFn getSecurityInfo = nullptr;
    SetSecurityInfoFn setSecurityInfo = nullptr;
    SetEntriesInAclFn setEntriesInAcl = nullptr;

    bool Bound() const { return getSecurityInfo && setSecurityInfo && setEntriesInAcl; }
};

const AclApi& Acl()
{
    static const AclApi api = []
    {
        AclApi bound;
        // Imported by the setup, so loaded already: nothing is looked for by name.
        HMODULE advapi = GetModuleHandleA("advapi32.dll");
        if (advapi)
        {
            using Libraries = CSystemLibraries;
            bound.getSecurityInfo =
                Libraries::Bind<AclApi::GetSecurityInfoFn>(advapi, "GetSecurityInfo");
            bound.setSecurityInfo =
                Libraries::Bind<AclApi::SetSecurityInfoFn>(advapi, "SetSecurityInfo");
            bound.setEntriesInAcl =
                Libraries::Bind<AclApi::SetEntriesInAclFn>(advapi, "SetEntriesInAclA");
        }
        return bound;
    }();
    return api;
}

// A SID of the trustee; invalid when it cannot be made.
CSidPtr AllocateTrusteeSid(FolderAccessRules::Trustee trustee)
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
    CSidPtr sid;
    BOOL allocated = FALSE;
    switch (trustee)
    {
    case FolderAccessRules::Trustee::Users:
        allocated =
            AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                     DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0, 0, 0, sid.Receive());
        break;
    case FolderAccessRules::Trustee::Administrators:
        allocated =
            AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                     DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, sid.Receive());
        break;
    case FolderAccessRules::Trustee::LocalSystem:
        allocated = AllocateAndInitializeSid(&ntAuthority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0,
                                             0, 0, 0, sid.Receive());
        break;
    }
    if (!allocated)
    {
        sid.Release();
    }
    return sid;
}
} // namespace

CFolderAccess::CFolderAccess(const CSetupState& state) : m_state(state) {}

namespace
{
uint16_t ReportedVersionWord()
{
    const OSVERSIONINFOA version = Platform::QueryVersion();
    return FolderAccessRules::VersionWord(version.dwMajorVersion, version.dwMinorVersion);
}
} // namespace

bool CFolderAccess::IsWindowsXP()
{
    return ReportedVersionWord() == 0x0501;
}

bool CFolderAccess::IsWindows7()
{
    return ReportedVersionWord() == 0x0601;
}

namespace
{
enum class PathKind
{
    Folder,
    Link,   // a junction, a mount point, a symbolic link
    Unknown // its attributes cannot be read (the last error says why): it may be a link
};

PathKind KindOf(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
    {
        // A folder that is not there takes no entry: its row fails on its own.
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathKind::Folder
                                                                              : PathKind::Unknown;
    }
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? PathKind::Link : PathKind::Folder;
}
} // namespace

void CFolderAccess::GrantFolderAccess(const EntryWriter& write)
{
    const OSVERSIONINFOA version = Platform::QueryVersion();
    if (!FolderAccessRules::AppliesToVersion(version.dwMajorVersion, version.dwMinorVersion))
    {
        return;
    }
    const FolderAccessRules::Rule* rules = FolderAccessRules::Rules();
    std::vector<std::string> told;
    for (std::size_t i = 0; i < FolderAccessRules::RuleCount(); ++i)
    {
        // The entries are inherited below each folder: one on a link, or below one, would
        // land in somebody else's tree. Such a row is passed over, and the link named once;
        // so is a row on the way to a folder that cannot be told from a link.
        std::string passed;
        PathKind kind = PathKind::Folder;
        DWORD error = ERROR_SUCCESS;
        for (const std::string& folder :
             FolderAccessRules::FoldersOnTheWay(m_state.m_strInstallPath, rules[i].subFolder))
        {
            if (kind == PathKind::Folder)
            {
                kind = KindOf(folder);
                error = GetLastError();
                passed = kind == PathKind::Folder ? "" : folder;
            }
        }
        if (kind == PathKind::Folder)
        {
            write(m_state.m_strInstallPath + rules[i].subFolder, rules[i]);
        }
        else if (std::find(told.begin(), told.end(), passed) == told.end())
        {
            told.push_back(passed);
            if (kind == PathKind::Link)
            {
                Messages::Show(IDS_RIGHTS_LINK_PASSED, {passed});
            }
            else
            {
                Messages::Show(IDS_RIGHTS_UNKNOWN_PASSED,
                               {passed, Messages::Format(IDS_UNKNOWN_UNREADABLE,
                                                         {passed, SystemError::Text(error)})});
            }
        }
    }
}

bool CFolderAccess::ComposeDacl(PACL oldDacl, const FolderAccessRules::Rule& rule, PACL* newDacl)
{
    *newDacl = nullptr;
    if (!Acl().Bound())
    {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return false;
    }
    CSidPtr sid = AllocateTrusteeSid(rule.trustee);
    if (!sid.IsValid())
    {
        return false;
    }
    EXPLICIT_ACCESS_A entry;
    ZeroMemory(&entry, sizeof(entry));
    entry.grfAccessPermissions = rule.accessMask;
    entry.grfAccessMode = rule.replaceTrusteeEntries ? SET_ACCESS : GRANT_ACCESS;
    entry.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    entry.Trustee.pMultipleTrustee = nullptr;
    entry.Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.TrusteeType = TRUSTEE_IS_GROUP;
    entry.Trustee.ptstrName = static_cast<LPSTR>(sid.Get());

    CLocalPtr<PACL> composed;
    const DWORD result = Acl().setEntriesInAcl(1, &entry, oldDacl, composed.Receive());
    if (result != ERROR_SUCCESS || !composed.IsValid())
    {
        composed.Reset();
        SetLastError(result != ERROR_SUCCESS ? result : ERROR_INVALID_ACL);
        return false;
    }
    *newDacl = composed.Release();
    return true;
}

bool CFolderAccess::AddFolderAccessEntry(const std::string& folder,
                                         const FolderAccessRules::Rule& rule)
{
    if (!Acl().Bound())
    {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return false;
    }
    // Backup semantics open the folder itself; no sharing, as the entry is read-modify-write.
    // On the NT family the handle is the link itself where the path is one, never the folder
    // it leads to, and a link takes no entry: it may have become one since it was looked at.
    const bool windowsNT = Platform::IsWindowsNT();
    CFileHandle folderHandle(CreateFileA(
        folder.c_str(), READ_CONTROL | WRITE_DAC, 0, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | (windowsNT ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr));
    if (!folderHandle.IsValid())
    {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION information;
    if (windowsNT && !GetFileInformationByHandle(folderHandle.Get(), &information))
    {
        return false;
    }
    if (windowsNT && (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    {
        SetLastError(ERROR_CANT_ACCESS_FILE);
        return false;
    }
    // The old DACL lies inside the descriptor and goes with it.
    PACL oldDacl = nullptr;
    CLocalPtr<PSECURITY_DESCRIPTOR> descriptor;
    DWORD result =
        Acl().getSecurityInfo(folderHandle.Get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, &oldDacl, nullptr, descriptor.Receive());
    if (result != ERROR_SUCCESS)
    {
        SetLastError(result);
        return false;
    }

    CLocalPtr<PACL> newDacl;
    if (!ComposeDacl(oldDacl, rule, newDacl.Receive()))
    {
        return false;
    }
    result = Acl().setSecurityInfo(folderHandle.Get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                   nullptr, nullptr, newDacl.Get(), nullptr);
    SetLastError(result);
    return result == ERROR_SUCCESS;
}
