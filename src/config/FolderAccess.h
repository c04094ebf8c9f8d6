// Access entries on the product tree: full control of the data folders for the Users
// group, of the whole tree for Administrators and LocalSystem (Windows XP and 7 only).
#pragma once

#include "config/FolderAccessRules.h"

#include <windows.h>

#include <functional>
#include <string>

struct CSetupState;

class CFolderAccess
{
public:
    // Stores one entry on one folder; true when it was stored.
    using EntryWriter =
        std::function<bool(const std::string& folder, const FolderAccessRules::Rule& rule)>;

    // Reads the install folder.
    explicit CFolderAccess(const CSetupState& state);

    // The last install step, on the versions the rules name. A folder whose rights cannot
    // be changed keeps its old ones, silently, and a failed entry does not stop the others.
    // A folder that is a link, or lies below one, is passed over and named to the user: its
    // entries would land in another tree. `write` stores each entry (AddFolderAccessEntry,
    // unless a test records).
    void GrantFolderAccess(const EntryWriter& write = &CFolderAccess::AddFolderAccessEntry);

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
    const CSetupState& m_state;
};
