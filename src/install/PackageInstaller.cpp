#include "install/PackageInstaller.h"

#include "framework/AnsiText.h"
#include "framework/Messages.h"
#include "framework/Platform.h"
#include "framework/ProgressReport.h"
#include "framework/SetupState.h"
#include "framework/SystemError.h"
#include "framework/resource.h"
#include "install/PackageTable.h"
#include "install/ReplaceRules.h"
#include "package/BuildNumber.h"
#include "package/EntryName.h"
#include "package/PackageFile.h"

#include <exception>
#include <memory>
#include <utility>

CPackageInstaller::CPackageInstaller(CSetupState& state, ReplaceQuestion ask)
    : m_state(state), m_replacer(state), m_installer(state, m_replacer, std::move(ask))
{
}

bool CPackageInstaller::InstallPackages(IProgressReport& progress)
{
    m_replacer.RemoveLeftovers();
    for (const PackageTable::Placement& placement : PackageTable::Placements(
             Platform::IsWindowsNT(), m_state.m_strInstallPath, m_state.m_strSystemFolder))
    {
        if (!InstallPackage(progress, placement.package, placement.target))
        {
            return false;
        }
    }
    return true;
}

bool CPackageInstaller::InstallPackage(IProgressReport& progress, const std::string& name,
                                       const std::string& targetFolder)
{
    CPackageFile package(false);
    std::unique_ptr<CPackageCatalog> catalog;
    try
    {
        if (package.Open(m_state.m_strSourceFolder + name, false))
        {
            catalog.reset(new CPackageCatalog(package.GetCatalog()));
        }
    }
    catch (const std::exception&)
    {
        // A catalog too large for the memory left is a package that cannot be read.
        package.Close();
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    if (!catalog)
    {
        Messages::Show(IDS_PACKAGE_OPEN_FAILED, {name, SystemError::LastErrorText()});
        return false;
    }
    if (package.GetBuildNumber() != KELVARIN_BUILD_NUMBER)
    {
        // Closed before the message, so that the medium is free while the user reads it.
        package.Close();
        Messages::Show(IDS_PACKAGE_WRONG_BUILD, {name});
        return false;
    }
    // Also after a failure: the pairs queued so far name complete files whose targets
    // are in use, and are replaced at the next boot as on the NT family.
    auto writeRenames = [this]
    {
        if (!Platform::IsWindowsNT() && !m_state.m_renameList.empty())
        {
            m_replacer.WriteWininit();
        }
    };
    bool installed = false;
    try
    {
        installed = InstallEntries(progress, package, *catalog, name,
                                   ReplaceRules::WithTrailingBackslash(targetFolder));
    }
    catch (...)
    {
        writeRenames();
        throw;
    }
    writeRenames();
    return installed;
}

bool CPackageInstaller::InstallEntries(IProgressReport& progress, CPackageFile& package,
                                       const CPackageCatalog& catalog, const std::string& name,
                                       const std::string& folder)
{
    for (int index = 0; index < catalog.GetCount(); ++index)
    {
        const CPackageCatalogEntry entry = catalog.GetEntry(index);
        std::string entryName;
        if (!AnsiText::Narrow(entry.GetName(), entry.GetNameLength(), entryName))
        {
            // Without its name the entry would be written onto the target folder itself.
            Messages::Show(IDS_READ_PACKAGE_FAILED, {SystemError::LastErrorText()});
            return false;
        }
        progress.SetLine2Text(entryName);
        switch (entry.GetKind())
        {
        case CPackageCatalogEntry::kKindFile:
            // A name that could reach outside the target folder is never written.
            if (!EntryName::IsAcceptedFileName(entry.GetName(), entry.GetNameLength(),
                                               EntryName::SystemCodePageRoundTrip))
            {
                Messages::Show(IDS_PACKAGE_CORRUPT, {name});
                return false;
            }
            if (!m_installer.InstallFile(package, entry, index, folder + entryName))
            {
                return false;
            }
            break;
        case CPackageCatalogEntry::kKindDirectory:
            break;
        default:
            Messages::Show(IDS_PACKAGE_CORRUPT, {name});
            return false;
        }
    }
    return true;
}
