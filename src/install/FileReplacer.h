// Writes one package entry to its target so that the target is never half-written:
// through a temporary file in the target's folder, renamed into place, or, when the
// old file is in use, replaced at the next boot.
#pragma once

#include <windows.h>

#include <string>

class CKelvarinApp;
class CPackageFile;
class CPackageCatalogEntry;

class CFileReplacer
{
public:
    explicit CFileReplacer(CKelvarinApp& app);

    // True when the target holds the new file or its replacement at boot is arranged.
    bool ReplaceFile(CPackageFile& package, const CPackageCatalogEntry& entry, int index,
                     const std::string& targetPath);

    // The first free "$tmpNNNN.tmp" beside the target, created exclusively; the
    // invalid handle (after telling the user) when it cannot be made.
    HANDLE CreateTempFile(const std::string& targetPath, std::string& tempPath);

    // Moves the temporary file onto the target at the next restart and marks the
    // restart as needed: at once on NT, through the rename list on 9x.
    void ScheduleBootReplace(const std::string& tempPath, const std::string& targetPath);

    // Merges the rename list into WININIT.INI's [rename] section and empties it.
    void WriteWininit();

private:
    CKelvarinApp& m_app;
};
