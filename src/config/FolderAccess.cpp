#include "config/FolderAccess.h"

#include "app/KelvarinApp.h"

#include <aclapi.h>

namespace
{
const DWORD kExitNoPlatformVersion = 1000;

uint16_t ReportedVersionWord()
{
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExA(&info))
    {
        ExitProcess(kExitNoPlatformVersion);
    }
    return FolderAccessRules::VersionWord(info.dwMajorVersion, info.dwMinorVersion);
}

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

template <typename Fn> Fn Bind(HMODULE module, const char* name)
{
    // Through the one function type every other converts from without a warning.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

const AclApi& Acl()
{
    static const AclApi api = []
    {
        AclApi bound;
        HMODULE advapi = LoadLibraryA("advapi32.dll");
        if (advapi)
        {
            bound.getSecurityInfo = Bind<AclApi::GetSecurityInfoFn>(advapi, "GetSecurityInfo");
            bound.setSecurityInfo = Bind<AclApi::SetSecurityInfoFn>(advapi, "SetSecurityInfo");
            bound.setEntriesInAcl = Bind<AclApi::SetEntriesInAclFn>(advapi, "SetEntriesInAclA");
        }
        return bound;
    }();
    return api;
}

// A SID of the trustee, freed with FreeSid.
PSID AllocateTrusteeSid(FolderAccessRules::Trustee trustee)
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
    PSID sid = nullptr;
    BOOL allocated = FALSE;
    switch (trustee)
    {
    case FolderAccessRules::Trustee::Users:
        allocated = AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                             DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0, 0, 0, &sid);
        break;
    case FolderAccessRules::Trustee::Administrators:
        allocated = AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                             DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &sid);
        break;
    case FolderAccessRules::Trustee::LocalSystem:
        allocated = AllocateAndInitializeSid(&ntAuthority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0,
                                             0, 0, 0, &sid);
        break;
    }
    return allocated ? sid : nullptr;
}
} // namespace

CFolderAccess::CFolderAccess(CKelvarinApp& app) : m_app(app) {}

bool CFolderAccess::IsWindowsXP()
{
    return ReportedVersionWord() == 0x0501;
}

bool CFolderAccess::IsWindows7()
{
    return ReportedVersionWord() == 0x0601;
}

void CFolderAccess::GrantFolderAccess()
{
    if (!IsWindows7() && !IsWindowsXP())
    {
        return;
    }
    const FolderAccessRules::Rule* rules = FolderAccessRules::Rules();
    for (std::size_t i = 0; i < FolderAccessRules::RuleCount(); ++i)
    {
        AddFolderAccessEntry(m_app.m_strInstallPath + rules[i].subFolder, rules[i]);
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
    PSID sid = AllocateTrusteeSid(rule.trustee);
    if (!sid)
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
    entry.Trustee.ptstrName = static_cast<LPSTR>(sid);

    const DWORD result = Acl().setEntriesInAcl(1, &entry, oldDacl, newDacl);
    FreeSid(sid);
    if (result != ERROR_SUCCESS || !*newDacl)
    {
        if (*newDacl)
        {
            LocalFree(*newDacl);
            *newDacl = nullptr;
        }
        SetLastError(result != ERROR_SUCCESS ? result : ERROR_INVALID_ACL);
        return false;
    }
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
    HANDLE handle = CreateFileA(folder.c_str(), READ_CONTROL | WRITE_DAC, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
    {
        return false;
    }
    PACL oldDacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD result = Acl().getSecurityInfo(handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                         nullptr, &oldDacl, nullptr, &descriptor);
    if (result != ERROR_SUCCESS)
    {
        if (descriptor)
        {
            LocalFree(descriptor);
        }
        CloseHandle(handle);
        SetLastError(result);
        return false;
    }

    PACL newDacl = nullptr;
    bool stored = ComposeDacl(oldDacl, rule, &newDacl);
    if (stored)
    {
        result = Acl().setSecurityInfo(handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                       nullptr, newDacl, nullptr);
        stored = result == ERROR_SUCCESS;
        LocalFree(newDacl);
    }
    const DWORD error =
        stored ? ERROR_SUCCESS : (result != ERROR_SUCCESS ? result : GetLastError());
    // The old DACL lies inside the descriptor.
    LocalFree(descriptor);
    CloseHandle(handle);
    SetLastError(error);
    return stored;
}
