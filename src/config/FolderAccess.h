// Access entries on the product tree: full control of the data folders for the Users
// group, of the whole tree for Administrators and LocalSystem (Windows XP and 7 only).
#pragma once

#include "config/FolderAccessRules.h"

#include <windows.h>

#include <string>

class CKelvarinApp;

class CFolderAccess
{
public:
    static const char* GetRuntimeClassName() { return "CFolderAccess"; }

    explicit CFolderAccess(CKelvarinApp& app);

    // The last install step. Reports nothing: a folder whose rights cannot be changed keeps
    // its old ones, and a failed entry does not stop the others.
    void GrantFolderAccess();

    // Merges one entry into the folder's DACL and stores it; true when it was stored.
    static bool AddFolderAccessEntry(const std::string& folder,
                                     const FolderAccessRules::Rule& rule);

    // The DACL that `oldDacl` becomes with the entry merged in (inherited by sub-folders and
    // files). The caller frees *newDacl with LocalFree. False with the last error set.
    static bool ComposeDacl(PACL oldDacl, const FolderAccessRules::Rule& rule, PACL* newDacl);

    // End the process with exit code 1000 when the version cannot be read.
    static bool IsWindowsXP();
    static bool IsWindows7();

private:
    CKelvarinApp& m_app;
};
