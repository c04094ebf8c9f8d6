// The file-installing step of the install: the ten packages beside the setup,
// unpacked in a fixed order into the product tree and the system folder.
#pragma once

#include "install/FileInstaller.h"
#include "install/FileReplacer.h"

#include <string>

struct CSetupState;
class CPackageCatalog;
class CPackageFile;
class IProgressReport;

class CPackageInstaller
{
public:
    // Reads the folders; the replacement writes the flags, the rename list and the
    // restart-needed flag. `ask` puts the replace question to the user.
    CPackageInstaller(CSetupState& state, ReplaceQuestion ask);

    // Stops at the first package that fails; what was installed stays.
    bool InstallPackages(IProgressReport& progress);
    // `name` is looked up in the setup's folder; `targetFolder` must exist. The lower
    // status line names each entry.
    bool InstallPackage(IProgressReport& progress, const std::string& name,
                        const std::string& targetFolder);

private:
    // The catalog's entries in order; false at the first that fails.
    bool InstallEntries(IProgressReport& progress, CPackageFile& package,
                        const CPackageCatalog& catalog, const std::string& name,
                        const std::string& folder);

    CSetupState& m_state;
    CFileReplacer m_replacer;
    CFileInstaller m_installer;
};
