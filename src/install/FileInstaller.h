// Decides, for one file entry, whether the package's file goes to its target: a
// missing target is written, versions decide between two versioned files, and the
// user is asked before an unversioned file is overwritten.
#pragma once

#include <cstdint>
#include <string>

class CKelvarinApp;
class CFileReplacer;
class CPackageFile;
class CPackageCatalogEntry;

class CFileInstaller
{
public:
    CFileInstaller(CKelvarinApp& app, CFileReplacer& replacer);

    // False when writing failed (the user has been told) or the user cancelled.
    bool InstallFile(CPackageFile& package, const CPackageCatalogEntry& entry, int index,
                     const std::string& targetPath);

    // True: replace. Clears the ask flag on Yes To All, sets the cancel flag on Cancel.
    bool QueryReplace(const CPackageCatalogEntry& entry, const std::string& targetPath);

    static std::string FormatFileTime(uint64_t fileTime);

private:
    CKelvarinApp& m_app;
    CFileReplacer& m_replacer;
};
