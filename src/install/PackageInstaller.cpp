#include "install/PackageInstaller.h"

#include "app/KelvarinApp.h"
#include "app/Messages.h"
#include "install/PackageTable.h"
#include "install/ReplaceRules.h"
#include "package/EntryName.h"
#include "package/PackageFile.h"
#include "ui/DLG_Installing.h"
#include "ui/resource.h"

namespace
{
std::string ToAnsi(const PkgChar* name, size_t length)
{
    if (length == 0)
    {
        return std::string();
    }
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(name);
    const int count = static_cast<int>(length);
    const int size = WideCharToMultiByte(CP_ACP, 0, wide, count, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
    {
        return std::string();
    }
    std::string text(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide, count, &text[0], size, nullptr, nullptr);
    return text;
}

// The code page's best fit can turn harmless characters into separators or dots
// (full-width "．．＼" becomes "..\"), so the name is judged as the path will hold it.
bool IsSafeOnceConverted(const std::string& ansi)
{
    const int size =
        MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    if (size <= 0)
    {
        return false;
    }
    std::u16string back(static_cast<size_t>(size), u'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                        reinterpret_cast<wchar_t*>(&back[0]), size);
    return EntryName::IsSafeRelativePath(back.data(), back.size());
}
} // namespace

CPackageInstaller::CPackageInstaller(CKelvarinApp& app)
    : m_app(app), m_replacer(app), m_installer(app, m_replacer)
{
}

bool CPackageInstaller::InstallPackages(DLG_Installing& dlg)
{
    dlg.SetStatus(IDS_INSTALLING_FILES, 0);
    for (const PackageTable::Placement& placement : PackageTable::Placements(
             CKelvarinApp::IsWindowsNT(), m_app.m_strInstallPath, m_app.m_strSystemFolder))
    {
        if (!InstallPackage(dlg, placement.package, placement.target))
        {
            return false;
        }
    }
    return true;
}

bool CPackageInstaller::InstallPackage(DLG_Installing& dlg, const std::string& name,
                                       const std::string& targetFolder)
{
    CPackageFile package(false);
    if (!package.Open(m_app.m_strSourceFolder + name, false))
    {
        Messages::Show(IDS_PACKAGE_OPEN_FAILED, {name, CKelvarinApp::GetSystemErrorText()});
        return false;
    }
    const CPackageCatalog catalog = package.GetCatalog();
    if (package.GetBuildNumber() != CKelvarinApp::kBuildNumber)
    {
        package.Close();
        Messages::Show(IDS_PACKAGE_WRONG_BUILD, {name});
        return false;
    }

    const std::string folder = ReplaceRules::WithTrailingBackslash(targetFolder);
    for (int index = 0; index < catalog.GetCount(); ++index)
    {
        const CPackageCatalogEntry entry = catalog.GetEntry(index);
        const std::string entryName = ToAnsi(entry.GetName(), entry.GetNameLength());
        dlg.SetLine2Text(entryName);
        switch (entry.GetKind())
        {
        case CPackageCatalogEntry::kKindFile:
            // A name that could reach outside the target folder is never written.
            if (!EntryName::IsSafeRelativePath(entry.GetName(), entry.GetNameLength()) ||
                !IsSafeOnceConverted(entryName))
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
    package.Close();

    if (!CKelvarinApp::IsWindowsNT() && !m_app.m_renameList.empty())
    {
        m_replacer.WriteWininit();
    }
    return true;
}
