// The file-installing step of the install: the ten packages beside the setup,
// unpacked in a fixed order into the product tree and the system folder.
#pragma once

#include "install/FileInstaller.h"
#include "install/FileReplacer.h"

#include <string>

class CKelvarinApp;
class DLG_Installing;

class CPackageInstaller
{
public:
    explicit CPackageInstaller(CKelvarinApp& app);

    // Stops at the first package that fails; what was installed stays.
    bool InstallPackages(DLG_Installing& dlg);
    // `name` is looked up in the setup's folder; `targetFolder` must exist.
    bool InstallPackage(DLG_Installing& dlg, const std::string& name,
                        const std::string& targetFolder);

private:
    CKelvarinApp& m_app;
    CFileReplacer m_replacer;
    CFileInstaller m_installer;
};
